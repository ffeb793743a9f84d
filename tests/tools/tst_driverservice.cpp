#include "driverdatabase.h"
#include "driverservice.h"
#include "eventgenerator.h"
#include "router/serverconnectionheader.h"
#include "router/tcpiprecordset.h"
#include "testclock.h"

#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The driver's date form, as the program writes it into its queries.
QString driverDate(const QString &stored)
{
    const QDateTime t = QDateTime::fromString(stored, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    return t.toString(QStringLiteral("M/d/yyyy H:mm:ss"));
}

} // namespace

class TestDriverService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void testProgramStatements();
    void testStatementForms_data();
    void testStatementForms();
    void testRefusedStatements_data();
    void testRefusedStatements();
    void testRowLimit();
    void testRowThatCannotTravel();
    void testOperators();
    void testOtherRequests();

private:
    // Runs \a sql through the driver; the recordset when the answer is a success.
    std::optional<TCPIPRecordSet> query(const QString &sql, LocalAnswer *answer = nullptr);
    qint64 scalar(const QString &sql);

    QTemporaryDir m_dir;
    std::unique_ptr<TestClock> m_clock;
    std::unique_ptr<DriverDatabase> m_db;
    std::unique_ptr<DriverService> m_driver;
};

void TestDriverService::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_clock = std::make_unique<TestClock>(QDateTime(QDate(2026, 3, 2), QTime(12, 0)));
    m_db = std::make_unique<DriverDatabase>();
    QVERIFY(m_db->create(m_dir.filePath(QStringLiteral("driver.db"))));
    GeneratorOptions options;
    options.houses = 4;
    options.days = 30;
    options.endDate = QDate(2026, 3, 1);
    EventGenerator generator(options);
    QVERIFY2(generator.writeDatabase(*m_db), qPrintable(generator.errorString()));
    QVERIFY(m_db->eventCount() > DriverService::MaxRows);
    m_driver = std::make_unique<DriverService>(*m_db);
}

void TestDriverService::cleanupTestCase()
{
    m_driver.reset();
    m_db.reset();
    m_clock.reset();
}

std::optional<TCPIPRecordSet> TestDriverService::query(const QString &sql, LocalAnswer *answer)
{
    const LocalAnswer a = m_driver->answer(
        QStringLiteral("GET RECORDSET"), sql + ServerConnectionHeader::ItemToken);
    if (answer)
        *answer = a;
    if (a.errorCode != 0)
        return std::nullopt;
    TCPIPRecordSet rs;
    rs.Load(a.data);
    return rs;
}

qint64 TestDriverService::scalar(const QString &sql)
{
    QSqlQuery q(m_db->connection());
    if (!q.exec(sql) || !q.next())
        return -1;
    return q.value(0).toLongLong();
}

void TestDriverService::testProgramStatements()
{
    // The operator copy: every row, with the dates in the driver's form.
    std::optional<TCPIPRecordSet> ops = query(QStringLiteral("select * from operators"));
    QVERIFY(ops);
    QCOMPARE(ops->FieldCount(), 5);
    const QList<std::pair<const char *, qint32>> opFields
        = { { "uniqueid", 4 }, { "id", 4 }, { "name", 10 }, { "startdate", 8 }, { "enddate", 8 } };
    for (int i = 0; i < opFields.size(); ++i) {
        QCOMPARE(ops->FieldName(i + 1), QLatin1String(opFields[i].first));
        QCOMPARE(ops->FieldType(QLatin1String(opFields[i].first)), opFields[i].second);
    }
    const QList<DriverOperator> stored = m_db->operators();
    QCOMPARE(ops->RecordCount(), stored.size());
    for (int row = 1; row <= stored.size(); ++row) {
        const DriverOperator &op = stored[row - 1];
        QCOMPARE(
            ops->AsString(row, QStringLiteral("uniqueid")), QStringLiteral(" %1").arg(op.uniqueId));
        QCOMPARE(ops->AbsRecord(row, QStringLiteral("name")).toString(), op.name);
        QCOMPARE(ops->AbsRecord(row, QStringLiteral("startdate")).toDateTime(),
            op.startDate.toDateTime());
        QCOMPARE(ops->AsString(row, QStringLiteral("startdate")),
            op.startDate.toDateTime().toString(QStringLiteral("M/d/yyyy H:mm:ss")));
        QCOMPARE(ops->AsString(row, QStringLiteral("enddate")).isEmpty(), !op.endDate.isValid());
    }

    // The operator list: those still at the site, by number.
    std::optional<TCPIPRecordSet> current = query(
        QStringLiteral("select * from operators where enddate is null or enddate = 0 order by id"));
    QVERIFY(current);
    QCOMPARE(current->RecordCount(),
        int(std::count_if(stored.begin(), stored.end(),
            [](const DriverOperator &op) { return !op.endDate.isValid(); })));
    for (int row = 2; row <= current->RecordCount(); ++row)
        QVERIFY(current->AbsRecord(row - 1, QStringLiteral("id")).toInt()
            <= current->AbsRecord(row, QStringLiteral("id")).toInt());

    // The 30-day start: the first event at or after the cut-off.
    const QString cutoff = QStringLiteral("2026-02-14 06:30:00");
    std::optional<TCPIPRecordSet> start
        = query(QStringLiteral("select top 1 uniqueid from eventlog where eventtime >= #%1#")
                    .arg(driverDate(cutoff)));
    QVERIFY(start);
    QCOMPARE(start->RecordCount(), 1);
    QCOMPARE(start->FieldName(1), QStringLiteral("uniqueid"));
    const qint64 first = start->Field(QStringLiteral("uniqueid")).toLongLong();
    QCOMPARE(first,
        scalar(QStringLiteral("SELECT min(uniqueid) FROM eventlog WHERE eventtime >= '%1'")
                   .arg(cutoff)));

    // The count, with the blank the program writes before the number.
    std::optional<TCPIPRecordSet> count
        = query(QStringLiteral("select count(*) as Qty from eventlog where uniqueid > ")
            + QLatin1Char(' ') + QString::number(first));
    QVERIFY(count);
    QCOMPARE(count->FieldName(1), QStringLiteral("Qty"));
    QCOMPARE(count->Field(QStringLiteral("qty")).toLongLong(),
        scalar(QStringLiteral("SELECT count(*) FROM eventlog WHERE uniqueid > %1").arg(first)));

    // A batch: a hundred events after the watermark, in order, raw data byte for byte.
    std::optional<TCPIPRecordSet> batch = query(
        QStringLiteral("select top 100 * from eventlog where uniqueid >  %1 order by uniqueid")
            .arg(first));
    QVERIFY(batch);
    QCOMPARE(batch->RecordCount(), 100);
    QSqlQuery rows(m_db->connection());
    QVERIFY(rows.exec(QStringLiteral("SELECT uniqueid, machid, eventdata, logtime, showid, "
                                     "eventtime FROM eventlog WHERE uniqueid > %1 "
                                     "ORDER BY uniqueid LIMIT 100")
                          .arg(first)));
    for (int row = 1; rows.next(); ++row) {
        QCOMPARE(batch->AbsRecord(row, QStringLiteral("uniqueid")).toLongLong(),
            rows.value(0).toLongLong());
        QCOMPARE(batch->AbsRecord(row, QStringLiteral("machid")).toInt(), rows.value(1).toInt());
        QCOMPARE(ServerConnectionHeader::toWire(
                     batch->AbsRecord(row, QStringLiteral("eventdata")).toString()),
            rows.value(2).toByteArray());
        QCOMPARE(batch->AbsRecord(row, QStringLiteral("logtime")).toDateTime(),
            QDateTime::fromString(rows.value(3).toString(), QStringLiteral("yyyy-MM-dd HH:mm:ss")));
        QCOMPARE(batch->AbsRecord(row, QStringLiteral("showid")).toInt(), rows.value(4).toInt());
        QCOMPARE(batch->AbsRecord(row, QStringLiteral("eventtime")).toDateTime(),
            QDateTime::fromString(rows.value(5).toString(), QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    }
}

void TestDriverService::testStatementForms_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("reference"); // the same question in SQLite: the row count
    QTest::addColumn<QStringList>("fields");

    const QStringList all
        = { QStringLiteral("uniqueid"), QStringLiteral("machid"), QStringLiteral("eventdata"),
              QStringLiteral("logtime"), QStringLiteral("showid"), QStringLiteral("eventtime") };
    QTest::newRow("keywords in any case")
        << QStringLiteral("SELECT TOP 5 * FROM EventLog WHERE UniqueID > 10 ORDER BY UniqueID DESC")
        << QStringLiteral(
               "SELECT count(*) FROM (SELECT 1 FROM eventlog WHERE uniqueid > 10 LIMIT 5)")
        << all;
    QTest::newRow("columns with names")
        << QStringLiteral("select top 3 showid as Show, machid from eventlog where showid = 12")
        << QStringLiteral("SELECT min(3, count(*)) FROM eventlog WHERE showid = 12")
        << QStringList { QStringLiteral("Show"), QStringLiteral("machid") };
    QTest::newRow("and, or, not, parentheses")
        << QStringLiteral("select count(*) from eventlog where (machid = 1 or machid = 2) and not "
                          "showid = 0 and uniqueid <= 2000")
        << QStringLiteral("SELECT 1") << QStringList { QStringLiteral("count") };
    QTest::newRow("date range")
        << QStringLiteral(
               "select uniqueid from eventlog where eventtime >= #2/20/2026 0:00:00# and "
               "eventtime < #2/21/2026#")
        << QStringLiteral("SELECT count(*) FROM eventlog WHERE eventtime >= '2026-02-20 00:00:00' "
                          "AND eventtime < '2026-02-21 00:00:00'")
        << QStringList { QStringLiteral("uniqueid") };
    QTest::newRow("quotes inside text stay text")
        << QStringLiteral("select * from operators where name = 'x'' or ''1''=''1'")
        << QStringLiteral("SELECT 0")
        << QStringList { QStringLiteral("uniqueid"), QStringLiteral("id"), QStringLiteral("name"),
               QStringLiteral("startdate"), QStringLiteral("enddate") };
    QTest::newRow("top 0") << QStringLiteral("select top 0 * from eventlog")
                           << QStringLiteral("SELECT 0") << all;
    QTest::newRow("after the last event") << QStringLiteral(
        "select top 100 * from eventlog where uniqueid > 99999999 order by uniqueid")
                                          << QStringLiteral("SELECT 0") << all;
}

void TestDriverService::testStatementForms()
{
    QFETCH(QString, statement);
    QFETCH(QString, reference);
    QFETCH(QStringList, fields);
    LocalAnswer answer;
    std::optional<TCPIPRecordSet> rs = query(statement, &answer);
    QVERIFY2(rs, qPrintable(answer.errorText));
    QStringList names;
    for (int i = 1; i <= rs->FieldCount(); ++i)
        names.append(rs->FieldName(i));
    QCOMPARE(names, fields);
    QCOMPARE(qint64(rs->RecordCount()), scalar(reference));
}

void TestDriverService::testRefusedStatements_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QString>("why");
    QTest::newRow("empty") << QString() << QStringLiteral("No statement");
    QTest::newRow("not a select") << QStringLiteral("delete from eventlog")
                                  << QStringLiteral("select");
    QTest::newRow("second statement")
        << QStringLiteral("select * from eventlog; drop table eventlog") << QStringLiteral(";");
    QTest::newRow("comment") << QStringLiteral("select * from eventlog -- all")
                             << QStringLiteral("unexpected");
    QTest::newRow("unknown table") << QStringLiteral("select * from sqlite_master")
                                   << QStringLiteral("no table sqlite_master");
    QTest::newRow("unknown column") << QStringLiteral("select name from eventlog")
                                    << QStringLiteral("no column name in eventlog");
    QTest::newRow("value first") << QStringLiteral("select * from eventlog where 1 = 1")
                                 << QStringLiteral("expected a column");
    QTest::newRow("column with column")
        << QStringLiteral("select * from eventlog where uniqueid = showid")
        << QStringLiteral("compared with a number");
    QTest::newRow("text for a number")
        << QStringLiteral("select * from eventlog where uniqueid > '5'")
        << QStringLiteral("compared with a number");
    QTest::newRow("number for a text")
        << QStringLiteral("select * from operators where name = 5") << QStringLiteral("'text'");
    QTest::newRow("no date") << QStringLiteral(
        "select * from eventlog where eventtime > #13/45/2020#")
                             << QStringLiteral("not a date");
    QTest::newRow("raw data compared")
        << QStringLiteral("select * from eventlog where eventdata = 'x'")
        << QStringLiteral("cannot be compared");
    QTest::newRow("union") << QStringLiteral(
        "select * from operators union select * from operators")
                           << QStringLiteral("unexpected");
    QTest::newRow("negative top") << QStringLiteral("select top -1 * from eventlog")
                                  << QStringLiteral("whole number");
    QTest::newRow("open text") << QStringLiteral("select * from operators where name = 'abc")
                               << QStringLiteral("closing quote");
    QTest::newRow("odd character")
        << QStringLiteral("select * from eventlog where uniqueid > 1 | 2") << QStringLiteral("'|'");
    QTest::newRow("nested too deeply") << QStringLiteral("select * from eventlog where ")
            + QString(200, u'(') + QStringLiteral("uniqueid > 1")
            + QString(200, u')') << QStringLiteral("nested too deeply");
    QTest::newRow("too long") << QStringLiteral("select * from eventlog where uniqueid > 1")
            + QStringLiteral(" or uniqueid > 1").repeated(400)
                              << QStringLiteral("longer than");
}

void TestDriverService::testRefusedStatements()
{
    QFETCH(QString, statement);
    QFETCH(QString, why);
    LocalAnswer answer;
    QVERIFY(!query(statement, &answer));
    QCOMPARE(answer.errorCode, DriverService::CommandError);
    QVERIFY2(answer.errorText.contains(why), qPrintable(answer.errorText));
    QVERIFY(answer.data.isEmpty());
    // Nothing was changed.
    QVERIFY(m_db->eventCount() > DriverService::MaxRows);
}

void TestDriverService::testRowLimit()
{
    LocalAnswer answer;
    QVERIFY(!query(QStringLiteral("select uniqueid from eventlog"), &answer));
    QCOMPARE(answer.errorCode, DriverService::CommandError);
    QVERIFY2(answer.errorText.contains(QStringLiteral("top N")), qPrintable(answer.errorText));

    std::optional<TCPIPRecordSet> most
        = query(QStringLiteral("select top %1 uniqueid from eventlog").arg(DriverService::MaxRows));
    QVERIFY(most);
    QCOMPARE(most->RecordCount(), DriverService::MaxRows);
}

void TestDriverService::testRowThatCannotTravel()
{
    // Raw data that holds a whole marker token would end the message early on the wire.
    DriverEvent bad;
    bad.uniqueId = scalar(QStringLiteral("SELECT max(uniqueid) FROM eventlog")) + 1;
    bad.machId = 1;
    bad.eventData = QByteArray("\x31\x02\x01\rEND\r", 8);
    bad.logTime = SiteTime::fromText(QStringLiteral("2026-03-02 10:00:00"));
    bad.eventTime = bad.logTime;
    QVERIFY2(m_db->appendEvents({ bad }), qPrintable(m_db->lastError()));

    LocalAnswer answer;
    QVERIFY(!query(
        QStringLiteral("select * from eventlog where uniqueid = %1").arg(bad.uniqueId), &answer));
    QCOMPARE(answer.errorCode, DriverService::DatabaseError);
    QVERIFY2(answer.errorText.contains(QStringLiteral("eventdata")), qPrintable(answer.errorText));

    // A lone CR (an hour of 13, say) is ordinary data.
    const qint64 withCr = scalar(
        QStringLiteral("SELECT min(uniqueid) FROM eventlog WHERE instr(eventdata, x'0D') > 0"));
    QVERIFY(withCr > 0);
    std::optional<TCPIPRecordSet> rs
        = query(QStringLiteral("select eventdata from eventlog where uniqueid = %1").arg(withCr));
    QVERIFY(rs);
    QCOMPARE(rs->RecordCount(), 1);
    QVERIFY(rs->Field(QStringLiteral("eventdata")).toString().contains(u'\r'));
    QSqlQuery cleanup(m_db->connection());
    QVERIFY(
        cleanup.exec(QStringLiteral("DELETE FROM eventlog WHERE uniqueid = %1").arg(bad.uniqueId)));
}

void TestDriverService::testOperators()
{
    const QString active = QStringLiteral(
        "select * from operators where enddate is null or enddate = 0 order by id");
    const auto activeIds = [&] {
        QList<int> ids;
        std::optional<TCPIPRecordSet> rs = query(active);
        for (int row = 1; rs && row <= rs->RecordCount(); ++row)
            ids.append(rs->AbsRecord(row, QStringLiteral("id")).toInt());
        return ids;
    };
    using ServerConnectionHeader::ItemToken;
    const auto save = [&](const QString &name, const QString &id) {
        return m_driver->answer(QStringLiteral("SAVE OPERATOR"), name % ItemToken % id % ItemToken);
    };
    const auto remove = [&](const QString &id) {
        return m_driver->answer(QStringLiteral("DELETE OPERATOR"), id % ItemToken);
    };
    const QList<int> before = activeIds();
    QVERIFY(!before.contains(42));

    LocalAnswer a = save(QStringLiteral("Ann O'Hara"), QStringLiteral(" 42"));
    QCOMPARE(a.errorCode, 0);
    QList<int> after = activeIds();
    QVERIFY(after.contains(42));
    std::optional<TCPIPRecordSet> added
        = query(QStringLiteral("select name, startdate from operators where id = 42"));
    QVERIFY(added);
    QCOMPARE(added->Field(QStringLiteral("name")).toString(), QStringLiteral("Ann O'Hara"));
    QCOMPARE(added->Field(QStringLiteral("startdate")).toDateTime(), m_clock->currentDateTime());

    // Refusals leave the list as it was.
    const QList<std::pair<QString, QString>> badSaves = { { QStringLiteral("Bo"),
                                                              QStringLiteral(" 42") },
        { QStringLiteral("  "), QStringLiteral(" 43") },
        { QStringLiteral("Bo"), QStringLiteral("x") },
        { QStringLiteral("Bo"), QStringLiteral("-3") },
        { QStringLiteral("Bo"), QStringLiteral("1.5") }, { QStringLiteral("Bo"), QString() } };
    for (const auto &[name, id] : badSaves) {
        a = save(name, id);
        QCOMPARE(a.errorCode, DriverService::CommandError);
        QVERIFY(!a.errorText.isEmpty());
    }
    QCOMPARE(activeIds(), after);

    // Deleting ends the operator's time; the row stays for the history.
    m_clock->advanceSeconds(3600);
    a = remove(QStringLiteral("42"));
    QCOMPARE(a.errorCode, 0);
    QCOMPARE(ServerConnectionHeader::GetItem(a.data, 1), QStringLiteral(" 42"));
    QCOMPARE(activeIds(), before);
    std::optional<TCPIPRecordSet> ended
        = query(QStringLiteral("select enddate from operators where id = 42"));
    QVERIFY(ended);
    QCOMPARE(ended->RecordCount(), 1);
    QCOMPARE(ended->Field(QStringLiteral("enddate")).toDateTime(), m_clock->currentDateTime());

    for (const QString &id :
        { QStringLiteral("42"), QStringLiteral("9999"), QStringLiteral("abc") }) {
        a = remove(id);
        QCOMPARE(a.errorCode, DriverService::CommandError);
    }
    // The number is free again.
    QCOMPARE(save(QStringLiteral("Cy"), QStringLiteral(" 42")).errorCode, 0);
    QCOMPARE(remove(QStringLiteral(" 42")).errorCode, 0);
}

void TestDriverService::testOtherRequests()
{
    for (const char *function : { "EXECUTE SQL", "SAVE RECORDSET", "FORMAT DISK" }) {
        const LocalAnswer a = m_driver->answer(QLatin1String(function),
            QStringLiteral("delete from eventlog") + ServerConnectionHeader::RecordToken);
        QCOMPARE(a.errorCode, DriverService::CommandError);
        QVERIFY(a.errorText.contains(QLatin1String(function)));
    }
    QVERIFY(m_db->eventCount() > DriverService::MaxRows);
}

QTEST_GUILESS_MAIN(TestDriverService)
#include "tst_driverservice.moc"
