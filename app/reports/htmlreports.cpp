#include "reports/htmlreports.h"

#include "core/clock.h"
#include "core/database.h"
#include "core/datetext.h"
#include "core/progress.h"
#include "core/settingsfile.h"
#include "core/settingskeys.h"
#include "reports/dailyreport.h"
#include "reports/periodicreports.h"
#include "reports/reportformat.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QSaveFile>

using ReportFormat::HtmlText;

namespace HTMLReports {

namespace {

const QString kDefaultReportTime = QStringLiteral("3:00 AM");
const QString kTitleStart = QStringLiteral("<HR><FONT FACE = 'Arial' SIZE = 2>");
const QString kTitleEnd = QStringLiteral("<br><HR>");
const QString kTempCopyName = QStringLiteral("tempfile.tmp");

// Report time as the location dialog or a hand-edited settings file may have written it.
QTime parseTime(const QString &text)
{
    const QString trimmed = text.trimmed();
    const QString upper = trimmed.toUpper();
    static const char *const formats[]
        = { "h:mm AP", "h:mm:ss AP", "h:mmAP", "h:mm:ssAP", "H:mm", "H:mm:ss" };
    for (const char *format : formats) {
        const QTime time = QTime::fromString(upper, QLatin1String(format));
        if (time.isValid())
            return time;
    }
    for (const QLocale::FormatType type : { QLocale::ShortFormat, QLocale::LongFormat }) {
        const QTime time = QLocale().toTime(trimmed, type);
        if (time.isValid())
            return time;
    }
    const QDateTime dateTime = DateText::fromText(trimmed);
    return dateTime.isValid() ? dateTime.time() : QTime();
}

QDateTime monthStart(const QDateTime &reportEnd)
{
    const QDate day = reportEnd.addDays(-7).date();
    return QDateTime(QDate(day.year(), day.month(), 1), reportEnd.time());
}

QDateTime quarterStart(const QDateTime &reportEnd)
{
    const QDate day = reportEnd.addDays(-7).date();
    return QDateTime(QDate(day.year(), (day.month() - 1) / 3 * 3 + 1, 1), reportEnd.time());
}

bool anyEvent(const QString &condition, const QVariantList &values)
{
    const auto rows = OpenQuery(
        QStringLiteral("select UniqueID from EventLog where ") + condition + u" limit 1", values);
    return rows && !rows->eof();
}

QString invalidTypeReport(int type)
{
    ReportPage page(
        QStringLiteral("Generating Invalid Report Type Error Report"), { 20, 40, 60, 80, 100 });
    page.add(PageHead(QStringLiteral(" ")));
    page.add(LocationHeader());
    page.add(TitleLine(type, {}));
    page.add(ReportFooter());
    page.add(PageTail());
    return page.text();
}

} // namespace

QTime ReportTime()
{
    SettingsFile &settings = SettingsFile::instance();
    QString text = settings.GetFileValue(SettingsKeys::ReportTime);
    if (text.isEmpty()) {
        text = kDefaultReportTime;
        settings.SetFileValue(SettingsKeys::ReportTime, text);
    }
    const QTime time = parseTime(text);
    return time.isValid() ? time : QTime(3, 0);
}

QDateTime ReportEnd(const QDateTime &requestTime)
{
    const QDate day = requestTime.date();
    const QTime reportTime = ReportTime();
    if (requestTime.time() < QTime(15, 0))
        return QDateTime(day, reportTime);
    return QDateTime(day.addDays(1), reportTime);
}

ReportPeriod Period(int type, const QDateTime &reportEnd)
{
    switch (type) {
    case DailyReportType:
        return { reportEnd.addDays(-1), reportEnd };
    case WeeklyReportType:
        return { reportEnd.addDays(-7), reportEnd };
    case MonthlyReportType: {
        const QDateTime start = monthStart(reportEnd);
        return { start, start.addMonths(1) };
    }
    case QuarterlyReportType: {
        const QDateTime start = quarterStart(reportEnd);
        return { start, start.addMonths(3) };
    }
    default:
        return {};
    }
}

QString TitleLine(int type, const QDateTime &reportEnd)
{
    switch (type) {
    case DailyReportType:
        return ReportTitle(
            QStringLiteral("Daily Summary Report for "), reportEnd.addDays(-1).date());
    case WeeklyReportType:
        return ReportTitle(QStringLiteral("Weekly Report for ")
                + ReportFormat::LongDate(reportEnd.addDays(-7).date()) + QStringLiteral(" - "),
            reportEnd.addDays(-1).date());
    case MonthlyReportType:
        return kTitleStart + QStringLiteral("Monthly Report - ")
            + ReportFormat::Formatted(monthStart(reportEnd).date(), QStringLiteral("MMMM, yyyy"))
            + kTitleEnd + CRLF;
    case QuarterlyReportType: {
        static const QString ordinals[]
            = { QStringLiteral("1st Quarter, "), QStringLiteral("2nd Quarter, "),
                  QStringLiteral("3rd Quarter, "), QStringLiteral("4th Quarter, ") };
        // The quarter's own year: a fourth quarter reported in early January is last year's.
        const QDate start = quarterStart(reportEnd).date();
        return kTitleStart + QStringLiteral("Quarterly Report - ")
            + ordinals[(start.month() - 1) / 3] + QString::number(start.year()) + kTitleEnd + CRLF;
    }
    default:
        return ReportTitle(QStringLiteral("Invalid Report Type Error Report: Report Type = ")
                + QString::number(type) + QStringLiteral(" - "),
            Clock::currentDate());
    }
}

QString GenerateReport(int type, const QDateTime &requestTime, const QString &note)
{
    switch (type) {
    case DailyReportType:
        return DailyReport(ReportEnd(requestTime), note);
    case WeeklyReportType:
        return WeeklyReport(ReportEnd(requestTime), note);
    case MonthlyReportType:
        return MonthlyReport(ReportEnd(requestTime), note);
    case QuarterlyReportType:
        return QuarterlyReport(ReportEnd(requestTime), note);
    default:
        return invalidTypeReport(type);
    }
}

QString PageHead(const QString &title)
{
    return QStringLiteral("<html><head><title>") + HtmlText(title)
        + QStringLiteral("</title></head><body BGCOLOR=") + PageBackColor + u'>' + CRLF;
}

QString PageTail()
{
    return QStringLiteral("</body></html>") + CRLF;
}

QString LocationHeader()
{
    const SettingsFile &settings = SettingsFile::instance();
    const auto setting = [&settings](const QString &key) -> QString {
        return HtmlText(settings.GetFileValue(key));
    };

    const QString city = settings.GetFileValue(SettingsKeys::LocationCity).trimmed().isEmpty()
        ? QString()
        : setting(SettingsKeys::LocationCity) + QStringLiteral(", ")
            + setting(SettingsKeys::LocationState) + u' ' + setting(SettingsKeys::LocationZip);
    const QString lines = setting(SettingsKeys::LocationName) + QStringLiteral("<br>")
        + setting(SettingsKeys::LocationAddress) + QStringLiteral("<br>") + city
        + QStringLiteral("<br>") + setting(SettingsKeys::LocationPhone);
    const QString parent = setting(SettingsKeys::LocationParent);

    const QString logo = settings.GetFileValue(SettingsKeys::LocationLogo);
    if (logo.isEmpty()) {
        return QStringLiteral("<A NAME = 'Top'><TABLE WIDTH = 500><TR><TD><H1><I>") + parent
            + QStringLiteral("</I></H1></TD><TD WIDTH = 260><center>") + lines
            + QStringLiteral("</center></TD></TR></TABLE>");
    }
    QString html = QStringLiteral("<A NAME = 'Top'><TABLE WIDTH = 720><TR><TD WIDTH = 240><H1><I>")
        + parent + QStringLiteral("</I></H1></TD><TD WIDTH = 240><center>") + lines
        + QStringLiteral("</center></TD><TD WIDTH = 240 ALIGN = 'RIGHT'>");
    if (QFileInfo(logo).isFile())
        html += QStringLiteral("<IMG SRC=\"") + HtmlText(logo) + QStringLiteral("\">");
    else
        html += QStringLiteral("<font size='-1'>Logo Not Found</font>");
    return html + QStringLiteral("</TD></TR></TABLE>");
}

QString ReportTitle(const QString &text, const QDate &date)
{
    return kTitleStart + text + ReportFormat::LongDate(date) + kTitleEnd + CRLF;
}

QString NoteSection(const QString &text)
{
    const QString bullet = QStringLiteral("<BR>*&nbsp&nbsp&nbsp");
    QString lines = HtmlText(text);
    lines.replace(CRLF, bullet);
    return QStringLiteral("<BR><B><FONT COLOR = '#FF0000'>Note: Report data may not be completely "
                          "accurate due to the following problem(s).</FONT></B>")
        + bullet + lines + QStringLiteral("<BR><BR>") + CRLF;
}

QString DataRangeWarning(const QDateTime &start, const QDateTime &end)
{
    // The log must hold events on both sides of the period, within a year of its start.
    const bool startCovered = anyEvent(
        QStringLiteral("EventTime < ? and EventTime > ?"), { start, start.addYears(-1) });
    const bool endCovered
        = anyEvent(QStringLiteral("EventTime > ? and EventTime < ?"), { end, start.addYears(1) });
    const QString sentence = QStringLiteral(
        "Selected date range extends beyond the available data in the Event Log database for ");
    if (!startCovered && !endCovered)
        return sentence + QStringLiteral("both the start date and end date.");
    if (!startCovered)
        return sentence + QStringLiteral("the start date.");
    if (!endCovered)
        return sentence + QStringLiteral("the end date.");
    return {};
}

QString Warnings(const QString &note, const QDateTime &start, const QDateTime &end)
{
    const QString warning = DataRangeWarning(start, end);
    if (!note.isEmpty() && !warning.isEmpty())
        return NoteSection(note + CRLF + warning);
    if (!note.isEmpty())
        return NoteSection(note);
    if (!warning.isEmpty())
        return NoteSection(warning);
    return {};
}

QString ReportFooter()
{
    return QStringLiteral("<P></P><P></P><HR><CENTER><I><FONT SIZE=1 COLOR='#000088'>"
                          "Report generated by Showpulse");
}

bool WriteTextFile(const QString &path, const QString &text)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write((text + CRLF).toLatin1());
    return file.commit();
}

QString ReadTextFile(const QString &path, const QString &programFolder)
{
    const QFileInfo source(path);
    const QString copyPath = QFileInfo(programFolder + u'/' + kTempCopyName).absoluteFilePath();
    if (!source.isFile() || source.absoluteFilePath() == copyPath)
        return {};

    // Read through a copy so that a report another program holds open can still be read.
    if (QFile::exists(copyPath) && !QFile::remove(copyPath))
        return {};
    if (!QFile::copy(path, copyPath))
        return {};
    QFile copy(copyPath);
    QByteArray bytes;
    if (copy.open(QIODevice::ReadOnly)) {
        bytes = copy.readAll();
        copy.close();
    }
    QFile::remove(copyPath);
    return QString::fromLatin1(bytes);
}

ReportPage::ReportPage(const QString &caption, QList<int> steps)
    : m_steps(std::move(steps))
{
    Progress::current().Display(caption);
}

ReportPage::~ReportPage()
{
    Progress::current().Close();
}

void ReportPage::append(const QString &html)
{
    m_html += html;
}

void ReportPage::add(const QString &html)
{
    m_html += html;
    if (m_nextStep < m_steps.size())
        Progress::current().SetProgress(m_steps.at(m_nextStep++));
}

QString ReportPage::text() const
{
    return ReportFormat::Latin1Safe(m_html);
}

} // namespace HTMLReports
