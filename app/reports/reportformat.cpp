#include "reports/reportformat.h"

#include "core/database.h"
#include "events/eventconstants.h"
#include "reports/htmlreports.h"

#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace ReportFormat {

QString cell(const QString &attributes, const QString &text)
{
    return QStringLiteral("<TD") + attributes + u'>' + kFont + text + kFontEnd
        + QStringLiteral("</TD>");
}

QString sectionTable(int width, const QList<Column> &columns)
{
    QString html = QStringLiteral("<TABLE WIDTH = %1 BGCOLOR = ").arg(width)
        + HTMLReports::SectionBackColor + u'>' + HTMLReports::CRLF
        + QStringLiteral("<TR BGCOLOR = ") + HTMLReports::HeaderBackColor + u'>';
    for (const Column &column : columns)
        html += cell(
            column.attributes, QStringLiteral("<B>") + column.caption + QStringLiteral("</B>"));
    return html + QStringLiteral("</TR>") + HTMLReports::CRLF;
}

QString HtmlText(const QString &text)
{
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case u'&':
            escaped += QLatin1String("&amp;");
            break;
        case u'<':
            escaped += QLatin1String("&lt;");
            break;
        case u'>':
            escaped += QLatin1String("&gt;");
            break;
        case u'"':
            escaped += QLatin1String("&quot;");
            break;
        case u'\'':
            escaped += QLatin1String("&#39;");
            break;
        default:
            escaped += c;
        }
    }
    return escaped;
}

QString Latin1Safe(const QString &html)
{
    const bool plain
        = std::all_of(html.cbegin(), html.cend(), [](QChar c) { return c.unicode() <= 0xFF; });
    if (plain)
        return html;
    QString safe;
    safe.reserve(html.size() + 16);
    for (const uint codePoint : html.toUcs4()) {
        if (codePoint > 0xFF)
            safe += QLatin1String("&#") + QString::number(codePoint) + u';';
        else
            safe += QChar(char16_t(codePoint));
    }
    return safe;
}

QString LongDate(const QDate &date)
{
    return QLocale().toString(date, QLocale::LongFormat);
}

QString LongTime(const QTime &time)
{
    // The locale's long time names the time zone, which an event's unit time does not have.
    static const QRegularExpression zone(QStringLiteral("\\s*\\bt+\\b"));
    QString format = QLocale().timeFormat(QLocale::LongFormat);
    format.remove(zone);
    return QLocale().toString(time, format.trimmed());
}

QString MediumTime(const QTime &time)
{
    return QLocale().toString(time, QLocale::ShortFormat);
}

QString Formatted(const QDateTime &dateTime, const QString &pattern)
{
    return QLocale().toString(dateTime, pattern);
}

QString Formatted(const QDate &date, const QString &pattern)
{
    return QLocale().toString(date, pattern);
}

QString Percent(qint64 part, qint64 whole)
{
    const double ratio = whole == 0 ? 0.0 : double(part) / double(whole);
    return QString::number(ratio * 100.0, 'f', 2) + u'%';
}

qint64 Average(qint64 total, qint64 count)
{
    return count == 0 ? 0 : qint64(std::llround(double(total) / double(count)));
}

void DayTotals::add(const Recordset &row)
{
    shows += row.value(QStringLiteral("ShowCount")).toLongLong();
    major += row.value(QStringLiteral("MajorProblem")).toLongLong();
    minor += row.value(QStringLiteral("MinorProblem")).toLongLong();
    downTime += row.value(QStringLiteral("DownTime")).toLongLong();
}

QString DayTotals::averageDown() const
{
    return EventConstants::FormatDuration(Average(downTime, major));
}

DayTotals SumDailySummary(const QString &condition, const QVariantList &values)
{
    DayTotals totals;
    const auto rows = OpenQuery(
        QStringLiteral("select sum(ShowCount) as ShowCount, sum(MajorProblem) as MajorProblem, "
                       "sum(MinorProblem) as MinorProblem, sum(DownTime) as DownTime "
                       "from DailySummary where ")
            + condition,
        values);
    if (rows && !rows->eof())
        totals.add(*rows);
    return totals;
}

} // namespace ReportFormat
