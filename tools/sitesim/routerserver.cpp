#include "routerserver.h"

#include "messagetext.h"
#include "remotedirectory.h"
#include "router/messagesplitter.h"
#include "router/responsedata.h"
#include "router/serverconnectionheader.h"
#include "router/valuetext.h"
#include "userdirectory.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

using namespace ServerConnectionHeader;

namespace {

const QString kLocal = QStringLiteral("LOCAL");
const QString kRemote = QStringLiteral("REMOTE");
const QString kNone = QStringLiteral("NONE");
const QString kRouterConnect = QStringLiteral("ROUTER CONNECT");

// Router error codes.
constexpr qint32 kInvalidRequest = 1;
constexpr qint32 kRegistrationError = 2;
constexpr qint32 kClientOffLine = 101;
constexpr qint32 kClientNotFound = 102;
constexpr qint32 kAccessDenied = 103;
constexpr qint32 kAlreadyConnected = 104;

// Requests a client may leave unanswered at another before the oldest is forgotten.
constexpr qsizetype kMaxPending = 1000;
// The endless answer: how much is kept queued, and where the simulator gives up streaming.
constexpr qint64 kEndlessQueue = 1 << 20;
constexpr qint64 kEndlessChunk = 64 << 10;
constexpr qint64 kEndlessTotal = qint64(256) << 20;

bool isAnswerFunction(const QString &function)
{
    return function == QStringLiteral("RESPONSE") || function == QStringLiteral("ASYNC RESPONSE")
        || function == kRouterConnect;
}

// A request whose answer function is empty or "NONE" ("CLOSE CLIENT") expects nothing back.
bool wantsAnswer(const ResponseData &m)
{
    return !m.FromClientFunction().isEmpty() && m.FromClientFunction() != kNone;
}

QByteArray garbageBytes()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i) {
        const char c = static_cast<char>((i * 37 + 11) & 0xFF);
        bytes += c == '\r' ? 'x' : c;
    }
    return bytes + QByteArray(MessageEnd.data(), MessageEnd.size());
}

} // namespace

// A request passed to a client that has not answered it yet.
struct RouterServer::Pending
{
    QString requesterId;
    qint32 sequence = 0;
    QString replyFunction;
    QString callback;
};

// One TCP connection and, once registered, the client behind it.
class RouterServer::Peer : public QObject
{
public:
    Peer(QTcpSocket *s, QObject *parent)
        : QObject(parent)
        , socket(s)
    {
        socket->setParent(this);
    }

    void write(const QByteArray &bytes)
    {
        if (socket->state() == QAbstractSocket::ConnectedState)
            socket->write(bytes);
    }

    QTcpSocket *socket;
    MessageSplitter splitter;
    QString id; // empty until registered
    QString name;
    qint32 type = 0;
    qint32 userId = 0; // 0 until a user logged on
    int localAnswers = 0; // answers of built-in clients sent here
    QList<Pending> pending; // requests passed to this client
    bool gone = false;
};

RouterServer::RouterServer(const RouterIdentity &identity, QObject *parent)
    : QObject(parent)
    , m_identity(identity)
    , m_server(new QTcpServer(this))
    , m_defaultUsers(std::make_unique<UserDirectory>())
    , m_users(m_defaultUsers.get())
{
    m_identity.id = m_identity.id.toUpper();
    connect(m_server, &QTcpServer::newConnection, this, &RouterServer::acceptConnections);
}

RouterServer::~RouterServer()
{
    // The peers are children; their sockets must not call back into a half-destroyed router.
    for (Peer *peer : std::as_const(m_peers))
        peer->socket->disconnect(this);
}

void RouterServer::setUsers(UserDirectory *users)
{
    m_users = users ? users : m_defaultUsers.get();
}

void RouterServer::setRemotes(const RemoteDirectory *remotes)
{
    m_remotes = remotes;
}

void RouterServer::setFaults(const FaultOptions &faults)
{
    m_faults = faults;
}

bool RouterServer::addLocalClient(const LocalClient &client)
{
    const QString id = client.id.toUpper();
    if (!MessageText::isId(id) || id == kLocal || id == kRemote || id == m_identity.id
        || findLocal(id) || findPeer(id))
        return false;
    LocalClient c = client;
    c.id = id;
    m_locals.append(c);
    return true;
}

bool RouterServer::listen(const QHostAddress &address, quint16 port)
{
    return m_server->listen(address, port);
}

quint16 RouterServer::serverPort() const
{
    return m_server->serverPort();
}

QString RouterServer::errorString() const
{
    return m_server->errorString();
}

void RouterServer::acceptConnections()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        Peer *peer = new Peer(socket, this);
        m_peers.append(peer);
        connect(socket, &QTcpSocket::readyRead, this, [this, peer] { readFrom(peer); });
        connect(socket, &QTcpSocket::disconnected, this, [this, peer] { forget(peer); });
    }
}

void RouterServer::readFrom(Peer *peer)
{
    peer->splitter.append(peer->socket->readAll());
    QString message;
    while (!peer->gone) {
        const MessageSplitter::Result r = peer->splitter.next(&message);
        if (r == MessageSplitter::Result::Incomplete)
            break;
        if (r == MessageSplitter::Result::Overflow) {
            drop(peer);
            break;
        }
        handle(peer, message);
    }
}

void RouterServer::forget(Peer *peer)
{
    if (peer->gone)
        return;
    peer->gone = true;
    m_peers.removeOne(peer);
    // Whoever waits for this client's answer learns that it will not come.
    const QList<Pending> pending = std::exchange(peer->pending, {});
    for (const Pending &p : pending)
        if (Peer *requester = findPeer(p.requesterId))
            sendRouterAnswer(requester, p.requesterId, p.replyFunction, p.sequence, kClientOffLine,
                GetRequestErrorText(kClientOffLine), p.callback, QString());
    if (!peer->id.isEmpty())
        Q_EMIT clientLeft(peer->id, peer->name);
    peer->socket->disconnect(this);
    if (peer->socket->state() != QAbstractSocket::UnconnectedState)
        peer->socket->disconnectFromHost();
    peer->deleteLater();
}

void RouterServer::drop(Peer *peer)
{
    peer->socket->abort();
    forget(peer);
}

void RouterServer::handle(Peer *peer, const QString &message)
{
    const QString header = GetSection(message, Section::Header);
    if (header.isEmpty())
        return;
    ResponseData m;
    m.LoadFromMessage(
        header, GetSection(message, Section::Access), GetSection(message, Section::Data));
    const QString &to = m.ToClientID();
    const QString &function = m.ToClientFunction();

    const bool registered = !peer->id.isEmpty();
    if (isAnswerFunction(function)) {
        if (registered && m.FromClientID() == peer->id)
            routeAnswer(peer, m, message);
        return;
    }
    if (to == kLocal && function == QStringLiteral("REGISTER CLIENT")) {
        registerClient(peer, m);
        return;
    }
    if (!registered) {
        reply(peer, m, kRegistrationError, GetRequestErrorText(kRegistrationError));
        return;
    }
    // Answers are addressed by the sender's ID: a client speaks only for itself.
    if (m.FromClientID() != peer->id) {
        reply(peer, m, kAccessDenied, GetRequestErrorText(kAccessDenied));
        return;
    }
    if (to == kLocal)
        handleLocal(peer, m);
    else if (to == kRemote)
        handleRemote(peer, m);
    else if (const LocalClient *local = findLocal(to))
        answerFromLocal(peer, m, *local);
    else if (Peer *destination = findPeer(to))
        forward(peer, destination, m, message);
    else
        reply(peer, m, kClientNotFound, GetRequestErrorText(kClientNotFound));
}

void RouterServer::registerClient(Peer *peer, const ResponseData &m)
{
    const QString id = m.FromClientID();
    const QString replyFunction = wantsAnswer(m) ? m.FromClientFunction() : kRouterConnect;
    const auto refuse = [&](qint32 code) {
        sendRouterAnswer(peer, id, replyFunction, m.Sequence(), code, GetRequestErrorText(code),
            m.CallbackName(), QString());
        peer->socket->disconnectFromHost();
    };
    if (id.trimmed().isEmpty() || id == kLocal || id == kRemote || id == m_identity.id
        || !MessageText::fitsItem(id) || !MessageText::fitsItem(m.FromClientName())) {
        refuse(kRegistrationError);
        return;
    }
    if (findLocal(id)) {
        refuse(kAlreadyConnected);
        return;
    }
    if (Peer *older = findPeer(id); older && older != peer)
        drop(older);

    const QString first = GetRecord(m.Data(), 1);
    peer->id = id;
    peer->name = m.FromClientName();
    peer->type = ValueText::int32Value(GetItem(first, 1));
    sendRouterAnswer(peer, id, replyFunction, m.Sequence(), 0, QString(), m.CallbackName(),
        m_identity.id % ItemToken % m_identity.name % ItemToken % RecordToken);
    Q_EMIT clientRegistered(peer->id, peer->name, peer->type);
}

void RouterServer::handleLocal(Peer *peer, const ResponseData &m)
{
    const QString &function = m.ToClientFunction();
    if (function == QStringLiteral("REGISTER USER")) {
        RouterUser user;
        const qint32 code = m_users->logOn(GetItem(m.Data(), 1), GetItem(m.Data(), 2), &user);
        if (code != 0) {
            reply(peer, m, code, GetRequestErrorText(code));
            return;
        }
        peer->userId = user.id;
        reply(peer, m, 0, QString(),
            MessageText::number(user.id) % ItemToken % RecordToken % user.access);
    } else if (function == QStringLiteral("CHANGE PASSWORD")) {
        // Only the user logged on at this connection changes, and only their own password.
        if (peer->userId == 0 || ValueText::int32Value(GetItem(m.Data(), 1)) != peer->userId) {
            reply(peer, m, kAccessDenied, GetRequestErrorText(kAccessDenied));
            return;
        }
        QString error;
        const qint32 code = m_users->changePassword(peer->userId, GetItem(m.Data(), 2), &error);
        reply(peer, m, code, error);
    } else if (function == QStringLiteral("ENUMERATE ACTIVE CLIENTS")) {
        reply(peer, m, 0, QString(), clientRecords(false, QString()));
    } else if (function == QStringLiteral("CLOSE CLIENT")) {
        forget(peer);
    } else {
        reply(peer, m, kInvalidRequest, GetRequestErrorText(kInvalidRequest));
    }
}

void RouterServer::handleRemote(Peer *peer, const ResponseData &m)
{
    // Without a location server nobody answers for the rest of the network.
    if (!m_remotes) {
        reply(peer, m, kClientNotFound, GetRequestErrorText(kClientNotFound));
        return;
    }
    const QString &function = m.ToClientFunction();
    if (function == QStringLiteral("ENUMERATE ALL ROUTERS")) {
        QString data = m_identity.id % ItemToken % m_identity.name % ItemToken % RecordToken;
        for (const RemoteRouter &r : m_remotes->routers())
            data += r.id % ItemToken % r.name % ItemToken % RecordToken;
        reply(peer, m, 0, QString(), data);
    } else if (function == QStringLiteral("ENUMERATE ALL CLIENTS")) {
        // The request names a router ID and a client type; "-1" (or nothing) means any.
        const QString routerFilter = ValueText::trimBlanks(GetItem(m.Data(), 1)).toString();
        const QString typeFilter = ValueText::trimBlanks(GetItem(m.Data(), 2)).toString();
        const auto any = [](const QString &f) { return f.isEmpty() || f == QStringLiteral("-1"); };
        QString data;
        if (any(routerFilter) || routerFilter.toUpper() == m_identity.id)
            data += clientRecords(true, any(typeFilter) ? QString() : typeFilter);
        for (const RemoteClient &c : m_remotes->clients()) {
            if (!any(routerFilter) && routerFilter.toUpper() != c.routerId)
                continue;
            if (!any(typeFilter) && ValueText::int32Value(typeFilter) != c.type)
                continue;
            data += c.routerId % ItemToken % c.id % ItemToken % c.name % ItemToken
                % MessageText::number(c.type) % ItemToken % RecordToken;
        }
        reply(peer, m, 0, QString(), data);
    } else {
        reply(peer, m, kInvalidRequest, GetRequestErrorText(kInvalidRequest));
    }
}

QString RouterServer::clientRecords(bool withRouterId, const QString &typeFilter) const
{
    QString data;
    const auto add = [&](const QString &id, const QString &name, qint32 type) {
        if (!typeFilter.isEmpty() && ValueText::int32Value(typeFilter) != type)
            return;
        if (withRouterId)
            data += m_identity.id % ItemToken;
        data += id % ItemToken % name % ItemToken % MessageText::number(type) % ItemToken
            % RecordToken;
    };
    for (const LocalClient &c : m_locals)
        add(c.id, c.name, c.type);
    for (const Peer *p : m_peers)
        if (!p->id.isEmpty())
            add(p->id, p->name, p->type);
    return data;
}

void RouterServer::answerFromLocal(Peer *peer, const ResponseData &m, const LocalClient &client)
{
    if (m_faults.neverAnswer)
        return;
    if (!wantsAnswer(m)) {
        client.answer(m.ToClientFunction(), m.Data());
        return;
    }
    if (m_faults.dropAfter >= 0 && peer->localAnswers >= m_faults.dropAfter) {
        drop(peer);
        return;
    }
    ++peer->localAnswers;

    const LocalAnswer answer = client.answer(m.ToClientFunction(), m.Data());
    QByteArray bytes;
    if (m_faults.garbage) {
        bytes = garbageBytes();
    } else {
        const SenderIdentity from { client.id, m_identity.name, client.name, QString() };
        // Wraps at the top of the range rather than overflow.
        const qint32 sequence
            = m_faults.wrongSequence ? qint32(quint32(m.Sequence()) + 1u) : m.Sequence();
        const QString header
            = BuildHeader(from, m.FromClientID(), m.FromClientFunction(), kNone, sequence,
                answer.errorCode, MessageText::headerText(answer.errorText), m.CallbackName());
        bytes = m_faults.endless
            ? toWire(QString(header % DataBegin))
            : toWire(QString(header % DataBegin % answer.data % DataEnd % MessageEnd));
    }
    const bool endless = m_faults.endless;
    const auto deliver = [this, peer, bytes, endless] {
        if (peer->gone)
            return;
        peer->write(bytes);
        if (endless)
            startEndless(peer);
    };
    if (m_faults.delayMs > 0)
        QTimer::singleShot(m_faults.delayMs, peer, deliver);
    else
        deliver();
}

void RouterServer::startEndless(Peer *peer)
{
    if (peer->findChild<QTimer *>(QStringLiteral("endless")))
        return;
    auto *timer = new QTimer(peer);
    timer->setObjectName(QStringLiteral("endless"));
    timer->setInterval(5);
    auto sent = std::make_shared<qint64>(0);
    connect(timer, &QTimer::timeout, peer, [peer, timer, sent] {
        if (peer->gone || *sent >= kEndlessTotal) {
            timer->stop();
            return;
        }
        if (peer->socket->bytesToWrite() < kEndlessQueue) {
            peer->write(QByteArray(kEndlessChunk, 'x'));
            *sent += kEndlessChunk;
        }
    });
    timer->start();
}

void RouterServer::forward(Peer *from, Peer *to, const ResponseData &m, const QString &message)
{
    if (wantsAnswer(m)) {
        if (to->pending.size() >= kMaxPending)
            to->pending.removeFirst();
        to->pending.append({ from->id, m.Sequence(), m.FromClientFunction(), m.CallbackName() });
    }
    to->write(toWire(message));
}

void RouterServer::routeAnswer(Peer *from, const ResponseData &m, const QString &message)
{
    const QString &to = m.ToClientID();
    for (qsizetype i = 0; i < from->pending.size(); ++i) {
        const Pending &p = from->pending[i];
        if (p.requesterId == to && p.sequence == m.Sequence()) {
            from->pending.removeAt(i);
            break;
        }
    }
    if (Peer *destination = findPeer(to))
        destination->write(toWire(message));
}

void RouterServer::reply(
    Peer *peer, const ResponseData &m, qint32 code, const QString &text, const QString &data)
{
    if (wantsAnswer(m))
        sendRouterAnswer(peer, m.FromClientID(), m.FromClientFunction(), m.Sequence(), code, text,
            m.CallbackName(), data);
}

void RouterServer::sendRouterAnswer(Peer *peer, const QString &toId, const QString &function,
    qint32 sequence, qint32 code, const QString &text, const QString &callback, const QString &data)
{
    const SenderIdentity from { m_identity.id, m_identity.name, m_identity.name, QString() };
    const QString header = BuildHeader(
        from, toId, function, kNone, sequence, code, MessageText::headerText(text), callback);
    peer->write(toWire(QString(header % DataBegin % data % DataEnd % MessageEnd)));
}

RouterServer::Peer *RouterServer::findPeer(const QString &id) const
{
    for (Peer *p : m_peers)
        if (!p->gone && p->id == id)
            return p;
    return nullptr;
}

const LocalClient *RouterServer::findLocal(const QString &id) const
{
    for (const LocalClient &c : m_locals)
        if (c.id == id)
            return &c;
    return nullptr;
}
