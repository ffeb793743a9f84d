#include "core/database.h"
#include "core/databaseschema.h"
#include "core/datetext.h"
#include "core/progress.h"
#include "core/settingsfile.h"
#include "core/settingskeys.h"
#include "core/statusline.h"
#include "driverdatabase.h"
#include "driverservice.h"
#include "eventencoder.h"
#include "eventgenerator.h"
#include "events/eventlog.h"
#include "router/serverconnection.h"
#include "router/serverconnectionheader.h"
#include "router/tcpiprecordset.h"
#include "routerserver.h"
#include "testclock.h"

#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <optional>

using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(LocalAnswer)

namespace {

// Every local event column, in one line per row.
const QString kEventLine = u"SELECT Evid || ' ' || ShowID || ' ' || NetID || ' ' || RecVer || ' ' "
                           "|| DevType || ' ' || EvCode || ' [' || CodeName || '] ' || Flag1 || ' "
                           "' || Flag2 || ' ' || Seq || ' ' || Fut || ' ' || Down || ' ' || iLoop "
                           "|| ' ' || Prog || ' ' || Cue || ' ' || Stat || ' ' || P1 || ' ' || P2 "
                           "|| ' ' || P3 || ' ' || P4 || ' ' || P5 || ' ' || P6 || ' ' || P7 || ' "
                           "' || P8 || ' ' || EventTime || ' ' || LogTime AS line FROM EventLog "
                           "ORDER BY Evid"_s;

const QDateTime kNow(QDate(2025, 6, 15), QTime(12, 0));
const QString kDriverId = u"1-3"_s;

// A full record of event 39 at \a time.
EventRecord record(const QDateTime &time)
{
    EventRecord r;
    r.RecVer = 2;
    r.DevType = 1;
    r.EvCode = 39;
    r.CodeName = u"CUE LRN"_s;
    r.Flag1 = 65;
    r.Flag2 = 10;
    r.Seq = 7;
    r.EventTime = time;
    r.Fut = 0;
    r.Down = 12;
    r.iLoop = 1;
    r.Prog = 4;
    r.Cue = 9;
    r.Stat = 1;
    r.P1 = 1;
    r.P2 = 2;
    r.P3 = 3;
    r.P4 = 4;
    r.P5 = 5;
    r.P6 = 6;
    r.P7 = 7;
    r.P8 = 258;
    return r;
}

DriverEvent driverEvent(qint64 id, const QDateTime &time, QByteArray data = {})
{
    DriverEvent e;
    e.uniqueId = id;
    e.machId = 2;
    e.showId = 40;
    e.eventData = data.isNull() ? EventEncoder::encode(record(time)) : data;
    e.eventTime = SiteTime::fromDateTime(time);
    e.logTime = SiteTime::fromDateTime(time.addSecs(1));
    return e;
}

// \a count events, one a minute, starting \a daysBack days before now.
QList<DriverEvent> driverEvents(int count, int daysBack = 40)
{
    QList<DriverEvent> events;
    for (int i = 1; i <= count; ++i)
        events.append(driverEvent(i, kNow.addDays(-daysBack).addSecs(60 * i)));
    return events;
}

// A recordset answer: fields "name:type,..." and rows "a,b;c,d".
LocalAnswer recordsetAnswer(const QString &fields, const QString &rows)
{
    TCPIPRecordSet set;
    QStringList names;
    for (const QString &field : fields.split(u',')) {
        names.append(field.section(u':', 0, 0));
        set.AddField(names.last(), field.section(u':', 1).toInt());
    }
    for (const QString &row : rows.split(u';', Qt::SkipEmptyParts)) {
        set.Add();
        const QStringList values = row.split(u',');
        for (int i = 0; i < values.size(); ++i)
            set.AbsRecord(set.RecordCount(), names.at(i), values.at(i));
    }
    return { 0, QString(), set.toDataText() };
}

// Records what a run shows in the progress window.
class RecordingProgress : public Progress
{
public:
    RecordingProgress() { Progress::setCurrent(this); }
    ~RecordingProgress() override { Progress::setCurrent(nullptr); }

    void Display(const QString &message, bool) override { displayed.append(message); }
    void SetMessage(const QString &message, bool) override
    {
        messages.append(message);
        if (onMessage)
            onMessage(message);
    }
    void SetProgress(int value) override { values.append(value); }
    bool Cancelled() const override { return false; }
    void Close() override { ++closed; }

    QStringList displayed;
    QStringList messages;
    QList<int> values;
    int closed = 0;
    std::function<void(const QString &)> onMessage;
};

class RecordingStatusLine : public StatusLine
{
public:
    RecordingStatusLine() { StatusLine::setCurrent(this); }
    ~RecordingStatusLine() override { StatusLine::setCurrent(nullptr); }

    void SetStatus(const QString &text) override { calls.append(u"set "_s + text); }
    void RestoreStatus() override { calls.append(u"restore"_s); }

    QStringList calls;
};

// A site for one test: the driver with its database behind a router on the first free port of
// the walk, and a program folder with a new local database and the driver selected. A test may
// replace the driver's answer to any statement.
class SyncSite
{
public:
    SyncSite()
        : m_clock(kNow)
    {
        const QString local = m_dir.filePath(u"Showpulse.mdb"_s);
        m_ready = m_dir.isValid() && m_driver.create(m_dir.filePath(u"driver.db"_s))
            && CreateNewDatabase(local) && m_db.open(local) && EnsureIndexes(m_db);
        m_settings.SetFileValue(SettingsKeys::TarvikDriverID, kDriverId);
    }

    bool isReady() const { return m_ready; }
    QString folder() const { return m_dir.path(); }
    DriverDatabase &driver() { return m_driver; }
    Database &db() { return m_db; }
    SettingsFile &settings() { return m_settings; }
    RouterServer &router() { return m_router; }
    ServerConnection &connection() { return *m_connection; }

    bool load(const QList<DriverEvent> &events, const QList<DriverOperator> &operators = {})
    {
        if (!m_driver.beginLoad())
            return false;
        for (const DriverEvent &event : events) {
            if (!m_driver.addEvent(event))
                return false;
        }
        for (const DriverOperator &op : operators) {
            if (!m_driver.addOperator(op))
                return false;
        }
        return m_driver.finishLoad();
    }

    // Starts the router on the first free port of the walk; false when none is free.
    bool listen()
    {
        m_service = std::make_unique<DriverService>(m_driver);
        LocalClient client = m_service->localClient(kDriverId, u"Tarvik Driver"_s);
        client.answer = [this](const QString &function, const QString &data) {
            const QString sql = ServerConnectionHeader::GetItem(data, 1);
            statements.append(sql);
            if (replaceAnswer) {
                if (const std::optional<LocalAnswer> answer = replaceAnswer(sql))
                    return *answer;
            }
            return m_service->answer(function, data);
        };
        if (!m_router.addLocalClient(client))
            return false;
        bool listening = false;
        for (int port = ServerConnection::FirstPort;
             port <= ServerConnection::LastPort && !listening; port += ServerConnection::PortStep)
            listening = m_router.listen(QHostAddress::LocalHost, quint16(port));
        return listening;
    }

    bool connect()
    {
        m_connection = std::make_unique<ServerConnection>(m_dir.path());
        m_connection->SetType(2, u"Halden"_s);
        return m_connection->Connect(u"127.0.0.1"_s, u"Showpulse"_s)
            && QTest::qWaitFor([this] { return m_connection->Connected(); }, 10000);
    }

    bool sync() { return EventLog::SyncEventLog(*m_connection, m_db, m_settings); }

    QStringList lines(const QString &sql)
    {
        QStringList result;
        const auto rows = m_db.openQuery(sql);
        if (!rows)
            return { u"query failed"_s };
        for (; !rows->eof(); rows->moveNext())
            result.append(rows->value(u"line"_s).toString());
        return result;
    }

    QStringList evids() { return lines(u"SELECT Evid AS line FROM EventLog ORDER BY Evid"_s); }

    // Statements the driver was asked, in order.
    QStringList statements;
    // Returns the answer to give instead of the driver's, or nothing to let the driver answer.
    std::function<std::optional<LocalAnswer>(const QString &sql)> replaceAnswer;

private:
    TestClock m_clock;
    QTemporaryDir m_dir;
    DriverDatabase m_driver;
    std::unique_ptr<DriverService> m_service;
    RouterServer m_router { RouterIdentity() };
    Database m_db;
    SettingsFile m_settings;
    std::unique_ptr<ServerConnection> m_connection;
    bool m_ready = false;
};

#define START_SITE(site)                                                                           \
    QVERIFY((site).isReady());                                                                     \
    if (!(site).listen())                                                                          \
        QSKIP("No port of the router walk on 127.0.0.1 is free");                                  \
    QVERIFY((site).connect())

QStringList numbers(int first, int last)
{
    QStringList list;
    for (int n = first; n <= last; ++n)
        list.append(QString::number(n));
    return list;
}

} // namespace

class TestEventLog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void testEventColumns_data();
    void testEventColumns();
    void testFirstRunStart_data();
    void testFirstRunStart();
    void testBatchesAndProgress();
    void testOperatorEndDate_data();
    void testOperatorEndDate();
    void testOperatorListRefused_data();
    void testOperatorListRefused();
    void testNoDriverSelected();
    void testDriverError_data();
    void testDriverError();
    void testUnusableBatch_data();
    void testUnusableBatch();
    void testConnectionLostIsResumed();
    void testFailedBatchLeavesNoPart();
    void testGeneratedSiteMatchesItsTruth();
};

void TestEventLog::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestEventLog::testEventColumns_data()
{
    QTest::addColumn<QByteArray>("eventData");
    QTest::addColumn<QString>("line");

    const QDateTime time(QDate(2025, 5, 1), QTime(20, 15, 30));
    const QByteArray full = EventEncoder::encode(record(time));
    const QString logged = u" 2025-05-01 20:15:31"_s;
    QTest::newRow("whole record")
        << full
        << u"1 40 2 2 1 39 [CUE LRN ] 65 10 7 0 12 1 4 9 1 1 2 3 4 5 6 7 258 2025-05-01 20:15:30"_s
            + logged;
    QTest::newRow("20 characters: bytes from Fut on -1, words 0, no event time")
        << full.left(20)
        << u"1 40 2 2 1 39 [CUE LRN ] 65 10 7 -1 0 -1 -1 -1 -1 0 0 0 0 0 0 0 0 1899-12-30 00:00:00"_s
            + logged;
    QTest::newRow("14 characters: the name is whole")
        << full.left(14)
        << u"1 40 2 2 1 39 [CUE LRN ] 0 0 0 -1 0 -1 -1 -1 -1 0 0 0 0 0 0 0 0 1899-12-30 00:00:00"_s
            + logged;
    QTest::newRow("13 characters: no name")
        << full.left(13)
        << u"1 40 2 2 1 39 [] 0 0 0 -1 0 -1 -1 -1 -1 0 0 0 0 0 0 0 0 1899-12-30 00:00:00"_s
            + logged;
    QTest::newRow("empty")
        << QByteArray("")
        << u"1 40 2 -1 -1 0 [] 0 0 0 -1 0 -1 -1 -1 -1 0 0 0 0 0 0 0 0 1899-12-30 00:00:00"_s
            + logged;
    QByteArray badDate = full;
    badDate[EventRecordLayout::Month - 1] = 13;
    QTest::newRow("month 13")
        << badDate
        << u"1 40 2 2 1 39 [CUE LRN ] 65 10 7 0 12 1 4 9 1 1 2 3 4 5 6 7 258 1899-12-30 00:00:00"_s
            + logged;
    QByteArray high = full;
    high[EventRecordLayout::Down - 1] = char(0xFF);
    high[EventRecordLayout::Cue - 1] = char(0xC8);
    QTest::newRow("bytes above 127")
        << high
        << u"1 40 2 2 1 39 [CUE LRN ] 65 10 7 0 65292 1 4 200 1 1 2 3 4 5 6 7 258 2025-05-01 20:15:30"_s
            + logged;
}

void TestEventLog::testEventColumns()
{
    QFETCH(QByteArray, eventData);
    QFETCH(QString, line);

    SyncSite site;
    QVERIFY(
        site.load({ driverEvent(1, QDateTime(QDate(2025, 5, 1), QTime(20, 15, 30)), eventData) }));
    START_SITE(site);
    QVERIFY2(site.sync(), qPrintable(EventLog::GetLastFailure()));
    QCOMPARE(site.lines(kEventLine), QStringList { line });
}

void TestEventLog::testFirstRunStart_data()
{
    QTest::addColumn<QList<int>>("minutesBack");
    QTest::addColumn<QStringList>("copied");

    const int day = 24 * 60;
    QTest::newRow("all older than 30 days: everything")
        << QList<int> { 40 * day, 35 * day, 30 * day + 1 } << numbers(1, 3);
    QTest::newRow("recent events: after the first one since the cut-off")
        << QList<int> { 40 * day, 20 * day, 10 * day, 60 } << numbers(3, 4);
    QTest::newRow("an event right at the cut-off is the start")
        << QList<int> { 31 * day, 30 * day, 5 * day } << numbers(3, 3);
    QTest::newRow("only recent events: the first is passed over")
        << QList<int> { 29 * day, 28 * day } << numbers(2, 2);
    QTest::newRow("the newest event is first since the cut-off")
        << QList<int> { 40 * day, 60 } << QStringList();
}

void TestEventLog::testFirstRunStart()
{
    QFETCH(QList<int>, minutesBack);
    QFETCH(QStringList, copied);

    SyncSite site;
    QList<DriverEvent> events;
    for (const int minutes : minutesBack)
        events.append(driverEvent(events.size() + 1, kNow.addSecs(-60 * minutes)));
    QVERIFY(site.load(events));
    START_SITE(site);
    QVERIFY2(site.sync(), qPrintable(EventLog::GetLastFailure()));
    QCOMPARE(site.evids(), copied);
    QCOMPARE(site.statements.value(1),
        u"select top 1 uniqueid from eventlog where eventtime >= #5/16/2025 12:00:00# "
        "order by uniqueid"_s);
}

void TestEventLog::testBatchesAndProgress()
{
    SyncSite site;
    QVERIFY(site.load(driverEvents(250)));
    START_SITE(site);

    // What another connection sees at each row tells where the transactions end.
    Database observer;
    QVERIFY(observer.open(site.db().fileName()));
    QStringList committed;
    RecordingProgress progress;
    progress.onMessage = [&](const QString &message) {
        if (!message.startsWith(u"Sychronizing"_s))
            return;
        const auto rows = observer.openQuery(u"SELECT count(*) AS n FROM EventLog"_s);
        committed.append(
            message.section(u' ', 5, 5) + u':' + (rows ? rows->value(u"n"_s).toString() : u"?"_s));
    };
    RecordingStatusLine status;

    QVERIFY2(site.sync(), qPrintable(EventLog::GetLastFailure()));

    QCOMPARE(site.statements,
        QStringList({ u"select * from operators"_s,
            u"select top 1 uniqueid from eventlog where eventtime >= #5/16/2025 12:00:00# "
            "order by uniqueid"_s,
            u"select count(*) as Qty from eventlog where uniqueid >  0"_s,
            u"select top 100 * from eventlog where uniqueid >  0 order by uniqueid"_s,
            u"select top 100 * from eventlog where uniqueid >  100 order by uniqueid"_s,
            u"select top 100 * from eventlog where uniqueid >  200 order by uniqueid"_s,
            u"select top 100 * from eventlog where uniqueid >  250 order by uniqueid"_s }));
    QCOMPARE(site.evids(), numbers(1, 250));

    // Only whole batches ever reach the database, and never ahead of what was received.
    QCOMPARE(committed.size(), 250);
    for (int n = 1; n <= 250; ++n) {
        QCOMPARE(committed.at(n - 1).section(u':', 0, 0), QString::number(n));
        const int stored = committed.at(n - 1).section(u':', 1, 1).toInt();
        QVERIFY2(stored % EventLog::BatchSize == 0 && stored < n, qPrintable(committed.at(n - 1)));
    }

    QCOMPARE(progress.displayed, QStringList { u"Synchronizing Operator Information"_s });
    QCOMPARE(progress.messages.value(0),
        u"Synchronizing Event Log Database... \r\nReceived 0 of ? new events."_s);
    QCOMPARE(progress.messages.value(1),
        u"Sychronizing Event Log Database... \r\nReceived 1 of 250 new events."_s);
    QCOMPARE(progress.messages.value(250),
        u"Sychronizing Event Log Database... \r\nReceived 250 of 250 new events."_s);
    QCOMPARE(progress.values.value(0), 0);
    QCOMPARE(progress.values.value(99), 40);
    QCOMPARE(progress.values.value(249), 100);
    QVERIFY(progress.closed >= 1);
    QCOMPARE(
        status.calls, QStringList({ u"set Synchronizing Event Log Database"_s, u"restore"_s }));
    QCOMPARE(EventLog::GetLastFailure(), QString());
    QCOMPARE(EventLog::GetLastSyncTime(), kNow);

    // Nothing new: only the count and one empty batch after the last event held.
    site.statements.clear();
    QVERIFY(site.sync());
    QCOMPARE(site.statements,
        QStringList({ u"select * from operators"_s,
            u"select count(*) as Qty from eventlog where uniqueid >  250"_s,
            u"select top 100 * from eventlog where uniqueid >  250 order by uniqueid"_s }));
    QCOMPARE(site.evids().size(), 250);
}

void TestEventLog::testOperatorEndDate_data()
{
    QTest::addColumn<QString>("driverEnd");
    QTest::addColumn<QString>("localEnd");
    QTest::addColumn<QString>("expectedEnd");

    QTest::newRow("no end date keeps the local one")
        << QString() << u"2025-01-31 18:00:00"_s << u"2025-01-31 18:00:00"_s;
    QTest::newRow("end date 0 keeps the local one")
        << u"1899-12-30 00:00:00"_s << u"2025-01-31 18:00:00"_s << u"2025-01-31 18:00:00"_s;
    QTest::newRow("an end date replaces the local one")
        << u"2025-03-01 18:00:00"_s << u"2025-01-31 18:00:00"_s << u"2025-03-01 18:00:00"_s;
    QTest::newRow("new operator with an end date")
        << u"2025-03-01 18:00:00"_s << QString() << u"2025-03-01 18:00:00"_s;
    QTest::newRow("new operator still working") << QString() << QString() << u"none"_s;
}

void TestEventLog::testOperatorEndDate()
{
    QFETCH(QString, driverEnd);
    QFETCH(QString, localEnd);
    QFETCH(QString, expectedEnd);

    SyncSite site;
    DriverOperator op { 3, 12, u"Ann O'Hara"_s, SiteTime::fromText(u"2024-01-02 09:00:00"),
        SiteTime::fromText(driverEnd) };
    QVERIFY(site.load({}, { op }));
    if (!localEnd.isEmpty()) {
        QVERIFY(site.db().executeStatement(u"INSERT INTO Operators (ID, ProName, ProID, StartDate, "
                                           "EndDate) VALUES (3, 'Old', 5, NULL, ?)"_s,
            { localEnd }));
    }
    // Operators the driver no longer lists stay.
    QVERIFY(site.db().executeStatement(
        u"INSERT INTO Operators (ID, ProName, ProID) VALUES (99, 'Gone', 8)"_s));
    START_SITE(site);

    QVERIFY(EventLog::SyncOperators(site.connection(), kDriverId, site.db()));
    QCOMPARE(site.lines(u"SELECT ID || ' ' || ProName || ' ' || ProID || ' ' || "
                        "coalesce(StartDate, 'none') || ' ' || coalesce(EndDate, 'none') AS line "
                        "FROM Operators ORDER BY ID"_s),
        QStringList(
            { u"3 Ann O'Hara 12 2024-01-02 09:00:00 "_s + expectedEnd, u"99 Gone 8 none none"_s }));
}

void TestEventLog::testOperatorListRefused_data()
{
    QTest::addColumn<LocalAnswer>("answer");

    QTest::newRow("driver error") << LocalAnswer { 2002, u"Command Error"_s, QString() };
    QTest::newRow("second row without a number")
        << recordsetAnswer(u"uniqueid:4,id:4,name:10"_s, u" 1, 4,Bo;x, 5,Cy"_s);
    QTest::newRow("no uniqueid field") << recordsetAnswer(u"id:4,name:10"_s, u" 4,Bo"_s);
}

void TestEventLog::testOperatorListRefused()
{
    QFETCH(LocalAnswer, answer);

    SyncSite site;
    QVERIFY(site.load(driverEvents(5)));
    QVERIFY(site.db().executeStatement(
        u"INSERT INTO Operators (ID, ProName, ProID) VALUES (1, 'Al', 3)"_s));
    site.replaceAnswer = [answer](const QString &sql) -> std::optional<LocalAnswer> {
        if (sql.contains(u"operators"_s))
            return answer;
        return std::nullopt;
    };
    START_SITE(site);
    RecordingProgress progress;
    RecordingStatusLine status;

    QVERIFY(!site.sync());
    QCOMPARE(EventLog::GetLastFailure(), u"Could not synchronize Operators"_s);
    // All or nothing, and no events asked for.
    QCOMPARE(site.lines(u"SELECT ID || ' ' || ProName || ' ' || ProID AS line FROM Operators"_s),
        QStringList { u"1 Al 3"_s });
    QCOMPARE(site.statements.size(), 1);
    QCOMPARE(status.calls.size(), 2);
    QCOMPARE(progress.closed, 1);
}

void TestEventLog::testNoDriverSelected()
{
    SyncSite site;
    QVERIFY(site.load(driverEvents(5)));
    site.settings().SetFileValue(SettingsKeys::TarvikDriverID, QString());
    START_SITE(site);
    RecordingProgress progress;
    RecordingStatusLine status;

    QVERIFY(!site.sync());
    QCOMPARE(EventLog::GetLastFailure(), u"Tarvik Driver has not been selected."_s);
    QVERIFY(site.statements.isEmpty());
    QVERIFY(status.calls.isEmpty());
    QVERIFY(progress.displayed.isEmpty());
}

void TestEventLog::testDriverError_data()
{
    QTest::addColumn<QString>("failing");
    QTest::addColumn<QStringList>("kept");

    QTest::newRow("30-day start") << u"select top 1"_s << QStringList();
    QTest::newRow("count") << u"select count"_s << QStringList();
    QTest::newRow("first batch") << u"uniqueid >  0 order"_s << QStringList();
    QTest::newRow("third batch") << u"uniqueid >  200 order"_s << numbers(1, 200);
}

void TestEventLog::testDriverError()
{
    QFETCH(QString, failing);
    QFETCH(QStringList, kept);

    SyncSite site;
    QVERIFY(site.load(driverEvents(250)));
    site.replaceAnswer = [failing](const QString &sql) -> std::optional<LocalAnswer> {
        if (sql.contains(failing))
            return LocalAnswer { 9001, u"Internal Tarvik Driver Database Error!!!"_s, QString() };
        return std::nullopt;
    };
    START_SITE(site);
    RecordingProgress progress;
    RecordingStatusLine status;
    const QDateTime lastComplete = EventLog::GetLastSyncTime();

    QVERIFY(!site.sync());
    QCOMPARE(EventLog::GetLastFailure(), u"Internal Tarvik Driver Database Error!!!"_s);
    QCOMPARE(site.evids(), kept);
    QCOMPARE(
        status.calls, QStringList({ u"set Synchronizing Event Log Database"_s, u"restore"_s }));
    QCOMPARE(progress.closed, 1);
    QCOMPARE(EventLog::GetLastSyncTime(), lastComplete);
    QVERIFY(site.lines(u"SELECT Date AS line FROM DailySummary"_s).isEmpty());
}

void TestEventLog::testUnusableBatch_data()
{
    QTest::addColumn<LocalAnswer>("batch");
    QTest::addColumn<bool>("completes");
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QStringList>("stored");

    const QString noNumbers = u"The Tarvik driver's events came without their uniqueid."_s;
    const QString zero = u"0 0 0 -1 -1 0 [] 0 0 0 -1 0 -1 -1 -1 -1 0 0 0 0 0 0 0 0 "
                         "1899-12-30 00:00:00 1899-12-30 00:00:00"_s;
    QTest::newRow("no uniqueid field") << recordsetAnswer(u"machid:4,showid:4"_s, u" 1, 2; 1, 3"_s)
                                       << false << noNumbers << QStringList();
    QTest::newRow("numbers not ascending")
        << recordsetAnswer(u"uniqueid:4"_s, u" 5; 3"_s) << false
        << u"The Tarvik driver sent event number ' 3' where one above 5 was due."_s
        << QStringList();
    QTest::newRow("number at the watermark")
        << recordsetAnswer(u"uniqueid:4"_s, u" 0"_s) << false
        << u"The Tarvik driver sent event number ' 0' where one above 0 was due."_s
        << QStringList();
    QTest::newRow("number that is no number")
        << recordsetAnswer(u"uniqueid:4"_s, u" 1;x"_s) << false
        << u"The Tarvik driver sent event number 'x' where one above 1 was due."_s << QStringList();
    QTest::newRow("number too large for EVID")
        << recordsetAnswer(u"uniqueid:4"_s, u" 2147483648"_s) << false
        << u"The Tarvik driver sent event number ' 2147483648' where one above 0 was due."_s
        << QStringList();
    QTest::newRow("only uniqueid: defaults") << recordsetAnswer(u"uniqueid:4"_s, u" 7"_s) << true
                                             << QString() << QStringList { u"7 "_s + zero.mid(2) };
    QTest::newRow("dates that do not parse")
        << recordsetAnswer(
               u"uniqueid:4,logtime:8,showid:4,machid:4"_s, u" 7,13/45/2025 9:00:00, 9, 3"_s)
        << true << QString() << QStringList { u"7 9 3 "_s + zero.mid(6) };
}

void TestEventLog::testUnusableBatch()
{
    QFETCH(LocalAnswer, batch);
    QFETCH(bool, completes);
    QFETCH(QString, failure);
    QFETCH(QStringList, stored);

    SyncSite site;
    // The first batch is replaced; the driver's empty log ends a run that gets past it.
    site.replaceAnswer = [batch](const QString &sql) -> std::optional<LocalAnswer> {
        if (sql.contains(u"uniqueid >  0 order"_s))
            return batch;
        return std::nullopt;
    };
    START_SITE(site);

    QCOMPARE(site.sync(), completes);
    QCOMPARE(EventLog::GetLastFailure(), failure);
    QCOMPARE(site.lines(kEventLine), stored);
}

void TestEventLog::testConnectionLostIsResumed()
{
    SyncSite site;
    QVERIFY(site.load(driverEvents(250)));
    START_SITE(site);

    // Operators, 30-day start, count and the first batch are answered; the second batch is not.
    FaultOptions faults;
    faults.dropAfter = 4;
    site.router().setFaults(faults);
    QVERIFY(!site.sync());
    QVERIFY(!EventLog::GetLastFailure().isEmpty());
    QCOMPARE(EventLog::GetLastFailure(), site.connection().GetLastErrorDescription());
    QCOMPARE(site.evids(), numbers(1, 100));

    site.router().setFaults(FaultOptions());
    QVERIFY(site.connect());
    site.statements.clear();
    QVERIFY2(site.sync(), qPrintable(EventLog::GetLastFailure()));
    QCOMPARE(
        site.statements.value(1), u"select count(*) as Qty from eventlog where uniqueid >  100"_s);
    QCOMPARE(site.evids(), numbers(1, 250));
}

void TestEventLog::testFailedBatchLeavesNoPart()
{
    SyncSite site;
    QVERIFY(site.load(driverEvents(250)));
    // The local database refuses event 150, in the middle of the second batch.
    QVERIFY(
        site.db().executeStatement(u"CREATE TRIGGER refuse BEFORE INSERT ON EventLog "
                                   "WHEN NEW.Evid = 150 BEGIN SELECT RAISE(ABORT, 'no'); END"_s));
    START_SITE(site);

    // The batches received so far are stored together: the refused event takes them all along,
    // and the next run asks for them again.
    QVERIFY(!site.sync());
    QCOMPARE(EventLog::GetLastFailure(), u"Could not store the events in the local event log."_s);
    QVERIFY(site.evids().isEmpty());

    QVERIFY(site.db().executeStatement(u"DROP TRIGGER refuse"_s));
    QVERIFY2(site.sync(), qPrintable(EventLog::GetLastFailure()));
    QCOMPARE(site.evids(), numbers(1, 250));
}

void TestEventLog::testGeneratedSiteMatchesItsTruth()
{
    SyncSite site;
    QVERIFY(site.isReady());
    GeneratorOptions options;
    options.houses = 3;
    options.days = 14;
    options.seed = 11;
    // All of it more than 30 days back, so the first run copies everything.
    options.endDate = kNow.date().addDays(-35);
    EventGenerator generator(options);
    QVERIFY2(generator.writeDatabase(site.driver()), qPrintable(generator.errorString()));
    START_SITE(site);

    QVERIFY2(site.sync(), qPrintable(EventLog::GetLastFailure()));
    QCOMPARE(site.lines(u"SELECT count(*) || ' ' || count(DISTINCT Evid) AS line FROM EventLog"_s),
        QStringList { u"%1 %1"_s.arg(generator.counts().events) });

    // Per show day: ShowCount MajorProblem MinorProblem DownTime NonMajorDownTime.
    QMap<QDate, QList<int>> days;
    QStringList problemShows;
    for (const ShowTruth &show : generator.shows()) {
        QList<int> &day = days[show.showDay];
        day.resize(5);
        const int counted = show.down < 3600 ? show.down : 0;
        ++day[0];
        day[1] += show.expectedClass == 2;
        day[2] += show.expectedClass == 1;
        day[show.expectedClass == 2 ? 3 : 4] += counted;
        if (show.expectedClass > 0) {
            problemShows.append(u"%1 %2 %3 %4 %5 %6 %7"_s.arg(show.showId)
                                    .arg(show.house)
                                    .arg(show.showDay.toString(Qt::ISODate))
                                    .arg(show.expectedClass == 2 ? -1 : 0)
                                    .arg(show.down)
                                    .arg(show.userCode ? -1 : 0)
                                    .arg(show.expectedProblem));
        }
    }
    QStringList expectedDays;
    for (auto it = days.cbegin(); it != days.cend(); ++it) {
        QStringList line { it.key().toString(Qt::ISODate) };
        for (const int value : it.value())
            line.append(QString::number(value));
        expectedDays.append(line.join(u' '));
    }
    std::sort(problemShows.begin(), problemShows.end(), [](const QString &a, const QString &b) {
        return a.section(u' ', 0, 0).toInt() < b.section(u' ', 0, 0).toInt();
    });

    QCOMPARE(site.lines(u"SELECT substr(Date, 1, 10) || ' ' || ShowCount || ' ' || MajorProblem || "
                        "' ' || MinorProblem || ' ' || DownTime || ' ' || NonMajorDownTime AS line "
                        "FROM DailySummary ORDER BY Date"_s),
        expectedDays);
    QCOMPARE(site.lines(u"SELECT ShowID || ' ' || NetID || ' ' || substr(Date, 1, 10) || ' ' || "
                        "Critical || ' ' || Down || ' ' || UserCodeEntered || ' ' || Problem AS "
                        "line FROM ShowSummary ORDER BY ShowID"_s),
        problemShows);
    QCOMPARE(site.lines(u"SELECT count(*) AS line FROM Operators"_s),
        QStringList { QString::number(generator.operators().size()) });
}

QTEST_GUILESS_MAIN(TestEventLog)
#include "tst_eventlog.moc"
