#include "driverdatabase.h"
#include "driverservice.h"
#include "router/serverconnectionheader.h"
#include "router/tcpiprecordset.h"
#include "routerprobe.h"
#include "sitesimprocess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace ServerConnectionHeader;

namespace {

constexpr int kWait = 10000; // ms for anything that should come at once
const QString kDriver = DriverService::DefaultId.toString();
const QString kBatch
    = QStringLiteral("select top 100 * from eventlog where uniqueid > %1 order by uniqueid");

bool writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

// A probe connected and registered at \a port, or a failed check.
#define REGISTERED_PROBE(name, port, id, type)                                                     \
    RouterProbe name(QStringLiteral(id), QStringLiteral(#name), type);                             \
    QVERIFY(name.connectTo(port, kWait));                                                          \
    QVERIFY(name.registerClient(kWait))

} // namespace

/// `sitesim serve` as a separate process on a free port, spoken to byte by byte: routing
/// between clients, the location server, every fault switch, the live feed and usage errors.
class TestSitesimServe : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void testRegistrationAndLists();
    void testRoutingBetweenClients();
    void testRemoteDirectory();
    void testFaults_data();
    void testFaults();
    void testLiveFeed();
    void testStartFailures_data();
    void testStartFailures();

private:
    QString m_db;
    QTemporaryDir m_dir;
};

void TestSitesimServe::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_db = m_dir.filePath(QStringLiteral("driver.db"));
    QString error;
    QVERIFY2(writeSmallSite(m_db, &error), qPrintable(error));
}

void TestSitesimServe::testRegistrationAndLists()
{
    SitesimProcess sitesim;
    QVERIFY2(sitesim.start({ QStringLiteral("--any-port"), QStringLiteral("--db"), m_db,
                 QStringLiteral("--router-id"), QStringLiteral("r7"),
                 QStringLiteral("--router-name"), QStringLiteral("BOOTH ROUTER") }),
        qPrintable(sitesim.error()));

    // Before registering, the router answers nothing but the registration.
    RouterProbe early(QStringLiteral("55-1"), QStringLiteral("early"));
    QVERIFY(early.connectTo(sitesim.port(), kWait));
    std::optional<ResponseData> a = early.request(
        QStringLiteral("LOCAL"), QStringLiteral("ENUMERATE ACTIVE CLIENTS"), QString(), kWait);
    QVERIFY(a);
    QCOMPARE(a->ErrorCode(), 2);
    QVERIFY(early.registerClient(kWait));
    QCOMPARE(early.routerId(), QStringLiteral("R7"));
    QCOMPARE(early.routerName(), QStringLiteral("BOOTH ROUTER"));

    REGISTERED_PROBE(office, sitesim.port(), "229385-1012", 2);
    a = office.request(
        QStringLiteral("LOCAL"), QStringLiteral("ENUMERATE ACTIVE CLIENTS"), QString(), kWait);
    QVERIFY(a);
    QCOMPARE(a->ErrorCode(), 0);
    QCOMPARE(a->FromRouterName(), QStringLiteral("BOOTH ROUTER"));
    QCOMPARE(a->ToClientFunction(), QStringLiteral("RESPONSE"));
    const QString expected = kDriver % ItemToken % DriverService::DefaultName % ItemToken
        % QStringLiteral(" 3") % ItemToken % RecordToken % QStringLiteral("55-1") % ItemToken
        % QStringLiteral("early") % ItemToken % QStringLiteral(" 2") % ItemToken % RecordToken
        % QStringLiteral("229385-1012") % ItemToken % QStringLiteral("office") % ItemToken
        % QStringLiteral(" 2") % ItemToken % RecordToken;
    QCOMPARE(a->Data(), expected);

    // A client speaks only for itself.
    const SenderIdentity other { QStringLiteral("55-1"), QString(), QStringLiteral("x"),
        QString() };
    QVERIFY(office.sendBytes(toWire(QString(
        BuildHeader(other, QStringLiteral("LOCAL"), QStringLiteral("ENUMERATE ACTIVE CLIENTS"),
            QStringLiteral("RESPONSE"), 0, 0, QString(), QString())
        % DataBegin % DataEnd % MessageEnd))));
    a = office.next(kWait);
    QVERIFY(a);
    QCOMPARE(a->ErrorCode(), 103);

    // Unknown requests to the router and unknown destinations.
    a = office.request(QStringLiteral("LOCAL"), QStringLiteral("SHUT DOWN"), QString(), kWait);
    QVERIFY(a);
    QCOMPARE(a->ErrorCode(), 1);
    a = office.request(QStringLiteral("999-9"), QStringLiteral("GET RECORDSET"), QString(), kWait);
    QVERIFY(a);
    QCOMPARE(a->ErrorCode(), 102);
    QCOMPARE(a->ErrorText(), QStringLiteral("Client not found"));

    // A second registration under the same ID takes it over; the older connection closes.
    REGISTERED_PROBE(restarted, sitesim.port(), "229385-1012", 2);
    QVERIFY(office.waitForClosed(kWait));

    // "CLOSE CLIENT" gets no answer and the client leaves the list.
    QVERIFY(early.send(QStringLiteral("LOCAL"), QStringLiteral("CLOSE CLIENT"), QString(), 0,
        QStringLiteral("NONE")));
    QVERIFY(early.waitForClosed(kWait));
    a = restarted.request(
        QStringLiteral("LOCAL"), QStringLiteral("ENUMERATE ACTIVE CLIENTS"), QString(), kWait);
    QVERIFY(a);
    QVERIFY(!a->Data().contains(QStringLiteral("55-1")));
    QVERIFY(a->Data().contains(QStringLiteral("229385-1012")));

    // A registration without an ID is refused and closed.
    RouterProbe anonymous(QString(), QStringLiteral("anonymous"));
    QVERIFY(anonymous.connectTo(sitesim.port(), kWait));
    QVERIFY(!anonymous.registerClient(kWait));
    QVERIFY(anonymous.waitForClosed(kWait));
    // So is one that claims the built-in driver's ID.
    RouterProbe impostor(kDriver, QStringLiteral("impostor"), 3);
    QVERIFY(impostor.connectTo(sitesim.port(), kWait));
    QVERIFY(!impostor.registerClient(kWait));
    QVERIFY(impostor.waitForClosed(kWait));
}

void TestSitesimServe::testRoutingBetweenClients()
{
    SitesimProcess sitesim;
    QVERIFY2(sitesim.start({ QStringLiteral("--any-port") }), qPrintable(sitesim.error()));
    REGISTERED_PROBE(driver, sitesim.port(), "77-3", 3);
    REGISTERED_PROBE(program, sitesim.port(), "1000-5", 2);

    // Without --db there is no built-in driver.
    std::optional<ResponseData> a = program.request(kDriver, QStringLiteral("GET RECORDSET"),
        QStringLiteral("select * from operators") + ItemToken, kWait);
    QVERIFY(a);
    QCOMPARE(a->ErrorCode(), 102);

    // A request reaches the other client unchanged; its answer comes back with its own code.
    const QString data = QStringLiteral("select * from operators") + ItemToken;
    QVERIFY(program.send(QStringLiteral("77-3"), QStringLiteral("GET RECORDSET"), data, 0));
    std::optional<ResponseData> request = driver.next(kWait);
    QVERIFY(request);
    QCOMPARE(request->ToClientFunction(), QStringLiteral("GET RECORDSET"));
    QCOMPARE(request->FromClientID(), QStringLiteral("1000-5"));
    QCOMPARE(request->Data(), data);
    QVERIFY(driver.answer(*request, 2001, QStringLiteral("Device busy, try later"), QString()));
    a = program.next(kWait);
    QVERIFY(a);
    QCOMPARE(a->ToClientFunction(), QStringLiteral("RESPONSE"));
    QCOMPARE(a->FromClientID(), QStringLiteral("77-3"));
    QCOMPARE(a->ErrorCode(), 2001);
    QCOMPARE(a->ErrorText(), QStringLiteral("Device busy, try later"));

    // Asynchronous requests keep their sequence and callback name.
    const SenderIdentity from { QStringLiteral("1000-5"), QString(), QStringLiteral("program"),
        QString() };
    QVERIFY(program.sendBytes(toWire(
        QString(BuildHeader(from, QStringLiteral("77-3"), QStringLiteral("GET RECORDSET"),
                    QStringLiteral("ASYNC RESPONSE"), 12, 0, QString(), QStringLiteral("Batch"))
            % AccessBegin % AccessEnd % DataBegin % data % DataEnd % MessageEnd))));
    request = driver.next(kWait);
    QVERIFY(request);
    QVERIFY(driver.answer(*request, 0, QString(),
        QStringLiteral("id") % ItemToken % QStringLiteral("4") % ItemToken % RecordToken));
    a = program.next(kWait);
    QVERIFY(a);
    QCOMPARE(a->ToClientFunction(), QStringLiteral("ASYNC RESPONSE"));
    QCOMPARE(a->Sequence(), 12);
    QCOMPARE(a->CallbackName(), QStringLiteral("Batch"));
    QCOMPARE(a->ErrorCode(), 0);

    // A client that leaves without answering: the requester hears 101 at once.
    QVERIFY(program.send(QStringLiteral("77-3"), QStringLiteral("GET RECORDSET"), data, 3));
    QVERIFY(driver.next(kWait));
    driver.close();
    a = program.next(kWait);
    QVERIFY(a);
    QCOMPARE(a->ErrorCode(), 101);
    QCOMPARE(a->Sequence(), 3);
    a = program.request(QStringLiteral("77-3"), QStringLiteral("GET RECORDSET"), data, kWait);
    QVERIFY(a);
    QCOMPARE(a->ErrorCode(), 102);
}

void TestSitesimServe::testRemoteDirectory()
{
    {
        SitesimProcess sitesim;
        QVERIFY2(sitesim.start({ QStringLiteral("--any-port") }), qPrintable(sitesim.error()));
        REGISTERED_PROBE(program, sitesim.port(), "1000-5", 2);
        for (const char *function : { "ENUMERATE ALL ROUTERS", "ENUMERATE ALL CLIENTS" }) {
            const std::optional<ResponseData> a = program.request(QStringLiteral("REMOTE"),
                QLatin1String(function),
                QStringLiteral("-1") % ItemToken % QStringLiteral("-1") % ItemToken % RecordToken,
                kWait);
            QVERIFY(a);
            QCOMPARE(a->ErrorCode(), 102);
        }
    }

    const QString remotes = m_dir.filePath(QStringLiteral("remotes.txt"));
    QVERIFY(writeFile(remotes,
        "# the chain's other sites\n"
        "router\tr2\tNORTHSIDE\n"
        "client\tr2\t5551-77\tNorthside Tarvik\t3\n"
        "client\tr2\t5551-80\tNorthside Office\t2\n"));
    SitesimProcess sitesim;
    QVERIFY2(sitesim.start({ QStringLiteral("--any-port"), QStringLiteral("--db"), m_db,
                 QStringLiteral("--remotes"), remotes }),
        qPrintable(sitesim.error()));
    REGISTERED_PROBE(program, sitesim.port(), "1000-5", 2);
    std::optional<ResponseData> a = program.request(
        QStringLiteral("REMOTE"), QStringLiteral("ENUMERATE ALL ROUTERS"), QString(), kWait);
    QVERIFY(a);
    QCOMPARE(a->ErrorCode(), 0);
    QCOMPARE(a->Data(),
        QStringLiteral("1") % ItemToken % QStringLiteral("SITEROUTER") % ItemToken % RecordToken
            % QStringLiteral("R2") % ItemToken % QStringLiteral("NORTHSIDE") % ItemToken
            % RecordToken);

    const auto clients = [&](const QString &router, const QString &type) {
        const std::optional<ResponseData> r
            = program.request(QStringLiteral("REMOTE"), QStringLiteral("ENUMERATE ALL CLIENTS"),
                router % ItemToken % type % ItemToken % RecordToken, kWait);
        QStringList ids;
        for (int n = 1; r && r->ErrorCode() == 0 && !GetRecord(r->Data(), n).isEmpty(); ++n) {
            const QString record = GetRecord(r->Data(), n);
            ids.append(GetItem(record, 1) + QLatin1Char('/') + GetItem(record, 2) + QLatin1Char('/')
                + GetItem(record, 4).trimmed());
        }
        return ids;
    };
    QCOMPARE(clients(QStringLiteral("-1"), QStringLiteral("-1")),
        QStringList({ QStringLiteral("1/1-3/3"), QStringLiteral("1/1000-5/2"),
            QStringLiteral("R2/5551-77/3"), QStringLiteral("R2/5551-80/2") }));
    QCOMPARE(clients(QStringLiteral("-1"), QStringLiteral("3")),
        QStringList({ QStringLiteral("1/1-3/3"), QStringLiteral("R2/5551-77/3") }));
    QCOMPARE(clients(QStringLiteral("r2"), QStringLiteral("-1")),
        QStringList({ QStringLiteral("R2/5551-77/3"), QStringLiteral("R2/5551-80/2") }));
}

void TestSitesimServe::testFaults_data()
{
    QTest::addColumn<QStringList>("switches");
    QTest::newRow("delay") << QStringList { QStringLiteral("--delay-ms"), QStringLiteral("1500") };
    QTest::newRow("never answer") << QStringList { QStringLiteral("--never-answer") };
    QTest::newRow("wrong sequence") << QStringList { QStringLiteral("--wrong-sequence") };
    QTest::newRow("drop after 2") << QStringList { QStringLiteral("--drop-after"),
        QStringLiteral("2") };
    QTest::newRow("garbage") << QStringList { QStringLiteral("--garbage") };
    QTest::newRow("endless") << QStringList { QStringLiteral("--endless") };
}

void TestSitesimServe::testFaults()
{
    QFETCH(QStringList, switches);
    SitesimProcess sitesim;
    QVERIFY2(
        sitesim.start(
            QStringList { QStringLiteral("--any-port"), QStringLiteral("--db"), m_db } + switches),
        qPrintable(sitesim.error()));
    REGISTERED_PROBE(program, sitesim.port(), "1000-5", 2);
    // The router's own answers stay sound: a client can log on before it meets the fault.
    std::optional<ResponseData> a
        = program.request(QStringLiteral("LOCAL"), QStringLiteral("REGISTER USER"),
            QStringLiteral("admin") % ItemToken % QStringLiteral("admin") % ItemToken, kWait);
    QVERIFY(a);
    QCOMPARE(a->ErrorCode(), 0);

    const QString query = kBatch.arg(0) + ItemToken;
    const QString tag = QString::fromLatin1(QTest::currentDataTag());
    QVERIFY(program.send(kDriver, QStringLiteral("GET RECORDSET"), query));
    if (tag == QStringLiteral("delay")) {
        QVERIFY(!program.next(300));
        a = program.next(kWait);
        QVERIFY(a);
        QCOMPARE(a->ErrorCode(), 0);
        QCOMPARE(GetItem(GetRecord(a->Data(), 2), 1), QStringLiteral(" 1"));
    } else if (tag == QStringLiteral("never answer")) {
        QVERIFY(!program.next(1000));
        QVERIFY(program.isConnected());
        a = program.request(
            QStringLiteral("LOCAL"), QStringLiteral("ENUMERATE ACTIVE CLIENTS"), QString(), kWait);
        QVERIFY(a);
        QCOMPARE(a->ErrorCode(), 0);
    } else if (tag == QStringLiteral("wrong sequence")) {
        a = program.next(kWait);
        QVERIFY(a);
        QCOMPARE(a->Sequence(), 1);
        QCOMPARE(a->ErrorCode(), 0);
    } else if (tag == QStringLiteral("drop after 2")) {
        for (int i = 0; i < 2; ++i) {
            a = program.next(kWait);
            QVERIFY(a);
            QCOMPARE(a->ErrorCode(), 0);
            if (i == 0)
                QVERIFY(program.send(kDriver, QStringLiteral("GET RECORDSET"), query));
        }
        QVERIFY(program.send(kDriver, QStringLiteral("GET RECORDSET"), query));
        QVERIFY(program.waitForClosed(kWait));
        // Another connection counts its own answers.
        REGISTERED_PROBE(second, sitesim.port(), "1000-6", 2);
        a = second.request(kDriver, QStringLiteral("GET RECORDSET"), query, kWait);
        QVERIFY(a);
        QCOMPARE(a->ErrorCode(), 0);
    } else if (tag == QStringLiteral("garbage")) {
        a = program.next(kWait);
        QVERIFY(a);
        QVERIFY(a->Header().isEmpty());
        QVERIFY(program.bytesReceived() > 256);
    } else if (tag == QStringLiteral("endless")) {
        // The answer grows beyond what any reader keeps; no end token ever comes.
        QVERIFY(!program.next(30000));
        QVERIFY(program.isOverflowed());
        QVERIFY(program.bytesReceived() > MessageSplitter::DefaultLimit);
    }
}

void TestSitesimServe::testLiveFeed()
{
    const QString db = m_dir.filePath(QStringLiteral("live.db"));
    QVERIFY(QFile::copy(m_db, db));
    qint64 lastId = 0;
    int lastShow = 0;
    {
        DriverDatabase driver;
        QVERIFY(driver.open(db));
        QSqlQuery q(driver.connection());
        QVERIFY(
            q.exec(QStringLiteral("SELECT max(uniqueid), max(showid) FROM eventlog")) && q.next());
        lastId = q.value(0).toLongLong();
        lastShow = q.value(1).toInt();
    }

    SitesimProcess sitesim;
    QVERIFY2(
        sitesim.start({ QStringLiteral("--any-port"), QStringLiteral("--db"), db,
            QStringLiteral("--live"), QStringLiteral("--live-speed"), QStringLiteral("20000") }),
        qPrintable(sitesim.error()));
    REGISTERED_PROBE(program, sitesim.port(), "1000-5", 2);
    const QString count
        = QStringLiteral("select count(*) as Qty from eventlog where uniqueid > %1").arg(lastId)
        + ItemToken;
    qint64 added = 0;
    const QDeadlineTimer deadline(30000);
    while (added < 150 && !deadline.hasExpired()) {
        QThread::msleep(200);
        const std::optional<ResponseData> a
            = program.request(kDriver, QStringLiteral("GET RECORDSET"), count, kWait);
        QVERIFY(a);
        QCOMPARE(a->ErrorCode(), 0);
        TCPIPRecordSet rs;
        rs.Load(a->Data());
        added = rs.Field(QStringLiteral("qty")).toLongLong();
    }
    QVERIFY2(added >= 150, qPrintable(sitesim.output()));

    // The site goes on: numbers continue, time moves forward, new shows get new numbers.
    const std::optional<ResponseData> a = program.request(
        kDriver, QStringLiteral("GET RECORDSET"), kBatch.arg(lastId - 1) + ItemToken, kWait);
    QVERIFY(a);
    TCPIPRecordSet rs;
    rs.Load(a->Data());
    QCOMPARE(rs.RecordCount(), 100);
    QDateTime previous;
    int maxShow = 0;
    for (int row = 1; row <= rs.RecordCount(); ++row) {
        QCOMPARE(rs.AbsRecord(row, QStringLiteral("uniqueid")).toLongLong(), lastId - 1 + row);
        const QDateTime t = rs.AbsRecord(row, QStringLiteral("eventtime")).toDateTime();
        QVERIFY(!previous.isValid() || previous <= t);
        previous = t;
        const int show = rs.AbsRecord(row, QStringLiteral("showid")).toInt();
        if (row > 2 && show > 0)
            QVERIFY(show > lastShow);
        maxShow = qMax(maxShow, show);
        QCOMPARE(rs.AsString(row, QStringLiteral("eventdata")).size(), 49);
    }
    QVERIFY(maxShow > lastShow);
    QVERIFY(sitesim.waitForOutput(QStringLiteral("live: show day 2026-03-02"), kWait));
}

void TestSitesimServe::testStartFailures_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QString missing = QStringLiteral("never-made.db");
    QTest::newRow("live without db")
        << QStringList { QStringLiteral("--live") } << 2 << QStringLiteral("--live needs --db");
    QTest::newRow("two port options")
        << QStringList { QStringLiteral("--port=2357"), QStringLiteral("--any-port") } << 2
        << QStringLiteral("exclude");
    QTest::newRow("port out of range")
        << QStringList { QStringLiteral("--port=70000") } << 2 << QStringLiteral("--port");
    QTest::newRow("two answer faults")
        << QStringList { QStringLiteral("--garbage"), QStringLiteral("--endless") } << 2
        << QStringLiteral("exclude");
    QTest::newRow("negative delay")
        << QStringList { QStringLiteral("--delay-ms=-5") } << 2 << QStringLiteral("--delay-ms");
    QTest::newRow("squat all ports") << QStringList { QStringLiteral("--squat-ports=11") } << 2
                                     << QStringLiteral("--squat-ports");
    QTest::newRow("colon in router name")
        << QStringList { QStringLiteral("--router-name=A:B") } << 2 << QStringLiteral("colons");
    QTest::newRow("missing database")
        << QStringList { QStringLiteral("--any-port"), QStringLiteral("--db"), missing } << 1
        << QStringLiteral("no such file");
    QTest::newRow("missing users file")
        << QStringList { QStringLiteral("--any-port"), QStringLiteral("--users"), missing } << 1
        << QStringLiteral("never-made.db");
}

void TestSitesimServe::testStartFailures()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QString output;
    QCOMPARE(runSitesim(QStringList { QStringLiteral("serve") } + arguments, &output), exitCode);
    QVERIFY2(output.contains(message), qPrintable(output));
    QVERIFY(!output.contains(QStringLiteral("listening on")));
}

QTEST_GUILESS_MAIN(TestSitesimServe)
#include "tst_sitesimserve.moc"
