#include "clicommand.h"
#include "core/programfolder.h"

#include "core/database.h"
#include "core/progress.h"
#include "core/settingsfile.h"
#include "core/settingskeys.h"
#include "events/eventlog.h"
#include "router/serverconnection.h"

#include <QEventLoop>
#include <QTimer>

#include <chrono>

namespace {

const QString kName = QStringLiteral("sync");
constexpr int kDefaultTimeoutSeconds = 60;

const QCommandLineOption kTimeout(QStringLiteral("timeout"),
    QStringLiteral("How long to wait for the connection to the router, in seconds (default %1).")
        .arg(kDefaultTimeoutSeconds),
    QStringLiteral("seconds"), QString::number(kDefaultTimeoutSeconds));

// Registers with the router as the program does at start-up and waits until the attempt has
// an outcome. False with \a error set to the connection's text when it fails.
bool connectToRouter(ServerConnection &router, std::chrono::seconds timeout, QString *error)
{
    const SettingsFile &settings = SettingsFile::instance();
    const QString host = settings.GetFileValue(SettingsKeys::RouterIP);
    router.SetType(2, QStringLiteral("Halden"));
    router.ClearObjects();
    router.AddObject(QStringLiteral("Log On Access"), 1);

    // The attempt runs from the event loop; nothing is reported before exec() below.
    if (!router.Connect(
            host, settings.GetFileValue(SettingsKeys::ClientName) + QStringLiteral(" Showpulse"))) {
        *error = QStringLiteral("Invalid router connection settings.");
        return false;
    }
    Progress &progress = Progress::current();
    progress.Display(QStringLiteral("Connecting to the router on %1").arg(host), true);

    QEventLoop loop;
    int outcome = 0;
    QString text;
    QObject::connect(&router, &ServerConnection::ConnectionEvent, &loop,
        [&](int code, const QString &eventText) {
            if (code == 6) {
                progress.SetMessage(eventText);
            } else if (code >= 2 && code <= 7) {
                outcome = code;
                text = eventText;
                loop.quit();
            }
        });
    QTimer::singleShot(timeout, &loop, [&loop] { loop.quit(); });
    loop.exec();
    progress.Close();

    if (outcome == 3)
        return true;
    if (outcome == 0) {
        router.CloseConnection();
        *error = QStringLiteral("No connection to the router on %1 within %2 seconds.")
                     .arg(host)
                     .arg(timeout.count());
    } else {
        *error = text;
    }
    return false;
}

// The silent log-on with the stored name and password.
bool logOn(ServerConnection &router, QString *error)
{
    const SettingsFile &settings = SettingsFile::instance();
    Progress &progress = Progress::current();
    progress.Display(QStringLiteral("Verifying User Log On Name and Password"), true);
    const ResponseData response = router.RegisterUser(settings.GetFileValue(SettingsKeys::UserName),
        settings.GetFileValue(SettingsKeys::UserPassword));
    progress.Close();
    if (response.ErrorCode() != 0) {
        *error = QStringLiteral("User Log on rejected. \n") + response.ErrorText();
        return false;
    }
    if (!router.CheckUserAccess(QStringLiteral("SELF CHECK"), 1)) {
        *error = QStringLiteral("User name or password invalid");
        return false;
    }
    return true;
}

qint64 localEventCount()
{
    const auto rows = OpenQuery(QStringLiteral("select count(*) as Qty from EventLog"));
    return rows && !rows->eof() ? rows->value(QStringLiteral("Qty")).toLongLong() : 0;
}

int runSync(const QCommandLineParser &parser, const QString &folder, CliStreams &streams)
{
    bool ok = false;
    const int seconds = parser.value(kTimeout).toInt(&ok);
    if (!ok || seconds < 1 || seconds > 86400)
        return cliError(
            streams, kName, QStringLiteral("--timeout takes 1 to 86400 seconds."), ExitUsage);

    ProgramFolder programFolder(folder);
    QString error;
    if (!programFolder.open(&error))
        return cliError(streams, kName, error, ExitFailure);

    ServerConnection router(programFolder.path());
    const qint64 before = localEventCount();
    bool synced
        = connectToRouter(router, std::chrono::seconds(seconds), &error) && logOn(router, &error);
    if (synced) {
        synced = EventLog::SyncEventLog(router);
        if (!synced)
            error
                = QStringLiteral("Could not syncronize event log.\n") + EventLog::GetLastFailure();
    }
    router.CloseConnection();

    QString saveError;
    const bool saved = programFolder.saveChangedSettings(&saveError);
    if (!synced)
        return cliError(streams, kName, error, ExitFailure);
    if (!saved)
        return cliError(streams, kName, saveError, ExitFailure);
    const qint64 after = localEventCount();
    streams.out << "Event log synchronized: " << (after - before) << " new events, " << after
                << " in the local database.\n";
    return ExitSuccess;
}

} // namespace

CliCommand syncCommand()
{
    return { kName, QString(),
        QStringLiteral("Copies the driver's new events and its operators into the local "
                       "database."),
        QStringLiteral("Connects to the router named in the settings (RouterIP) as the program "
                       "does, logs on with the stored user name and password, copies the "
                       "operators and the new events of the stored driver (TarvikDriverID) into "
                       "the local database and updates the show statistics. A progress line is "
                       "shown when standard error is a terminal. On failure the reason (the "
                       "connection's text, the log-on's or the synchronisation's) goes to "
                       "standard error."),
        { kTimeout }, runSync };
}
