#include "reports/periodicreports.h"

#include "core/database.h"
#include "events/dailystats.h"
#include "events/eventconstants.h"
#include "reports/dailyreport.h"
#include "reports/htmlreports.h"
#include "reports/reportformat.h"

#include <algorithm>
#include <cmath>
#include <functional>

using EventConstants::FormatDuration;
using ReportFormat::cell;
using ReportFormat::HtmlText;
using ReportFormat::kFont;
using ReportFormat::kFontEnd;
using ReportFormat::sectionTable;

namespace HTMLReports {

namespace {

constexpr int kBarCells = 21;
constexpr int kFullBarSteps = 20;
constexpr int kChartWidth = 240;

// Numbers written the way the chart markup has always carried them: after a blank.
QString spaced(qint64 number)
{
    return u' ' + QString::number(number);
}

// The three charts of a problems section side by side under their titles.
QString chartTriple(const QString &first, const QString &second, const QString &third)
{
    const auto title = [](const QString &text) -> QString {
        return QStringLiteral("<TD><H6><FONT FACE = 'Arial'>") + text
            + QStringLiteral("</FONT></H6></TD>");
    };
    const auto chart = [](const QString &html) -> QString {
        return QStringLiteral("<TD VALIGN = 'TOP'>") + html + QStringLiteral("</TD>");
    };
    return QStringLiteral("<TABLE WIDTH = 720><TR BGCOLOR = ") + SectionBackColor + u'>'
        + title(QStringLiteral("Presentation Interruptions"))
        + title(QStringLiteral("Average Down Time"))
        + title(QStringLiteral("Non Presentation Faults")) + QStringLiteral("</TR>") + CRLF
        + QStringLiteral("<TR>") + chart(first) + chart(second) + chart(third)
        + QStringLiteral("</TR></TABLE>") + CRLF;
}

QString periodicReport(int type, const QString &caption, QList<int> steps,
    const QDateTime &reportEnd, const QString &note,
    const QList<std::function<QString()>> &sections)
{
    ReportPage page(caption, std::move(steps));
    const ReportPeriod period = Period(type, reportEnd);
    page.add(PageHead(QStringLiteral(" ")));
    page.add(LocationHeader());
    page.append(TitleLine(type, reportEnd));
    page.add(Warnings(note, period.start, period.end));
    for (const auto &section : sections)
        page.add(section());
    page.add(ReportFooter());
    page.add(PageTail());
    return page.text();
}

} // namespace

QString BarChart(int width, const QString &labelCaption, const QString &valueCaption,
    const QList<BarChartItem> &items)
{
    qint64 largest = 0;
    for (const BarChartItem &item : items)
        largest = std::max(largest, item.value);
    // Charts of small numbers draw one cell per unit rather than dividing by a zero step.
    const double scaleStep = std::max<double>(1.0, std::llround(double(largest) / kFullBarSteps));

    QString html = QStringLiteral("<P></P><TABLE border = '0' cellspacing = '0' WIDTH = ")
        + spaced(width) + QStringLiteral(" BGCOLOR = ") + RowBackColor
        + QStringLiteral("><TR ><TD  WIDTH = 21 BGCOLOR = ") + HeaderBackColor + u'>' + kFont
        + HtmlText(labelCaption) + QStringLiteral("</TD><TD  WIDTH = 15 BGCOLOR = ")
        + HeaderBackColor + u'>' + kFont + HtmlText(valueCaption) + QStringLiteral("</TD>");
    for (int i = 0; i < kBarCells; ++i) {
        html += QStringLiteral("<TD BGCOLOR = ") + HeaderBackColor
            + QStringLiteral("><font = 'Arial' size = '0'>&nbsp;</TD>");
    }
    html += QStringLiteral("</TR>");

    for (const BarChartItem &item : items) {
        const QString color = item.value != 0 ? item.color : RowBackColor;
        const qint64 steps = std::max<qint64>(0, std::llround(double(item.value) / scaleStep));
        const bool full = steps >= kFullBarSteps;
        // A bar too short for a whole cell still takes one, as browsers draw a span of 0.
        const qint64 barCells = full ? kBarCells : std::max<qint64>(steps, 1);
        html += QStringLiteral("<TR BGCOLOR = ") + RowBackColor
            + QStringLiteral("><TD nowrap WIDTH=60>") + kFont + HtmlText(item.label)
            + QStringLiteral("</TD>") + CRLF + QStringLiteral("<TD WIDTH = 30 ALIGN='CENTER'>")
            + kFont + HtmlText(item.valueText) + QStringLiteral("</TD>") + CRLF
            + QStringLiteral("<TD BGCOLOR = ") + color + QStringLiteral(" ALIGN = 'Right'")
            + QStringLiteral(" COLSPAN = ") + spaced(barCells) + u'>' + CRLF
            + QStringLiteral("<font face='Arial' size = '0'>")
            + (full ? QStringLiteral("+") : QStringLiteral("&nbsp;")) + QStringLiteral("</TD>");
        if (!full) {
            html += QStringLiteral("<TD BGCOLOR = ") + RowBackColor + QStringLiteral(" COLSPAN = ")
                + QString::number(kBarCells - barCells)
                + QStringLiteral("><font face='Arial' size = '0'>&nbsp;</TD>") + CRLF;
        }
        html += QStringLiteral("</TR>");
    }
    return html + QStringLiteral("</TABLE>");
}

QString WeeklySummary(const QDate &lastDay)
{
    const QString range = QStringLiteral("Date >= ? and Date <= ?");
    const ReportFormat::DayTotals columns[] = {
        ReportFormat::SumDailySummary(range, { lastDay.addDays(-6), lastDay }),
        ReportFormat::SumDailySummary(range, { lastDay.addDays(-13), lastDay.addDays(-7) }),
        ReportFormat::SumDailySummary(QStringLiteral("Date <= ?"), { lastDay }),
    };

    const QString centred = QStringLiteral(" ALIGN = 'CENTER'");
    QString html = QStringLiteral("<H5>Weekly Summary:</H5><P></P>")
        + QStringLiteral("<TABLE WIDTH = 720 BGCOLOR = ") + SectionBackColor + u'>' + CRLF
        + QStringLiteral("<TR>") + cell(QStringLiteral(" WIDTH = 80"), QStringLiteral("&nbsp;"));
    for (const QString &heading :
        { QStringLiteral("This Week"), QStringLiteral("Last Week"), QStringLiteral("Cumulative") })
        html += cell(centred, QStringLiteral("<B>") + heading + QStringLiteral("</B>"));
    html += QStringLiteral("</TR>") + CRLF;

    const auto row
        = [&](const QString &background, const QString &label,
              const std::function<QString(const ReportFormat::DayTotals &)> &value) -> QString {
        QString text = QStringLiteral("<TR BGCOLOR = ") + background + u'>' + cell({}, label);
        for (const ReportFormat::DayTotals &column : columns)
            text += cell(centred, value(column));
        return text + QStringLiteral("</TR>") + CRLF;
    };
    html += row(HeaderBackColor, QStringLiteral("Shows Shown"),
        [](const ReportFormat::DayTotals &t) { return QString::number(t.shows); });
    html += row(RowBackColor, QStringLiteral("Percentage of Shows with Presentation Interruptions"),
        [](const ReportFormat::DayTotals &t) { return t.interruptions(); });
    html += row(RowBackColor, QStringLiteral("Percentage of Shows with Non-Presentation Faults"),
        [](const ReportFormat::DayTotals &t) { return t.faults(); });
    html += row(RowBackColor,
        QStringLiteral("Avg Downtime for Shows with Presentation Interruptions"),
        [](const ReportFormat::DayTotals &t) { return t.averageDown(); });
    return html + QStringLiteral("</TABLE>") + CRLF;
}

QString ProblemsByDay(const QDate &lastDay)
{
    QList<BarChartItem> interruptions;
    QList<BarChartItem> downTimes;
    QList<BarChartItem> faults;
    if (const auto rows = OpenQuery(
            QStringLiteral("select Date, MajorProblem, MinorProblem, DownTime from DailySummary "
                           "where Date >= ? and Date <= ? order by Date"),
            { lastDay.addDays(-6), lastDay })) {
        for (; !rows->eof(); rows->moveNext()) {
            const QString day = ReportFormat::Formatted(
                rows->value(QStringLiteral("Date")).toDateTime().date(), QStringLiteral("dddd"));
            const qint64 major = rows->value(QStringLiteral("MajorProblem")).toLongLong();
            const qint64 minor = rows->value(QStringLiteral("MinorProblem")).toLongLong();
            const qint64 down = ReportFormat::Average(
                rows->value(QStringLiteral("DownTime")).toLongLong(), major);
            interruptions.append({ day, QString::number(major), major, VisibleProblemColor });
            downTimes.append({ day, FormatDuration(down), down, DownTimeColor });
            faults.append({ day, QString::number(minor), minor, HiddenProblemColor });
        }
    }
    const QString dayCaption = QStringLiteral("Day");
    return QStringLiteral("<H5>Problems by Day:</H5>") + CRLF
        + chartTriple(BarChart(kChartWidth, dayCaption, QStringLiteral("Count"), interruptions),
            BarChart(kChartWidth, dayCaption, QStringLiteral("Down"), downTimes),
            BarChart(kChartWidth, dayCaption, QStringLiteral("Count"), faults));
}

QString ProblemsByHouse(const QDateTime &start, const QDateTime &end)
{
    const QString heading = QStringLiteral("<H5>Problems by House:</H5>");
    // Show days are dates: the period's days are those from its start date to the day before
    // its end date.
    const auto rows = OpenQuery(
        QStringLiteral("select NetID, Critical, Down from ShowSummary where Date >= ? and "
                       "Date < ? order by NetID"),
        { start.date(), end.date() });
    if (!rows || rows->eof())
        return heading + QStringLiteral("<P><I>No records found for this time frame.</I></P>")
            + CRLF;

    // Every house of the site gets its rows, also one without any problem show.
    int houses = 0;
    if (const auto largest = OpenQuery(QStringLiteral("select max(NetID) as MaxID from EventLog")))
        houses = largest->eof() ? 0 : largest->value(QStringLiteral("MaxID")).toInt();
    for (; !rows->eof(); rows->moveNext())
        houses = std::max(houses, rows->value(QStringLiteral("NetID")).toInt());

    struct HouseTotals
    {
        qint64 critical = 0;
        qint64 criticalDown = 0;
        qint64 other = 0;
    };
    QList<HouseTotals> totals(houses);
    for (rows->moveFirst(); !rows->eof(); rows->moveNext()) {
        const int house = rows->value(QStringLiteral("NetID")).toInt();
        if (house < 1)
            continue;
        HouseTotals &t = totals[house - 1];
        if (rows->value(QStringLiteral("Critical")).toLongLong() != 0) {
            ++t.critical;
            t.criticalDown += rows->value(QStringLiteral("Down")).toLongLong();
        } else {
            ++t.other;
        }
    }

    QList<BarChartItem> interruptions;
    QList<BarChartItem> downTimes;
    QList<BarChartItem> faults;
    for (int house = 1; house <= houses; ++house) {
        const HouseTotals &t = totals.at(house - 1);
        const QString label = QStringLiteral("House # ") + QString::number(house);
        const qint64 down = ReportFormat::Average(t.criticalDown, t.critical);
        interruptions.append(
            { label, QString::number(t.critical), t.critical, VisibleProblemColor });
        downTimes.append({ label, FormatDuration(down), down, DownTimeColor });
        faults.append({ label, QString::number(t.other), t.other, HiddenProblemColor });
    }
    const QString houseCaption = QStringLiteral("House");
    return heading + CRLF
        + chartTriple(BarChart(kChartWidth, houseCaption, QStringLiteral("Count"), interruptions),
            BarChart(kChartWidth, houseCaption, QStringLiteral("Down"), downTimes),
            BarChart(kChartWidth, houseCaption, QStringLiteral("Count"), faults));
}

QString InterruptionsByType(const QDateTime &start, const QDateTime &end)
{
    QString html = QStringLiteral("<H5>Show Interruptions by Type:</H5>")
        + sectionTable(300,
            { { QStringLiteral(" WIDTH = 250"), QStringLiteral("Problem Type") },
                { QStringLiteral(" WIDTH = 50 ALIGN = 'CENTER'"), QStringLiteral("Count") } });

    const auto rows = OpenQuery(
        QStringLiteral("select UserCodeEntered, Problem from ShowSummary where Date >= ? and "
                       "Date < ? and Problem > 0 order by UserCodeEntered, Problem"),
        { start.date(), end.date() });
    const auto addRow = [&html](qint64 userCode, int problem, int count) {
        const QString name = userCode != 0 ? DailyStats::ProblemCodeText(problem)
                                           : EventConstants::EventName(problem);
        html += QStringLiteral("<TR BGCOLOR = ") + RowBackColor + u'>' + cell({}, HtmlText(name))
            + cell(QStringLiteral(" ALIGN = 'CENTER'"), QString::number(count))
            + QStringLiteral("</TR>") + CRLF;
    };
    // One row per run of equal (UserCodeEntered, Problem).
    qint64 runUserCode = 0;
    int runProblem = 0;
    int runCount = 0;
    for (; rows && !rows->eof(); rows->moveNext()) {
        const qint64 userCode = rows->value(QStringLiteral("UserCodeEntered")).toLongLong();
        const int problem = rows->value(QStringLiteral("Problem")).toInt();
        if (runCount > 0 && (userCode != runUserCode || problem != runProblem)) {
            addRow(runUserCode, runProblem, runCount);
            runCount = 0;
        }
        runUserCode = userCode;
        runProblem = problem;
        ++runCount;
    }
    if (runCount > 0)
        addRow(runUserCode, runProblem, runCount);
    return html + QStringLiteral("</TABLE>") + CRLF;
}

QString ProblemsByMonth(const QDate &quarterStart)
{
    const QDate firstMonth(quarterStart.year(), quarterStart.month(), 1);
    QString html = QStringLiteral("<H5>Problems by Month:</H5><P></P>")
        + sectionTable(720,
            { { QStringLiteral(" WIDTH = 30"), QStringLiteral("Month") },
                { QStringLiteral(" WIDTH = 80"), QStringLiteral("Show Count") },
                { QStringLiteral(" WIDTH = 120"), QStringLiteral("Problem Shows(%)") },
                { QStringLiteral(" WIDTH = 120"), QStringLiteral("Avg Down Time") },
                { QStringLiteral(" WIDTH = 200"),
                    QStringLiteral("Non-Presentation Interruptions") } });
    for (int i = 0; i < 3; ++i) {
        const QDate month = firstMonth.addMonths(i);
        const ReportFormat::DayTotals t = ReportFormat::SumDailySummary(
            QStringLiteral("Date >= ? and Date < ?"), { month, month.addMonths(1) });
        html += QStringLiteral("<TR BGCOLOR = ") + RowBackColor + u'>'
            + cell({}, ReportFormat::Formatted(month, QStringLiteral("MMMM")))
            + cell({}, QString::number(t.shows)) + cell({}, t.interruptions())
            + cell({}, t.major == 0 ? QStringLiteral("N/A") : t.averageDown())
            + cell({}, t.faults()) + QStringLiteral("</TR>") + CRLF;
    }
    return html + QStringLiteral("</TABLE>") + CRLF;
}

QString WeeklyReport(const QDateTime &reportEnd, const QString &note)
{
    const QDate lastDay = reportEnd.addDays(-1).date();
    const QDateTime start = reportEnd.addDays(-7);
    return periodicReport(WeeklyReportType, QStringLiteral("Creating Weekly Report"),
        { 5, 10, 15, 30, 45, 60, 75, 90, 95, 100 }, reportEnd, note,
        { [&] { return WeeklySummary(lastDay); }, [&] { return ProblemsByDay(lastDay); },
            [&] { return ProblemsByHouse(start, reportEnd); },
            [&] { return MaintenancePerformed(start, reportEnd); },
            [&] { return InterruptionsByType(start, reportEnd); } });
}

QString MonthlyReport(const QDateTime &reportEnd, const QString &note)
{
    const ReportPeriod p = Period(MonthlyReportType, reportEnd);
    return periodicReport(MonthlyReportType, QStringLiteral("Creating Monthly Report"),
        { 5, 10, 15, 40, 70, 90, 95, 100 }, reportEnd, note,
        { [&] { return ProblemsByHouse(p.start, p.end); },
            [&] { return MaintenancePerformed(p.start, p.end); },
            [&] { return InterruptionsByType(p.start, p.end); } });
}

QString QuarterlyReport(const QDateTime &reportEnd, const QString &note)
{
    const ReportPeriod p = Period(QuarterlyReportType, reportEnd);
    return periodicReport(QuarterlyReportType, QStringLiteral("Creating Quarter Report"),
        { 5, 10, 15, 30, 50, 70, 90, 95, 100 }, reportEnd, note,
        { [&] { return ProblemsByMonth(p.start.date()); },
            [&] { return ProblemsByHouse(p.start, p.end); },
            [&] { return MaintenancePerformed(p.start, p.end); },
            [&] { return InterruptionsByType(p.start, p.end); } });
}

} // namespace HTMLReports
