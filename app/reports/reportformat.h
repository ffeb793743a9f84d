#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <QVariantList>

class Recordset;

/// \brief The text forms the report sections share: escaping, locale dates and times, ratios.
namespace ReportFormat {

/// The font of all table text.
inline const QString kFont = QStringLiteral("<FONT FACE = 'Arial' SIZE = 1>");
inline const QString kFontEnd = QStringLiteral("</FONT>");

/// A table cell with \a attributes (each after a blank) holding \a text in the table font.
QString cell(const QString &attributes, const QString &text);

/// One column of a section table's heading row: its cell attributes and caption.
struct Column
{
    QString attributes;
    QString caption;
};

/// The start of a section table \a width wide in the section colour, with a heading row of bold
/// \a columns in the heading colour.
QString sectionTable(int width, const QList<Column> &columns);

/// \a text made safe as HTML text or quoted attribute value: & < > " ' become entities.
QString HtmlText(const QString &text);

/// Characters beyond Latin-1 written as numeric character references, so that the page survives
/// being stored as 8-bit text.
QString Latin1Safe(const QString &html);

/// The locale's long date ("Saturday, March 6, 2004").
QString LongDate(const QDate &date);
/// The locale's long time without a time zone name ("7:05:00 PM").
QString LongTime(const QTime &time);
/// The locale's short time ("7:05 PM"), the medium time of the show table.
QString MediumTime(const QTime &time);
/// \a dateTime in a fixed pattern with the locale's day and month names.
QString Formatted(const QDateTime &dateTime, const QString &pattern);
QString Formatted(const QDate &date, const QString &pattern);

/// part ÷ whole as "0.00%"; "0.00%" when whole is 0.
QString Percent(qint64 part, qint64 whole);

/// total ÷ count rounded to whole seconds; 0 when count is 0.
qint64 Average(qint64 total, qint64 count);

/// Totals of DailySummary rows: shows, shows with major and minor problems, major down time.
struct DayTotals
{
    qint64 shows = 0;
    qint64 major = 0;
    qint64 minor = 0;
    qint64 downTime = 0;

    /// Adds the ShowCount, MajorProblem, MinorProblem and DownTime of the current \a row.
    void add(const Recordset &row);
    QString interruptions() const { return Percent(major, shows); }
    QString faults() const { return Percent(minor, shows); }
    /// Average down time of the major problem shows as a clock text.
    QString averageDown() const;
};

/// The totals of the DailySummary rows that meet \a condition (an SQL condition with `?` for
/// \a values); zeros when there are none or the query fails.
DayTotals SumDailySummary(const QString &condition, const QVariantList &values);

} // namespace ReportFormat
