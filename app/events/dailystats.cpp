#include "events/dailystats.h"

#include "core/clock.h"
#include "core/datetext.h"
#include "core/progress.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMap>
#include <QScopeGuard>

#include <algorithm>
#include <optional>

namespace DailyStats {

namespace {

constexpr int EndOfShowEvent = 4;
constexpr int UserCodeEvent = 47;

// Seconds of the zero date on the scale of SQLite's strftime('%s'): a time that cannot be read
// counts as the zero date, as everywhere else in the program.
constexpr qint64 kZeroDateSeconds = -25569LL * 86400;

// Shows whose counts are written together, in one transaction.
constexpr int kShowsPerBatch = 1000;
// The progress window is updated at most this often; it repaints on every new message.
constexpr qint64 kProgressIntervalMs = 100;

// One event of a show, as the analysis needs it. Times are wall-clock seconds, so lengths are
// what the unit's clock showed, also across a change to or from summer time.
struct ShowEvent
{
    int code = 0;
    int down = 0;
    int p2 = 0;
    int netId = 0;
    qint64 seconds = kZeroDateSeconds;
    QString timeText;
};

bool isStart(int code)
{
    return code >= 1 && code <= 3;
}

QString startTypeName(int code)
{
    switch (code) {
    case 1:
        return QStringLiteral("Start - Manual");
    case 2:
        return QStringLiteral("Start - Timed");
    default:
        return QStringLiteral("Start - Clock");
    }
}

bool isStoppingCode(int code)
{
    return std::find(StoppingCodes.begin(), StoppingCodes.end(), code) != StoppingCodes.end();
}

// The events of show \a showId in the order the units logged them; nothing when the query
// failed.
std::optional<QList<ShowEvent>> readShowEvents(Database &database, int showId)
{
    // The time comes twice: as text for the start, and as seconds for lengths, so that no row
    // pays for a date conversion it does not need.
    const std::unique_ptr<Recordset> rows = database.openQuery(
        QStringLiteral("SELECT evcode, down, p2, netid, eventtime AS timetext, "
                       "CAST(strftime('%s', eventtime) AS INTEGER) AS timeseconds "
                       "FROM eventlog WHERE showid = ? ORDER BY evid"),
        { showId });
    if (!rows)
        return std::nullopt;
    QList<ShowEvent> events;
    events.reserve(rows->recordCount());
    for (; !rows->eof(); rows->moveNext()) {
        ShowEvent event;
        event.code = rows->value(QStringLiteral("evcode")).toInt();
        event.down = rows->value(QStringLiteral("down")).toInt();
        event.p2 = rows->value(QStringLiteral("p2")).toInt();
        event.netId = rows->value(QStringLiteral("netid")).toInt();
        const QVariant seconds = rows->value(QStringLiteral("timeseconds"));
        if (!seconds.isNull())
            event.seconds = seconds.toLongLong();
        event.timeText = rows->value(QStringLiteral("timetext")).toString();
        events.append(event);
    }
    return events;
}

ShowAnalysis analyse(int showId, const QList<ShowEvent> &events)
{
    ShowAnalysis a;
    a.ShowID = showId;

    // The latest start; user codes after it belong to this show.
    qsizetype start = events.size() - 1;
    for (; start >= 0 && !isStart(events.at(start).code); --start) {
        if (events.at(start).code == UserCodeEvent)
            a.UserCodeEntered = true;
    }
    if (start < 0) {
        a.UserCodeEntered = false;
        return a;
    }
    const ShowEvent &first = events.at(start);
    a.StartType = startTypeName(first.code);
    a.StartTime = DateText::fromText(first.timeText);
    if (!a.StartTime.isValid())
        a.StartTime = DateText::zeroDate();
    a.ShowDate = ShowDay(a.StartTime);
    a.NetID = first.netId;

    // Everything below is looked for from the start on: events of an earlier start under the
    // same show number are not part of this show.
    const auto from = events.cbegin() + start;
    const auto endOfShow = std::find_if(
        from, events.cend(), [](const ShowEvent &e) { return e.code == EndOfShowEvent; });
    if (endOfShow == events.cend())
        return a;
    const ShowEvent &last = *endOfShow;
    // A negative counter is no down time; it must not take seconds off the day.
    a.Down = std::max(0, last.down);
    if (a.Down < LeastDownTime || a.Down >= UnanalysedDownTime)
        return a;

    if (last.seconds - first.seconds - a.Down < LeastRealShow) {
        a.ProblemClass = MinorProblem;
        return a;
    }

    // t0: the last moment without down time; t1: when the down time reached its total.
    qint64 t0 = first.seconds;
    qint64 t1 = last.seconds;
    for (auto it = from; it <= endOfShow; ++it) {
        if (it->down == a.Down) {
            t1 = it->seconds;
            break;
        }
        if (it->down == 0)
            t0 = it->seconds;
    }

    a.ProblemClass = MajorProblem;
    if (last.seconds - t0 - a.Down <= EndDownTolerance) {
        a.ProblemClass = MinorProblem;
        return a;
    }
    if (t1 - first.seconds - a.Down <= StartDownTolerance && a.Down < LargestStartDelay) {
        a.ProblemClass = MinorProblem;
        return a;
    }

    if (!a.UserCodeEntered) {
        const double threshold = ProblemSearchThreshold * a.Down;
        auto found = std::find_if(
            from, events.cend(), [threshold](const ShowEvent &e) { return e.down > threshold; });
        for (auto it = found; it != events.cend(); --it) {
            if (isStoppingCode(it->code)) {
                a.Problem = QString::number(it->code);
                break;
            }
            if (it == from)
                break;
        }
    } else {
        const auto userCode = std::find_if(
            from, events.cend(), [](const ShowEvent &e) { return e.code == UserCodeEvent; });
        if (userCode != events.cend() && userCode->p2 != 0)
            a.Problem = QString::number(userCode->p2);
    }
    return a;
}

struct DayRow
{
    int showCount = 0;
    int majorProblem = 0;
    int minorProblem = 0;
    int downTime = 0;
    int nonMajorDownTime = 0;
    int lastShowId = 0;
    bool stored = false; // a row for the day is in the table
    bool changed = false; // holds counts the table does not have yet
};

struct SummaryRow
{
    qint64 uniqueId = 0;
    QDate date;
};

// One run of UpdateShowStatistics.
class StatisticsRun
{
public:
    explicit StatisticsRun(Database &database)
        : m_database(database)
    {
    }

    UpdateResult run(Progress &progress);

private:
    bool findPeriod();
    bool loadShowSummaries();
    void count(const ShowAnalysis &a);
    bool save();

    Database &m_database;
    // Summary rows from this date on are replaced; invalid when the table was empty.
    QDateTime m_replaceFrom;
    // The last day whose summary is kept; only later show days are counted.
    QDateTime m_lastKept;
    QMap<QDate, DayRow> m_days;
    QHash<int, QList<SummaryRow>> m_summaries;
    QList<ShowAnalysis> m_newProblems;
    QList<QPair<qint64, ShowAnalysis>> m_changedProblems;
};

bool StatisticsRun::findPeriod()
{
    const QString latest = QStringLiteral("SELECT max(date) AS Date FROM dailysummary");
    const std::unique_ptr<Recordset> last = m_database.openQuery(latest);
    if (!last || last->eof())
        return false;
    const QVariant lastDate = last->value(QStringLiteral("Date"));
    QVariant kept;
    if (!lastDate.isNull()) {
        // A date the program cannot read would decide what is deleted: refuse it.
        if (lastDate.typeId() != QMetaType::QDateTime)
            return false;
        m_replaceFrom = lastDate.toDateTime();
        const std::unique_ptr<Recordset> before
            = m_database.openQuery(latest + QStringLiteral(" WHERE date < ?"), { m_replaceFrom });
        if (!before || before->eof())
            return false;
        kept = before->value(QStringLiteral("Date"));
        if (!kept.isNull() && kept.typeId() != QMetaType::QDateTime)
            return false;
    }
    m_lastKept = kept.isNull() ? QDateTime(QDate(Clock::currentDate().year(), 1, 1), QTime(0, 0))
                               : kept.toDateTime();
    return true;
}

bool StatisticsRun::loadShowSummaries()
{
    const std::unique_ptr<Recordset> rows
        = m_database.openQuery(QStringLiteral("SELECT uniqueid, showid, date FROM showsummary"));
    if (!rows)
        return false;
    for (; !rows->eof(); rows->moveNext()) {
        m_summaries[rows->value(QStringLiteral("showid")).toInt()].append(
            { rows->value(QStringLiteral("uniqueid")).toLongLong(),
                rows->value(QStringLiteral("date")).toDateTime().date() });
    }
    return true;
}

void StatisticsRun::count(const ShowAnalysis &a)
{
    DayRow &day = m_days[a.ShowDate];
    ++day.showCount;
    const bool counted = a.Down < UnanalysedDownTime;
    if (a.ProblemClass == MajorProblem) {
        ++day.majorProblem;
        if (counted)
            day.downTime += a.Down;
    } else if (counted) {
        day.nonMajorDownTime += a.Down;
    }
    if (a.ProblemClass == MinorProblem)
        ++day.minorProblem;
    day.lastShowId = a.ShowID;
    day.changed = true;

    if (a.ProblemClass != MinorProblem && a.ProblemClass != MajorProblem)
        return;
    QList<SummaryRow> &existing = m_summaries[a.ShowID];
    if (existing.isEmpty()) {
        m_newProblems.append(a);
        existing.append({ 0, a.ShowDate });
        return;
    }
    // The same show, counted again because its day is rebuilt, gets its row brought up to date
    // (a user code may have come in since). A row of another show under the same number stays.
    for (const SummaryRow &row : std::as_const(existing)) {
        if (row.uniqueId != 0 && row.date == a.ShowDate) {
            m_changedProblems.append({ row.uniqueId, a });
            return;
        }
    }
}

bool StatisticsRun::save()
{
    if (!m_database.transaction())
        return false;
    auto rollback = qScopeGuard([this] { m_database.rollback(); });

    if (m_replaceFrom.isValid()) {
        if (!m_database.executeStatement(
                QStringLiteral("DELETE FROM dailysummary WHERE date >= ?"), { m_replaceFrom }))
            return false;
    }
    for (auto it = m_days.cbegin(); it != m_days.cend(); ++it) {
        const DayRow &day = it.value();
        if (!day.changed)
            continue;
        const QVariantList values { day.showCount, day.majorProblem, day.minorProblem, day.downTime,
            day.lastShowId, day.nonMajorDownTime, it.key() };
        const QString sql = day.stored
            ? QStringLiteral("UPDATE dailysummary SET showcount = ?, majorproblem = ?, "
                             "minorproblem = ?, downtime = ?, lastshowid = ?, "
                             "nonmajordowntime = ? WHERE date = ?")
            : QStringLiteral("INSERT INTO dailysummary (showcount, majorproblem, minorproblem, "
                             "downtime, lastshowid, nonmajordowntime, date) "
                             "VALUES (?, ?, ?, ?, ?, ?, ?)");
        if (!m_database.executeStatement(sql, values))
            return false;
    }
    const auto summaryValues = [](const ShowAnalysis &a) {
        return QVariantList { a.ShowDate, a.NetID, a.ShowID, a.ProblemClass == MajorProblem, a.Down,
            a.UserCodeEntered, a.Problem.toInt() };
    };
    for (const ShowAnalysis &a : std::as_const(m_newProblems)) {
        if (!m_database.executeStatement(
                QStringLiteral("INSERT INTO showsummary (date, netid, showid, critical, down, "
                               "usercodeentered, problem) VALUES (?, ?, ?, ?, ?, ?, ?)"),
                summaryValues(a)))
            return false;
    }
    for (const auto &[uniqueId, a] : std::as_const(m_changedProblems)) {
        if (!m_database.executeStatement(
                QStringLiteral("UPDATE showsummary SET date = ?, netid = ?, showid = ?, "
                               "critical = ?, down = ?, usercodeentered = ?, problem = ? "
                               "WHERE uniqueid = ?"),
                summaryValues(a) << uniqueId))
            return false;
    }
    if (!m_database.commit())
        return false;
    rollback.dismiss();

    m_replaceFrom = QDateTime();
    for (DayRow &day : m_days) {
        day.stored = day.stored || day.changed;
        day.changed = false;
    }
    m_newProblems.clear();
    m_changedProblems.clear();
    return true;
}

UpdateResult StatisticsRun::run(Progress &progress)
{
    if (!findPeriod() || !loadShowSummaries())
        return UpdateResult::Failed;

    // Shows in the order they started, so that an interrupted run leaves every day complete
    // but the last one, which the next run rebuilds.
    const std::unique_ptr<Recordset> shows = m_database.openQuery(
        QStringLiteral("SELECT showid FROM eventlog WHERE evcode IN (1, 2, 3) AND showid <> 0 "
                       "AND eventtime >= ? GROUP BY showid ORDER BY max(eventtime), showid"),
        { m_lastKept.addDays(1) });
    if (!shows)
        return UpdateResult::Failed;

    const int total = shows->recordCount();
    const QDate lastKeptDay = m_lastKept.date();
    QElapsedTimer sinceProgress;
    int unsaved = 0;
    for (int position = 0; !shows->eof(); shows->moveNext(), ++position) {
        const int showId = shows->value(QStringLiteral("showid")).toInt();
        const std::optional<QList<ShowEvent>> events = readShowEvents(m_database, showId);
        if (!events) {
            save();
            return UpdateResult::Failed;
        }
        const ShowAnalysis a = analyse(showId, *events);
        // A show that started after midnight but before the day shift belongs to the last kept
        // day, which has counted it already.
        if (!a.StartType.trimmed().isEmpty() && a.ShowDate > lastKeptDay) {
            count(a);
            ++unsaved;
        }

        if (!sinceProgress.isValid() || sinceProgress.elapsed() >= kProgressIntervalMs) {
            progress.SetMessage(QStringLiteral("Updating Show Statistics\r\n")
                + QString::number(position) + QStringLiteral(" complete of ")
                + QString::number(total));
            progress.SetProgress(qRound(double(position) / total * 100));
            sinceProgress.start();
        }
        QCoreApplication::processEvents();
        if (progress.Cancelled())
            return save() ? UpdateResult::Cancelled : UpdateResult::Failed;
        if (unsaved >= kShowsPerBatch) {
            if (!save())
                return UpdateResult::Failed;
            unsaved = 0;
        }
    }
    return save() ? UpdateResult::Completed : UpdateResult::Failed;
}

} // namespace

QDate ShowDay(const QDateTime &startTime)
{
    if (!startTime.isValid())
        return QDate();
    const QDate date = startTime.date();
    return startTime.time() < QTime(ShowDayShiftHours, 0) ? date.addDays(-1) : date;
}

ShowAnalysis AnalyseShow(int showId, Database &database)
{
    const std::optional<QList<ShowEvent>> events = readShowEvents(database, showId);
    if (!events) {
        ShowAnalysis a;
        a.ShowID = showId;
        return a;
    }
    return analyse(showId, *events);
}

UpdateResult UpdateShowStatistics(Database &database)
{
    // Pending events run between shows; a second run started from one of them is refused.
    static bool running = false;
    if (running)
        return UpdateResult::Failed;
    running = true;
    Progress &progress = Progress::current();
    const UpdateResult result = StatisticsRun(database).run(progress);
    progress.Close();
    running = false;
    return result;
}

QString ProblemCodeText(int code, Database &database)
{
    if (code <= 0)
        return QString();
    const std::unique_ptr<Recordset> rows = database.openQuery(
        QStringLiteral("SELECT eventtext FROM eventcodes WHERE codeid = 1 AND indexnu = ?"),
        { code });
    if (!rows || rows->eof())
        return QString();
    return rows->value(QStringLiteral("eventtext")).toString();
}

} // namespace DailyStats
