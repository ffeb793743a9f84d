// Copies a generated site's event log from `sitesim serve` on loopback into an empty database
// through the program's synchronisation, and inserts the same decoded rows with plain SQLite for
// comparison.
//   bench_sync [events]        (default 1000000)
#include "core/clock.h"
#include "core/database.h"
#include "core/databaseschema.h"
#include "core/datetext.h"
#include "core/progress.h"
#include "core/settingsfile.h"
#include "core/settingskeys.h"
#include "driverdatabase.h"
#include "driverservice.h"
#include "eventgenerator.h"
#include "events/dailystats.h"
#include "events/eventlog.h"
#include "events/eventrecord.h"
#include "router/serverconnection.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

#include <sqlite3.h>
#include <sys/resource.h>

#include <array>
#include <cmath>
#include <vector>

namespace {

// The statistics count from 2 January of the clock's year, and a first synchronisation copies
// everything only when it all lies more than 30 days back: the site's days end in November.
const QDateTime kNow(QDate(2025, 12, 31), QTime(12, 0));
const QDate kLastDay(2025, 11, 26);
constexpr int kDays = 330;
// Roughly what one house makes in a day.
constexpr double kEventsPerHouseDay = 125;

class BenchClock : public Clock
{
protected:
    QDateTime now() const override { return kNow; }
};

long peakMegabytes()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

// Notes when the last event row went into the database, and the peak memory by then.
class TimingProgress : public Progress
{
public:
    explicit TimingProgress(const QElapsedTimer &timer)
        : m_timer(timer)
    {
    }
    void Display(const QString &, bool) override { }
    void SetMessage(const QString &message, bool) override
    {
        if (message.startsWith(QLatin1String("Sychronizing")))
            lastRowNs = m_timer.nsecsElapsed();
        else
            notePeak();
    }
    void SetProgress(int) override { }
    bool Cancelled() const override { return false; }
    void Close() override { notePeak(); }

    qint64 lastRowNs = 0;
    qint64 copyEndNs = 0;
    long copyPeakMegabytes = 0; // when the statistics began

private:
    // Once, at the first message or close after the last row: the copy has ended, the
    // statistics begin.
    void notePeak()
    {
        if (lastRowNs > 0 && copyPeakMegabytes == 0) {
            copyEndNs = m_timer.nsecsElapsed();
            copyPeakMegabytes = peakMegabytes();
        }
    }

    const QElapsedTimer &m_timer;
};

double seconds(qint64 ns)
{
    return static_cast<double>(ns) / 1e9;
}

double cpuSeconds(int who)
{
    rusage usage {};
    getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Processor time of this process so far.
double cpuSeconds()
{
    return cpuSeconds(RUSAGE_SELF);
}

// Processor time of the child processes that have ended.
double childCpuSeconds()
{
    return cpuSeconds(RUSAGE_CHILDREN);
}

// The decoded columns of one event, as the synchronisation stores them.
struct DecodedRow
{
    std::array<qint64, 24> numbers {}; // Evid, ShowID, NetID, RecVer ... P8
    QByteArray codeName;
    QByteArray eventTime;
    QByteArray logTime;
};

const char *const kInsert = "INSERT INTO EventLog (Evid, ShowID, NetID, RecVer, DevType, EvCode, "
                            "Flag1, Flag2, Seq, Fut, Down, iLoop, Prog, Cue, Stat, P1, P2, P3, P4, "
                            "P5, P6, P7, P8, CodeName, EventTime, LogTime) VALUES (?, ?, ?, ?, ?, "
                            "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";

DecodedRow decodeRow(const QSqlQuery &row)
{
    const EventRecord r = EventRecord::decode(row.value(2).toByteArray());
    DecodedRow d;
    d.numbers = { row.value(0).toLongLong(), row.value(4).toLongLong(), row.value(1).toLongLong(),
        r.RecVer, r.DevType, r.EvCode, r.Flag1, r.Flag2, r.Seq, r.Fut, r.Down, r.iLoop, r.Prog,
        r.Cue, r.Stat, r.P1, r.P2, r.P3, r.P4, r.P5, r.P6, r.P7, r.P8 };
    d.codeName = r.CodeName.toUtf8();
    d.eventTime = DateText::toText(r.EventTime).toUtf8();
    d.logTime = row.value(3).toString().toUtf8();
    return d;
}

// Inserts every event of the driver database \a driverFile, decoded, into the new database
// \a file with one prepared statement in one transaction; the seconds spent inserting, or -1.
double plainInsert(const QString &driverFile, const QString &file, qint64 *rows)
{
    DriverDatabase driver;
    sqlite3 *db = nullptr;
    if (!driver.open(driverFile)
        || sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr)
            != SQLITE_OK) {
        sqlite3_close(db);
        return -1;
    }
    sqlite3_stmt *insert = nullptr;
    bool ok = sqlite3_exec(db, "PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL; BEGIN",
                  nullptr, nullptr, nullptr)
            == SQLITE_OK
        && sqlite3_prepare_v2(db, kInsert, -1, &insert, nullptr) == SQLITE_OK;

    QSqlQuery source(driver.connection());
    source.setForwardOnly(true);
    ok = ok
        && source.exec(QStringLiteral(
            "SELECT uniqueid, machid, eventdata, logtime, showid FROM eventlog ORDER BY uniqueid"));
    QElapsedTimer timer;
    qint64 insertNs = 0;
    std::vector<DecodedRow> chunk;
    bool more = ok;
    *rows = 0;
    // Decoded a chunk at a time, so that only the inserting is timed and memory stays small.
    while (ok && more) {
        chunk.clear();
        while (chunk.size() < 10000 && (more = source.next()))
            chunk.push_back(decodeRow(source));
        timer.start();
        for (const DecodedRow &row : chunk) {
            int column = 1;
            for (const qint64 number : row.numbers)
                sqlite3_bind_int64(insert, column++, number);
            sqlite3_bind_text(insert, column++, row.codeName.constData(), int(row.codeName.size()),
                SQLITE_STATIC);
            sqlite3_bind_text(insert, column++, row.eventTime.constData(),
                int(row.eventTime.size()), SQLITE_STATIC);
            sqlite3_bind_text(
                insert, column++, row.logTime.constData(), int(row.logTime.size()), SQLITE_STATIC);
            ok = sqlite3_step(insert) == SQLITE_DONE && sqlite3_reset(insert) == SQLITE_OK;
            if (!ok)
                break;
        }
        insertNs += timer.nsecsElapsed();
        *rows += qint64(chunk.size());
    }
    timer.start();
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    insertNs += timer.nsecsElapsed();
    sqlite3_finalize(insert);
    sqlite3_close(db);
    return ok ? seconds(insertNs) : -1;
}

bool newLocalDatabase(const QString &file)
{
    Database database;
    return CreateNewDatabase(file) && database.open(file) && EnsureIndexes(database);
}

} // namespace

int main(int argc, char *argv[])
{
    Clock::settleLocalTimeZone();
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    bool ok = false;
    const qint64 wanted
        = QCoreApplication::arguments().value(1, QStringLiteral("1000000")).toLongLong(&ok);
    if (!ok || wanted < 1 || wanted > 20000000) {
        out << "usage: bench_sync [events, 1 to 20000000]\n";
        return 2;
    }
    BenchClock clock;
    Clock::setInstance(&clock);
    QTemporaryDir dir;
    const QString driverFile = dir.filePath(QStringLiteral("driver.db"));

    // The site: enough houses for the events wanted, cut to exactly that many.
    GeneratorOptions options;
    options.days = kDays;
    options.endDate = kLastDay;
    options.houses = int(std::ceil(double(wanted) / (kDays * kEventsPerHouseDay)));
    QElapsedTimer timer;
    timer.start();
    {
        DriverDatabase driver;
        EventGenerator generator(options);
        if (!dir.isValid() || !driver.create(driverFile) || !generator.writeDatabase(driver)) {
            out << "cannot generate the site: " << generator.errorString() << driver.lastError()
                << "\n";
            return 1;
        }
        QSqlQuery cut(driver.connection());
        if (!cut.exec(QStringLiteral("DELETE FROM eventlog WHERE uniqueid > %1").arg(wanted))) {
            out << "cannot cut the site to size\n";
            return 1;
        }
    }
    qint64 events = 0;
    {
        DriverDatabase driver;
        events = driver.open(driverFile) ? driver.eventCount() : 0;
    }
    out << "site: " << options.houses << " houses, " << events << " events, generated in "
        << QString::number(seconds(timer.nsecsElapsed()), 'f', 1) << " s; peak memory so far "
        << peakMegabytes() << " MB\n";

    // The router and its driver: the real program, so that memory and time are each side's own.
    QProcess server;
    server.setProcessChannelMode(QProcess::MergedChannels);
    server.start(QStringLiteral(SITESIM_EXECUTABLE),
        { QStringLiteral("serve"), QStringLiteral("--db"), driverFile });
    const auto stopServer = [&server] {
        server.terminate();
        if (!server.waitForFinished(10000)) {
            server.kill();
            server.waitForFinished(10000);
        }
    };
    QByteArray serverOutput;
    const QDeadlineTimer listenDeadline(20000);
    while (!serverOutput.contains("listening on") && server.state() != QProcess::NotRunning
        && !listenDeadline.hasExpired()) {
        server.waitForReadyRead(500);
        serverOutput += server.readAll();
    }
    if (!serverOutput.contains("listening on")) {
        out << "sitesim serve did not start: " << serverOutput << "\n";
        stopServer();
        return 1;
    }

    const QString local = dir.filePath(QStringLiteral("Showpulse.mdb"));
    Database database;
    ServerConnection router(dir.path());
    router.SetType(2, QStringLiteral("Halden"));
    SettingsFile settings;
    settings.SetFileValue(SettingsKeys::TarvikDriverID, DriverService::DefaultId.toString());
    const QDeadlineTimer connectDeadline(15000);
    ok = newLocalDatabase(local) && database.open(local)
        && router.Connect(QStringLiteral("127.0.0.1"), QStringLiteral("Showpulse"));
    while (ok && !router.Connected() && !connectDeadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!ok || !router.Connected()) {
        out << "cannot open the local database or reach the router\n";
        stopServer();
        return 1;
    }

    const long peakBefore = peakMegabytes();
    const double cpuBefore = cpuSeconds();
    timer.start();
    TimingProgress progress(timer);
    Progress::setCurrent(&progress);
    const bool synced = EventLog::SyncEventLog(router, database, settings);
    const qint64 syncNs = timer.nsecsElapsed();
    const double syncCpu = cpuSeconds() - cpuBefore;
    Progress::setCurrent(nullptr);
    const long peakAfter = peakMegabytes();
    router.CloseConnection();
    stopServer();
    if (!synced) {
        out << "synchronisation failed: " << EventLog::GetLastFailure() << "\n";
        return 1;
    }
    const auto copied = database.openQuery(QStringLiteral("SELECT count(*) AS n FROM eventlog"));
    const qint64 copiedRows = copied ? copied->value(QStringLiteral("n")).toLongLong() : 0;
    const double copySeconds = seconds(progress.copyEndNs);
    const double syncRate = double(copiedRows) / copySeconds;
    out << "sync: " << copiedRows << " events copied in " << QString::number(copySeconds, 'f', 2)
        << " s = " << qRound64(syncRate) << " events/s (whole run with statistics "
        << QString::number(seconds(syncNs), 'f', 2) << " s)\n";
    out << "processor time of the whole run: program " << QString::number(syncCpu, 'f', 2)
        << " s, sitesim " << QString::number(childCpuSeconds(), 'f', 2) << " s\n";
    out << "peak memory: " << peakBefore << " MB before the run, " << progress.copyPeakMegabytes
        << " MB when the copy ended, " << peakAfter << " MB after the statistics\n";

    // The statistics of the copied year, rebuilt from scratch.
    if (!database.executeStatement(QStringLiteral("DELETE FROM dailysummary"))
        || !database.executeStatement(QStringLiteral("DELETE FROM showsummary"))) {
        out << "cannot clear the statistics\n";
        return 1;
    }
    timer.start();
    DailyStats::UpdateShowStatistics(database);
    out << "statistics rebuild for the copied year: "
        << QString::number(seconds(timer.nsecsElapsed()), 'f', 2) << " s\n";
    database.close();

    const QString plainFile = dir.filePath(QStringLiteral("Plain.mdb"));
    qint64 plainRows = 0;
    const double plainSeconds
        = newLocalDatabase(plainFile) ? plainInsert(driverFile, plainFile, &plainRows) : -1;
    if (plainSeconds <= 0) {
        out << "plain insert failed\n";
        return 1;
    }
    const double plainRate = double(plainRows) / plainSeconds;
    out << "plain SQLite insert of the same decoded rows (one transaction, prepared statement): "
        << plainRows << " rows in " << QString::number(plainSeconds, 'f', 2)
        << " s = " << qRound64(plainRate) << " rows/s\n";
    out << "ratio sync / plain: " << QString::number(syncRate / plainRate, 'f', 2) << "\n";
    return 0;
}
