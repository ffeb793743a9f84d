#include "clicommand.h"
#include "core/programfolder.h"

#include <QFile>

#include <cstdio>

namespace {

const QString kName = QStringLiteral("init");

const QCommandLineOption kRouter(QStringLiteral("router"),
    QStringLiteral("Host name or address of the site's router (RouterIP)."),
    QStringLiteral("host"));
const QCommandLineOption kClient(QStringLiteral("client"),
    QStringLiteral("The name this client registers under (ClientName); the router sees it "
                   "followed by a blank and \"Showpulse\"."),
    QStringLiteral("name"));
const QCommandLineOption kUser(QStringLiteral("user"),
    QStringLiteral("User name for the silent log-on, case sensitive (stored scrambled)."),
    QStringLiteral("name"));
const QCommandLineOption kPassword(QStringLiteral("password"),
    QStringLiteral("Password for the silent log-on (stored scrambled). \"-\" reads it from the "
                   "first line of standard input, which keeps it out of the process list."),
    QStringLiteral("password"));
const QCommandLineOption kDriver(QStringLiteral("driver"),
    QStringLiteral("Router client ID of the site's driver whose events are copied "
                   "(TarvikDriverID)."),
    QStringLiteral("id"));
const QCommandLineOption kDriverName(QStringLiteral("driver-name"),
    QStringLiteral("Display name of that driver (TarvikDriverName)."), QStringLiteral("name"));
const QCommandLineOption kLocation(QStringLiteral("location"),
    QStringLiteral("Site name shown in the report headers (LocationName)."),
    QStringLiteral("name"));
const QCommandLineOption kForce(QStringLiteral("force"),
    QStringLiteral("Replace an existing settings file. An existing Showpulse.mdb that opens is "
                   "kept with its data."));

QString passwordFromStandardInput()
{
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return {};
    QString line = QString::fromLocal8Bit(in.readLine());
    while (line.endsWith(u'\n') || line.endsWith(u'\r'))
        line.chop(1);
    return line;
}

int runInit(const QCommandLineParser &parser, const QString &folder, CliStreams &streams)
{
    for (const QCommandLineOption *option : { &kRouter, &kClient, &kUser, &kPassword, &kDriver }) {
        if (parser.value(*option).trimmed().isEmpty())
            return cliError(streams, kName,
                QStringLiteral("--%1 is required; see init --help.").arg(option->names().first()),
                ExitUsage);
    }

    ProgramFolder::FirstRun values;
    values.routerIP = parser.value(kRouter);
    values.clientName = parser.value(kClient);
    values.userName = parser.value(kUser);
    values.userPassword = parser.value(kPassword);
    values.driverId = parser.value(kDriver);
    values.driverName = parser.value(kDriverName);
    values.locationName = parser.value(kLocation);
    if (values.userPassword == QStringLiteral("-")) {
        values.userPassword = passwordFromStandardInput();
        if (values.userPassword.trimmed().isEmpty())
            return cliError(streams, kName,
                QStringLiteral("--password -: no password on standard input."), ExitUsage);
    }

    ProgramFolder programFolder(folder);
    QString error;
    QString summary;
    if (!programFolder.initialise(values, parser.isSet(kForce), &error, &summary))
        return cliError(streams, kName, error, ExitFailure);
    streams.out << summary << '\n';
    return ExitSuccess;
}

} // namespace

CliCommand initCommand()
{
    return { kName, QString(),
        QStringLiteral("Prepares a new program folder, as the program's first start does."),
        QStringLiteral("Prepares a program folder as the program's first start does: writes "
                       "Showpulse.dat with the first-run defaults (database file, compaction time, "
                       "30 days of retention, database version) and the given router, log-on and "
                       "driver settings with automatic log-on, and creates Showpulse.mdb with the "
                       "default user codes. The folder is created when missing. Refuses a folder "
                       "that already has a settings file unless --force is given."),
        { kRouter, kClient, kUser, kPassword, kDriver, kDriverName, kLocation, kForce }, runInit };
}
