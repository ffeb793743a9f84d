#include "router/serverconnection.h"
#include "testclock.h"

#include <QFile>
#include <QHash>
#include <QPointer>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <memory>

using namespace std::chrono_literals;
using namespace Qt::StringLiterals;

namespace {

constexpr int kWait = 10000; // ms; every wait for the peer fails after this
const QString kHost = QStringLiteral("127.0.0.1");
const QString kClientName = QStringLiteral("Booth Office Showpulse");
const QByteArray kClientId = "229385-1012";

QByteArray headerContent(const QByteArray &message)
{
    const qsizetype begin = message.indexOf("\rBEGINHEAD\r");
    const qsizetype end = message.indexOf("\rENDHEAD\r");
    if (begin < 0 || end < begin)
        return {};
    return message.mid(begin + 11, end - begin - 11);
}

// Header field by its position on the wire (1 = ToClientID ... 11 = CallbackName).
QByteArray wireField(const QByteArray &message, int position)
{
    return headerContent(message).split(':').value(position - 1);
}

QByteArray sectionOf(const QByteArray &message, const QByteArray &name)
{
    const QByteArray begin = "\rBEGIN" + name + '\r';
    const QByteArray end = "\rEND" + name + '\r';
    const qsizetype at = message.indexOf(begin);
    const qsizetype stop = message.indexOf(end);
    if (at < 0 || stop < at)
        return {};
    return message.mid(at + begin.size(), stop - at - begin.size());
}

// A message from the router side: addressed to \a toFunction of this client.
QByteArray answer(const QByteArray &toFunction, const QByteArray &sequence, int errorCode = 0,
    const QByteArray &errorText = {}, const QByteArray &data = {})
{
    return "\rBEGINHEAD\r" + kClientId + ':' + toFunction + ":228001-987:NONE:" + sequence
        + ":MAINROUTER:Driver::" + QByteArray::number(errorCode) + ':' + errorText
        + "::\rENDHEAD\r\rBEGINDATA\r" + data + "\rENDDATA\r\rEND\r";
}

// The answer to \a request, with its sequence echoed.
QByteArray reply(const QByteArray &request, int errorCode = 0, const QByteArray &errorText = {},
    const QByteArray &data = {})
{
    return answer("RESPONSE", wireField(request, 5), errorCode, errorText, data);
}

const QByteArray kRouterConnect
    = answer("ROUTER CONNECT", " 0", 0, {}, "R7\rITEM\rMAINROUTER\rITEM\r");

// A scripted router on one loopback port. The first message of each connection is the
// registration; every later one goes to onRequest.
class FakeRouter
{
public:
    enum class Greeting { Router, OtherMessage, EndlessText, Silent };

    explicit FakeRouter(Greeting greeting = Greeting::Router)
        : m_greeting(greeting)
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            while (QTcpSocket *peer = m_server.nextPendingConnection())
                accept(peer);
        });
    }

    bool listen(int port) { return m_server.listen(QHostAddress::LocalHost, quint16(port)); }

    void send(const QByteArray &bytes)
    {
        if (m_peer)
            m_peer->write(bytes);
    }
    void sendAfter(int ms, const QByteArray &bytes)
    {
        QTimer::singleShot(ms, &m_server, [this, bytes] { send(bytes); });
    }
    void closePeer()
    {
        if (m_peer)
            m_peer->disconnectFromHost();
    }

    QList<QByteArray> registrations;
    QList<QByteArray> requests;
    int disconnects = 0;
    std::function<void(const QByteArray &)> onRequest;

private:
    void accept(QTcpSocket *peer)
    {
        m_peer = peer;
        QObject::connect(peer, &QTcpSocket::disconnected, &m_server, [this] { ++disconnects; });
        QObject::connect(peer, &QTcpSocket::readyRead, &m_server, [this, peer] {
            QByteArray &buffer = m_buffers[peer];
            buffer += peer->readAll();
            for (qsizetype end = buffer.indexOf("\rEND\r"); end >= 0;
                 end = buffer.indexOf("\rEND\r")) {
                const QByteArray message = buffer.left(end + 5);
                buffer.remove(0, end + 5);
                received(peer, message);
            }
        });
    }

    void received(QTcpSocket *peer, const QByteArray &message)
    {
        if (!m_registered.contains(peer)) {
            m_registered.insert(peer, true);
            registrations.append(message);
            switch (m_greeting) {
            case Greeting::Router:
                peer->write(kRouterConnect);
                break;
            case Greeting::OtherMessage:
                peer->write(answer("HELLO", " 0"));
                break;
            case Greeting::EndlessText:
                peer->write(QByteArray(MessageSplitter::DefaultLimit + 1024, 'x'));
                break;
            case Greeting::Silent:
                break;
            }
            return;
        }
        requests.append(message);
        if (onRequest)
            onRequest(message);
    }

    Greeting m_greeting;
    QTcpServer m_server;
    QPointer<QTcpSocket> m_peer;
    QHash<QTcpSocket *, QByteArray> m_buffers;
    QHash<QTcpSocket *, bool> m_registered;
};

#define LISTEN_OR_SKIP(router, port)                                                               \
    if (!(router).listen(port))                                                                    \
    QSKIP(qPrintable(QStringLiteral("Port %1 on 127.0.0.1 is in use by another program").arg(port)))

// Connection events that say something about the connection (codes 2 to 7).
QList<QPair<int, QString>> statusEvents(const QSignalSpy &spy)
{
    QList<QPair<int, QString>> events;
    for (const QList<QVariant> &args : spy) {
        const int code = args.at(0).toInt();
        if (code >= 2 && code <= 7)
            events.append({ code, args.at(1).toString() });
    }
    return events;
}

bool hasStatusEvent(const QSignalSpy &spy, int code)
{
    const auto events = statusEvents(spy);
    return std::any_of(
        events.begin(), events.end(), [code](const auto &e) { return e.first == code; });
}

// The waiting window as the user interface would provide it.
class FakeWaitingWindow : public ServerConnection::WaitingWindow
{
public:
    void show(const QString &message, std::function<void()> cancel) override
    {
        ++shown;
        this->message = message;
        this->cancel = std::move(cancel);
        if (onShow)
            onShow();
    }
    void close() override { ++closed; }

    int shown = 0;
    int closed = 0;
    QString message;
    std::function<void()> cancel;
    std::function<void()> onShow;
};

} // namespace

// The router connection against a scripted router on the fixed router ports of 127.0.0.1.
class TestServerConnection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void testConnectRefusedAtOnce_data();
    void testConnectRefusedAtOnce();
    void testClientIdFile_data();
    void testClientIdFile();
    void testPortWalkAllRefused();
    void testNonRouterAnswerMovesOn_data();
    void testNonRouterAnswerMovesOn();
    void testSecondConnectRestartsAtFirstPort();
    void testHostNotFound();
    void testConnectTimeout();
    void testRegistrationBytes();
    void testLogOnAndPasswordChange();
    void testLogOnRefused_data();
    void testLogOnRefused();
    void testCheckUserAccess_data();
    void testCheckUserAccess();
    void testBusy();
    void testAnswerSequence_data();
    void testAnswerSequence();
    void testLateAnswerNotTakenByNextRequest();
    void testWaitingWindow_data();
    void testWaitingWindow();
    void testUnsafeValuesRefused_data();
    void testUnsafeValuesRefused();
    void testConnectionLost_data();
    void testConnectionLost();
    void testOverflowClosesConnection();
    void testCloseOrDestroyDuringWait_data();
    void testCloseOrDestroyDuringWait();
    void testCloseConnectionSaysGoodbye();
    void testIncomingDispatch();
    void testAsyncRequestAndAnswerBytes();
    void testGetRecordset();
    void testSaveRecordset();
    void testExecuteSQL();

private:
    std::unique_ptr<ServerConnection> newConnection();
    bool connectTo(ServerConnection &connection);
    bool logOn(ServerConnection &connection, FakeRouter &router, const QByteArray &access = {});

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestServerConnection::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QFile file(m_dir->filePath(QStringLiteral("ShowpulseSock.dat")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("1.000\r\n" + kClientId + "\r\n");
}

void TestServerConnection::cleanup()
{
    m_dir.reset();
}

std::unique_ptr<ServerConnection> TestServerConnection::newConnection()
{
    auto connection = std::make_unique<ServerConnection>(m_dir->path());
    connection->SetType(2, QStringLiteral("Halden"));
    connection->ClearObjects();
    connection->AddObject(QStringLiteral("Log On Access"), 1);
    return connection;
}

bool TestServerConnection::connectTo(ServerConnection &connection)
{
    return connection.Connect(kHost, kClientName)
        && QTest::qWaitFor([&] { return connection.Connected(); }, kWait);
}

// Logs "manager" on; the router answers user ID 17 and \a access.
bool TestServerConnection::logOn(
    ServerConnection &connection, FakeRouter &router, const QByteArray &access)
{
    router.onRequest = [&router, access](const QByteArray &request) {
        router.send(reply(request, 0, {}, " 17\rITEM\r\rRECORD\r" + access));
    };
    const ResponseData result
        = connection.RegisterUser(QStringLiteral("manager"), QStringLiteral("secret"));
    router.onRequest = nullptr;
    return result.ErrorCode() == 0;
}

void TestServerConnection::testConnectRefusedAtOnce_data()
{
    QTest::addColumn<int>("clientType");
    QTest::addColumn<QString>("typeName");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("clientName");
    QTest::addColumn<bool>("idFileMade");

    QTest::newRow("no client type") << 0 << u"Halden"_s << kHost << kClientName << false;
    QTest::newRow("colon in client name")
        << 2 << u"Halden"_s << kHost << u"Booth: Office"_s << false;
    QTest::newRow("type name reads as a token") << 2 << u"END"_s << kHost << kClientName << false;
    // The connecting window's Cancel: nothing is started, but the identity is in place.
    QTest::newRow("empty host") << 2 << u"Halden"_s << QString() << QString() << true;
}

void TestServerConnection::testConnectRefusedAtOnce()
{
    QFETCH(int, clientType);
    QFETCH(QString, typeName);
    QFETCH(QString, host);
    QFETCH(QString, clientName);
    QFETCH(bool, idFileMade);

    QVERIFY(QFile::remove(m_dir->filePath(QStringLiteral("ShowpulseSock.dat"))));
    auto connection = newConnection();
    connection->SetType(clientType, typeName);
    QSignalSpy events(connection.get(), &ServerConnection::ConnectionEvent);

    QVERIFY(!connection->Connect(host, clientName));
    QTest::qWait(100);
    QVERIFY(events.isEmpty());
    QCOMPARE(connection->GetState(), 0);
    QVERIFY(!connection->Connected());
    QCOMPARE(QFile::exists(connection->clientIdFilePath()), idFileMade);
}

void TestServerConnection::testClientIdFile_data()
{
    QTest::addColumn<QByteArray>("fileBefore");
    QTest::addColumn<QString>("expectedId");

    const QString made = QStringLiteral("909310830-1501");
    QTest::newRow("missing") << QByteArray() << made;
    QTest::newRow("reused") << QByteArray("1.000\r\n123-45\r\n") << QStringLiteral("123-45");
    QTest::newRow("line 2 empty") << QByteArray("1.000\r\n\r\n") << made;
    QTest::newRow("version line only") << QByteArray("1.000\r\n") << made;
    QTest::newRow("ID that would shift header fields") << QByteArray("1.000\r\n12:34\r\n") << made;
}

void TestServerConnection::testClientIdFile()
{
    QFETCH(QByteArray, fileBefore);
    QFETCH(QString, expectedId);

    const QString path = m_dir->filePath(QStringLiteral("ShowpulseSock.dat"));
    QFile::remove(path);
    if (!fileBefore.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(fileBefore);
    }

    TestClock clock(QDateTime(QDate(2026, 3, 15), QTime(10, 20, 30)));
    auto connection = newConnection();
    QCOMPARE(connection->clientIdFilePath(), path);
    const QString name = QStringLiteral("Caf\u00e9 Showpulse");
    connection->Connect(QString(), name);
    QCOMPARE(connection->GetClientID(), expectedId);

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), "1.000\r\n" + expectedId.toLatin1() + "\r\n");
    file.close();

    // Made once: a later connection at another time keeps it.
    clock.advanceSeconds(3600);
    ServerConnection later(m_dir->path());
    later.SetType(2, QStringLiteral("Halden"));
    later.Connect(QString(), QStringLiteral("Other"));
    QCOMPARE(later.GetClientID(), expectedId);
}

void TestServerConnection::testPortWalkAllRefused()
{
    for (int port = ServerConnection::FirstPort; port <= ServerConnection::LastPort;
         port += ServerConnection::PortStep) {
        QTcpServer probe;
        if (!probe.listen(QHostAddress::LocalHost, quint16(port)))
            QSKIP(qPrintable(
                QStringLiteral("Port %1 on 127.0.0.1 is in use by another program").arg(port)));
    }
    auto connection = newConnection();
    QSignalSpy events(connection.get(), &ServerConnection::ConnectionEvent);
    QVERIFY(connection->Connect(kHost, kClientName));
    QCOMPARE(connection->GetState(), 1);
    QVERIFY(events.isEmpty()); // nothing before Connect returns

    QTRY_VERIFY_WITH_TIMEOUT(hasStatusEvent(events, 4), 3 * kWait);
    QList<QPair<int, QString>> expected;
    for (int port = 2357; port <= 2420; port += 7)
        expected.append({ 6, QStringLiteral("Port %1 not found on host").arg(port) });
    expected.append({ 4, QStringLiteral("Router not found on selected host") });
    QCOMPARE(statusEvents(events), expected);
    QCOMPARE(connection->GetState(), 1);
    QVERIFY(!connection->Connected());
}

void TestServerConnection::testNonRouterAnswerMovesOn_data()
{
    QTest::addColumn<int>("greeting");
    QTest::newRow("another message") << int(FakeRouter::Greeting::OtherMessage);
    QTest::newRow("endless text") << int(FakeRouter::Greeting::EndlessText);
}

void TestServerConnection::testNonRouterAnswerMovesOn()
{
    QFETCH(int, greeting);
    FakeRouter other { FakeRouter::Greeting(greeting) };
    LISTEN_OR_SKIP(other, 2357);
    FakeRouter router;
    LISTEN_OR_SKIP(router, 2364);

    auto connection = newConnection();
    QSignalSpy events(connection.get(), &ServerConnection::ConnectionEvent);
    QVERIFY(connectTo(*connection));
    QCOMPARE(other.registrations.size(), 1);
    QCOMPARE(router.registrations.size(), 1);
    const QList<QPair<int, QString>> expected
        = { { 3, QStringLiteral("Connection Successful to IP 127.0.0.1 using IP 127.0.0.1") } };
    QCOMPARE(statusEvents(events), expected);
}

void TestServerConnection::testSecondConnectRestartsAtFirstPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 2357))
        QSKIP("Port 2357 on 127.0.0.1 is in use by another program");
    probe.close();
    FakeRouter silent(FakeRouter::Greeting::Silent);
    LISTEN_OR_SKIP(silent, 2364);

    auto connection = newConnection();
    QSignalSpy events(connection.get(), &ServerConnection::ConnectionEvent);
    QVERIFY(connection->Connect(kHost, kClientName));
    QTRY_COMPARE_WITH_TIMEOUT(silent.registrations.size(), 1, kWait);
    QVERIFY(connection->Connect(kHost, kClientName));
    QTRY_COMPARE_WITH_TIMEOUT(silent.registrations.size(), 2, kWait);
    QTRY_COMPARE_WITH_TIMEOUT(silent.disconnects, 1, kWait);

    const QList<QPair<int, QString>> expected
        = { { 6, QStringLiteral("Port 2357 not found on host") },
              { 6, QStringLiteral("Port 2357 not found on host") } };
    QCOMPARE(statusEvents(events), expected);
    QCOMPARE(connection->GetState(), 1);
}

void TestServerConnection::testHostNotFound()
{
    auto connection = newConnection();
    QSignalSpy events(connection.get(), &ServerConnection::ConnectionEvent);
    QVERIFY(connection->Connect(QStringLiteral("no-such-host.invalid"), kClientName));
    QTRY_VERIFY_WITH_TIMEOUT(!statusEvents(events).isEmpty(), 3 * kWait);
    const QList<QPair<int, QString>> expected
        = { { 5, QStringLiteral("Host computer not found") } };
    QCOMPARE(statusEvents(events), expected);
    QCOMPARE(connection->GetState(), 1);
}

void TestServerConnection::testConnectTimeout()
{
    // A listener with a full backlog lets a connection attempt hang without an answer.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(fd >= 0);
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_port = htons(2357);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        QSKIP("Port 2357 on 127.0.0.1 is in use by another program");
    QVERIFY(::listen(fd, 0) == 0);
    QTcpSocket filler;
    filler.connectToHost(QHostAddress::LocalHost, 2357);
    QVERIFY(filler.waitForConnected(kWait));

    auto connection = newConnection();
    connection->setConnectionTimeout(300ms);
    QSignalSpy events(connection.get(), &ServerConnection::ConnectionEvent);
    QVERIFY(connection->Connect(kHost, kClientName));
    if (!QTest::qWaitFor([&] { return !statusEvents(events).isEmpty(); }, 5000))
        QSKIP("This system completed the connection beyond the backlog; nothing to time out");
    const QList<QPair<int, QString>> expected
        = { { 7, QStringLiteral("Connection request timed out. Host computer not found") } };
    QCOMPARE(statusEvents(events), expected);
    QCOMPARE(connection->GetState(), 1);
}

void TestServerConnection::testRegistrationBytes()
{
    FakeRouter router;
    LISTEN_OR_SKIP(router, 2357);
    auto connection = newConnection();
    QSignalSpy events(connection.get(), &ServerConnection::ConnectionEvent);
    QVERIFY(connectTo(*connection));

    QCOMPARE(router.registrations.size(), 1);
    QCOMPARE(router.registrations.first(),
        QByteArray("\rBEGINHEAD\rLOCAL:REGISTER CLIENT:229385-1012:ROUTER CONNECT: 0::"
                   "Booth Office Showpulse::0:::\rENDHEAD\r"
                   "\rBEGINDATA\r 2\rITEM\rHalden\rITEM\r\rRECORD\r"
                   "Log On Access\rITEM\r 1\rITEM\r\rRECORD\r\rENDDATA\r\rEND\r"));
    QCOMPARE(connection->GetState(), 2);
    QCOMPARE(connection->RouterID(), QStringLiteral("R7"));
    QCOMPARE(connection->GetServerName(), QStringLiteral("MAINROUTER"));
    QCOMPARE(connection->GetClientName(), kClientName);
    QCOMPARE(connection->GetClientID(), QString::fromLatin1(kClientId));
    QCOMPARE(connection->GetClientType(), 2);
    QVERIFY(hasStatusEvent(events, 3));
    // Arrivals and send progress are reported with a leading blank.
    bool sawArrival = false;
    for (const QList<QVariant> &args : events) {
        if (args.at(0).toInt() == 8 || args.at(0).toInt() == 9) {
            QVERIFY(args.at(1).toString().startsWith(QLatin1Char(' ')));
            sawArrival = sawArrival || args.at(0).toInt() == 8;
        }
    }
    QVERIFY(sawArrival);
}

void TestServerConnection::testLogOnAndPasswordChange()
{
    FakeRouter router;
    LISTEN_OR_SKIP(router, 2357);
    auto connection = newConnection();
    QVERIFY(connectTo(*connection));

    const QByteArray access = "-1\rITEM\r-1\rITEM\r-1\rITEM\r-1\rITEM\r\rRECORD\r";
    QVERIFY(logOn(*connection, router, access));
    QCOMPARE(router.requests.size(), 1);
    QCOMPARE(router.requests.first(),
        QByteArray("\rBEGINHEAD\rLOCAL:REGISTER USER:229385-1012:RESPONSE: 0:MAINROUTER:"
                   "Booth Office Showpulse:manager:0:::\rENDHEAD\r\rBEGINACCESS\r\rENDACCESS\r"
                   "\rBEGINDATA\rmanager\rITEM\rsecret\rITEM\r\rENDDATA\r\rEND\r"));
    QCOMPARE(connection->GetUserID(), 17);
    QCOMPARE(connection->GetUserName(), QStringLiteral("manager"));
    QVERIFY(connection->CheckUserAccess(QStringLiteral("SELF CHECK"), 1));

    router.onRequest = [&router](const QByteArray &request) { router.send(reply(request)); };
    QVERIFY(connection->ChangePassword(QStringLiteral("n3w")));
    QCOMPARE(wireField(router.requests.last(), 2), QByteArray("CHANGE PASSWORD"));
    // Every request after the log-on carries the user's access list.
    QCOMPARE(sectionOf(router.requests.last(), "ACCESS"), access);
    QCOMPARE(sectionOf(router.requests.last(), "DATA"), QByteArray(" 17\rITEM\rn3w\rITEM\r"));

    router.onRequest = [&router](const QByteArray &request) { router.send(reply(request, 305)); };
    QVERIFY(!connection->ChangePassword(QStringLiteral("again")));
}

void TestServerConnection::testLogOnRefused_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expectedText");

    QTest::newRow("303 without text") << 303 << QByteArray() << u"User name already exists"_s;
    QTest::newRow("303 with text") << 303 << QByteArray("Taken") << u"Taken"_s;
    QTest::newRow("unknown code") << 2003 << QByteArray() << u"Unknow Error"_s;
}

void TestServerConnection::testLogOnRefused()
{
    QFETCH(int, code);
    QFETCH(QByteArray, text);
    QFETCH(QString, expectedText);

    FakeRouter router;
    LISTEN_OR_SKIP(router, 2357);
    auto connection = newConnection();
    QVERIFY(connectTo(*connection));
    router.onRequest = [&](const QByteArray &request) {
        router.send(reply(request, code, text, " 99\rITEM\r\rRECORD\r-1\rITEM\r"));
    };
    const ResponseData result
        = connection->RegisterUser(QStringLiteral("manager"), QStringLiteral("wrong"));
    QCOMPARE(result.ErrorCode(), code);
    QCOMPARE(result.ErrorText(), expectedText);
    QCOMPARE(connection->GetLastErrorCode(), code);
    QCOMPARE(connection->GetLastErrorDescription(), QString::fromLatin1(text));
    QCOMPARE(connection->GetUserID(), 0);
    QVERIFY(!connection->CheckUserAccess(QStringLiteral("SELF CHECK"), 1));
}

void TestServerConnection::testCheckUserAccess_data()
{
    QTest::addColumn<QString>("list");
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("granted");

    const auto record = [](const char *router, const char *type, const char *client,
                            const char *bits) -> QString {
        return QString::fromLatin1(router) + QStringLiteral("\rITEM\r") + QString::fromLatin1(type)
            + QStringLiteral("\rITEM\r") + QString::fromLatin1(client) + QStringLiteral("\rITEM\r")
            + QString::fromLatin1(bits) + QStringLiteral("\rITEM\r\rRECORD\r");
    };
    QTest::newRow("all wildcards") << record("-1", "-1", "-1", "-1") << 1 << true;
    QTest::newRow("other bits") << record("-1", "-1", "-1", "2") << 1 << false;
    QTest::newRow("one shared bit") << record("-1", "-1", "-1", "3") << 2 << true;
    QTest::newRow("unsigned mask") << record("-1", "-1", "-1", "4294967295") << 1 << true;
    QTest::newRow("this router") << record("R7", "-1", "-1", "-1") << 1 << true;
    QTest::newRow("other router") << record("R8", "-1", "-1", "-1") << 1 << false;
    QTest::newRow("this type") << record("-1", " 2", "-1", "-1") << 1 << true;
    QTest::newRow("other type") << record("-1", " 3", "-1", "-1") << 1 << false;
    QTest::newRow("this client") << record("-1", "-1", "229385-1012", "-1") << 1 << true;
    QTest::newRow("other client") << record("-1", "-1", "229385-1013", "-1") << 1 << false;
    QTest::newRow("second record grants")
        << record("R8", "-1", "-1", "-1") + record("-1", "-1", "-1", " 1") << 1 << true;
    QTest::newRow("empty record ends the list")
        << QStringLiteral("\rRECORD\r") + record("-1", "-1", "-1", "-1") << 1 << false;
    QTest::newRow("empty list") << QString() << 1 << false;
}

void TestServerConnection::testCheckUserAccess()
{
    QFETCH(QString, list);
    QFETCH(int, bits);
    QFETCH(bool, granted);

    FakeRouter router;
    LISTEN_OR_SKIP(router, 2357);
    auto connection = newConnection();
    QVERIFY(connectTo(*connection));
    QCOMPARE(connection->CheckUserAccess(list, bits), granted);
    connection->SetUserAccessSpecial(list);
    QCOMPARE(connection->CheckUserAccess(QStringLiteral("SELF CHECK"), bits), granted);
}

void TestServerConnection::testBusy()
{
    FakeRouter router;
    LISTEN_OR_SKIP(router, 2357);
    auto connection = newConnection();
    QVERIFY(connectTo(*connection));
    connection->setRequestTimeout(30s);
    router.onRequest = [&router](const QByteArray &request) {
        router.sendAfter(300, reply(request, 0, {}, "first\rITEM\r"));
    };

    std::optional<ResponseData> second;
    QObject context;
    QTimer::singleShot(50, &context, [&] {
        second = connection->SendRequest(
            QStringLiteral("228001-987"), QStringLiteral("PING"), QString());
    });
    const ResponseData first
        = connection->SendRequest(QStringLiteral("228001-987"), QStringLiteral("PING"), QString());

    QVERIFY(second.has_value());
    QCOMPARE(second->ErrorCode(), 1);
    QCOMPARE(
        second->ErrorText(), QStringLiteral("Cannot send request.  Busy waiting for response!"));
    QCOMPARE(first.ErrorCode(), 0);
    QCOMPARE(first.Data(), QStringLiteral("first\rITEM\r"));
    QCOMPARE(router.requests.size(), 1);
}

void TestServerConnection::testAnswerSequence_data()
{
    QTest::addColumn<QByteArray>("sequence");
    QTest::addColumn<int>("code");

    QTest::newRow("echoed") << QByteArray(" 0") << 0;
    QTest::newRow("other sequence") << QByteArray(" 3") << 2;
    QTest::newRow("negative sequence") << QByteArray("-1") << 2;
}

void TestServerConnection::testAnswerSequence()
{
    QFETCH(QByteArray, sequence);
    QFETCH(int, code);

    FakeRouter router;
    LISTEN_OR_SKIP(router, 2357);
    auto connection = newConnection();
    QVERIFY(connectTo(*connection));
    connection->setRequestTimeout(300ms);
    router.onRequest = [&router, sequence](const QByteArray &) {
        router.send(answer("response", sequence, 0, {}, "x\rITEM\r"));
    };
    const ResponseData result
        = connection->SendRequest(QStringLiteral("228001-987"), QStringLiteral("PING"), QString());
    QCOMPARE(result.ErrorCode(), code);
    if (code == 2)
        QCOMPARE(result.ErrorText(), QStringLiteral("Request Timeout.  No Response"));
    else
        QCOMPARE(result.Data(), QStringLiteral("x\rITEM\r"));
}

void TestServerConnection::testLateAnswerNotTakenByNextRequest()
{
    FakeRouter router;
    LISTEN_OR_SKIP(router, 2357);
    auto connection = newConnection();
    QVERIFY(connectTo(*connection));
    router.onRequest = [&router](const QByteArray &request) {
        const QByteArray data = sectionOf(request, "DATA");
        router.sendAfter(data == "A\rITEM\r" ? 600 : 800, reply(request, 0, {}, data));
    };

    connection->setRequestTimeout(200ms);
    const QString driver = QStringLiteral("228001-987");
    const ResponseData first
        = connection->SendRequest(driver, QStringLiteral("PING"), QStringLiteral("A\rITEM\r"));
    QCOMPARE(first.ErrorCode(), 2);

    // The answer to the first request arrives while the second one waits.
    connection->setRequestTimeout(30s);
    const ResponseData second
        = connection->SendRequest(driver, QStringLiteral("PING"), QStringLiteral("B\rITEM\r"));
    QCOMPARE(second.ErrorCode(), 0);
    QCOMPARE(second.Data(), QStringLiteral("B\rITEM\r"));
    QCOMPARE(wireField(router.requests.at(0), 5), QByteArray(" 0"));
    QCOMPARE(wireField(router.requests.at(1), 5), QByteArray(" 1"));
}

void TestServerConnection::testWaitingWindow_data()
{
    QTest::addColumn<QString>("what");
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("closedByConnection");

    QTest::newRow("answer") << u"answer"_s << 0 << 1;
    QTest::newRow("error answer") << u"error"_s << 305 << 1;
    QTest::newRow("cancel") << u"cancel"_s << 2 << 0;
}

void TestServerConnection::testWaitingWindow()
{
    QFETCH(QString, what);
    QFETCH(int, code);
    QFETCH(int, closedByConnection);

    FakeRouter router;
    LISTEN_OR_SKIP(router, 2357);
    auto connection = newConnection();
    QVERIFY(connectTo(*connection));
    connection->setRequestTimeout(100ms);
    FakeWaitingWindow window;
    connection->setWaitingWindow(&window);

    router.onRequest = [&](const QByteArray &request) {
        if (what == QLatin1String("answer"))
            router.sendAfter(400, reply(request, 0, {}, "late\rITEM\r"));
        else if (what == QLatin1String("error"))
            router.sendAfter(400, reply(request, 305));
    };
    QObject context;
    window.onShow = [&] {
        if (what == QLatin1String("cancel"))
            QTimer::singleShot(50, &context, [&] { window.cancel(); });
    };
    // Should the window never close, give up instead of hanging.
    bool gaveUp = false;
    QTimer::singleShot(kWait, &context, [&] {
        gaveUp = true;
        if (window.cancel)
            window.cancel();
    });

    const ResponseData result
        = connection->SendRequest(QStringLiteral("228001-987"), QStringLiteral("PING"), QString());
    QVERIFY(!gaveUp);
    QCOMPARE(window.shown, 1);
    QCOMPARE(window.message, QStringLiteral("No Response from Router\nPlease Wait..."));
    QCOMPARE(window.closed, closedByConnection);
    QCOMPARE(result.ErrorCode(), code);
    if (code == 0)
        QCOMPARE(result.Data(), QStringLiteral("late\rITEM\r"));
    if (code == 305)
        QCOMPARE(result.ErrorText(), QStringLiteral("Invalid Password"));

    // A Cancel after the request ended changes nothing.
    window.cancel();
    connection->setWaitingWindow(nullptr);
}

void TestServerConnection::testUnsafeValuesRefused_data()
{
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("function");
    QTest::addColumn<QString>("data");
    QTest::addColumn<int>("code");

    const QString driver = QStringLiteral("228001-987");
    QTest::newRow("blank destination") << u" "_s << u"PING"_s << QString() << 5;
    QTest::newRow("empty function") << driver << QString() << QString() << 5;
    QTest::newRow("colon in destination") << u"2280:01"_s << u"PING"_s << QString() << -4;
    QTest::newRow("CR in function") << driver << u"PI\rNG"_s << QString() << -4;
    QTest::newRow("data would end the message")
        << driver << u"PING"_s << u"a\rEND\rb\rITEM\r"_s << -4;
    QTest::newRow("data reads as the end token") << driver << u"PING"_s << u"END"_s << -4;
    QTest::newRow("data would end the section")
        << driver << u"PING"_s << u"x\rITEM\rENDDATA\rITEM\r"_s << -4;
    QTest::newRow("data outside Latin-1") << driver << u"PING"_s << u"\u20ac\rITEM\r"_s << -4;
}

void TestServerConnection::testUnsafeValuesRefused()
{
    QFETCH(QString, to);
    QFETCH(QString, function);
    QFETCH(QString, data);
    QFETCH(int, code);

    FakeRouter router;
    LISTEN_OR_SKIP(router, 2357);
    auto connection = newConnection();
    QVERIFY(connectTo(*connection));

    const ResponseData result = connection->SendRequest(to, function, data);
    QCOMPARE(result.ErrorCode(), code);
    QVERIFY(!result.ErrorText().isEmpty());
    if (code == 5)
        QCOMPARE(result.ErrorText(), QStringLiteral("Invalid Client ID"));
    QVERIFY(!connection->SendRequestAsync(to, function, QString(), 4, data));

    // Values that the connection lays out itself are checked one by one.
    QVERIFY(!connection->GetRecordset(QStringLiteral("228001-987"), QStringLiteral("RECORD")));
    QCOMPARE(connection->GetLastErrorCode(), -4);
    QVERIFY(!connection->ExecuteSQL(QStringLiteral("228001-987"), { QStringLiteral("a\rITEM") }));
    QCOMPARE(connection->RegisterUser(QStringLiteral("a:b"), QString()).ErrorCode(), -4);
    QCOMPARE(connection->GetUserName(), QString());

    QTest::qWait(50);
    QVERIFY(router.requests.isEmpty());
}

void TestServerConnection::testConnectionLost_data()
{
    QTest::addColumn<bool>("duringRequest");
    QTest::newRow("idle") << false;
    QTest::newRow("during a request") << true;
}

void TestServerConnection::testConnectionLost()
{
    QFETCH(bool, duringRequest);

    FakeRouter router;
    LISTEN_OR_SKIP(router, 2357);
    auto connection = newConnection();
    QVERIFY(connectTo(*connection));
    QSignalSpy events(connection.get(), &ServerConnection::ConnectionEvent);
    const QString lost = QStringLiteral("Connection with Halden Router lost");
    const QString driver = QStringLiteral("228001-987");

    if (duringRequest) {
        connection->setRequestTimeout(30s);
        router.onRequest = [&router](const QByteArray &) { router.closePeer(); };
        // Ends with the loss, not with the time-out.
        const ResponseData result = connection->SendRequest(driver, QStringLiteral("PING"), {});
        QCOMPARE(result.ErrorCode(), 6);
        QCOMPARE(result.ErrorText(), lost);
    } else {
        router.closePeer();
        QTRY_VERIFY_WITH_TIMEOUT(hasStatusEvent(events, 2), kWait);
    }
    const QList<QPair<int, QString>> expected = { { 2, lost } };
    QCOMPARE(statusEvents(events), expected);
    QCOMPARE(connection->GetState(), 0);

    const ResponseData after = connection->SendRequest(driver, QStringLiteral("PING"), {});
    QCOMPARE(after.ErrorCode(), 6);
    QCOMPARE(after.ErrorText(), QStringLiteral("Cannot send request.  Not connected to Router!"));
}

void TestServerConnection::testOverflowClosesConnection()
{
    FakeRouter router;
    LISTEN_OR_SKIP(router, 2357);
    auto connection = newConnection();
    QVERIFY(connectTo(*connection));
    QSignalSpy events(connection.get(), &ServerConnection::ConnectionEvent);

    router.send(QByteArray(MessageSplitter::DefaultLimit + 1, 'x'));
    QTRY_VERIFY_WITH_TIMEOUT(hasStatusEvent(events, 2), kWait);
    const QList<QPair<int, QString>> expected = { { 2,
        QStringLiteral("Connection closed: the router sent a message larger than 8 MiB.") } };
    QCOMPARE(statusEvents(events), expected);
    QCOMPARE(connection->GetState(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(router.disconnects, 1, kWait);
}

void TestServerConnection::testCloseOrDestroyDuringWait_data()
{
    QTest::addColumn<bool>("destroy");
    QTest::newRow("close") << false;
    QTest::newRow("destroy") << true;
}

void TestServerConnection::testCloseOrDestroyDuringWait()
{
    QFETCH(bool, destroy);

    FakeRouter router;
    LISTEN_OR_SKIP(router, 2357);
    std::unique_ptr<ServerConnection> owner = newConnection();
    QPointer<ServerConnection> connection = owner.get();
    QVERIFY(connectTo(*connection));
    connection->setRequestTimeout(30s);
    FakeWaitingWindow window;
    connection->setWaitingWindow(&window);

    QObject context;
    QTimer::singleShot(100, &context, [&] {
        if (destroy)
            owner.reset();
        else
            connection->CloseConnection();
    });
    const ResponseData result
        = connection->SendRequest(QStringLiteral("228001-987"), QStringLiteral("PING"), {});
    QCOMPARE(result.ErrorCode(), 6);
    QCOMPARE(
        result.ErrorText(), QStringLiteral("Request abandoned.  Connection to Router closed."));
    QCOMPARE(connection.isNull(), destroy);
    QCOMPARE(window.shown, 0);
    if (!destroy)
        QCOMPARE(connection->GetState(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(router.disconnects, 1, kWait);
}

void TestServerConnection::testCloseConnectionSaysGoodbye()
{
    FakeRouter router;
    LISTEN_OR_SKIP(router, 2357);
    auto connection = newConnection();
    QVERIFY(connectTo(*connection));
    QSignalSpy events(connection.get(), &ServerConnection::ConnectionEvent);

    connection->CloseConnection();
    QCOMPARE(connection->GetState(), 0);
    QVERIFY(!connection->Connected());
    QTRY_COMPARE_WITH_TIMEOUT(router.requests.size(), 1, kWait);
    QCOMPARE(router.requests.first(),
        QByteArray("\rBEGINHEAD\rLOCAL:CLOSE CLIENT:229385-1012:NONE: 0:MAINROUTER:"
                   "Booth Office Showpulse::0:::\rENDHEAD\r\rEND\r"));
    QTRY_COMPARE_WITH_TIMEOUT(router.disconnects, 1, kWait);
    QVERIFY(statusEvents(events).isEmpty());
}

void TestServerConnection::testIncomingDispatch()
{
    FakeRouter router;
    LISTEN_OR_SKIP(router, 2357);
    auto connection = newConnection();
    QVERIFY(connectTo(*connection));
    QSignalSpy requests(connection.get(), &ServerConnection::Request);
    QSignalSpy asyncResponses(connection.get(), &ServerConnection::AsyncResponse);

    router.send(answer("RESPONSE", " 0", 0, {}, "nobody waits\rITEM\r"));
    router.send("\rBEGINDATA\rno header\rENDDATA\r\rEND\r");
    router.send(answer("async response", " 4", 0, {}, "later\rITEM\r"));
    router.send(answer("SAVE OPERATOR", " 0", 0, {}, "Ann\rITEM\r 5\rITEM\r"));
    QTRY_COMPARE_WITH_TIMEOUT(requests.size(), 1, kWait);
    QCOMPARE(asyncResponses.size(), 1);

    const auto async = asyncResponses.first().first().value<ResponseData>();
    QCOMPARE(async.ToClientFunction(), QStringLiteral("ASYNC RESPONSE"));
    QCOMPARE(async.Sequence(), 4);
    QCOMPARE(async.Data(), QStringLiteral("later\rITEM\r"));
    const auto request = requests.first().first().value<ResponseData>();
    QCOMPARE(request.ToClientFunction(), QStringLiteral("SAVE OPERATOR"));
    QCOMPARE(request.FromClientID(), QStringLiteral("228001-987"));
    QCOMPARE(request.Data(), QStringLiteral("Ann\rITEM\r 5\rITEM\r"));

    // The unsolicited answer was not kept for the next request.
    connection->setRequestTimeout(200ms);
    QCOMPARE(connection->SendRequest(QStringLiteral("228001-987"), QStringLiteral("PING"), {})
                 .ErrorCode(),
        2);
}

void TestServerConnection::testAsyncRequestAndAnswerBytes()
{
    FakeRouter router;
    LISTEN_OR_SKIP(router, 2357);
    auto connection = newConnection();
    QVERIFY(connectTo(*connection));

    QVERIFY(connection->SendRequestAsync(QStringLiteral("228001-987"), QStringLiteral("GET STATUS"),
        QStringLiteral("StatusDone"), -3, QStringLiteral("1\rITEM\r")));
    const QString header = ServerConnectionHeader::BuildHeader(connection->senderIdentity(),
        QStringLiteral("228001-987"), QStringLiteral("RESPONSE"), QStringLiteral("NONE"), 8, 0, {},
        {});
    QVERIFY(connection->SendAnswer(header, QStringLiteral("ok\rITEM\r")));
    // Without a destination nothing goes out.
    QVERIFY(
        !connection->SendAnswer(ServerConnectionHeader::BuildHeader(connection->senderIdentity(),
                                    {}, QStringLiteral("X"), QStringLiteral("NONE"), 0, 0, {}, {}),
            {}));
    // A header that is not one single header section is refused.
    QVERIFY(!connection->SendAnswer(header + QStringLiteral("\rEND\r"), {}));

    QTRY_COMPARE_WITH_TIMEOUT(router.requests.size(), 2, kWait);
    QCOMPARE(router.requests.at(0),
        QByteArray("\rBEGINHEAD\r228001-987:GET STATUS:229385-1012:ASYNC RESPONSE:-3:MAINROUTER:"
                   "Booth Office Showpulse::0::StatusDone:\rENDHEAD\r\rBEGINACCESS\r\rENDACCESS\r"
                   "\rBEGINDATA\r1\rITEM\r\rENDDATA\r\rEND\r"));
    QCOMPARE(router.requests.at(1),
        QByteArray("\rBEGINHEAD\r228001-987:RESPONSE:229385-1012:NONE: 8:MAINROUTER:"
                   "Booth Office Showpulse::0:::\rENDHEAD\r\rBEGINDATA\rok\rITEM\r\rENDDATA\r"
                   "\rEND\r"));

    connection->CloseConnection();
    QVERIFY(!connection->SendRequestAsync(
        QStringLiteral("228001-987"), QStringLiteral("X"), {}, 0, {}));
    QVERIFY(!connection->SendAnswer(header, {}));
}

void TestServerConnection::testGetRecordset()
{
    FakeRouter router;
    LISTEN_OR_SKIP(router, 2357);
    auto connection = newConnection();
    QVERIFY(connectTo(*connection));
    QVERIFY(logOn(*connection, router));

    router.onRequest = [&router](const QByteArray &request) {
        router.send(reply(request, 0, {},
            "id\rITEM\r4\rITEM\rname\rITEM\r10\rITEM\r\rRECORD\r"
            " 7\rITEM\rAnn\rITEM\r\rRECORD\r 9\rITEM\rBo\rITEM\r\rRECORD\r"));
    };
    std::optional<TCPIPRecordSet> rows = connection->GetRecordset(
        QStringLiteral("228001-987"), QStringLiteral("select * from operators"));
    // The bytes of the message format's worked example.
    QCOMPARE(router.requests.last(),
        QByteArray("\rBEGINHEAD\r228001-987:GET RECORDSET:229385-1012:RESPONSE: 0:MAINROUTER:"
                   "Booth Office Showpulse:manager:0:::\rENDHEAD\r\rBEGINACCESS\r\rENDACCESS\r"
                   "\rBEGINDATA\rselect * from operators\rITEM\r\rENDDATA\r\rEND\r"));
    QVERIFY(rows.has_value());
    QCOMPARE(rows->RecordCount(), 2);
    QCOMPARE(rows->FieldCount(), 2);
    QCOMPARE(rows->Field(QStringLiteral("ID")).toInt(), 7);
    rows->MoveNext();
    QCOMPARE(rows->Field(QStringLiteral("name")).toString(), QStringLiteral("Bo"));
    QCOMPARE(connection->GetLastErrorCode(), 0);

    router.onRequest = [&router](const QByteArray &request) { router.send(reply(request, 9001)); };
    QVERIFY(!connection->GetRecordset(QStringLiteral("228001-987"), QStringLiteral("select 1")));
    QCOMPARE(connection->GetLastErrorCode(), 9001);
    QCOMPARE(connection->GetLastErrorDescription(),
        QStringLiteral("Internal Tarvik Driver Database Error!!!"));
}

void TestServerConnection::testSaveRecordset()
{
    FakeRouter router;
    LISTEN_OR_SKIP(router, 2357);
    auto connection = newConnection();
    QVERIFY(connectTo(*connection));

    TCPIPRecordSet rows;
    rows.AddField(QStringLiteral("id"), TCPIPRecordSet::TypeLong);
    rows.AddField(QStringLiteral("name"), TCPIPRecordSet::TypeText);
    rows.Add();
    rows.Field(QStringLiteral("id"), QStringLiteral(" 7"));
    rows.Field(QStringLiteral("name"), QStringLiteral("Ann"));
    rows.Add();
    rows.Field(QStringLiteral("id"), QStringLiteral(" 9"));

    router.onRequest = [&router](const QByteArray &request) {
        router.send(reply(request, 0, {}, "id\rITEM\r4\rITEM\r\rRECORD\r 12\rITEM\r\rRECORD\r"));
    };
    std::optional<TCPIPRecordSet> saved = connection->SaveRecordset(
        QStringLiteral("228001-987"), QStringLiteral("operators"), rows, true);
    QCOMPARE(wireField(router.requests.last(), 2), QByteArray("SAVE RECORDSET"));
    QCOMPARE(sectionOf(router.requests.last(), "DATA"),
        QByteArray("operators\rITEM\r 1\rITEM\r\rRECORD\rid\rITEM\rname\rITEM\r\rRECORD\r"
                   " 7\rITEM\rAnn\rITEM\r\rRECORD\r 9\rITEM\r\rITEM\r\rRECORD\r"));
    QVERIFY(saved.has_value());
    QCOMPARE(saved->RecordCount(), 1);
    QCOMPARE(saved->Field(QStringLiteral("id")).toInt(), 12);

    router.onRequest
        = [&router](const QByteArray &request) { router.send(reply(request, 5001, "Disk full")); };
    QVERIFY(!connection->SaveRecordset(
        QStringLiteral("228001-987"), QStringLiteral("operators"), rows, false));
    QCOMPARE(sectionOf(router.requests.last(), "DATA").left(25),
        QByteArray("operators\rITEM\r 0\rITEM\r\rR"));
    QCOMPARE(connection->GetLastErrorCode(), 5001);
    QCOMPARE(connection->GetLastErrorDescription(), QStringLiteral("Disk full"));
}

void TestServerConnection::testExecuteSQL()
{
    FakeRouter router;
    LISTEN_OR_SKIP(router, 2357);
    auto connection = newConnection();
    QVERIFY(connectTo(*connection));

    router.onRequest = [&router](const QByteArray &request) { router.send(reply(request)); };
    const QStringList statements
        = { QStringLiteral("delete from a"), QStringLiteral("update b set c = 1") };
    QVERIFY(connection->ExecuteSQL(QStringLiteral("228001-987"), statements));
    QCOMPARE(wireField(router.requests.last(), 2), QByteArray("EXECUTE SQL"));
    QCOMPARE(sectionOf(router.requests.last(), "DATA"),
        QByteArray("delete from a\rRECORD\rupdate b set c = 1\rRECORD\r"));

    router.onRequest = [&router](const QByteArray &request) { router.send(reply(request, 103)); };
    QVERIFY(!connection->ExecuteSQL(QStringLiteral("228001-987"), statements));
    QCOMPARE(connection->GetLastErrorCode(), 103);
    QCOMPARE(connection->GetLastErrorDescription(), QStringLiteral("Access Denied"));
}

QTEST_GUILESS_MAIN(TestServerConnection)
#include "tst_serverconnection.moc"
