#include "router/serverconnection.h"

#include "core/clock.h"
#include "router/valuetext.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QHostAddress>
#include <QPointer>
#include <QSaveFile>
#include <QTcpSocket>

#include <array>
#include <limits>
#include <utility>

using namespace ServerConnectionHeader;

namespace {

const QString kClientIdFileName = QStringLiteral("ShowpulseSock.dat");
const QString kClientIdFileVersion = QStringLiteral("1.000");

const QString kLocal = QStringLiteral("LOCAL");
const QString kResponse = QStringLiteral("RESPONSE");
const QString kAsyncResponse = QStringLiteral("ASYNC RESPONSE");
const QString kRouterConnect = QStringLiteral("ROUTER CONNECT");

const QString kBusyText = QStringLiteral("Cannot send request.  Busy waiting for response!");
const QString kTimeoutText = QStringLiteral("Request Timeout.  No Response");
const QString kInvalidClientIdText = QStringLiteral("Invalid Client ID");
const QString kNotConnectedText = QStringLiteral("Cannot send request.  Not connected to Router!");
const QString kInvalidParametersText = QStringLiteral(
    "Invalid Request Parameters: a value cannot travel in a router message (a character outside "
    "Latin-1, a CR or colon in a header field, or text that reads as a marker token).");
const QString kClosedText = QStringLiteral("Request abandoned.  Connection to Router closed.");
const QString kPeerClosedText = QStringLiteral("Connection with Halden Router lost");
const QString kWaitingText = QStringLiteral("No Response from Router\nPlease Wait...");

// The words of the marker tokens. Section and message words would end or restart a section;
// item and record words are the structure of a data section.
constexpr std::array<QLatin1StringView, 7> kFramingWords = { QLatin1StringView("BEGINHEAD"),
    QLatin1StringView("ENDHEAD"), QLatin1StringView("BEGINACCESS"), QLatin1StringView("ENDACCESS"),
    QLatin1StringView("BEGINDATA"), QLatin1StringView("ENDDATA"), QLatin1StringView("END") };
constexpr std::array<QLatin1StringView, 2> kStructureWords
    = { QLatin1StringView("ITEM"), QLatin1StringView("RECORD") };

template <std::size_t N>
bool isOneOf(QStringView piece, const std::array<QLatin1StringView, N> &words)
{
    for (QLatin1StringView word : words) {
        if (piece == word)
            return true;
    }
    return false;
}

// Text placed between two marker tokens is bordered by their CRs, so a token forms wherever a
// CR-delimited piece of the text is a token's word. \a structured lets ITEM and RECORD pieces
// through: the caller laid out items and records itself.
bool fitsBetweenTokens(QStringView text, bool structured)
{
    for (QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    for (QStringView piece : text.split(u'\r')) {
        if (isOneOf(piece, kFramingWords) || (!structured && isOneOf(piece, kStructureWords)))
            return false;
    }
    return true;
}

// A data or access section as given: items and records are allowed, nothing that ends it.
bool fitsSection(QStringView text)
{
    return fitsBetweenTokens(text, true);
}

// One value of an item or record.
bool fitsItem(QStringView value)
{
    return fitsBetweenTokens(value, false);
}

// Concatenations arrive here as string builders, which do not convert to QStringView.
QByteArray wire(const QString &text)
{
    return toWire(text);
}

QString blankNumber(qint64 value)
{
    return value >= 0 ? QLatin1Char(' ') + QString::number(value) : QString::number(value);
}

ResponseData failure(qint32 code, const QString &text)
{
    ResponseData result;
    result.SetErrorCode(code);
    result.SetErrorText(text);
    return result;
}

// The client ID: seconds since 1998 counted in 31-day months, a dash, and the sum of the
// client name's character codes.
QString makeClientId(const QString &clientName)
{
    const QDateTime now = Clock::currentDateTime();
    const QDate date = now.date();
    const QTime time = now.time();
    const qint64 seconds = qint64(date.year() - 1998) * 32140800 + qint64(date.month()) * 2678400
        + qint64(date.day()) * 86400 + time.hour() * 3600 + time.minute() * 60 + time.second();
    qint64 nameSum = 0;
    for (char c : toWire(clientName))
        nameSum += static_cast<unsigned char>(c);
    return QString::number(seconds) + QLatin1Char('-') + QString::number(nameSum);
}

// Access bits are a 32-bit mask; peers may write it signed or unsigned.
quint32 accessBits(QStringView text)
{
    const double value = ValueText::roundHalfEven(ValueText::numericValue(text));
    if (!(value >= double(std::numeric_limits<qint32>::min())
            && value <= double(std::numeric_limits<quint32>::max())))
        return 0;
    return static_cast<quint32>(static_cast<qint64>(value));
}

} // namespace

ServerConnection::WaitingWindow::~WaitingWindow() = default;

ServerConnection::ServerConnection(const QString &programFolder, QObject *parent)
    : QObject(parent)
    , m_programFolder(programFolder)
{
    m_connectionTimeout.setSingleShot(true);
    m_connectionTimeout.setInterval(DefaultConnectionTimeout);
    connect(&m_connectionTimeout, &QTimer::timeout, this, &ServerConnection::onConnectionTimeout);
}

ServerConnection::~ServerConnection()
{
    if (m_windowOpen && m_waitingWindow)
        m_waitingWindow->close();
    if (m_waitLoop)
        m_waitLoop->quit();
    if (m_socket) {
        // The socket may be in the middle of emitting the signal that led here.
        m_socket->disconnect(this);
        m_socket->setParent(nullptr);
        m_socket->abort();
        m_socket->deleteLater();
    }
}

QString ServerConnection::clientIdFilePath() const
{
    return QDir(m_programFolder).filePath(kClientIdFileName);
}

void ServerConnection::SetType(qint32 type, const QString &typeName)
{
    m_clientType = type;
    m_clientTypeName = typeName;
}

void ServerConnection::ClearObjects()
{
    m_objects.clear();
}

void ServerConnection::AddObject(const QString &name, qint32 value)
{
    m_objects.append({ name, value });
}

std::chrono::milliseconds ServerConnection::connectionTimeout() const
{
    return m_connectionTimeout.intervalAsDuration();
}

void ServerConnection::setConnectionTimeout(std::chrono::milliseconds timeout)
{
    m_connectionTimeout.setInterval(timeout);
}

ServerConnectionHeader::SenderIdentity ServerConnection::senderIdentity() const
{
    return { m_clientId, m_routerName, m_clientName, m_userName };
}

bool ServerConnection::Connect(const QString &host, const QString &clientName)
{
    if (m_clientType == 0)
        return false;
    // The registration message carries these; refuse what would corrupt it.
    if (!isHeaderSafe(clientName) || !fitsItem(m_clientTypeName))
        return false;
    for (const auto &object : std::as_const(m_objects)) {
        if (!fitsItem(object.first))
            return false;
    }

    loadClientId(clientName);
    dropSocket();
    abandonWait(kClosedText);
    m_host = host;
    m_clientName = clientName;
    m_connectionTimeout.stop();
    if (ValueText::trimBlanks(host).isEmpty()) {
        // No socket is left open, so the connection cannot count as up.
        if (m_state == Established)
            m_state = Closed;
        return false;
    }
    openSocket(FirstPort);
    m_state = Connecting;
    return true;
}

void ServerConnection::loadClientId(const QString &clientName)
{
    const QString path = clientIdFilePath();
    QString id;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        // Two short lines; anything longer is not a client ID file.
        const QStringList lines = fromWire(file.read(4096)).split(QLatin1Char('\n'));
        if (lines.size() >= 2) {
            id = lines.at(1);
            if (id.endsWith(QLatin1Char('\r')))
                id.chop(1);
        }
    }
    // An ID that cannot travel in a header would shift the fields of every message.
    if (ValueText::trimBlanks(id).isEmpty() || !isHeaderSafe(id)) {
        id = makeClientId(clientName);
        QSaveFile out(path);
        if (out.open(QIODevice::WriteOnly)) {
            out.write(
                wire(kClientIdFileVersion + QStringLiteral("\r\n") + id + QStringLiteral("\r\n")));
            out.commit();
        }
    }
    m_clientId = id;
}

void ServerConnection::openSocket(int port)
{
    dropSocket();
    m_port = port;
    m_splitter.clear();
    m_socket = new QTcpSocket(this);
    connect(m_socket, &QTcpSocket::connected, this, &ServerConnection::onSocketConnected);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &ServerConnection::onSocketError);
    connect(m_socket, &QTcpSocket::disconnected, this, &ServerConnection::onSocketDisconnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &ServerConnection::onReadyRead);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &ServerConnection::onBytesWritten);
    // Started from the event loop: a refusal can be reported at once, and its events must not
    // reach the caller of Connect() before it returns.
    const quint64 attempt = m_attempt;
    QTimer::singleShot(0, this, [this, attempt] {
        if (attempt == m_attempt && m_socket)
            m_socket->connectToHost(m_host, quint16(m_port));
    });
    m_connectionTimeout.start();
}

void ServerConnection::dropSocket()
{
    ++m_attempt;
    m_socketConnected = false;
    if (!m_socket)
        return;
    QTcpSocket *socket = std::exchange(m_socket, nullptr);
    socket->disconnect(this);
    socket->abort();
    // Deleted later: it may be emitting the signal we are handling.
    socket->deleteLater();
}

void ServerConnection::moveToNextPort(bool announce)
{
    const int port = m_port;
    m_connectionTimeout.stop();
    dropSocket();
    if (announce) {
        if (port >= LastPort) {
            Q_EMIT ConnectionEvent(4, QStringLiteral("Router not found on selected host"));
            return;
        }
        QPointer<ServerConnection> self(this);
        const quint64 attempt = m_attempt;
        Q_EMIT ConnectionEvent(6, QStringLiteral("Port %1 not found on host").arg(port));
        if (!self || attempt != m_attempt)
            return;
    }
    const int next = port + PortStep;
    if (next > std::numeric_limits<quint16>::max()) {
        Q_EMIT ConnectionEvent(4, QStringLiteral("Router not found on selected host"));
        return;
    }
    openSocket(next);
}

void ServerConnection::onSocketConnected()
{
    m_connectionTimeout.stop();
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
        return;
    m_socketConnected = true;
    // Registration goes out in several writes that together form one message.
    m_socket->write(wire(BuildHeader(senderIdentity(), kLocal, QStringLiteral("REGISTER CLIENT"),
                             kRouterConnect, 0, 0, {}, {})
        + DataBegin));
    m_socket->write(
        wire(blankNumber(m_clientType) + ItemToken + m_clientTypeName + ItemToken + RecordToken));
    for (const auto &object : std::as_const(m_objects)) {
        m_socket->write(
            wire(object.first + ItemToken + blankNumber(object.second) + ItemToken + RecordToken));
    }
    m_socket->write(wire(DataEnd + MessageEnd));
}

void ServerConnection::onSocketError()
{
    if (!m_socket)
        return;
    const QAbstractSocket::SocketError error = m_socket->error();
    const QString description = m_socket->errorString();
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        moveToNextPort(true);
        return;
    case QAbstractSocket::HostNotFoundError:
        m_connectionTimeout.stop();
        dropSocket();
        Q_EMIT ConnectionEvent(5, QStringLiteral("Host computer not found"));
        return;
    case QAbstractSocket::RemoteHostClosedError:
        loseConnection(kPeerClosedText);
        return;
    default:
        if (m_socketConnected) {
            loseConnection(QStringLiteral("Connection to Router lost.  ") + description);
            return;
        }
        m_connectionTimeout.stop();
        dropSocket();
        Q_EMIT ConnectionEvent(7, description);
        return;
    }
}

void ServerConnection::onSocketDisconnected()
{
    // Only a close by the peer reaches here: our own closes detach the socket first.
    loseConnection(kPeerClosedText);
}

void ServerConnection::loseConnection(const QString &text)
{
    m_connectionTimeout.stop();
    dropSocket();
    m_state = Closed;
    abandonWait(text);
    Q_EMIT ConnectionEvent(2, text);
}

void ServerConnection::onConnectionTimeout()
{
    Q_EMIT ConnectionEvent(
        7, QStringLiteral("Connection request timed out. Host computer not found"));
}

void ServerConnection::onBytesWritten()
{
    if (m_socket)
        Q_EMIT ConnectionEvent(9, blankNumber(m_socket->bytesToWrite()));
}

void ServerConnection::onReadyRead()
{
    if (!m_socket)
        return;
    m_splitter.append(m_socket->readAll());

    QPointer<ServerConnection> self(this);
    const quint64 attempt = m_attempt;
    Q_EMIT ConnectionEvent(8, blankNumber(m_splitter.bufferedSize()));
    if (!self || attempt != m_attempt)
        return;

    QString message;
    for (;;) {
        switch (m_splitter.next(&message)) {
        case MessageSplitter::Result::Message:
            if (!dispatch(message))
                return;
            break;
        case MessageSplitter::Result::Incomplete:
            return;
        case MessageSplitter::Result::Overflow:
            // While connecting, endless text means something other than a router answers.
            if (m_state == Connecting) {
                moveToNextPort(false);
            } else {
                loseConnection(
                    QStringLiteral("Connection closed: the router sent a message larger than %1 "
                                   "MiB.")
                        .arg(m_splitter.limit() / (1024 * 1024)));
            }
            return;
        }
    }
}

bool ServerConnection::dispatch(const QString &message)
{
    QPointer<ServerConnection> self(this);
    const quint64 attempt = m_attempt;
    const QString header = GetSection(message, Section::Header);
    const QString access = GetSection(message, Section::Access);
    const QString data = GetSection(message, Section::Data);
    const QString function = GetHeaderField(header, Field::ToClientFunction);

    if (m_state == Connecting) {
        if (function != kRouterConnect) {
            moveToNextPort(false);
            return false;
        }
        m_connectionTimeout.stop();
        m_state = Established;
        m_routerId = GetItem(data, 1);
        m_routerName = GetItem(data, 2);
        Q_EMIT ConnectionEvent(3,
            QStringLiteral("Connection Successful to IP ") + m_socket->peerAddress().toString()
                + QStringLiteral(" using IP ") + m_socket->localAddress().toString());
    } else if (header.isEmpty()) {
        return true;
    } else if (function == kResponse) {
        handleResponse(header, access, data);
    } else {
        ResponseData received;
        received.LoadFromMessage(header, access, data);
        if (function == kAsyncResponse)
            Q_EMIT AsyncResponse(received);
        else
            Q_EMIT Request(received);
    }
    return self && attempt == m_attempt;
}

void ServerConnection::handleResponse(
    const QString &header, const QString &access, const QString &data)
{
    // Only the request now waiting takes an answer; one that comes after its request gave up
    // carries an older sequence number or arrives while nobody waits.
    if (!m_waiting || m_responseArrived || m_errorArrived || m_connectionGone)
        return;
    if (ValueText::int32Value(GetHeaderField(header, Field::Sequence)) != m_sequence)
        return;
    m_lastErrorCode = ValueText::int32Value(GetHeaderField(header, Field::ErrorCode));
    if (m_lastErrorCode != 0) {
        m_lastErrorDescription = GetHeaderField(header, Field::ErrorText);
        m_errorArrived = true;
    } else {
        m_responseHeader = header;
        m_responseAccess = access;
        m_responseData = data;
        m_responseArrived = true;
    }
    endWait();
}

bool ServerConnection::headerFits(
    const QString &toClientId, const QString &toClientFunction, const QString &callbackName) const
{
    return isHeaderSafe(toClientId) && isHeaderSafe(toClientFunction) && isHeaderSafe(callbackName)
        && isHeaderSafe(m_clientId) && isHeaderSafe(m_routerName) && isHeaderSafe(m_clientName)
        && isHeaderSafe(m_userName);
}

bool ServerConnection::write(const QString &message)
{
    if (!m_socket || m_socket->state() != QAbstractSocket::ConnectedState)
        return false;
    const QByteArray bytes = toWire(message);
    return m_socket->write(bytes) == bytes.size();
}

ResponseData ServerConnection::SendRequest(
    const QString &toClientId, const QString &toClientFunction, const QString &data)
{
    if (m_busy)
        return failure(ErrorBusy, kBusyText);
    m_busy = true;
    m_lastErrorCode = 0;
    m_lastErrorDescription.clear();
    QPointer<ServerConnection> self(this);
    ResponseData result = exchange(toClientId, toClientFunction, data);
    if (self)
        m_busy = false;
    return result;
}

ResponseData ServerConnection::exchange(
    const QString &toClientId, const QString &toClientFunction, const QString &data)
{
    if (ValueText::trimBlanks(toClientId).isEmpty()
        || ValueText::trimBlanks(toClientFunction).isEmpty())
        return failure(ErrorInvalidClientId, kInvalidClientIdText);
    if (!headerFits(toClientId, toClientFunction, {}) || !fitsSection(data)
        || !fitsSection(m_userAccess))
        return failure(ErrorInvalidParameters, kInvalidParametersText);

    const QString message = BuildHeader(senderIdentity(), toClientId, toClientFunction, kResponse,
                                m_sequence, 0, {}, {})
        + AccessBegin + m_userAccess + AccessEnd + DataBegin + data + DataEnd + MessageEnd;
    if (!write(message))
        return failure(ErrorNotConnected, kNotConnectedText);

    switch (waitForAnswer()) {
    case WaitOutcome::Destroyed:
        return failure(ErrorNotConnected, kClosedText);
    case WaitOutcome::Response: {
        ResponseData result;
        result.LoadFromMessage(m_responseHeader, m_responseAccess, m_responseData);
        return result;
    }
    case WaitOutcome::ErrorAnswer:
        return failure(m_lastErrorCode, m_lastErrorDescription);
    case WaitOutcome::ConnectionGone:
    case WaitOutcome::TimedOut:
        // The answer may still come; the next request must not take it for its own.
        m_sequence = m_sequence == std::numeric_limits<qint32>::max() ? 1 : m_sequence + 1;
        return m_connectionGone ? failure(ErrorNotConnected, m_connectionGoneText)
                                : failure(ErrorTimeout, kTimeoutText);
    }
    return failure(ErrorTimeout, kTimeoutText);
}

ServerConnection::WaitOutcome ServerConnection::waitForAnswer()
{
    QPointer<ServerConnection> self(this);
    const quint64 serial = ++m_waitSerial;
    m_waiting = true;
    m_responseArrived = false;
    m_errorArrived = false;
    m_connectionGone = false;
    const auto ended = [this] { return m_responseArrived || m_errorArrived || m_connectionGone; };

    {
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        timer.start(m_requestTimeout);
        m_waitLoop = &loop;
        loop.exec();
        if (!self)
            return WaitOutcome::Destroyed;
        m_waitLoop = nullptr;
    }

    if (!ended() && m_waitingWindow) {
        // Late: the window stays until the answer comes or the user gives up.
        QEventLoop loop;
        m_waitLoop = &loop;
        m_windowOpen = true;
        m_waitingWindow->show(kWaitingText, [self, serial] {
            if (self && self->m_waitSerial == serial && self->m_windowOpen) {
                self->m_windowOpen = false;
                if (self->m_waitLoop)
                    self->m_waitLoop->quit();
            }
        });
        if (m_windowOpen && !ended())
            loop.exec();
        if (!self)
            return WaitOutcome::Destroyed;
        m_waitLoop = nullptr;
        if (m_windowOpen) {
            m_windowOpen = false;
            if (m_waitingWindow)
                m_waitingWindow->close();
        }
    }

    m_waiting = false;
    if (m_responseArrived)
        return WaitOutcome::Response;
    if (m_errorArrived)
        return WaitOutcome::ErrorAnswer;
    if (m_connectionGone)
        return WaitOutcome::ConnectionGone;
    return WaitOutcome::TimedOut;
}

void ServerConnection::endWait()
{
    if (m_windowOpen) {
        m_windowOpen = false;
        if (m_waitingWindow)
            m_waitingWindow->close();
    }
    if (m_waitLoop)
        m_waitLoop->quit();
}

void ServerConnection::abandonWait(const QString &reason)
{
    if (!m_waiting || m_responseArrived || m_errorArrived || m_connectionGone)
        return;
    m_connectionGone = true;
    m_connectionGoneText = reason;
    endWait();
}

bool ServerConnection::SendRequestAsync(const QString &toClientId, const QString &toClientFunction,
    const QString &callbackName, qint32 sequence, const QString &data)
{
    if (ValueText::trimBlanks(toClientId).isEmpty()
        || ValueText::trimBlanks(toClientFunction).isEmpty())
        return false;
    if (!headerFits(toClientId, toClientFunction, callbackName) || !fitsSection(data)
        || !fitsSection(m_userAccess))
        return false;
    return write(BuildHeader(senderIdentity(), toClientId, toClientFunction, kAsyncResponse,
                     sequence, 0, {}, callbackName)
        + AccessBegin + m_userAccess + AccessEnd + DataBegin + data + DataEnd + MessageEnd);
}

bool ServerConnection::SendAnswer(const QString &header, const QString &data)
{
    const QString content = GetSection(header, Section::Header);
    if (GetHeaderField(content, Field::ToClientID).isEmpty())
        return false;
    // Exactly one header section of single-line fields, and data that cannot end early.
    if (header != HeadBegin + content + HeadEnd || !isWireSafe(content) || !fitsSection(data))
        return false;
    return write(header + DataBegin + data + DataEnd + MessageEnd);
}

ResponseData ServerConnection::RegisterUser(const QString &userName, const QString &password)
{
    if (!isHeaderSafe(userName) || !fitsItem(userName) || !fitsItem(password))
        return failure(ErrorInvalidParameters, kInvalidParametersText);
    // The request's own header already names the user.
    m_userName = userName;
    QPointer<ServerConnection> self(this);
    ResponseData result = SendRequest(
        kLocal, QStringLiteral("REGISTER USER"), userName + ItemToken + password + ItemToken);
    if (!self || result.ErrorCode() != 0)
        return result;
    m_userId = ValueText::int32Value(GetItem(result.Data(), 1));
    const qsizetype recordEnd = result.Data().indexOf(RecordToken);
    m_userAccess = recordEnd < 0 ? QString() : result.Data().mid(recordEnd + RecordToken.size());
    return result;
}

bool ServerConnection::ChangePassword(const QString &newPassword)
{
    if (!fitsItem(newPassword))
        return false;
    return SendRequest(kLocal, QStringLiteral("CHANGE PASSWORD"),
               blankNumber(m_userId) + ItemToken + newPassword + ItemToken)
               .ErrorCode()
        == 0;
}

bool ServerConnection::CheckUserAccess(const QString &accessList, qint32 requiredBits) const
{
    const QString &list = accessList == QLatin1StringView("SELF CHECK") ? m_userAccess : accessList;
    const QLatin1StringView any("-1");
    for (QStringView record : splitFields(list, RecordToken)) {
        if (record.isEmpty())
            break;
        const QString routerId = GetItem(record, 1);
        const QString clientType = GetItem(record, 2);
        const QString clientId = GetItem(record, 3);
        const QString bits = GetItem(record, 4);
        const qint32 typeValue = ValueText::int32Value(clientType);
        if ((routerId == any || routerId == m_routerId)
            && (typeValue == -1 || typeValue == m_clientType)
            && (clientId == any || clientId == m_clientId)
            && (ValueText::int32Value(bits) == -1
                || (accessBits(bits) & quint32(requiredBits)) != 0))
            return true;
    }
    return false;
}

void ServerConnection::CloseConnection()
{
    if (m_socket && m_socket->state() == QAbstractSocket::ConnectedState
        && headerFits(kLocal, kLocal, {})) {
        // Detached first: a failing goodbye must not report a lost connection.
        m_socket->disconnect(this);
        m_socket->write(wire(BuildHeader(senderIdentity(), kLocal, QStringLiteral("CLOSE CLIENT"),
                                 QStringLiteral("NONE"), m_sequence, 0, {}, {})
            + MessageEnd));
        m_socket->flush();
    }
    dropSocket();
    m_connectionTimeout.stop();
    m_state = Closed;
    abandonWait(kClosedText);
}

std::optional<TCPIPRecordSet> ServerConnection::GetRecordset(
    const QString &toClientId, const QString &sql)
{
    m_lastErrorCode = 0;
    m_lastErrorDescription.clear();
    return recordsetRequest(
        toClientId, QStringLiteral("GET RECORDSET"), sql + ItemToken, fitsItem(sql));
}

std::optional<TCPIPRecordSet> ServerConnection::recordsetRequest(
    const QString &toClientId, const QString &function, const QString &data, bool fits)
{
    QPointer<ServerConnection> self(this);
    const ResponseData answer = fits ? SendRequest(toClientId, function, data)
                                     : failure(ErrorInvalidParameters, kInvalidParametersText);
    if (!self)
        return std::nullopt;
    if (answer.ErrorCode() != 0) {
        m_lastErrorCode = answer.ErrorCode();
        m_lastErrorDescription = answer.ErrorText();
        return std::nullopt;
    }
    TCPIPRecordSet recordset;
    recordset.Load(answer.Data());
    return recordset;
}

std::optional<TCPIPRecordSet> ServerConnection::SaveRecordset(
    const QString &toClientId, const QString &tableName, const TCPIPRecordSet &recordset, bool flag)
{
    m_lastErrorCode = 0;
    m_lastErrorDescription.clear();

    // A shallow copy: reading field names and texts records errors in the recordset.
    TCPIPRecordSet rows = recordset;
    bool fits = fitsItem(tableName);
    QString data = tableName + ItemToken + blankNumber(flag ? 1 : 0) + ItemToken + RecordToken;
    QStringList names;
    for (int field = 1; field <= rows.FieldCount(); ++field) {
        names.append(rows.FieldName(field));
        fits = fits && fitsItem(names.last());
        data += names.last() + ItemToken;
    }
    data += RecordToken;
    for (int row = 1; row <= rows.RecordCount() && fits; ++row) {
        for (const QString &name : std::as_const(names)) {
            const QString value = rows.AsString(row, name);
            fits = fits && fitsItem(value);
            data += value + ItemToken;
        }
        data += RecordToken;
    }

    return recordsetRequest(toClientId, QStringLiteral("SAVE RECORDSET"), data, fits);
}

bool ServerConnection::ExecuteSQL(const QString &toClientId, const QStringList &statements)
{
    m_lastErrorCode = 0;
    m_lastErrorDescription.clear();
    bool fits = true;
    QString data;
    for (const QString &statement : statements) {
        fits = fits && fitsItem(statement);
        data += statement + RecordToken;
    }
    QPointer<ServerConnection> self(this);
    const ResponseData answer = fits ? SendRequest(toClientId, QStringLiteral("EXECUTE SQL"), data)
                                     : failure(ErrorInvalidParameters, kInvalidParametersText);
    if (!self)
        return false;
    if (answer.ErrorCode() != 0) {
        m_lastErrorCode = answer.ErrorCode();
        m_lastErrorDescription = answer.ErrorText();
        return false;
    }
    return true;
}
