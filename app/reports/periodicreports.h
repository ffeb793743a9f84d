#pragma once

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

// The sections of the weekly, monthly and quarterly reports, which read the summary tables.
namespace HTMLReports {

/// One bar of a BarChart.
struct BarChartItem
{
    QString label;
    QString valueText;
    qint64 value = 0;
    /// The bar's colour, quoted as in the markup.
    QString color;
};

/// A horizontal bar chart of 21 bar cells \a width wide; the longest bar fills 20 cells.
/// \a labelCaption heads the label column and \a valueCaption the value column.
QString BarChart(int width, const QString &labelCaption, const QString &valueCaption,
    const QList<BarChartItem> &items);

/// This week, last week and all summarised days up to \a lastDay, the week's last day.
QString WeeklySummary(const QDate &lastDay);
/// Charts of the seven days up to \a lastDay.
QString ProblemsByDay(const QDate &lastDay);
/// Charts per house of the problem shows of the show days from the date of \a start up to the
/// day before the date of \a end.
QString ProblemsByHouse(const QDateTime &start, const QDateTime &end);
/// Problem shows of the same days counted by cause.
QString InterruptionsByType(const QDateTime &start, const QDateTime &end);
/// One row per month for the three months from \a quarterStart's month on.
QString ProblemsByMonth(const QDate &quarterStart);

/// The whole page of each report ending at \a reportEnd.
QString WeeklyReport(const QDateTime &reportEnd, const QString &note);
QString MonthlyReport(const QDateTime &reportEnd, const QString &note);
QString QuarterlyReport(const QDateTime &reportEnd, const QString &note);

} // namespace HTMLReports
