#include "driverdatabase.h"
#include "driverservice.h"
#include "router/serverconnection.h"
#include "routerprobe.h"
#include "sitesimprocess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace ServerConnectionHeader;

namespace {

constexpr int kWait = 10000; // ms for anything that should come at once
const QString kDriver = DriverService::DefaultId.toString();
const QString kRouterPort = QString::number(ServerConnection::FirstPort);

bool writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

/// The program's ServerConnection against a real `sitesim serve` process. The connection walks
/// the router's fixed ports, so these tests hold the "router_ports" lock.
class TestSitesimConnection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void testLogOn();
    void testLists();
    void testDriverStatements();
    void testOperators();
    void testUnsupportedStatement();
    void testFaults_data();
    void testFaults();
    void testPortWalkPastSquatters();

private:
    bool startSitesim(const QStringList &extra);
    // A connection of the program's kind, registered with the router.
    std::unique_ptr<ServerConnection> connectProgram(const QString &name);
    qint64 scalar(const QString &sql);

    QTemporaryDir m_dir;
    QString m_db;
    QString m_users;
    std::unique_ptr<SitesimProcess> m_sitesim;
    std::unique_ptr<QTemporaryDir> m_programFolder;
};

void TestSitesimConnection::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_db = m_dir.filePath(QStringLiteral("driver.db"));
    QString error;
    QVERIFY2(writeSmallSite(m_db, &error), qPrintable(error));
}

void TestSitesimConnection::init()
{
    m_users = m_dir.filePath(QStringLiteral("users.txt"));
    QVERIFY(writeFile(m_users,
        "1\tmanager\ts3cret\t-1,-1,-1,-1\n"
        "2\tviewer\tlook\t-1,3,-1,2\n"));
    m_programFolder = std::make_unique<QTemporaryDir>();
    QVERIFY(m_programFolder->isValid());
}

void TestSitesimConnection::cleanup()
{
    m_sitesim.reset();
}

bool TestSitesimConnection::startSitesim(const QStringList &extra)
{
    m_sitesim = std::make_unique<SitesimProcess>();
    if (m_sitesim->start(
            QStringList { QStringLiteral("--db"), m_db, QStringLiteral("--users"), m_users }
            + extra))
        return true;
    qWarning("%s", qPrintable(m_sitesim->error()));
    return false;
}

std::unique_ptr<ServerConnection> TestSitesimConnection::connectProgram(const QString &name)
{
    auto connection = std::make_unique<ServerConnection>(m_programFolder->path());
    connection->SetType(2, QStringLiteral("Halden"));
    connection->AddObject(QStringLiteral("Log On Access"), 1);
    QSignalSpy events(connection.get(), &ServerConnection::ConnectionEvent);
    if (!connection->Connect(QStringLiteral("127.0.0.1"), name))
        return nullptr;
    const auto outcome = [&events] {
        for (const QList<QVariant> &e : std::as_const(events)) {
            const int code = e.at(0).toInt();
            if (code == 3 || code == 4 || code == 5 || code == 7)
                return code;
        }
        return 0;
    };
    for (QDeadlineTimer deadline(kWait); outcome() == 0 && !deadline.hasExpired();)
        QTest::qWait(20);
    if (outcome() != 3 || !connection->Connected())
        return nullptr;
    return connection;
}

qint64 TestSitesimConnection::scalar(const QString &sql)
{
    DriverDatabase db;
    if (!db.open(m_db))
        return -1;
    QSqlQuery q(db.connection());
    const qint64 value = q.exec(sql) && q.next() ? q.value(0).toLongLong() : -1;
    q.finish();
    return value;
}

void TestSitesimConnection::testLogOn()
{
    QVERIFY(startSitesim({ QStringLiteral("--port"), kRouterPort }));
    std::unique_ptr<ServerConnection> program = connectProgram(QStringLiteral("Booth Office"));
    QVERIFY(program);
    QCOMPARE(program->RouterID(), QStringLiteral("1"));
    QCOMPARE(program->GetServerName(), QStringLiteral("SITEROUTER"));

    ResponseData r = program->RegisterUser(QStringLiteral("manager"), QStringLiteral("wrong"));
    QCOMPARE(r.ErrorCode(), 305);
    QCOMPARE(r.ErrorText(), QStringLiteral("Invalid Password"));
    r = program->RegisterUser(QStringLiteral("Manager"), QStringLiteral("s3cret"));
    QCOMPARE(r.ErrorCode(), 301);
    r = program->RegisterUser(QStringLiteral("viewer"), QStringLiteral("look"));
    QCOMPARE(r.ErrorCode(), 0);
    QCOMPARE(program->GetUserID(), 2);
    // Logged on, but the access list does not grant the program's object.
    QVERIFY(!program->CheckUserAccess(QStringLiteral("SELF CHECK"), 1));

    r = program->RegisterUser(QStringLiteral("manager"), QStringLiteral("s3cret"));
    QCOMPARE(r.ErrorCode(), 0);
    QCOMPARE(program->GetUserID(), 1);
    QVERIFY(program->CheckUserAccess(QStringLiteral("SELF CHECK"), 1));

    // The new password is written to the users file and holds for the next log-on.
    QVERIFY(program->ChangePassword(QStringLiteral("n3w")));
    QVERIFY(readFile(m_users).startsWith("1\tmanager\tn3w\t-1,-1,-1,-1\n"));
    std::unique_ptr<ServerConnection> second = connectProgram(QStringLiteral("Second Office"));
    QVERIFY(second);
    QCOMPARE(
        second->RegisterUser(QStringLiteral("manager"), QStringLiteral("s3cret")).ErrorCode(), 305);
    QCOMPARE(second->RegisterUser(QStringLiteral("manager"), QStringLiteral("n3w")).ErrorCode(), 0);
}

void TestSitesimConnection::testLists()
{
    QVERIFY(startSitesim({ QStringLiteral("--port"), kRouterPort }));
    std::unique_ptr<ServerConnection> program = connectProgram(QStringLiteral("Booth Office"));
    QVERIFY(program);
    const ResponseData clients = program->SendRequest(
        QStringLiteral("LOCAL"), QStringLiteral("ENUMERATE ACTIVE CLIENTS"), QString());
    QCOMPARE(clients.ErrorCode(), 0);
    QCOMPARE(clients.FromRouterName(), QStringLiteral("SITEROUTER"));
    QStringList entries;
    for (int n = 1; !GetRecord(clients.Data(), n).isEmpty(); ++n) {
        const QString record = GetRecord(clients.Data(), n);
        entries.append(GetItem(record, 1) + QLatin1Char('/') + GetItem(record, 2) + QLatin1Char('/')
            + GetItem(record, 3).trimmed());
    }
    QCOMPARE(entries,
        QStringList({ kDriver + QStringLiteral("/Tarvik Driver/3"),
            program->GetClientID() + QStringLiteral("/Booth Office/2") }));

    // No location server was configured.
    const ResponseData routers = program->SendRequest(
        QStringLiteral("REMOTE"), QStringLiteral("ENUMERATE ALL ROUTERS"), QString());
    QCOMPARE(routers.ErrorCode(), 102);
}

void TestSitesimConnection::testDriverStatements()
{
    QVERIFY(startSitesim({ QStringLiteral("--port"), kRouterPort }));
    std::unique_ptr<ServerConnection> program = connectProgram(QStringLiteral("Booth Office"));
    QVERIFY(program);

    std::optional<TCPIPRecordSet> rs
        = program->GetRecordset(kDriver, QStringLiteral("select * from operators"));
    QVERIFY(rs);
    QCOMPARE(qint64(rs->RecordCount()), scalar(QStringLiteral("SELECT count(*) FROM operators")));
    rs = program->GetRecordset(kDriver,
        QStringLiteral("select * from operators where enddate is null or enddate = 0 order by id"));
    QVERIFY(rs);
    QCOMPARE(qint64(rs->RecordCount()),
        scalar(QStringLiteral("SELECT count(*) FROM operators WHERE enddate IS NULL")));

    rs = program->GetRecordset(kDriver,
        QStringLiteral(
            "select top 1 uniqueid from eventlog where eventtime >= #2/28/2026 0:00:00#"));
    QVERIFY(rs);
    const qint64 start = rs->Field(QStringLiteral("uniqueid")).toLongLong();
    QCOMPARE(start,
        scalar(QStringLiteral(
            "SELECT min(uniqueid) FROM eventlog WHERE eventtime >= '2026-02-28 00:00:00'")));
    rs = program->GetRecordset(kDriver,
        QStringLiteral("select count(*) as Qty from eventlog where uniqueid >  %1").arg(start));
    QVERIFY(rs);
    const qint64 quantity = rs->Field(QStringLiteral("qty")).toLongLong();
    QCOMPARE(quantity,
        scalar(QStringLiteral("SELECT count(*) FROM eventlog WHERE uniqueid > %1").arg(start)));

    // The whole copy the program makes: batches of a hundred until one comes back empty.
    qint64 watermark = start;
    qint64 copied = 0;
    for (int batches = 0; batches < 1000; ++batches) {
        rs = program->GetRecordset(kDriver,
            QStringLiteral("select top 100 * from eventlog where uniqueid >  %1 order by uniqueid")
                .arg(watermark));
        QVERIFY2(rs, qPrintable(program->GetLastErrorDescription()));
        if (rs->RecordCount() == 0)
            break;
        QVERIFY(rs->RecordCount() <= 100);
        for (rs->MoveFirst(); !rs->Eof(); rs->MoveNext()) {
            const qint64 id = rs->Field(QStringLiteral("uniqueid")).toLongLong();
            QCOMPARE(id, watermark + 1);
            watermark = id;
            ++copied;
        }
    }
    QCOMPARE(copied, quantity);
}

void TestSitesimConnection::testOperators()
{
    QVERIFY(startSitesim({ QStringLiteral("--port"), kRouterPort }));
    std::unique_ptr<ServerConnection> program = connectProgram(QStringLiteral("Booth Office"));
    QVERIFY(program);
    const auto activeIds = [&] {
        QList<int> ids;
        std::optional<TCPIPRecordSet> rs = program->GetRecordset(kDriver,
            QStringLiteral(
                "select * from operators where enddate is null or enddate = 0 order by id"));
        for (; rs && !rs->Eof(); rs->MoveNext())
            ids.append(rs->Field(QStringLiteral("id")).toInt());
        return ids;
    };
    QVERIFY(!activeIds().contains(12));

    ResponseData r = program->SendRequest(kDriver, QStringLiteral("SAVE OPERATOR"),
        QStringLiteral("Ann O'Hara") % ItemToken % QStringLiteral(" 12") % ItemToken);
    QCOMPARE(r.ErrorCode(), 0);
    QVERIFY(activeIds().contains(12));
    r = program->SendRequest(kDriver, QStringLiteral("SAVE OPERATOR"),
        QStringLiteral("Bo") % ItemToken % QStringLiteral(" 12") % ItemToken);
    QCOMPARE(r.ErrorCode(), DriverService::CommandError);
    QVERIFY2(r.ErrorText().contains(QStringLiteral("already exists")), qPrintable(r.ErrorText()));

    r = program->SendRequest(
        kDriver, QStringLiteral("DELETE OPERATOR"), QStringLiteral("12") + ItemToken);
    QCOMPARE(r.ErrorCode(), 0);
    QCOMPARE(GetItem(r.Data(), 1).toInt(), 12);
    QVERIFY(!activeIds().contains(12));
    r = program->SendRequest(
        kDriver, QStringLiteral("DELETE OPERATOR"), QStringLiteral("12") + ItemToken);
    QCOMPARE(r.ErrorCode(), DriverService::CommandError);
}

void TestSitesimConnection::testUnsupportedStatement()
{
    QVERIFY(startSitesim({ QStringLiteral("--port"), kRouterPort }));
    std::unique_ptr<ServerConnection> program = connectProgram(QStringLiteral("Booth Office"));
    QVERIFY(program);
    QVERIFY(!program->GetRecordset(kDriver, QStringLiteral("delete * from eventlog")));
    QCOMPARE(program->GetLastErrorCode(), DriverService::CommandError);
    QVERIFY2(program->GetLastErrorDescription().contains(QStringLiteral("Statement not supported")),
        qPrintable(program->GetLastErrorDescription()));
    // The driver keeps serving.
    std::optional<TCPIPRecordSet> rs
        = program->GetRecordset(kDriver, QStringLiteral("select count(*) as Qty from eventlog"));
    QVERIFY(rs);
    QCOMPARE(rs->Field(QStringLiteral("qty")).toLongLong(),
        scalar(QStringLiteral("SELECT count(*) FROM eventlog")));
}

void TestSitesimConnection::testFaults_data()
{
    QTest::addColumn<QStringList>("switches");
    QTest::addColumn<int>("firstCode"); // of the first query; -1: any failure
    QTest::addColumn<bool>("staysConnected");
    QTest::newRow("answer within the time-out")
        << QStringList { QStringLiteral("--delay-ms"), QStringLiteral("200") } << 0 << true;
    QTest::newRow("answer after the time-out")
        << QStringList { QStringLiteral("--delay-ms"), QStringLiteral("3000") }
        << ServerConnection::ErrorTimeout << true;
    QTest::newRow("never answer") << QStringList { QStringLiteral("--never-answer") }
                                  << ServerConnection::ErrorTimeout << true;
    QTest::newRow("wrong sequence") << QStringList { QStringLiteral("--wrong-sequence") }
                                    << ServerConnection::ErrorTimeout << true;
    QTest::newRow("garbage") << QStringList { QStringLiteral("--garbage") }
                             << ServerConnection::ErrorTimeout << true;
    QTest::newRow("drop after 0") << QStringList { QStringLiteral("--drop-after"),
        QStringLiteral("0") } << ServerConnection::ErrorNotConnected
                                  << false;
    QTest::newRow("endless") << QStringList { QStringLiteral("--endless") } << -1 << false;
}

void TestSitesimConnection::testFaults()
{
    QFETCH(QStringList, switches);
    QFETCH(int, firstCode);
    QFETCH(bool, staysConnected);
    QVERIFY(startSitesim(QStringList { QStringLiteral("--port"), kRouterPort } + switches));
    std::unique_ptr<ServerConnection> program = connectProgram(QStringLiteral("Booth Office"));
    QVERIFY(program);
    program->setRequestTimeout(std::chrono::milliseconds(1000));
    QCOMPARE(
        program->RegisterUser(QStringLiteral("manager"), QStringLiteral("s3cret")).ErrorCode(), 0);

    const std::optional<TCPIPRecordSet> rs = program->GetRecordset(kDriver,
        QStringLiteral("select top 100 * from eventlog where uniqueid >  0 order by uniqueid"));
    if (firstCode == 0) {
        QVERIFY(rs);
        QCOMPARE(rs->RecordCount(), 100);
    } else {
        QVERIFY(!rs);
        if (firstCode > 0)
            QCOMPARE(program->GetLastErrorCode(), firstCode);
        else
            QVERIFY(program->GetLastErrorCode() != 0);
    }
    if (staysConnected) {
        QVERIFY(program->Connected());
        // The router itself still answers.
        QCOMPARE(program
                     ->SendRequest(QStringLiteral("LOCAL"),
                         QStringLiteral("ENUMERATE ACTIVE CLIENTS"), QString())
                     .ErrorCode(),
            0);
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(!program->Connected(), kWait);
    }
}

void TestSitesimConnection::testPortWalkPastSquatters()
{
    QVERIFY(startSitesim({ QStringLiteral("--squat-ports"), QStringLiteral("2") }));
    const quint16 routerPort
        = quint16(ServerConnection::FirstPort + 2 * ServerConnection::PortStep);
    QCOMPARE(m_sitesim->port(), routerPort);

    // What answers on the first port is no router.
    RouterProbe probe(QStringLiteral("5-5"), QStringLiteral("probe"));
    QVERIFY(probe.connectTo(quint16(ServerConnection::FirstPort), kWait));
    QVERIFY(!probe.registerClient(kWait));

    auto program = std::make_unique<ServerConnection>(m_programFolder->path());
    program->SetType(2, QStringLiteral("Halden"));
    QSignalSpy events(program.get(), &ServerConnection::ConnectionEvent);
    QVERIFY(program->Connect(QStringLiteral("127.0.0.1"), QStringLiteral("Booth Office")));
    QTRY_VERIFY_WITH_TIMEOUT(program->Connected(), kWait);
    for (const QList<QVariant> &e : std::as_const(events))
        QVERIFY2(e.at(0).toInt() != 6 && e.at(0).toInt() != 7, qPrintable(e.at(1).toString()));
    QVERIFY(program->RegisterUser(QStringLiteral("manager"), QStringLiteral("s3cret")).ErrorCode()
        == 0);
}

QTEST_GUILESS_MAIN(TestSitesimConnection)
#include "tst_sitesimconnection.moc"
