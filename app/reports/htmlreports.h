#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QTime>

/// \brief The report framework: report types and periods, the page frame every report shares,
/// and the generation of a whole report page as text.
///
/// Pages are built in memory from the program's open database and settings; nothing is written
/// to a file unless WriteTextFile() is called. Every text taken from the database or the settings
/// is HTML-escaped.
namespace HTMLReports {

/// Report type codes, as passed to GenerateReport() and kept in schedules and spool entries.
enum ReportType : int {
    DailyReportType = 1,
    WeeklyReportType = 2,
    MonthlyReportType = 3,
    QuarterlyReportType = 4,
};

// Colours of the markup, quoted as they stand in it.
inline const QString PageBackColor = QStringLiteral("'#FFFEEE'");
inline const QString SectionBackColor = QStringLiteral("'#FFFCCC'");
inline const QString RowBackColor = QStringLiteral("'#FFFAAA'");
inline const QString HeaderBackColor = QStringLiteral("'#FFFC77'");
inline const QString DownTimeColor = QStringLiteral("'#7777FF'");
inline const QString VisibleProblemColor = QStringLiteral("'#FF0000'");
inline const QString HiddenProblemColor = QStringLiteral("'#FFC000'");

inline const QString CRLF = QStringLiteral("\r\n");

/// The time span a report covers.
struct ReportPeriod
{
    QDateTime start;
    QDateTime end;

    bool operator==(const ReportPeriod &) const = default;
};

/// The time of day at which a report day ends (setting ReportTime); stores "3:00 AM" in the
/// settings when the setting is empty, and reads an unreadable setting as 3:00 AM.
QTime ReportTime();

/// The end of the report asked for at \a requestTime: that day's report time when asked before
/// 3:00 PM, otherwise the next day's.
QDateTime ReportEnd(const QDateTime &requestTime);

/// The period of a report of \a type that ends at \a reportEnd; an invalid period for a code
/// that is no report type.
ReportPeriod Period(int type, const QDateTime &reportEnd);

/// The title line of a report of \a type that ends at \a reportEnd.
QString TitleLine(int type, const QDateTime &reportEnd);

/// The whole page of a report of \a type asked for at \a requestTime. A non-empty \a note is
/// printed at the top as a warning. A code that is no report type gives the invalid-type page.
QString GenerateReport(int type, const QDateTime &requestTime, const QString &note);

// Building blocks of every page.
QString PageHead(const QString &title);
QString PageTail();
/// The site's name, address and logo ("Logo Not Found" when the logo file is missing).
QString LocationHeader();
/// The title rule: \a text followed by \a date in the locale's long date format.
QString ReportTitle(const QString &text, const QDate &date);
/// The red note with one starred line per line of \a text.
QString NoteSection(const QString &text);
/// Which ends of the period the event log does not cover; empty when it covers both.
QString DataRangeWarning(const QDateTime &start, const QDateTime &end);
/// The note section for \a note and the data range warning of the period; empty when there is
/// nothing to warn about.
QString Warnings(const QString &note, const QDateTime &start, const QDateTime &end);
QString ReportFooter();

/// Creates or replaces \a path with \a text and CR LF as Latin-1. False when it cannot be written.
bool WriteTextFile(const QString &path, const QString &text);

/// The content of \a path as Latin-1, read through a copy "tempfile.tmp" in \a programFolder that
/// is deleted afterwards; empty when the file cannot be read.
QString ReadTextFile(const QString &path, const QString &programFolder);

/// \brief A report page being built: collects the HTML and moves the progress bar through the
/// report's fixed steps.
class ReportPage
{
public:
    /// Shows the progress window with \a caption.
    ReportPage(const QString &caption, QList<int> steps);
    /// Closes the progress window.
    ~ReportPage();
    ReportPage(const ReportPage &) = delete;
    ReportPage &operator=(const ReportPage &) = delete;

    /// Appends \a html without moving the bar.
    void append(const QString &html);
    /// Appends \a html and moves the bar to the next step.
    void add(const QString &html);

    /// The page built so far, safe to store as 8-bit text.
    QString text() const;

private:
    QString m_html;
    QList<int> m_steps;
    qsizetype m_nextStep = 0;
};

} // namespace HTMLReports
