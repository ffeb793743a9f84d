#include "core/database.h"
#include "core/databaseschema.h"
#include "core/progress.h"
#include "eventgenerator.h"
#include "events/dailystats.h"
#include "siteeventlog.h"
#include "testclock.h"

#include <QMap>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace Qt::StringLiterals;
using namespace DailyStats;

namespace {

// A new program database in a temporary folder with the default user codes.
class StatsFixture
{
public:
    StatsFixture()
    {
        const QString file = m_dir.filePath(u"Showpulse.mdb"_s);
        m_ready = m_dir.isValid() && CreateNewDatabase(file) && m_db.open(file)
            && AddDefaultUserCodes(m_db);
    }

    bool isReady() const { return m_ready; }
    Database &db() { return m_db; }

    bool addEvent(int showId, int code, const QDateTime &time, int down, int p2 = 0, int netId = 1)
    {
        return m_db.executeStatement(u"INSERT INTO EventLog (Evid, ShowID, NetID, EvCode, Down, "
                                     "P2, EventTime) VALUES (?, ?, ?, ?, ?, ?, ?)"_s,
            { ++m_evid, showId, netId, code, down, p2, time });
    }

    // Events of one show on \a date, written "HH:mm:ss code down [p2]; ...".
    bool addScript(int showId, QDate date, const QString &script, int netId = 1)
    {
        for (const QString &item : script.split(u';', Qt::SkipEmptyParts)) {
            const QStringList parts = item.simplified().split(u' ');
            const QTime time = QTime::fromString(parts.value(0), u"HH:mm:ss"_s);
            if (parts.size() < 3 || !time.isValid()
                || !addEvent(showId, parts.at(1).toInt(), QDateTime(date, time),
                    parts.at(2).toInt(), parts.value(3).toInt(), netId))
                return false;
        }
        return true;
    }

    // A two-hour show starting at \a start; \a down seconds of a manual stop an hour in.
    bool addShow(int showId, const QDateTime &start, int down = 0, int netId = 1)
    {
        bool ok = addEvent(showId, 3, start, 0, 0, netId)
            && addEvent(showId, 39, start.addSecs(600), 0, 0, netId);
        if (down > 0) {
            ok = ok && addEvent(showId, 7, start.addSecs(3600), 0, 0, netId)
                && addEvent(showId, 8, start.addSecs(3600 + down), down, 0, netId);
        }
        return ok && addEvent(showId, 4, start.addSecs(7200 + down), down, 0, netId);
    }

    bool addDay(QDate date, int showCount, int downTime)
    {
        return m_db.executeStatement(u"INSERT INTO DailySummary (Date, ShowCount, MajorProblem, "
                                     "MinorProblem, DownTime, LastShowID, NonMajorDownTime) "
                                     "VALUES (?, ?, 0, 0, ?, 0, 0)"_s,
            { date, showCount, downTime });
    }

    // "date ShowCount MajorProblem MinorProblem DownTime NonMajorDownTime LastShowID" per day.
    QStringList days()
    {
        return rows(u"SELECT substr(Date, 1, 10) || ' ' || ShowCount || ' ' || MajorProblem || "
                    "' ' || MinorProblem || ' ' || DownTime || ' ' || NonMajorDownTime || ' ' || "
                    "LastShowID AS line FROM DailySummary ORDER BY Date"_s);
    }

    // "ShowID NetID date Critical Down UserCodeEntered Problem" per problem show.
    QStringList summaries()
    {
        return rows(u"SELECT ShowID || ' ' || NetID || ' ' || substr(Date, 1, 10) || ' ' || "
                    "Critical || ' ' || Down || ' ' || UserCodeEntered || ' ' || Problem AS line "
                    "FROM ShowSummary ORDER BY ShowID, UniqueID"_s);
    }

private:
    QStringList rows(const QString &sql)
    {
        QStringList lines;
        const auto result = m_db.openQuery(sql);
        if (!result)
            return { u"query failed"_s };
        for (; !result->eof(); result->moveNext())
            lines.append(result->value(u"line"_s).toString());
        return lines;
    }

    QTemporaryDir m_dir;
    Database m_db;
    bool m_ready = false;
    int m_evid = 0;
};

// Records what a statistics run shows and cancels when told to.
class RecordingProgress : public Progress
{
public:
    RecordingProgress() { Progress::setCurrent(this); }
    ~RecordingProgress() override { Progress::setCurrent(nullptr); }

    void Display(const QString &, bool) override { }
    void SetMessage(const QString &message, bool) override { messages.append(message); }
    void SetProgress(int value) override { values.append(value); }
    bool Cancelled() const override
    {
        ++asked;
        if (onAsked)
            onAsked();
        return cancelAt > 0 && asked >= cancelAt;
    }
    void Close() override { ++closes; }

    int cancelAt = 0; // Cancelled() is true from this question on; 0 never
    std::function<void()> onAsked;
    mutable int asked = 0;
    QStringList messages;
    QList<int> values;
    int closes = 0;
};

const QDate kDay(2026, 3, 10);

} // namespace

class TestDailyStats : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void testShowDay_data();
    void testShowDay();
    void testAnalyseShow_data();
    void testAnalyseShow();
    void testDaySummary();
    void testStartsOnSecondOfJanuary();
    void testRebuildsOnlyTheLastDay();
    void testRepeatedShowIdKeepsItsSummary();
    void testRebuiltShowGetsLaterUserCode();
    void testCancelKeepsSavedRowsAndNextRunRepairs();
    void testRefusals();
    void testProblemCodeText_data();
    void testProblemCodeText();
    void testGeneratedSiteMatchesItsTruth();
};

void TestDailyStats::testShowDay_data()
{
    QTest::addColumn<QDateTime>("start");
    QTest::addColumn<QDate>("showDay");
    QTest::newRow("05:59:59") << QDateTime(kDay, QTime(5, 59, 59)) << kDay.addDays(-1);
    QTest::newRow("06:00:00") << QDateTime(kDay, QTime(6, 0)) << kDay;
    QTest::newRow("midnight") << QDateTime(kDay, QTime(0, 0)) << kDay.addDays(-1);
    QTest::newRow("23:59:59") << QDateTime(kDay, QTime(23, 59, 59)) << kDay;
    QTest::newRow("1 January, 01:00")
        << QDateTime(QDate(2026, 1, 1), QTime(1, 0)) << QDate(2025, 12, 31);
}

void TestDailyStats::testShowDay()
{
    QFETCH(QDateTime, start);
    QFETCH(QDate, showDay);
    StatsFixture f;
    QVERIFY(f.isReady());
    QVERIFY(f.addShow(12, start));
    const ShowAnalysis a = AnalyseShow(12, f.db());
    QCOMPARE(a.StartTime, start);
    QCOMPARE(a.ShowDate, showDay);
    QCOMPARE(ShowDay(start), showDay);
}

void TestDailyStats::testAnalyseShow_data()
{
    QTest::addColumn<QString>("events");
    QTest::addColumn<QString>("startType");
    QTest::addColumn<int>("down");
    QTest::addColumn<int>("problemClass");
    QTest::addColumn<bool>("userCode");
    QTest::addColumn<QString>("problem");

    QTest::newRow("down 2 at the end")
        << u"20:00:00 3 0; 20:00:05 44 0; 21:39:58 7 0; 21:40:00 4 2"_s << u"Start - Clock"_s << 2
        << 0 << false << QString();
    QTest::newRow("too short for a real show")
        << u"20:00:00 1 0; 20:10:00 7 0; 20:11:00 8 60; 20:15:00 4 60"_s << u"Start - Manual"_s
        << 60 << 1 << false << QString();
    QTest::newRow("down only in the last two minutes")
        << u"20:00:00 2 0; 20:30:00 39 0; 21:38:00 7 0; 21:39:00 25 60; 21:40:00 4 120"_s
        << u"Start - Timed"_s << 120 << 1 << false << QString();
    QTest::newRow("start delay of 200")
        << u"20:00:00 3 0; 20:00:03 10 0; 20:03:23 8 200; 20:30:00 39 200; 22:00:00 4 200"_s
        << u"Start - Clock"_s << 200 << 1 << false << QString();
    QTest::newRow("start delay of 300 is major")
        << u"20:00:00 3 0; 20:00:03 10 0; 20:05:03 8 300; 20:30:00 39 300; 22:00:00 4 300"_s
        << u"Start - Clock"_s << 300 << 2 << false << u"10"_s;
    QTest::newRow("manual stop mid-show")
        << u"20:00:00 3 0; 21:00:00 7 0; 21:05:00 8 300; 22:00:00 4 300"_s << u"Start - Clock"_s
        << 300 << 2 << false << u"7"_s;
    QTest::newRow("film motion is no stopping code")
        << u"20:00:00 3 0; 21:00:00 11 0; 21:05:00 8 300; 22:00:00 4 300"_s << u"Start - Clock"_s
        << 300 << 2 << false << QString();
    QTest::newRow("nearest stop before the bulk of the down time")
        << u"20:00:00 3 0; 20:30:00 10 0; 20:31:00 8 60; 21:00:00 16 60; 21:10:00 8 660; "
           "22:00:00 4 660"_s
        << u"Start - Clock"_s << 660 << 2 << false << u"16"_s;
    QTest::newRow("user code without a problem")
        << u"20:00:00 3 0; 21:00:00 7 0; 21:05:00 8 300; 22:00:00 4 300; 22:03:00 47 0 0"_s
        << u"Start - Clock"_s << 300 << 2 << true << QString();
    QTest::newRow("user code with problem 201")
        << u"20:00:00 3 0; 21:00:00 7 0; 21:05:00 8 300; 22:00:00 4 300; 22:03:00 47 0 201"_s
        << u"Start - Clock"_s << 300 << 2 << true << u"201"_s;
    QTest::newRow("an hour down is not analysed")
        << u"20:00:00 3 0; 20:30:00 16 0; 21:30:00 8 3600; 23:00:00 4 3600"_s << u"Start - Clock"_s
        << 3600 << 0 << false << QString();
    QTest::newRow("no End of Show") << u"20:00:00 3 0; 20:30:00 39 0; 21:00:00 7 0"_s
                                    << u"Start - Clock"_s << 0 << 0 << false << QString();
    QTest::newRow("no start") << u"20:30:00 39 0; 21:00:00 7 0; 22:00:00 4 300"_s << QString() << 0
                              << 0 << false << QString();
    // A counter that went negative is no down time.
    QTest::newRow("negative down")
        << u"20:00:00 3 0; 22:00:00 4 -50"_s << u"Start - Clock"_s << 0 << 0 << false << QString();
    // The show is the latest start; an "End of Show" and a user code of an earlier start under
    // the same number are not its own.
    QTest::newRow("restarted show")
        << u"19:00:00 1 0; 19:05:00 4 0; 19:06:00 47 0 100; 20:00:00 3 0; 21:00:00 7 0; "
           "21:05:00 8 300; 22:00:00 4 300"_s
        << u"Start - Clock"_s << 300 << 2 << false << u"7"_s;
}

void TestDailyStats::testAnalyseShow()
{
    QFETCH(QString, events);
    QFETCH(QString, startType);
    QFETCH(int, down);
    QFETCH(int, problemClass);
    QFETCH(bool, userCode);
    QFETCH(QString, problem);
    StatsFixture f;
    QVERIFY(f.isReady());
    QVERIFY(f.addScript(7, kDay, events, 4));
    QVERIFY(f.addScript(8, kDay, u"20:00:00 3 0; 21:00:00 7 0; 21:05:00 8 300; 22:00:00 4 300"_s));

    const ShowAnalysis a = AnalyseShow(7, f.db());
    QCOMPARE(a.ShowID, 7);
    QCOMPARE(a.StartType, startType);
    QCOMPARE(a.Down, down);
    QCOMPARE(a.ProblemClass, problemClass);
    QCOMPARE(a.UserCodeEntered, userCode);
    QCOMPARE(a.Problem, problem);
    if (!startType.isEmpty()) {
        QCOMPARE(a.NetID, 4);
        QCOMPARE(a.ShowDate, kDay);
    }
}

void TestDailyStats::testDaySummary()
{
    TestClock clock(QDateTime(QDate(2026, 3, 20), QTime(12, 0)));
    StatsFixture f;
    QVERIFY(f.isReady());
    RecordingProgress progress;
    QVERIFY(f.addScript(1, kDay, u"10:00:00 3 0; 11:39:58 7 0; 11:40:00 4 2"_s)); // class 0
    QVERIFY(f.addScript(2, kDay, u"12:00:00 1 0; 12:14:00 8 60; 12:15:00 4 60"_s, 2)); // 1
    QVERIFY(f.addShow(3, QDateTime(kDay, QTime(14, 0)), 300, 3)); // class 2
    QVERIFY(f.addShow(4, QDateTime(kDay, QTime(17, 0)), 3600)); // not analysed
    QVERIFY(f.addScript(5, kDay, u"20:00:00 3 0; 21:00:00 39 0"_s)); // no end
    QVERIFY(f.addScript(6, kDay, u"22:00:00 39 0; 23:00:00 4 30"_s)); // no start
    QVERIFY(f.addEvent(0, 3, QDateTime(kDay, QTime(9, 0)), 0)); // outside any show

    QCOMPARE(UpdateShowStatistics(f.db()), UpdateResult::Completed);
    QCOMPARE(f.days(), QStringList { u"2026-03-10 5 1 1 300 62 5"_s });
    QCOMPARE(f.summaries(),
        QStringList({ u"2 2 2026-03-10 0 60 0 0"_s, u"3 3 2026-03-10 -1 300 0 7"_s }));
    QCOMPARE(progress.messages.value(0), u"Updating Show Statistics\r\n0 complete of 5"_s);
    QCOMPARE(progress.values.value(0), 0);
    QCOMPARE(progress.asked, 5);
    QCOMPARE(progress.closes, 1);
}

void TestDailyStats::testStartsOnSecondOfJanuary()
{
    TestClock clock(QDateTime(QDate(2026, 3, 20), QTime(12, 0)));
    StatsFixture f;
    QVERIFY(f.isReady());
    QVERIFY(f.addShow(1, QDateTime(QDate(2025, 12, 31), QTime(20, 0))));
    QVERIFY(f.addShow(2, QDateTime(QDate(2026, 1, 1), QTime(20, 0))));
    // Show day 1 January, which an empty summary does not cover.
    QVERIFY(f.addShow(3, QDateTime(QDate(2026, 1, 2), QTime(0, 30))));
    QVERIFY(f.addShow(4, QDateTime(QDate(2026, 1, 2), QTime(6, 0))));
    QVERIFY(f.addShow(5, QDateTime(QDate(2026, 1, 3), QTime(1, 0))));

    QCOMPARE(UpdateShowStatistics(f.db()), UpdateResult::Completed);
    QCOMPARE(f.days(), QStringList { u"2026-01-02 2 0 0 0 0 5"_s });
}

void TestDailyStats::testRebuildsOnlyTheLastDay()
{
    TestClock clock(QDateTime(QDate(2026, 3, 20), QTime(12, 0)));
    StatsFixture f;
    QVERIFY(f.isReady());
    QVERIFY(f.addDay(QDate(2026, 3, 1), 99, 9));
    QVERIFY(f.addDay(QDate(2026, 3, 2), 99, 9));
    QVERIFY(f.addShow(1, QDateTime(QDate(2026, 3, 1), QTime(20, 0))));
    // Early in the morning of the first day read, but of the kept day: not counted twice.
    QVERIFY(f.addShow(2, QDateTime(QDate(2026, 3, 2), QTime(3, 0))));
    QVERIFY(f.addShow(3, QDateTime(QDate(2026, 3, 2), QTime(14, 0)), 400));
    QVERIFY(f.addShow(4, QDateTime(QDate(2026, 3, 3), QTime(2, 0))));
    QVERIFY(f.addShow(5, QDateTime(QDate(2026, 3, 3), QTime(14, 0))));

    QCOMPARE(UpdateShowStatistics(f.db()), UpdateResult::Completed);
    const QStringList expected { u"2026-03-01 99 0 0 9 0 0"_s, u"2026-03-02 2 1 0 400 0 4"_s,
        u"2026-03-03 1 0 0 0 0 5"_s };
    QCOMPARE(f.days(), expected);

    // Nothing new: the same figures again, and no second summary row for show 3.
    QCOMPARE(UpdateShowStatistics(f.db()), UpdateResult::Completed);
    QCOMPARE(f.days(), expected);
    QCOMPARE(f.summaries(), QStringList { u"3 1 2026-03-02 -1 400 0 7"_s });
}

void TestDailyStats::testRepeatedShowIdKeepsItsSummary()
{
    TestClock clock(QDateTime(QDate(2026, 3, 20), QTime(12, 0)));
    StatsFixture f;
    QVERIFY(f.isReady());
    QVERIFY(f.db().executeStatement(u"INSERT INTO ShowSummary (ShowID, NetID, Date, Critical, "
                                    "Down, UserCodeEntered, Problem) VALUES (5, 2, ?, 0, 40, -1, "
                                    "100)"_s,
        { QDate(2025, 6, 1) }));
    QVERIFY(f.addShow(5, QDateTime(kDay, QTime(14, 0)), 300));

    QCOMPARE(UpdateShowStatistics(f.db()), UpdateResult::Completed);
    QCOMPARE(f.days(), QStringList { u"2026-03-10 1 1 0 300 0 5"_s });
    QCOMPARE(f.summaries(), QStringList { u"5 2 2025-06-01 0 40 -1 100"_s });
}

void TestDailyStats::testRebuiltShowGetsLaterUserCode()
{
    TestClock clock(QDateTime(QDate(2026, 3, 20), QTime(12, 0)));
    StatsFixture f;
    QVERIFY(f.isReady());
    QVERIFY(f.addShow(5, QDateTime(kDay, QTime(14, 0)), 300));
    QCOMPARE(UpdateShowStatistics(f.db()), UpdateResult::Completed);
    QCOMPARE(f.summaries(), QStringList { u"5 1 2026-03-10 -1 300 0 7"_s });

    // The projectionist's code arrives with the next synchronisation.
    QVERIFY(f.addEvent(5, 47, QDateTime(kDay, QTime(16, 10)), 300, 201));
    QCOMPARE(UpdateShowStatistics(f.db()), UpdateResult::Completed);
    QCOMPARE(f.days(), QStringList { u"2026-03-10 1 1 0 300 0 5"_s });
    QCOMPARE(f.summaries(), QStringList { u"5 1 2026-03-10 -1 300 -1 201"_s });
}

void TestDailyStats::testCancelKeepsSavedRowsAndNextRunRepairs()
{
    TestClock clock(QDateTime(QDate(2026, 3, 20), QTime(12, 0)));
    StatsFixture f;
    QVERIFY(f.isReady());
    // Two houses, three days, four shows a day each; the second house's show numbers are the
    // lower ones, so number order is not time order. The 18:00 shows stop for 300 s.
    for (int day = 0; day < 3; ++day) {
        for (int slot = 0; slot < 4; ++slot) {
            const int down = slot == 2 ? 300 : 0;
            const QDateTime start(kDay.addDays(day), QTime(12 + 3 * slot, 0));
            QVERIFY(f.addShow(901 + 4 * day + slot, start, down, 1));
            QVERIFY(f.addShow(101 + 4 * day + slot, start.addSecs(1800), down, 2));
        }
    }

    {
        RecordingProgress progress;
        progress.cancelAt = 11;
        QCOMPARE(UpdateShowStatistics(f.db()), UpdateResult::Cancelled);
        QCOMPARE(progress.closes, 1);
        QCOMPARE(progress.messages.value(0), u"Updating Show Statistics\r\n0 complete of 24"_s);
        for (const int value : std::as_const(progress.values))
            QVERIFY2(value >= 0 && value <= 100, qPrintable(QString::number(value)));
    }
    // The eleven shows counted before the cancel are saved: the first day and three of the next.
    QCOMPARE(
        f.days(), QStringList({ u"2026-03-10 8 2 0 600 0 104"_s, u"2026-03-11 3 0 0 0 0 906"_s }));
    QCOMPARE(f.summaries().size(), 2);

    QCOMPARE(UpdateShowStatistics(f.db()), UpdateResult::Completed);
    QCOMPARE(f.days(),
        QStringList({ u"2026-03-10 8 2 0 600 0 104"_s, u"2026-03-11 8 2 0 600 0 108"_s,
            u"2026-03-12 8 2 0 600 0 112"_s }));
    QCOMPARE(f.summaries(),
        QStringList({ u"103 2 2026-03-10 -1 300 0 7"_s, u"107 2 2026-03-11 -1 300 0 7"_s,
            u"111 2 2026-03-12 -1 300 0 7"_s, u"903 1 2026-03-10 -1 300 0 7"_s,
            u"907 1 2026-03-11 -1 300 0 7"_s, u"911 1 2026-03-12 -1 300 0 7"_s }));
}

void TestDailyStats::testRefusals()
{
    TestClock clock(QDateTime(QDate(2026, 3, 20), QTime(12, 0)));
    StatsFixture f;
    QVERIFY(f.isReady());
    QVERIFY(f.addShow(1, QDateTime(kDay, QTime(14, 0))));

    // A run started while one is going on (from the events it lets run) is turned away.
    RecordingProgress progress;
    UpdateResult inner = UpdateResult::Completed;
    progress.onAsked = [&] { inner = UpdateShowStatistics(f.db()); };
    QCOMPARE(UpdateShowStatistics(f.db()), UpdateResult::Completed);
    QCOMPARE(inner, UpdateResult::Failed);
    QCOMPARE(progress.closes, 1);
    progress.onAsked = nullptr;

    // A summary date the program cannot read decides nothing: no row is deleted or added.
    QVERIFY(f.db().executeStatement(
        u"INSERT INTO DailySummary (Date, ShowCount) VALUES ('not a date', 1)"_s));
    const QStringList before = f.days();
    QCOMPARE(UpdateShowStatistics(f.db()), UpdateResult::Failed);
    QCOMPARE(f.days(), before);
    QCOMPARE(progress.closes, 2);

    // No database at all.
    Database closed;
    QCOMPARE(UpdateShowStatistics(closed), UpdateResult::Failed);
    QCOMPARE(AnalyseShow(1, closed).StartType, QString());
}

void TestDailyStats::testProblemCodeText_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("problem list, not the presentation list") << 201 << u"Extra cue(s) on film"_s;
    QTest::newRow("401") << 401 << u"Xenon failure"_s;
    QTest::newRow("0") << 0 << QString();
    QTest::newRow("negative") << -401 << QString();
    QTest::newRow("no such code") << 999 << QString();
}

void TestDailyStats::testProblemCodeText()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    StatsFixture f;
    QVERIFY(f.isReady());
    QCOMPARE(ProblemCodeText(code, f.db()), text);
}

void TestDailyStats::testGeneratedSiteMatchesItsTruth()
{
    TestClock clock(QDateTime(QDate(2026, 4, 1), QTime(12, 0)));
    StatsFixture f;
    QVERIFY(f.isReady());
    GeneratorOptions options;
    options.houses = 4;
    options.days = 28;
    options.seed = 7;
    options.endDate = QDate(2026, 3, 31);
    EventGenerator generator(options);
    QString error;
    QVERIFY2(LoadSiteEventLog(generator, f.db(), &error), qPrintable(error));

    QCOMPARE(UpdateShowStatistics(f.db()), UpdateResult::Completed);

    QMap<QDate, QList<int>> expectedDays;
    QStringList expectedSummaries;
    QList<ShowTruth> shows = generator.shows();
    std::sort(shows.begin(), shows.end(),
        [](const ShowTruth &a, const ShowTruth &b) { return a.showId < b.showId; });
    for (const ShowTruth &show : std::as_const(shows)) {
        QList<int> &day = expectedDays[show.showDay];
        day.resize(5);
        const bool counted = show.down < UnanalysedDownTime;
        ++day[0];
        day[1] += show.expectedClass == 2;
        day[2] += show.expectedClass == 1;
        day[3] += show.expectedClass == 2 && counted ? show.down : 0;
        day[4] += show.expectedClass != 2 && counted ? show.down : 0;
        if (show.expectedClass > 0) {
            expectedSummaries.append(QStringList { QString::number(show.showId),
                QString::number(show.house), show.showDay.toString(Qt::ISODate),
                show.expectedClass == 2 ? u"-1"_s : u"0"_s, QString::number(show.down),
                show.userCode ? u"-1"_s : u"0"_s, QString::number(show.expectedProblem) }
                                         .join(u' '));
        }
    }
    QStringList expectedDayLines;
    for (auto it = expectedDays.cbegin(); it != expectedDays.cend(); ++it) {
        QStringList line { it.key().toString(Qt::ISODate) };
        for (const int value : it.value())
            line.append(QString::number(value));
        expectedDayLines.append(line.join(u' '));
    }
    // LastShowID depends on the order shows were counted in; it is left out here.
    QStringList dayLines = f.days();
    for (QString &line : dayLines)
        line = line.section(u' ', 0, 5);
    QCOMPARE(dayLines, expectedDayLines);
    QCOMPARE(f.summaries(), expectedSummaries);
}

QTEST_GUILESS_MAIN(TestDailyStats)
#include "tst_dailystats.moc"
