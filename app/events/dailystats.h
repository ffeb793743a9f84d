#pragma once

#include "core/database.h"

#include <QDate>
#include <QDateTime>
#include <QString>

#include <array>

/// \brief Show statistics: classes each show by its down time and keeps the summary tables
/// ShowSummary (one row per problem show) and DailySummary (one row per show day) that the
/// reports read.
namespace DailyStats {

/// A show that starts before this hour belongs to the previous show day.
inline constexpr int ShowDayShiftHours = 6;
/// Down time below this many seconds is no problem.
inline constexpr int LeastDownTime = 3;
/// Shows with this much down time or more are not analysed and add to no down-time column.
inline constexpr int UnanalysedDownTime = 3600;
/// A show that ran for less than this without its down time is not taken for a real show.
inline constexpr int LeastRealShow = 1200;
/// Down time that all came within this of the end of the show was not seen by the audience.
inline constexpr int EndDownTolerance = 3;
/// Down time that all came within this of the start of the show was a start delay...
inline constexpr int StartDownTolerance = 8;
/// ...when it was shorter than this.
inline constexpr int LargestStartDelay = 300;
/// The cause of a major problem is looked for before the first event whose down time exceeds
/// this share of the show's.
inline constexpr double ProblemSearchThreshold = 0.95;

/// The event codes accepted as the cause of a major problem: "Stop - Manual",
/// "Fault - Film Presence/Tension", "Fault - Xenon Lamp Failure", "Stop - Fire", "Stop - Remote".
inline constexpr std::array<int, 5> StoppingCodes { 7, 10, 16, 23, 24 };

/// Values of ShowAnalysis::ProblemClass.
enum : int { NoProblem = 0, MinorProblem = 1, MajorProblem = 2 };

/// The analysis of one show.
struct ShowAnalysis
{
    int ShowID = 0;
    int NetID = 0;
    /// "Start - Manual", "Start - Timed" or "Start - Clock"; empty when the show has no start,
    /// and then nothing but ShowID is meaningful.
    QString StartType;
    /// The show day: the date of the start less ShowDayShiftHours.
    QDate ShowDate;
    /// Seconds of down time, as "End of Show" reported it; 0 without one.
    int Down = 0;
    int ProblemClass = NoProblem;
    /// A user code (event 47) followed the start.
    bool UserCodeEntered = false;
    QDateTime StartTime;
    /// For a major problem: the stopping code, or the problem code of the user code; empty when
    /// none was found.
    QString Problem;
};

/// The show day of a show that started at \a startTime.
QDate ShowDay(const QDateTime &startTime);

/// Analyses show \a showId from its events in the event log.
ShowAnalysis AnalyseShow(int showId, Database &database = Database::instance());

enum class UpdateResult {
    Completed,
    Cancelled, ///< the user cancelled; the shows counted until then are saved
    Failed, ///< the database failed or a run was already going on; nothing of the batch saved
};

/// Brings DailySummary and ShowSummary up to date with the event log: deletes the last summarised
/// day and counts every show from that day on. Reports through Progress::current(), lets pending
/// events run after each show, stops when the user cancels, and closes the progress window at the
/// end.
UpdateResult UpdateShowStatistics(Database &database = Database::instance());

/// The text of problem code \a code (list 1 of EventCodes); empty for 0, negative codes and codes
/// that have no text.
QString ProblemCodeText(int code, Database &database = Database::instance());

} // namespace DailyStats
