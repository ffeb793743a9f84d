#include "clicommand.h"
#include "core/programfolder.h"

#include "core/clock.h"
#include "reports/htmlreports.h"

#include <QFile>
#include <QRegularExpression>

#include <cstdio>

namespace {

const QString kName = QStringLiteral("report");

const QCommandLineOption kDate(QStringLiteral("date"),
    QStringLiteral("The end date of the report, as the main window's date box gives it (default: "
                   "today). The report is asked for at 23:59 of that day, so it ends at the report "
                   "time of the next morning: daily covers that day, weekly the seven days up to "
                   "it, monthly and quarterly the month or quarter that held the day a week "
                   "before."),
    QStringLiteral("yyyy-mm-dd"));
const QCommandLineOption kNote(QStringLiteral("note"),
    QStringLiteral("A warning printed at the top of the report; each line becomes a starred "
                   "line."),
    QStringLiteral("text"));
const QCommandLineOption kOut(QStringLiteral("out"),
    QStringLiteral("Write the page to this file, created or replaced (default: standard "
                   "output)."),
    QStringLiteral("file"));

struct TypeName
{
    const char *name;
    HTMLReports::ReportType type;
};
const TypeName kTypes[] = {
    { "daily", HTMLReports::DailyReportType },
    { "weekly", HTMLReports::WeeklyReportType },
    { "monthly", HTMLReports::MonthlyReportType },
    { "quarterly", HTMLReports::QuarterlyReportType },
};

const QString kTypeList = QStringLiteral("daily, weekly, monthly or quarterly");

int reportType(const QString &name)
{
    for (const TypeName &entry : kTypes) {
        if (name == QLatin1StringView(entry.name))
            return entry.type;
    }
    return 0;
}

QDate readDate(const QString &text)
{
    static const QRegularExpression form(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    if (!form.match(text).hasMatch())
        return {};
    return QDate::fromString(text, Qt::ISODate);
}

// The same bytes as a report file, so that redirecting the output gives that file.
bool writeToStandardOutput(const QString &html)
{
    QFile out;
    if (!out.open(stdout, QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = (html + HTMLReports::CRLF).toLatin1();
    return out.write(bytes) == bytes.size() && out.flush();
}

int runReport(const QCommandLineParser &parser, const QString &folder, CliStreams &streams)
{
    const QStringList positional = parser.positionalArguments();
    if (positional.isEmpty())
        return cliError(
            streams, kName, QStringLiteral("name a report type: %1.").arg(kTypeList), ExitUsage);
    if (positional.size() > 1)
        return cliError(streams, kName,
            QStringLiteral("unexpected argument %1.").arg(positional.at(1)), ExitUsage);
    const int type = reportType(positional.constFirst());
    if (type == 0)
        return cliError(streams, kName,
            QStringLiteral("unknown report type %1; use %2.")
                .arg(positional.constFirst(), kTypeList),
            ExitUsage);

    QDate date = Clock::currentDate();
    if (parser.isSet(kDate)) {
        date = readDate(parser.value(kDate));
        if (!date.isValid())
            return cliError(streams, kName,
                QStringLiteral("--date takes a date as YYYY-MM-DD, not %1.")
                    .arg(parser.value(kDate)),
                ExitUsage);
    }
    const QString outPath = parser.value(kOut);
    if (parser.isSet(kOut) && outPath.isEmpty())
        return cliError(streams, kName, QStringLiteral("--out needs a file name."), ExitUsage);

    ProgramFolder programFolder(folder);
    QString error;
    if (!programFolder.open(&error))
        return cliError(streams, kName, error, ExitFailure);

    // Lines of a note are CR LF apart in the program; a shell gives plain line feeds.
    QString note = parser.value(kNote);
    note.replace(HTMLReports::CRLF, QStringLiteral("\n")).replace(u'\n', HTMLReports::CRLF);
    const QString html = HTMLReports::GenerateReport(type, QDateTime(date, QTime(23, 59)), note);
    if (outPath.isEmpty()) {
        streams.out.flush();
        if (!writeToStandardOutput(html))
            return cliError(
                streams, kName, QStringLiteral("The report cannot be written."), ExitFailure);
    } else if (!HTMLReports::WriteTextFile(outPath, html)) {
        return cliError(
            streams, kName, QStringLiteral("%1 cannot be written.").arg(outPath), ExitFailure);
    }
    // Generating may have filled in a default setting (the report time), as in the program.
    if (!programFolder.saveChangedSettings(&error))
        return cliError(streams, kName, error, ExitFailure);
    return ExitSuccess;
}

} // namespace

CliCommand reportCommand()
{
    return { kName, QStringLiteral("daily|weekly|monthly|quarterly"),
        QStringLiteral("Writes a daily, weekly, monthly or quarterly report."),
        QStringLiteral("Generates a report from the local database, as the main window's Generate "
                       "Report button does, without synchronising first (run sync before). The "
                       "page is written as 8-bit Latin-1 HTML, like the program's report files."),
        { kDate, kNote, kOut }, runReport };
}
