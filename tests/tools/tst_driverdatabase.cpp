#include "driverdatabase.h"

#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

namespace {

DriverEvent sampleEvent(qint64 uniqueId, const QString &time)
{
    DriverEvent e;
    e.uniqueId = uniqueId;
    e.machId = 3;
    e.showId = uniqueId == 2 ? 0 : 17;
    e.eventData = QByteArray("\x00\x02\xFF\x80raw", 7);
    e.eventTime = SiteTime::fromText(time);
    e.logTime = e.eventTime.addSecs(1);
    return e;
}

} // namespace

class TestDriverDatabase : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void testLoadAndReadBack();
    void testRefusals();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestDriverDatabase::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestDriverDatabase::testLoadAndReadBack()
{
    const QString path = m_dir->filePath(QStringLiteral("driver.db"));
    const QList<DriverEvent> events = { sampleEvent(1, QStringLiteral("2026-02-28 23:59:59")),
        sampleEvent(2, QStringLiteral("2026-03-01 00:00:00")),
        sampleEvent(3, QStringLiteral("2026-03-01 10:00:00")) };
    DriverOperator current;
    current.uniqueId = 1;
    current.id = 4;
    current.name = QStringLiteral("Maria Lopez");
    current.startDate = SiteTime::fromText(QStringLiteral("2024-01-02 09:00:00"));
    DriverOperator former = current;
    former.uniqueId = 2;
    former.name = QStringLiteral("O'Brien \"Tom\"");
    former.endDate = SiteTime::fromText(QStringLiteral("2025-01-02 17:00:00"));
    {
        DriverDatabase db;
        QVERIFY2(db.create(path), qPrintable(db.lastError()));
        QVERIFY(!db.addEvent(events[0])); // only inside a load
        QVERIFY(db.beginLoad());
        for (const DriverEvent &e : events)
            QVERIFY2(db.addEvent(e), qPrintable(db.lastError()));
        QVERIFY(db.addOperator(current));
        QVERIFY(db.addOperator(former));
        QVERIFY(!db.addEvent(events[0])); // the same uniqueid twice
        QVERIFY2(db.finishLoad(), qPrintable(db.lastError()));
    }

    DriverDatabase db;
    QVERIFY2(db.open(path), qPrintable(db.lastError()));
    QCOMPARE(db.eventCount(), qint64(3));
    QCOMPARE(db.operators(), (QList<DriverOperator> { current, former }));

    QSqlQuery q(db.connection());
    QVERIFY(q.exec(QStringLiteral("SELECT uniqueid, machid, eventdata, logtime, showid, eventtime "
                                  "FROM eventlog ORDER BY uniqueid")));
    for (const DriverEvent &e : events) {
        QVERIFY(q.next());
        DriverEvent read;
        read.uniqueId = q.value(0).toLongLong();
        read.machId = q.value(1).toInt();
        read.eventData = q.value(2).toByteArray();
        read.logTime = SiteTime::fromText(q.value(3).toString());
        read.showId = q.value(4).toInt();
        read.eventTime = SiteTime::fromText(q.value(5).toString());
        QCOMPARE(read, e);
    }

    // Stored times compare in time order, across the turn of a day.
    QVERIFY(q.prepare(QStringLiteral("SELECT uniqueid FROM eventlog WHERE eventtime >= ? "
                                     "ORDER BY uniqueid LIMIT 1")));
    q.addBindValue(QStringLiteral("2026-03-01 00:00:00"));
    QVERIFY(q.exec() && q.next());
    QCOMPARE(q.value(0).toInt(), 2);
    QVERIFY(q.exec(QStringLiteral("SELECT name FROM operators WHERE enddate IS NULL OR enddate = 0 "
                                  "ORDER BY id")));
    QVERIFY(q.next());
    QCOMPARE(q.value(0).toString(), current.name);
    QVERIFY(!q.next());
    QVERIFY(q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'index' AND "
                                  "tbl_name = 'eventlog' AND sql LIKE '%eventtime%'")));
    QVERIFY(q.next());
}

void TestDriverDatabase::testRefusals()
{
    const QString path = m_dir->filePath(QStringLiteral("driver.db"));
    DriverDatabase db;
    QVERIFY(!db.open(path));
    QVERIFY(db.lastError().contains(QStringLiteral("no such file")));
    QVERIFY(!db.create(m_dir->filePath(QStringLiteral("missing/driver.db"))));
    QVERIFY(!db.isOpen());

    QVERIFY(db.create(path));
    db.close();
    QVERIFY(!db.create(path));
    QVERIFY(db.lastError().contains(QStringLiteral("exists")));

    const QString other = m_dir->filePath(QStringLiteral("notes.txt"));
    QFile file(other);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("not a database at all, just some text that is long enough\n");
    file.close();
    QVERIFY(!db.open(other));
    QVERIFY(!db.isOpen());
    QVERIFY(!db.beginLoad());
}

QTEST_GUILESS_MAIN(TestDriverDatabase)
#include "tst_driverdatabase.moc"
