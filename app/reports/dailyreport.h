#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

namespace HTMLReports {

/// What the daily report knows of one show of the day, for its cell and its details.
struct ShowDisplayRecord
{
    int ShowID = 0;
    int NetID = 0;
    /// The start event's name, or "***" when the show has none.
    QString StartType;
    /// The start event's time; the show's first event's when it has no start event.
    QDateTime StartTime;
    /// The first "End of Show" event's time; invalid when the show has none.
    QDateTime EndTime;
    /// Down of the first "End of Show" event; 0 without one.
    int Down = 0;
    /// FormatDuration of the show length less Down; empty without an end.
    QString RunningTime;
    int iLoop = 0;
    int Prog = 0;
    QString LearnMode;
    bool UserCode = false;
    /// "* " and the explanation, or empty.
    QString Explanation;
    /// 2: problem most likely seen by the audience, 1: most likely not, 0: no problem show.
    int DisplayClass = 0;

    /// Shows with more than 2 and less than 3600 seconds of down time are problem shows.
    bool isProblem() const { return Down > 2 && Down < 3600; }
};

/// Reads show \a showId of house \a netId from the event log and classes it.
ShowDisplayRecord BuildShowDisplayRecord(int showId, int netId);

/// Why a show with 2 < \a down < 3600 may not have been seen as a problem; empty when nothing
/// explains it away. \a t0 is the last event at zero down time before the down time was reached,
/// \a t1 the first event at the full down time.
QString ShowExplanation(const QDateTime &start, const QDateTime &end, int down, const QDateTime &t0,
    const QDateTime &t1);

/// The maintenance entered at the units between \a start and \a end.
QString MaintenancePerformed(const QDateTime &start, const QDateTime &end);
/// The name of operator \a number at \a time as the maintenance list prints it.
QString MaintenanceOperatorName(int number, const QDateTime &time);
/// The text of equipment code \a code; empty when the code is not listed.
QString MaintenanceText(int code);

/// \brief The sections of one daily summary report and what they share: the shows of the day,
/// filled by PresentationSummary() and detailed by ShowDetails().
class DailySummaryReport
{
public:
    /// Today's, the month's and the cumulative figures for report day \a day.
    QString LocationSummary(const QDate &day);
    /// The table of the shows of the day ending at \a reportEnd; fills records().
    QString PresentationSummary(const QDateTime &reportEnd);
    /// The events of every problem show of records().
    QString ShowDetails() const;

    bool ShowDetailsWanted() const { return m_showDetailsWanted; }
    const QList<ShowDisplayRecord> &records() const { return m_records; }

private:
    QList<ShowDisplayRecord> m_records;
    bool m_showDetailsWanted = false;
};

/// The daily summary report ending at \a reportEnd, as a whole page.
QString DailyReport(const QDateTime &reportEnd, const QString &note);

} // namespace HTMLReports
