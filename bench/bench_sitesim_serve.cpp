// Times the simulated driver serving the program's event batches ("select top 100 * from eventlog
// where uniqueid > W order by uniqueid") over loopback. The router runs in its own thread; a
// bare client walks the event log batch by batch, one request at a time as the program does,
// and then with several requests in flight.
//   bench_sitesim_serve [seconds per run] [houses] [days]
#include "driverdatabase.h"
#include "driverservice.h"
#include "eventgenerator.h"
#include "router/serverconnectionheader.h"
#include "routerprobe.h"
#include "siteserver.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

#include <future>

namespace {

using ServerConnectionHeader::GetItem;
using ServerConnectionHeader::ItemToken;
using ServerConnectionHeader::RecordToken;

struct Run
{
    qint64 batches = 0;
    qint64 events = 0;
    qint64 bytes = 0;
    double seconds = 0;
    bool ok = true;
};

// The uniqueid of the last row of a batch answer, 0 when it has none.
qint64 lastId(const QString &data)
{
    const qsizetype end = data.lastIndexOf(RecordToken, data.size() - RecordToken.size() - 1);
    if (end < 0)
        return 0;
    const QString last = data.mid(end + RecordToken.size());
    return GetItem(last, 1).trimmed().toLongLong();
}

qint64 rowCount(const QString &data)
{
    return data.count(RecordToken) - 1;
}

// Walks the event log again and again for \a seconds with \a depth requests in flight.
Run walk(RouterProbe &probe, int depth, double seconds)
{
    const QString driver = DriverService::DefaultId.toString();
    const QString batch
        = QStringLiteral("select top 100 * from eventlog where uniqueid > %1 order by uniqueid");
    Run run;
    QElapsedTimer timer;
    timer.start();
    qint64 watermark = 0;
    // With several in flight the watermarks are guessed a hundred ahead, as ids have no gaps.
    qint64 nextToAsk = 0;
    int inFlight = 0;
    while (timer.nsecsElapsed() < qint64(seconds * 1e9) || inFlight > 0) {
        while (inFlight < depth && timer.nsecsElapsed() < qint64(seconds * 1e9)) {
            if (!probe.send(
                    driver, QStringLiteral("GET RECORDSET"), batch.arg(nextToAsk) + ItemToken)) {
                run.ok = false;
                return run;
            }
            nextToAsk += 100;
            ++inFlight;
        }
        const std::optional<ResponseData> a = probe.next(10000);
        if (!a || a->ErrorCode() != 0) {
            run.ok = false;
            return run;
        }
        --inFlight;
        ++run.batches;
        const qint64 rows = rowCount(a->Data());
        run.events += rows;
        run.bytes += a->Data().size();
        watermark = rows > 0 ? lastId(a->Data()) : 0;
        if (depth == 1)
            nextToAsk = watermark;
        else if (rows == 0)
            nextToAsk = 0; // the end of the log: start again
    }
    run.seconds = double(timer.nsecsElapsed()) / 1e9;
    return run;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const double seconds = args.value(1, QStringLiteral("3")).toDouble();
    GeneratorOptions options;
    options.houses = args.value(2, QStringLiteral("8")).toInt();
    options.days = args.value(3, QStringLiteral("60")).toInt();
    options.endDate = QDate(2026, 3, 1);
    QTextStream out(stdout);
    if (!(seconds > 0) || !EventGenerator::validate(options).isEmpty()) {
        out << "usage: bench_sitesim_serve [seconds per run] [houses] [days]\n";
        return 2;
    }

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("driver.db"));
    qint64 events = 0;
    {
        DriverDatabase database;
        EventGenerator generator(options);
        if (!dir.isValid() || !database.create(path) || !generator.writeDatabase(database)) {
            out << "cannot make the driver database: " << database.lastError()
                << generator.errorString() << "\n";
            return 1;
        }
        events = generator.counts().events;
    }

    // The router lives in its own thread, with its database connection.
    QThread serverThread;
    std::promise<quint16> listening;
    std::unique_ptr<SiteServer> server;
    QObject::connect(
        &serverThread, &QThread::started, &serverThread,
        [&] {
            ServeOptions serve;
            serve.dbPath = path;
            serve.port = 0;
            server = std::make_unique<SiteServer>(serve);
            QString error;
            const bool started = server->start(&error);
            if (!started)
                QTextStream(stderr) << error << "\n";
            listening.set_value(started ? server->port() : 0);
        },
        Qt::DirectConnection);
    QObject::connect(
        &serverThread, &QThread::finished, &serverThread, [&] { server.reset(); },
        Qt::DirectConnection);
    serverThread.start();
    const quint16 port = listening.get_future().get();
    int status = 0;
    if (port == 0) {
        status = 1;
    } else {
        RouterProbe probe(QStringLiteral("4242-1"), QStringLiteral("bench"));
        if (!probe.connectTo(port, 5000) || !probe.registerClient(5000)) {
            out << "cannot register with the router\n";
            status = 1;
        }
        out << "sitesim serve: " << events << " events of " << options.houses << " houses, "
            << options.days << " days\n";
        for (int depth : { 1, 8 }) {
            if (status != 0)
                break;
            const Run run = walk(probe, depth, seconds);
            if (!run.ok) {
                out << "a batch failed\n";
                status = 1;
                break;
            }
            out << "  " << (depth == 1 ? "one request at a time" : "8 requests in flight  ") << ": "
                << QString::number(double(run.batches) / run.seconds, 'f', 0) << " batches/s, "
                << QString::number(double(run.events) / run.seconds, 'f', 0) << " events/s, "
                << QString::number(double(run.bytes) / run.seconds / 1e6, 'f', 1) << " MB/s ("
                << run.batches << " batches in " << QString::number(run.seconds, 'f', 2) << " s)\n";
        }
    }
    serverThread.quit();
    serverThread.wait();
    return status;
}
