#include "reports/dailyreport.h"

#include "core/database.h"
#include "events/eventconstants.h"
#include "reports/htmlreports.h"
#include "reports/reportformat.h"

#include <QStringList>

#include <algorithm>

using EventConstants::FormatDuration;
using ReportFormat::cell;
using ReportFormat::HtmlText;
using ReportFormat::kFont;
using ReportFormat::kFontEnd;
using ReportFormat::sectionTable;

namespace HTMLReports {

namespace {

constexpr int kStartManual = 1;
constexpr int kStartTimed = 2;
constexpr int kStartClock = 3;
constexpr int kEndOfShow = 4;
constexpr int kInLearnedWindowCue = 39;
constexpr int kFilmCue = 42;
constexpr int kAutomaticCueZero = 44;
constexpr int kUserCode = 47;

constexpr int kLearnModeFlag = 1; // Flag2
constexpr int kRunningFlag = 8; // Flag2
constexpr int kResumeCueEndStartFlags = 32 | 64 | 128 | 256; // Flag1

constexpr int kShowCellsPerRow = 8;

int intValue(const Recordset &row, const QString &field)
{
    return row.value(field).toInt();
}

QString showCell(const ShowDisplayRecord &show)
{
    QString text = ReportFormat::MediumTime(show.StartTime.time());
    if (show.StartType.contains(QLatin1String("Manual")))
        text += QStringLiteral(" (m)");
    else if (show.StartType.contains(QLatin1String("Clock")))
        text += QStringLiteral(" (c)");
    else if (show.StartType.contains(QLatin1String("Timed")))
        text += QStringLiteral(" (t)");

    if (!show.isProblem())
        return cell(QStringLiteral(" WIDTH = 90 ALIGN = 'RIGHT'"), text);
    const bool visible = show.DisplayClass == 2;
    return cell(QStringLiteral(" WIDTH = 90 ALIGN = 'RIGHT' BGCOLOR = ")
            + (visible ? VisibleProblemColor : HiddenProblemColor),
        QStringLiteral("<B><A HREF = '#") + QString::number(show.ShowID)
            + QStringLiteral("'><FONT COLOR = '#0000ff'>") + text + QStringLiteral("</FONT></A>")
            + (visible ? QStringLiteral("**") : QStringLiteral("*")) + QStringLiteral("</B>"));
}

QString paddedHouseRowEnd(int cells)
{
    QString html;
    for (; cells < kShowCellsPerRow; ++cells)
        html += QStringLiteral("<TD width = 90><FONT = 'Arial' SIZE = '1'>&nbsp;</TD>");
    return html + QStringLiteral("</TR>") + CRLF;
}

QString eventRowColor(int code, int displayClass)
{
    const bool stopOrFault = code == 7 || (code >= 10 && code <= 24) || (code >= 33 && code <= 38);
    if (stopOrFault)
        return displayClass == 2 ? VisibleProblemColor : HiddenProblemColor;
    if (code == kUserCode)
        return HiddenProblemColor;
    return RowBackColor;
}

bool isDetailShown(const Recordset &row)
{
    const int code = intValue(row, QStringLiteral("EvCode"));
    const int cue = intValue(row, QStringLiteral("Cue"));
    if (code == kAutomaticCueZero || (code == kInLearnedWindowCue && cue == 0))
        return false;
    return (intValue(row, QStringLiteral("Flag2")) & kRunningFlag) != 0
        || (intValue(row, QStringLiteral("Flag1")) & kResumeCueEndStartFlags) != 0
        || code == kUserCode;
}

QString eventRows(const ShowDisplayRecord &show)
{
    const auto rows = OpenQuery(
        QStringLiteral("select EvCode, Flag1, Flag2, Cue, Down, P1, P2, P3, P4, P5, P6, P7, P8, "
                       "EventTime from EventLog where ShowID = ? order by EventTime, Evid"),
        { show.ShowID });
    if (!rows)
        return {};
    // Down times print as growth within this show, whether or not its start event was logged.
    EventConstants::ResetLastDownValue();
    QString html;
    for (; !rows->eof(); rows->moveNext()) {
        if (!isDetailShown(*rows))
            continue;
        const int code = intValue(*rows, QStringLiteral("EvCode"));
        const int cue = intValue(*rows, QStringLiteral("Cue"));
        const QDateTime time = rows->value(QStringLiteral("EventTime")).toDateTime();
        const QString name = code == kFilmCue && cue == 0 ? QStringLiteral("Cue - Film Sync Cue")
                                                          : EventConstants::EventName(code);
        int p[8];
        for (int i = 0; i < 8; ++i)
            p[i] = intValue(*rows, u'P' + QString::number(i + 1));
        QString detail = HtmlText(
            EventConstants::EventDetailText(code, intValue(*rows, QStringLiteral("Down")), p[0],
                p[1], p[2], p[3], p[4], p[5], p[6], p[7], time));
        detail.replace(QChar(13), QLatin1String("<br>"));

        const bool userCode = code == kUserCode;
        html += QStringLiteral("<TR BGCOLOR = ") + eventRowColor(code, show.DisplayClass) + u'>'
            + cell(QStringLiteral(" COLSPAN = 3"), HtmlText(name))
            + cell(QStringLiteral(" ALIGN = 'CENTER'"),
                userCode ? QStringLiteral(" ") : QString::number(cue))
            + cell(
                QStringLiteral(" WIDTH = 75 ALIGN = 'RIGHT'"), ReportFormat::LongTime(time.time()))
            + cell(QStringLiteral(" WIDTH = 75 ALIGN = 'CENTER'"),
                userCode ? QStringLiteral(" ") : FormatDuration(show.StartTime.secsTo(time)))
            + cell(QStringLiteral(" COLSPAN = 3"),
                detail.isEmpty() ? QStringLiteral("&nbsp;") : detail)
            + QStringLiteral("</TR>") + CRLF;
    }
    return html;
}

QString detailTimeText(const QDateTime &time)
{
    return time.isValid()
        ? ReportFormat::Formatted(time, QStringLiteral("hh:mm:ss AP, dddd, MMMM, dd, yyyy"))
        : QString();
}

QString showDetail(const ShowDisplayRecord &show)
{
    const QString house = QString::number(show.NetID);
    const QString emptyCell = cell({}, QStringLiteral("&nbsp;"));
    QString html = QStringLiteral("<A NAME = ") + QString::number(show.ShowID) + u'>'
        + QStringLiteral("<H5>House # <FONT COLOR='#ff0000'>") + house
        + QStringLiteral("</FONT><br></H5>") + CRLF;
    html += QStringLiteral("<TABLE WIDTH = 720 BGCOLOR = ") + SectionBackColor + u'>' + CRLF;
    html += QStringLiteral("<TR>") + cell(QStringLiteral(" WIDTH = 70"), u"House: " + house)
        + cell(QStringLiteral(" WIDTH = 75"), u"Show No: " + QString::number(show.ShowID))
        + cell(QStringLiteral(" WIDTH = 70"), u"Program No: " + QString::number(show.Prog))
        + cell(QStringLiteral(" WIDTH = 70"), HtmlText(show.StartType))
        + cell(QStringLiteral(" WIDTH = 80"), show.LearnMode)
        + cell(QStringLiteral(" WIDTH = 70"), u"Sync Loop " + QString::number(show.iLoop))
        + emptyCell + emptyCell + emptyCell + QStringLiteral("</TR>") + CRLF;
    html += QStringLiteral("<TR>")
        + cell(QStringLiteral(" COLSPAN = 3"), QStringLiteral("Start Time: "))
        + cell(QStringLiteral(" COLSPAN = 6"), detailTimeText(show.StartTime))
        + QStringLiteral("</TR>") + CRLF;
    html += QStringLiteral("<TR>")
        + cell(QStringLiteral(" COLSPAN = 3"), QStringLiteral("End Time:"))
        + cell(QStringLiteral(" COLSPAN = 6"), detailTimeText(show.EndTime))
        + QStringLiteral("</TR>") + CRLF;
    // The heading names the columns in the order the event rows fill them.
    html += QStringLiteral("<TR BGCOLOR = '#fffc77'>")
        + cell(QStringLiteral(" COLSPAN = 3"), QStringLiteral("<U>Event</U>"))
        + cell(QStringLiteral(" ALIGN = 'CENTER'"), QStringLiteral("<U>Cue</U>"))
        + cell(QStringLiteral(" WIDTH = 75 ALIGN = 'RIGHT'"), QStringLiteral("<U>Time</U>"))
        + cell(
            QStringLiteral(" WIDTH = 75 ALIGN = 'CENTER'"), QStringLiteral("<U>Elasped Time</U>"))
        + cell(QStringLiteral(" COLSPAN = 3"), QStringLiteral("<U>Parameters</U>"))
        + QStringLiteral("</TR>") + CRLF;
    html += eventRows(show);
    html += QStringLiteral("<TR>")
        + cell(QStringLiteral(" COLSPAN = 3"), QStringLiteral("<B>Total Show Length: </B>"))
        + cell(QStringLiteral(" COLSPAN = 6"), show.RunningTime) + QStringLiteral("</TR>") + CRLF;
    html += QStringLiteral("<TR>")
        + cell(QStringLiteral(" COLSPAN = 3"), QStringLiteral("<B>Total Down Time: </B>"))
        + cell(QStringLiteral(" COLSPAN = 6"),
            QStringLiteral("<FONT COLOR = '#ff0000'>") + FormatDuration(show.Down) + kFontEnd)
        + QStringLiteral("</TR>") + CRLF;
    if (!show.Explanation.isEmpty()) {
        html += QStringLiteral("<TR>")
            + cell(QStringLiteral(" COLSPAN = 9"),
                QStringLiteral("<B>") + show.Explanation + QStringLiteral("</B>"))
            + QStringLiteral("</TR>") + CRLF;
    }
    if (!show.UserCode) {
        html += QStringLiteral("<TR>")
            + cell(QStringLiteral(" COLSPAN = 3 BGCOLOR = ") + HiddenProblemColor,
                QStringLiteral("**Unknown Problem - No User Code Entered**"))
            + cell(QStringLiteral(" COLSPAN = 6"), QStringLiteral("&nbsp;"))
            + QStringLiteral("</TR>") + CRLF;
    }
    return html + QStringLiteral("</TABLE><P></P><A HREF='#Top'>Top</A>") + CRLF;
}

// One event of a show as the show's analysis reads it.
struct ShowEvent
{
    int code = 0;
    QDateTime time;
    int down = 0;
    int iLoop = 0;
    int prog = 0;
    int flag2 = 0;
};

} // namespace

ShowDisplayRecord BuildShowDisplayRecord(int showId, int netId)
{
    ShowDisplayRecord show;
    show.ShowID = showId;
    show.NetID = netId;
    show.StartType = QStringLiteral("***");

    QList<ShowEvent> events;
    if (const auto rows = OpenQuery(
            QStringLiteral("select EvCode, EventTime, Down, iLoop, Prog, Flag2 from EventLog "
                           "where ShowID = ? order by Evid"),
            { showId })) {
        for (; !rows->eof(); rows->moveNext()) {
            events.append({ intValue(*rows, QStringLiteral("EvCode")),
                rows->value(QStringLiteral("EventTime")).toDateTime(),
                intValue(*rows, QStringLiteral("Down")), intValue(*rows, QStringLiteral("iLoop")),
                intValue(*rows, QStringLiteral("Prog")),
                intValue(*rows, QStringLiteral("Flag2")) });
        }
    }
    if (events.isEmpty())
        return show;

    const auto firstOf = [&events](int code) -> qsizetype {
        for (qsizetype i = 0; i < events.size(); ++i) {
            if (events.at(i).code == code)
                return i;
        }
        return -1;
    };

    show.UserCode = firstOf(kUserCode) >= 0;
    // A manual start is looked for first, then a timed one, then a clock start.
    qsizetype start = -1;
    for (const int code : { kStartManual, kStartTimed, kStartClock }) {
        start = firstOf(code);
        if (start >= 0) {
            show.StartType = EventConstants::EventName(code);
            break;
        }
    }
    // Without a start event the show is timed from its first event, not from the zero date.
    const qsizetype from = std::max<qsizetype>(start, 0);
    show.StartTime = events.at(from).time;

    const qsizetype end = firstOf(kEndOfShow);
    const ShowEvent &modeEvent = events.at(end >= 0 ? end : from);
    show.LearnMode = (modeEvent.flag2 & kLearnModeFlag) != 0 ? QStringLiteral("Learning Mode")
                                                             : QStringLiteral("Learned Mode");
    if (end < 0)
        return show;
    const ShowEvent &endEvent = events.at(end);
    show.EndTime = endEvent.time;
    show.Down = endEvent.down;
    show.iLoop = endEvent.iLoop;
    show.Prog = endEvent.prog;
    show.RunningTime = FormatDuration(show.StartTime.secsTo(show.EndTime) - show.Down);
    if (!show.isProblem())
        return show;

    // t0: the last event at zero down time before the down time reached its total; t1: the
    // first event at the total.
    QDateTime t0 = show.StartTime;
    QDateTime t1 = show.EndTime;
    for (qsizetype i = from; i < events.size(); ++i) {
        if (events.at(i).down == show.Down) {
            t1 = events.at(i).time;
            break;
        }
        if (events.at(i).down == 0)
            t0 = events.at(i).time;
    }
    const QString explanation = ShowExplanation(show.StartTime, show.EndTime, show.Down, t0, t1);
    if (!explanation.isEmpty())
        show.Explanation = QStringLiteral("* ") + explanation;
    const bool visible = (show.Explanation.isEmpty() && show.Down > 0)
        || (show.Down > 300 && show.Explanation.contains(QLatin1String("delay")));
    show.DisplayClass = visible ? 2 : 1;
    return show;
}

QString ShowExplanation(const QDateTime &start, const QDateTime &end, int down, const QDateTime &t0,
    const QDateTime &t1)
{
    if (start.secsTo(end) - down < 1200)
        return QStringLiteral(
            "This was probably not a real show based on it's length, but may be tied to the next "
            "show.");
    if (t0.secsTo(end) - down <= 3)
        return QStringLiteral(
            "This may not have been a real problem. All the down time came at the end of the "
            "show.");
    if (start.secsTo(t1) - down <= 8)
        return QStringLiteral(
                   "This problem occured at the beginning of the show resulting in a show delay "
                   "of ")
            + EventConstants::FormatDurationWords(down) + u'.';
    return {};
}

QString MaintenancePerformed(const QDateTime &start, const QDateTime &end)
{
    QString html = QStringLiteral("<H5>Maintenance Performed:</H5>")
        + sectionTable(720,
            { { QStringLiteral(" WIDTH = 40"), QStringLiteral("Date") },
                { QStringLiteral(" WIDTH = 60 ALIGN = 'CENTER'"), QStringLiteral("House #") },
                { QStringLiteral(" WIDTH = 175"), QStringLiteral("Performed by") },
                { QStringLiteral(" WIDTH = 300"), QStringLiteral("Description") } });

    // Equipment code 0 is "nothing was serviced" and a negative one "nothing entered".
    const auto rows = OpenQuery(
        QStringLiteral("select EventTime, NetID, P1, P6 from EventLog where EventTime >= ? and "
                       "EventTime <= ? and EvCode = 47 and P6 > 0 order by EventTime"),
        { start, end });
    for (; rows && !rows->eof(); rows->moveNext()) {
        const QDateTime time = rows->value(QStringLiteral("EventTime")).toDateTime();
        html += QStringLiteral("<TR BGCOLOR = ") + RowBackColor + u'>'
            + cell({}, ReportFormat::Formatted(time, QStringLiteral("ddd, MMM dd, yyyy, hh:mm AP")))
            + cell(QStringLiteral(" ALIGN = 'CENTER'"),
                QStringLiteral("<B>") + QString::number(intValue(*rows, QStringLiteral("NetID")))
                    + QStringLiteral("</B>"))
            + cell(
                {}, HtmlText(MaintenanceOperatorName(intValue(*rows, QStringLiteral("P1")), time)))
            + cell({}, HtmlText(MaintenanceText(intValue(*rows, QStringLiteral("P6")))))
            + QStringLiteral("</TR>") + CRLF;
    }
    return html + QStringLiteral("</TABLE>") + CRLF;
}

QString MaintenanceOperatorName(int number, const QDateTime &time)
{
    const auto rows = OpenQuery(
        QStringLiteral("select ProName from Operators where ProID = ? order by UniqueID"),
        { number });
    if (!rows || rows->recordCount() == 0)
        return QStringLiteral("Unknown ");
    if (rows->recordCount() == 1)
        return rows->value(QStringLiteral("ProName")).toString();
    // A reused operator number: the operator whose period holds the time.
    return EventConstants::LookupOperatorName(number, time);
}

QString MaintenanceText(int code)
{
    const auto rows = OpenQuery(QStringLiteral("select EventText from EventCodes where CodeID = 5 "
                                               "and IndexNu = ? order by UniqueID"),
        { code });
    return rows && !rows->eof() ? rows->value(QStringLiteral("EventText")).toString() : QString();
}

QString DailySummaryReport::LocationSummary(const QDate &day)
{
    ReportFormat::DayTotals current;
    ReportFormat::DayTotals month;
    if (const auto rows = OpenQuery(
            QStringLiteral("select Date, ShowCount, MajorProblem, MinorProblem, DownTime from "
                           "DailySummary where Date <= ? and Date >= ? order by Date"),
            { day, day.addMonths(-1) })) {
        for (; !rows->eof(); rows->moveNext())
            month.add(*rows);
        if (rows->recordCount() > 0) {
            rows->moveLast();
            if (rows->value(QStringLiteral("Date")).toDateTime().date() == day)
                current.add(*rows);
        }
    }
    const ReportFormat::DayTotals cumulative
        = ReportFormat::SumDailySummary(QStringLiteral("Date <= ?"), { day });

    const QString centred = QStringLiteral(" ALIGN = 'CENTER'");
    const auto heading = [&centred](const QString &attributes, const QString &text) -> QString {
        return cell(attributes + centred, QStringLiteral("<B>") + text + QStringLiteral("</B>"));
    };
    QString html = QStringLiteral("<H3><U>Location Summary: </U></H3>")
        + QStringLiteral("<TABLE BORDER = 1 WIDTH = 720 BGCOLOR = ") + SectionBackColor + u'>'
        + CRLF;
    html += QStringLiteral("<TR>")
        + heading(QStringLiteral(" COLSPAN = 6 BGCOLOR = ") + VisibleProblemColor,
            QStringLiteral("Customer Interruptions"))
        + heading(QStringLiteral(" COLSPAN = 3 BGCOLOR = ") + HiddenProblemColor,
            QStringLiteral("Non Presentation Faults"))
        + QStringLiteral("</TR>") + CRLF;
    html += QStringLiteral("<TR>")
        + heading(QStringLiteral(" COLSPAN = 3"), QStringLiteral("Avg. Prob Shows / Shows Shown"))
        + heading(QStringLiteral(" COLSPAN = 3"), QStringLiteral("Avg. Down Time / Prob Show"))
        + heading(QStringLiteral(" COLSPAN = 3"), QStringLiteral("Avg. Prob Shows / Shows Shown"))
        + QStringLiteral("</TR>") + CRLF;
    html += QStringLiteral("<TR>");
    for (int group = 0; group < 3; ++group) {
        html += heading({}, QStringLiteral("Current")) + heading({}, QStringLiteral("Month"))
            + heading({}, QStringLiteral("Cumulative"));
    }
    html += QStringLiteral("</TR>") + CRLF;

    // Fewer than ten shows make no meaningful ratio for the day.
    const QStringList values
        = { current.shows < 10 ? QStringLiteral("N/A") : current.interruptions(),
              month.interruptions(), cumulative.interruptions(), current.averageDown(),
              month.averageDown(), cumulative.averageDown(), current.faults(), month.faults(),
              cumulative.faults() };
    html += QStringLiteral("<TR BGCOLOR = ") + RowBackColor + u'>';
    for (const QString &value : values)
        html += cell(centred, value);
    return html + QStringLiteral("</TR>") + CRLF + QStringLiteral("</TABLE>") + CRLF;
}

QString DailySummaryReport::PresentationSummary(const QDateTime &reportEnd)
{
    m_records.clear();
    m_showDetailsWanted = false;
    const QDateTime start = reportEnd.addDays(-1);

    QString html = QStringLiteral("<H3><U>Presentation Summary: </U></H3>")
        + QStringLiteral("<TABLE BORDER = '0'><TR><TD WIDTH = 25 BGCOLOR = ") + HiddenProblemColor
        + QStringLiteral("> * </TD><TD>") + kFont
        + QStringLiteral(" = Shows that had a problem that most likely was not visible to the "
                         "audience.")
        + kFontEnd + QStringLiteral("</TD></TR>") + CRLF
        + QStringLiteral("<TR><TD WIDTH = 25 BGCOLOR = ") + VisibleProblemColor
        + QStringLiteral("> ** </TD><TD>") + kFont
        + QStringLiteral(" = Shows that had a problem that most likely interfered with the "
                         "presentation.")
        + kFontEnd + QStringLiteral("</TD></TR></TABLE>") + CRLF;

    // Events outside any show (show number 0) make no show of the day.
    const auto shows = OpenQuery(
        QStringLiteral("select distinct ShowID, NetID from EventLog where EventTime >= ? and "
                       "EventTime <= ? and ShowID <> 0 order by NetID, ShowID"),
        { start, reportEnd });
    if (!shows || shows->eof()) {
        return html
            + QStringLiteral("<P SIZE = 2><I>**No records are available for this date.**</I></P>")
            + CRLF;
    }

    html += QStringLiteral("<P></P><TABLE BORDER = '0' cellspacing = '0' WIDTH = 720 BGCOLOR = ")
        + SectionBackColor + u'>' + CRLF + QStringLiteral("<TR>")
        + cell(QStringLiteral(" nowrap"), QStringLiteral("<B>Shows Times by House</B>"))
        + cell(QStringLiteral(" COLSPAN = 8"),
            QStringLiteral("Clock Start-(c), Manual Start-(m), Timed Start-(t)"))
        + QStringLiteral("</TR>") + CRLF;

    int visibleCount = 0;
    int hiddenCount = 0;
    int house = 0;
    int cellsInRow = -1; // no house row open
    for (; !shows->eof(); shows->moveNext()) {
        const int netId = intValue(*shows, QStringLiteral("NetID"));
        if (cellsInRow < 0 || netId != house) {
            if (cellsInRow >= 0)
                html += paddedHouseRowEnd(cellsInRow);
            house = netId;
            cellsInRow = 0;
            html += QStringLiteral("<TR BGCOLOR = ") + RowBackColor + u'>'
                + cell(QStringLiteral(" nowrap"), u"House # " + QString::number(netId));
        }
        const ShowDisplayRecord show
            = BuildShowDisplayRecord(intValue(*shows, QStringLiteral("ShowID")), netId);
        html += showCell(show);
        ++cellsInRow;
        if (show.isProblem()) {
            m_showDetailsWanted = true;
            ++(show.DisplayClass == 2 ? visibleCount : hiddenCount);
        }
        m_records.append(show);
    }
    html += paddedHouseRowEnd(cellsInRow) + QStringLiteral("</TABLE>") + CRLF;
    return html + QStringLiteral("<P>") + kFont
        + QStringLiteral("Shows with visible interruptions: ") + QString::number(visibleCount)
        + QStringLiteral("     Shows with non-presentation faults: ") + QString::number(hiddenCount)
        + kFontEnd + QStringLiteral("</P>") + CRLF;
}

QString DailySummaryReport::ShowDetails() const
{
    QString html = QStringLiteral("<P><H3><U>Show Details:</U></P>") + CRLF;
    for (const ShowDisplayRecord &show : m_records) {
        if (show.isProblem())
            html += showDetail(show);
    }
    return html;
}

QString DailyReport(const QDateTime &reportEnd, const QString &note)
{
    ReportPage page(
        QStringLiteral("Generating Daily Summary Report"), { 5, 10, 15, 40, 70, 90, 95, 100 });
    const ReportPeriod period = Period(DailyReportType, reportEnd);
    DailySummaryReport report;
    page.add(PageHead(QStringLiteral(" ")));
    page.add(LocationHeader());
    page.append(TitleLine(DailyReportType, reportEnd));
    page.add(Warnings(note, period.start, period.end));
    page.add(report.LocationSummary(period.start.date()));
    page.add(report.PresentationSummary(reportEnd));
    page.add(MaintenancePerformed(period.start, period.end));
    page.add(report.ShowDetailsWanted() ? report.ShowDetails() : QString());
    page.append(ReportFooter());
    page.add(PageTail());
    return page.text();
}

} // namespace HTMLReports
