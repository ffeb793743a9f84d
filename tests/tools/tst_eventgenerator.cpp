#include "eventencoder.h"
#include "eventgenerator.h"
#include "testclock.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QSet>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

namespace {

struct Run
{
    QList<DriverEvent> events;
    QList<EventRecord> records; // decoded, in the same order
};

Run generate(EventGenerator &generator)
{
    Run run;
    const bool ok = generator.generate([&run](const DriverEvent &e) {
        run.events.append(e);
        run.records.append(EventRecord::decode(e.eventData));
        return true;
    });
    if (!ok)
        qWarning() << generator.errorString();
    return run;
}

GeneratorOptions options(int houses, int days, quint64 seed)
{
    GeneratorOptions o;
    o.houses = houses;
    o.days = days;
    o.seed = seed;
    o.endDate = QDate(2026, 3, 1);
    return o;
}

// One event of a show as the show statistics read it.
struct ShowRow
{
    int code = 0;
    SiteTime time;
    int down = 0;
    int p2 = 0;
};

struct Analysis
{
    int problemClass = 0;
    int down = 0;
    bool userCode = false;
    int problem = 0;
};

// The rules by which the program's statistics class a show, written out independently here so
// that the generator's expectations are checked against them rather than against themselves.
Analysis analyse(const QList<ShowRow> &rows)
{
    Analysis a;
    qsizetype startRow = -1;
    for (qsizetype i = rows.size() - 1; i >= 0; --i) {
        if (rows[i].code == 47)
            a.userCode = true;
        if (rows[i].code >= 1 && rows[i].code <= 3) {
            startRow = i;
            break;
        }
    }
    if (startRow < 0)
        return a;
    const SiteTime start = rows[startRow].time;
    auto end = std::find_if(rows.begin(), rows.end(), [](const ShowRow &r) { return r.code == 4; });
    if (end == rows.end())
        return a;
    const int down = end->down;
    a.down = down;
    if (down < 3 || down >= 3600)
        return a;
    if (start.secsTo(end->time) - down < 1200) {
        a.problemClass = 1;
        return a;
    }
    SiteTime t0;
    SiteTime t1;
    for (qsizetype i = startRow; i < rows.size(); ++i) {
        if (rows[i].down == down) {
            t1 = rows[i].time;
            break;
        }
        if (rows[i].down == 0)
            t0 = rows[i].time;
    }
    if (t0.secsTo(end->time) - down <= 3 || (start.secsTo(t1) - down <= 8 && down < 300)) {
        a.problemClass = 1;
        return a;
    }
    a.problemClass = 2;
    if (a.userCode) {
        a.problem = std::find_if(rows.begin(), rows.end(), [](const ShowRow &r) {
            return r.code == 47;
        })->p2;
    } else {
        qsizetype i = 0;
        while (i < rows.size() - 1 && !(rows[i].down > 0.95 * down))
            ++i;
        for (; i >= 0; --i) {
            if (QList<int> { 7, 10, 16, 23, 24 }.contains(rows[i].code)) {
                a.problem = rows[i].code;
                break;
            }
        }
    }
    return a;
}

// Observed count is within five standard deviations of what \a rate predicts over \a trials.
bool withinRate(qint64 observed, qint64 trials, double rate)
{
    const double expected = rate * static_cast<double>(trials);
    const double sigma = std::sqrt(expected * (1 - rate));
    return std::abs(static_cast<double>(observed) - expected) <= 5 * sigma + 1;
}

} // namespace

class TestEventGenerator : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void testEventsDecodeToTheirColumns();
    void testOrder();
    void testSameSeedSameSite();
    void testEndDefaultsToToday();
    void testRatesOverASample();
    void testOperators();
    void testTruthAgreesWithEvents();
    void testTruthFile();
    void testWriteDatabase();
    void testValidate_data();
    void testValidate();
};

void TestEventGenerator::testEventsDecodeToTheirColumns()
{
    EventGenerator generator(options(2, 4, 11));
    const Run run = generate(generator);
    QVERIFY(run.events.size() > 100);

    const QSet<int> codes = { 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 16, 25, 33, 34, 35, 36, 37, 38, 39,
        40, 42, 44, 45, 46, 47, 52, 53, 54 };
    QSet<int> operatorIds;
    for (const DriverOperator &op : generator.operators())
        operatorIds.insert(op.id);
    for (qsizetype i = 0; i < run.events.size(); ++i) {
        const DriverEvent &e = run.events[i];
        const EventRecord &r = run.records[i];
        // Encoding what was decoded gives back every byte, so every field decoded as encoded.
        QCOMPARE(e.eventData.size(), EventRecordLayout::RecordLength);
        QCOMPARE(EventEncoder::encode(r), e.eventData);

        QCOMPARE(r.EventTime, e.eventTime.toDateTime());
        QCOMPARE(r.RecVer, 2);
        QCOMPARE(r.DevType, 1);
        QCOMPARE(r.Fut, 0);
        QCOMPARE(r.CodeName.size(), 8);
        QVERIFY2(codes.contains(r.EvCode), qPrintable(QString::number(r.EvCode)));
        QVERIFY(r.Flag1 & 1);
        QVERIFY(r.Prog >= 1 && r.Prog <= 60);
        const bool inShow = e.showId != 0;
        if (r.EvCode != 47)
            QCOMPARE(inShow, (r.Flag2 & 2) != 0);
        QCOMPARE(inShow, r.Seq > 0);
        switch (r.EvCode) {
        case 1:
        case 2:
        case 3:
            QVERIFY(r.Flag1 & 256);
            QCOMPARE(r.Down, 0);
            break;
        case 4:
            QVERIFY(r.Flag1 & 128);
            break;
        case 8:
            QVERIFY(r.Flag1 & 32);
            break;
        case 39:
        case 40:
        case 42:
        case 44:
        case 45:
            QVERIFY(r.Flag1 & 64);
            QVERIFY(r.Flag2 & 8);
            break;
        case 47:
            QVERIFY(r.Flag1 & 16);
            QVERIFY(operatorIds.contains(r.P1));
            break;
        case 33:
        case 34:
        case 35:
        case 36:
        case 37:
        case 38:
        case 52:
        case 53:
        case 54: {
            // P1..P6 hold an earlier CPU-down time or the old clock, with a two-digit year.
            const QDateTime stated
                = EventRecord::composeEventTime(r.P1, r.P2, r.P3, r.P4, r.P5, r.P6);
            const qint64 apart = stated.secsTo(r.EventTime);
            QVERIFY2(r.EvCode < 52 ? apart >= 600 && apart <= 6 * 3600 : std::abs(apart) <= 600,
                qPrintable(stated.toString(Qt::ISODate)));
            QCOMPARE(inShow, false);
            break;
        }
        default:
            break;
        }
    }
}

void TestEventGenerator::testOrder()
{
    EventGenerator generator(options(5, 12, 3));
    const Run run = generate(generator);
    QMap<int, SiteTime> lastStartOfHouse;
    QMap<int, int> lastShowOfHouse;
    for (qsizetype i = 0; i < run.events.size(); ++i) {
        const DriverEvent &e = run.events[i];
        QCOMPARE(e.uniqueId, static_cast<qint64>(i + 1));
        QVERIFY(e.logTime >= e.eventTime);
        if (i > 0) {
            QVERIFY(e.eventTime >= run.events[i - 1].eventTime);
            QVERIFY(e.logTime >= run.events[i - 1].logTime);
        }
        QVERIFY(e.machId >= 1 && e.machId <= 5);
        if (run.records[i].EvCode >= 1 && run.records[i].EvCode <= 3) {
            QVERIFY(e.showId > lastShowOfHouse.value(e.machId, 0));
            QVERIFY(
                !lastStartOfHouse.contains(e.machId) || e.eventTime > lastStartOfHouse[e.machId]);
            lastShowOfHouse[e.machId] = e.showId;
            lastStartOfHouse[e.machId] = e.eventTime;
        }
    }
    // Show numbers are unique across the site.
    QSet<int> ids;
    for (const ShowTruth &s : generator.shows())
        ids.insert(s.showId);
    QCOMPARE(ids.size(), generator.shows().size());
}

void TestEventGenerator::testSameSeedSameSite()
{
    EventGenerator first(options(3, 10, 5));
    EventGenerator second(options(3, 10, 5));
    EventGenerator other(options(3, 10, 6));
    const Run a = generate(first);
    const Run b = generate(second);
    const Run c = generate(other);
    QCOMPARE(a.events, b.events);
    QCOMPARE(first.operators(), second.operators());
    QCOMPARE(first.truthJson(), second.truthJson());
    QVERIFY(a.events != c.events);

    // A second run of the same generator repeats itself too.
    QCOMPARE(generate(first).events, a.events);
}

void TestEventGenerator::testEndDefaultsToToday()
{
    TestClock clock(QDateTime(QDate(2025, 7, 4), QTime(15, 0)));
    GeneratorOptions o = options(1, 2, 1);
    o.endDate = QDate();
    EventGenerator generator(o);
    QCOMPARE(generator.options().endDate, QDate(2025, 7, 4));
    QCOMPARE(generator.firstDay(), QDate(2025, 7, 3));
    generate(generator);
    for (const ShowTruth &s : generator.shows())
        QVERIFY(s.showDay == QDate(2025, 7, 3) || s.showDay == QDate(2025, 7, 4));
}

void TestEventGenerator::testRatesOverASample()
{
    const int houses = 10;
    const int days = 60;
    EventGenerator generator(options(houses, days, 2024));
    const Run run = generate(generator);
    const QList<ShowTruth> &shows = generator.shows();

    QMap<QPair<int, QDate>, int> perHouseDay; // shows per house and show day
    QMap<ShowKind, qint64> kinds;
    QMap<int, qint64> starts;
    qint64 problemShows = 0;
    qint64 problemShowsWithCode = 0;
    for (const ShowTruth &s : shows) {
        ++perHouseDay[qMakePair(s.house, s.showDay)];
        ++kinds[s.kind];
        ++starts[s.startCode];
        if (s.kind != ShowKind::Normal && s.kind != ShowKind::Blip && s.kind != ShowKind::Aborted) {
            ++problemShows;
            problemShowsWithCode += s.userCode ? 1 : 0;
        }
    }
    QCOMPARE(perHouseDay.size(), houses * days);
    for (auto it = perHouseDay.cbegin(); it != perHouseDay.cend(); ++it) {
        QVERIFY(it.key().second >= generator.firstDay()
            && it.key().second <= generator.options().endDate);
        QVERIFY2(it.value() >= 4 && it.value() <= 6, qPrintable(it.key().second.toString()));
    }
    QVERIFY(shows.size() >= 4 * houses * days && shows.size() <= 6 * houses * days);

    const qint64 n = shows.size();
    QVERIFY(withinRate(kinds[ShowKind::Blip], n, 0.020));
    QVERIFY(withinRate(kinds[ShowKind::StartDelay], n, 0.030));
    QVERIFY(withinRate(kinds[ShowKind::Interrupted] + kinds[ShowKind::Overlong], n, 0.042));
    QVERIFY(withinRate(kinds[ShowKind::EndDown], n, 0.025));
    QVERIFY(withinRate(kinds[ShowKind::NonShow], n, 0.007));
    QVERIFY(withinRate(kinds[ShowKind::Aborted], n, 0.003));
    QVERIFY(withinRate(starts[1], n, 0.15));
    QVERIFY(withinRate(starts[2], n, 0.25));
    QVERIFY(withinRate(problemShowsWithCode, problemShows, 0.75));

    const qint64 hd = static_cast<qint64>(houses) * days;
    const GeneratorCounts &counts = generator.counts();
    QVERIFY(withinRate(counts.resets, hd, 1.0 / 30));
    QVERIFY(withinRate(counts.maintenanceEntries, hd, 1.0 / 14));
    QVERIFY(withinRate(counts.clockChanges, hd, 1.0 / 7 + 1.0 / 60 + 1.0 / 45));
    QCOMPARE(counts.events, run.events.size());

    // Each kind of course a show can take occurs in a sample of this size.
    for (ShowKind k : { ShowKind::Normal, ShowKind::Blip, ShowKind::StartDelay,
             ShowKind::Interrupted, ShowKind::EndDown, ShowKind::NonShow })
        QVERIFY2(kinds[k] > 0, qPrintable(showKindName(k)));
    int intermissions = 0;
    int learnShows = 0;
    for (const EventRecord &r : run.records) {
        intermissions += r.EvCode == 5 ? 1 : 0;
        learnShows += (r.EvCode >= 1 && r.EvCode <= 3 && (r.Flag2 & 1)) ? 1 : 0;
    }
    QVERIFY(withinRate(intermissions, n, 0.08 * 0.98));
    // The first show of each Friday, when a new program starts, runs in learn mode.
    int fridays = 0;
    for (QDate d = generator.firstDay(); d <= generator.options().endDate; d = d.addDays(1))
        fridays += d.dayOfWeek() == Qt::Friday ? 1 : 0;
    QCOMPARE(learnShows, houses * fridays);
}

void TestEventGenerator::testOperators()
{
    EventGenerator generator(options(4, 40, 9));
    const Run run = generate(generator);
    const QList<DriverOperator> &ops = generator.operators();
    QVERIFY(ops.size() >= 7 && ops.size() <= 9);

    QMap<int, QList<DriverOperator>> byId;
    for (qsizetype i = 0; i < ops.size(); ++i) {
        QCOMPARE(ops[i].uniqueId, i + 1);
        QVERIFY(!ops[i].name.trimmed().isEmpty());
        QVERIFY(ops[i].startDate.isValid());
        QVERIFY(!ops[i].endDate.isValid() || ops[i].startDate < ops[i].endDate);
        byId[ops[i].id].append(ops[i]);
    }
    // Numbers reused over time: one before the period, one within it (40 days is long enough).
    int reused = 0;
    for (const QList<DriverOperator> &holders : byId) {
        if (holders.size() < 2)
            continue;
        ++reused;
        QCOMPARE(holders.size(), 2);
        QVERIFY(holders[0].endDate.isValid());
        QVERIFY(holders[0].endDate < holders[1].startDate);
    }
    QCOMPARE(reused, 2);

    // Every keypad entry names someone who worked at the site at the time.
    int entries = 0;
    for (qsizetype i = 0; i < run.events.size(); ++i) {
        if (run.records[i].EvCode != 47)
            continue;
        ++entries;
        const SiteTime t = run.events[i].eventTime;
        const QList<DriverOperator> holders = byId.value(run.records[i].P1);
        QVERIFY(std::any_of(holders.begin(), holders.end(), [t](const DriverOperator &op) {
            return op.startDate <= t && (!op.endDate.isValid() || t <= op.endDate);
        }));
    }
    QVERIFY(entries > 0);
}

void TestEventGenerator::testTruthAgreesWithEvents()
{
    EventGenerator generator(options(6, 45, 77));
    const Run run = generate(generator);

    QMap<int, QList<ShowRow>> rowsOfShow;
    QMap<int, QSet<int>> housesOfShow;
    for (qsizetype i = 0; i < run.events.size(); ++i) {
        const DriverEvent &e = run.events[i];
        if (e.showId == 0)
            continue;
        const EventRecord &r = run.records[i];
        rowsOfShow[e.showId].append({ r.EvCode, e.eventTime, r.Down, r.P2 });
        housesOfShow[e.showId].insert(e.machId);
    }
    QCOMPARE(rowsOfShow.size(), generator.shows().size());

    QMap<int, int> classes;
    for (const ShowTruth &s : generator.shows()) {
        const QList<ShowRow> rows = rowsOfShow.value(s.showId);
        QVERIFY(!rows.isEmpty());
        QCOMPARE(housesOfShow[s.showId], QSet<int> { s.house });
        QCOMPARE(rows.constFirst().code, s.startCode);
        QCOMPARE(rows.constFirst().time, s.start);
        QCOMPARE(s.showDay, s.start.addSecs(-6 * 3600).date());
        const auto end
            = std::find_if(rows.begin(), rows.end(), [](const ShowRow &r) { return r.code == 4; });
        QVERIFY(end != rows.end());
        QCOMPARE(end->time, s.end);
        QCOMPARE(end->down, s.down);
        // The down counter never goes back while the show runs; the user code after it
        // carries none.
        int maxDown = 0;
        for (const ShowRow &r : rows) {
            if (r.code == 47)
                continue;
            QVERIFY(r.down >= maxDown);
            maxDown = r.down;
        }

        const Analysis a = analyse(rows);
        const QByteArray what
            = QStringLiteral("show %1 (%2)").arg(s.showId).arg(showKindName(s.kind)).toLatin1();
        QVERIFY2(a.problemClass == s.expectedClass, what.constData());
        QVERIFY2(a.userCode == s.userCode, what.constData());
        QVERIFY2(a.problem == s.expectedProblem, what.constData());
        if (s.userCode) {
            const auto code = std::find_if(
                rows.begin(), rows.end(), [](const ShowRow &r) { return r.code == 47; });
            QCOMPARE(code->p2, s.userProblem);
        }
        ++classes[s.expectedClass];
    }
    QVERIFY(classes[0] > 0 && classes[1] > 0 && classes[2] > 0);
}

void TestEventGenerator::testTruthFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    EventGenerator generator(options(3, 20, 8));
    generate(generator);
    const QString path = dir.filePath(QStringLiteral("truth.json"));
    QString error;
    QVERIFY2(generator.writeTruth(path, &error), qPrintable(error));
    QVERIFY(!generator.writeTruth(dir.filePath(QStringLiteral("missing/truth.json")), &error));
    QVERIFY(!error.isEmpty());

    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    QCOMPARE(root[QStringLiteral("seed")].toString(), QStringLiteral("8"));
    QCOMPARE(root[QStringLiteral("firstDay")].toString(), QStringLiteral("2026-02-10"));
    QCOMPARE(root[QStringLiteral("events")].toInteger(), generator.counts().events);
    QCOMPARE(root[QStringLiteral("operators")].toArray().size(), generator.operators().size());

    QMap<int, ShowTruth> byId;
    for (const ShowTruth &s : generator.shows())
        byId.insert(s.showId, s);
    qsizetype listed = 0;
    for (const QJsonValue &v : root[QStringLiteral("houseDays")].toArray()) {
        const QJsonObject day = v.toObject();
        const QJsonArray shows = day[QStringLiteral("shows")].toArray();
        QCOMPARE(day[QStringLiteral("showCount")].toInt(), static_cast<int>(shows.size()));
        int major = 0, minor = 0, downTime = 0, otherDownTime = 0;
        for (const QJsonValue &sv : shows) {
            const QJsonObject o = sv.toObject();
            const ShowTruth s = byId.value(o[QStringLiteral("showId")].toInt());
            QCOMPARE(day[QStringLiteral("house")].toInt(), s.house);
            QCOMPARE(day[QStringLiteral("day")].toString(), s.showDay.toString(Qt::ISODate));
            QCOMPARE(o[QStringLiteral("start")].toString(), s.start.toText());
            QCOMPARE(o[QStringLiteral("down")].toInt(), s.down);
            QCOMPARE(o[QStringLiteral("userCode")].toBool(), s.userCode);
            QCOMPARE(o[QStringLiteral("class")].toInt(), s.expectedClass);
            QCOMPARE(o[QStringLiteral("problem")].toInt(), s.expectedProblem);
            major += s.expectedClass == 2 ? 1 : 0;
            minor += s.expectedClass == 1 ? 1 : 0;
            if (s.down < 3600)
                (s.expectedClass == 2 ? downTime : otherDownTime) += s.down;
            ++listed;
        }
        QCOMPARE(day[QStringLiteral("majorProblems")].toInt(), major);
        QCOMPARE(day[QStringLiteral("minorProblems")].toInt(), minor);
        QCOMPARE(day[QStringLiteral("downTime")].toInt(), downTime);
        QCOMPARE(day[QStringLiteral("nonMajorDownTime")].toInt(), otherDownTime);
    }
    QCOMPARE(listed, generator.shows().size());
}

void TestEventGenerator::testWriteDatabase()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("driver.db"));
    EventGenerator generator(options(2, 5, 21));
    {
        DriverDatabase db;
        QVERIFY(db.create(path));
        QVERIFY2(generator.writeDatabase(db), qPrintable(generator.errorString()));
    }
    const Run run = generate(generator);

    DriverDatabase db;
    QVERIFY(db.open(path));
    QCOMPARE(db.operators(), generator.operators());
    QSqlQuery q(db.connection());
    QVERIFY(q.exec(QStringLiteral("SELECT uniqueid, machid, eventdata, logtime, showid, eventtime "
                                  "FROM eventlog ORDER BY uniqueid")));
    for (const DriverEvent &e : run.events) {
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toLongLong(), e.uniqueId);
        QCOMPARE(q.value(1).toInt(), e.machId);
        QCOMPARE(q.value(2).toByteArray(), e.eventData);
        QCOMPARE(q.value(3).toString(), e.logTime.toText());
        QCOMPARE(q.value(4).toInt(), e.showId);
        QCOMPARE(q.value(5).toString(), e.eventTime.toText());
    }
    QVERIFY(!q.next());

    // A database that is not open refuses the load, and the generator passes the reason on.
    DriverDatabase closed;
    QVERIFY(!generator.writeDatabase(closed));
    QVERIFY(!generator.errorString().isEmpty());
}

void TestEventGenerator::testValidate_data()
{
    QTest::addColumn<int>("houses");
    QTest::addColumn<int>("days");
    QTest::addColumn<QDate>("end");
    QTest::addColumn<bool>("valid");
    QTest::newRow("smallest") << 1 << 1 << QDate(2026, 3, 1) << true;
    QTest::newRow("largest") << 99 << 3660 << QDate(2026, 3, 1) << true;
    QTest::newRow("no houses") << 0 << 10 << QDate(2026, 3, 1) << false;
    QTest::newRow("100 houses") << 100 << 10 << QDate(2026, 3, 1) << false;
    QTest::newRow("no days") << 5 << 0 << QDate(2026, 3, 1) << false;
    QTest::newRow("negative days") << 5 << -3 << QDate(2026, 3, 1) << false;
    QTest::newRow("too many days") << 5 << 3661 << QDate(2026, 3, 1) << false;
    QTest::newRow("before 1900") << 5 << 10 << QDate(1900, 1, 5) << false;
    QTest::newRow("year 9999") << 5 << 10 << QDate(9999, 1, 5) << false;
}

void TestEventGenerator::testValidate()
{
    QFETCH(int, houses);
    QFETCH(int, days);
    QFETCH(QDate, end);
    QFETCH(bool, valid);
    GeneratorOptions o;
    o.houses = houses;
    o.days = days;
    o.endDate = end;
    QCOMPARE(EventGenerator::validate(o).isEmpty(), valid);
}

QTEST_GUILESS_MAIN(TestEventGenerator)
#include "tst_eventgenerator.moc"
