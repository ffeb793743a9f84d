#include "driverservice.h"
#include "messagetext.h"
#include "siteserver.h"
#include "sitesimcli.h"

#include <QCoreApplication>

namespace {

const QCommandLineOption kDb(QStringLiteral("db"),
    QStringLiteral("The built-in driver's database (made by generate). Without it the router "
                   "has no built-in driver."),
    QStringLiteral("file"));
const QCommandLineOption kPort(QStringLiteral("port"),
    QStringLiteral("Listen on this port (default: the first free port of 2357, 2364, ... 2427 "
                   "after the squatted ones)."),
    QStringLiteral("port"));
const QCommandLineOption kAnyPort(QStringLiteral("any-port"),
    QStringLiteral("Listen on any free port; the first line of output names it."));
const QCommandLineOption kUsers(QStringLiteral("users"),
    QStringLiteral("Users file: ID, name, password, access list per line, separated by tabs "
                   "(default: user admin, password admin, full access)."),
    QStringLiteral("file"));
const QCommandLineOption kRemotes(QStringLiteral("remotes"),
    QStringLiteral("The location server's routers and clients (default: no location server; "
                   "REMOTE requests get 102)."),
    QStringLiteral("file"));
const QCommandLineOption kRouterId(QStringLiteral("router-id"),
    QStringLiteral("The router's ID (default 1)."), QStringLiteral("id"), QStringLiteral("1"));
const QCommandLineOption kRouterName(QStringLiteral("router-name"),
    QStringLiteral("The router's name (default SITEROUTER)."), QStringLiteral("name"),
    QStringLiteral("SITEROUTER"));
const QCommandLineOption kDriverId(QStringLiteral("driver-id"),
    QStringLiteral("The built-in driver's client ID (default %1).").arg(DriverService::DefaultId),
    QStringLiteral("id"), DriverService::DefaultId.toString());
const QCommandLineOption kDriverName(QStringLiteral("driver-name"),
    QStringLiteral("The built-in driver's client name (default %1).")
        .arg(DriverService::DefaultName),
    QStringLiteral("name"), DriverService::DefaultName.toString());
const QCommandLineOption kLive(QStringLiteral("live"),
    QStringLiteral("Keep adding events: the site goes on from its last event, show by show."));
const QCommandLineOption kLiveSpeed(QStringLiteral("live-speed"),
    QStringLiteral("Site seconds per wall-clock second with --live (default 600: a show day in "
                   "about two minutes)."),
    QStringLiteral("x"), QStringLiteral("600"));
const QCommandLineOption kSeed(QStringLiteral("seed"),
    QStringLiteral("Seed of the live days (default 1)."), QStringLiteral("s"), QStringLiteral("1"));
const QCommandLineOption kDelay(QStringLiteral("delay-ms"),
    QStringLiteral("Fault: the driver answers this many milliseconds late."), QStringLiteral("ms"));
const QCommandLineOption kNeverAnswer(
    QStringLiteral("never-answer"), QStringLiteral("Fault: the driver never answers."));
const QCommandLineOption kWrongSequence(QStringLiteral("wrong-sequence"),
    QStringLiteral("Fault: the driver answers with the request's sequence + 1."));
const QCommandLineOption kDropAfter(QStringLiteral("drop-after"),
    QStringLiteral("Fault: after n driver answers on a connection, the next request closes it."),
    QStringLiteral("n"));
const QCommandLineOption kGarbage(QStringLiteral("garbage"),
    QStringLiteral("Fault: the driver answers with bytes that form no message."));
const QCommandLineOption kEndless(QStringLiteral("endless"),
    QStringLiteral("Fault: the driver's answer never ends (data streams until the client hangs "
                   "up)."));
const QCommandLineOption kSquat(QStringLiteral("squat-ports"),
    QStringLiteral("Fault: hold the first k ports of the walk with a service that is not a "
                   "router."),
    QStringLiteral("k"));

int usageError(QTextStream &err, const QString &text)
{
    err << "sitesim serve: " << text << "\n";
    return 2;
}

bool readInt(const QCommandLineParser &parser, const QCommandLineOption &option, int low, int high,
    int *value)
{
    if (!parser.isSet(option))
        return true;
    bool ok = false;
    const int v = parser.value(option).toInt(&ok);
    if (!ok || v < low || v > high)
        return false;
    *value = v;
    return true;
}

int runServe(const QCommandLineParser &parser, QTextStream &out, QTextStream &err)
{
    ServeOptions options;
    options.dbPath = parser.value(kDb);
    options.usersPath = parser.value(kUsers);
    options.remotesPath = parser.value(kRemotes);
    options.router.id = parser.value(kRouterId).toUpper();
    options.router.name = parser.value(kRouterName);
    options.driverId = parser.value(kDriverId).toUpper();
    options.driverName = parser.value(kDriverName);
    if (!MessageText::isId(options.router.id))
        return usageError(err, QStringLiteral("--router-id takes printable text without colons."));
    if (!MessageText::isId(options.driverId) || options.driverId == options.router.id)
        return usageError(err,
            QStringLiteral("--driver-id takes printable text without colons, not the router's "
                           "ID."));
    for (const QString &name : { options.router.name, options.driverName })
        if (!MessageText::isId(name))
            return usageError(
                err, QStringLiteral("Names take printable text without colons: %1").arg(name));

    if (parser.isSet(kPort) && parser.isSet(kAnyPort))
        return usageError(err, QStringLiteral("--port and --any-port exclude each other."));
    if (!readInt(parser, kPort, 1, 65535, &options.port))
        return usageError(err, QStringLiteral("--port takes a port number, 1 to 65535."));
    if (parser.isSet(kAnyPort))
        options.port = 0;

    options.live = parser.isSet(kLive);
    bool ok = false;
    options.liveOptions.speed = parser.value(kLiveSpeed).toDouble(&ok);
    if (!ok || !(options.liveOptions.speed >= 1 && options.liveOptions.speed <= 1e6))
        return usageError(err, QStringLiteral("--live-speed takes a number from 1 to 1000000."));
    options.liveOptions.seed = parser.value(kSeed).toULongLong(&ok);
    if (!ok)
        return usageError(err, QStringLiteral("--seed takes a whole number of 0 or more."));

    FaultOptions &faults = options.faults;
    if (!readInt(parser, kDelay, 0, 3600000, &faults.delayMs))
        return usageError(err, QStringLiteral("--delay-ms takes 0 to 3600000."));
    if (!readInt(parser, kDropAfter, 0, 1000000000, &faults.dropAfter))
        return usageError(err, QStringLiteral("--drop-after takes a whole number of 0 or more."));
    faults.neverAnswer = parser.isSet(kNeverAnswer);
    faults.wrongSequence = parser.isSet(kWrongSequence);
    faults.garbage = parser.isSet(kGarbage);
    faults.endless = parser.isSet(kEndless);
    if (int(faults.neverAnswer) + int(faults.garbage) + int(faults.endless) > 1)
        return usageError(
            err, QStringLiteral("--never-answer, --garbage and --endless exclude each other."));
    if (!readInt(parser, kSquat, 0, SiteServer::WalkPorts - 1, &options.squatPorts))
        return usageError(
            err, QStringLiteral("--squat-ports takes 0 to %1.").arg(SiteServer::WalkPorts - 1));
    if (options.live && options.dbPath.isEmpty())
        return usageError(err, QStringLiteral("--live needs --db."));

    SiteServer server(options);
    QString error;
    if (!server.start(&error)) {
        err << "sitesim serve: " << error << "\n";
        return 1;
    }

    // The first line is for scripts and tests that wait for the router.
    out << "listening on " << server.port() << "\n";
    out << "router " << options.router.id << " \"" << options.router.name
        << "\" on 127.0.0.1:" << server.port() << "\n";
    if (!options.dbPath.isEmpty())
        out << "driver " << options.driverId << " \"" << options.driverName << "\" serving "
            << options.dbPath << "\n";
    for (quint16 port : server.squattedPorts())
        out << "port " << port << " held by a service that is not a router\n";
    out.flush();

    QObject::connect(&server.router(), &RouterServer::clientRegistered, &server,
        [&out](const QString &id, const QString &name, qint32 type) {
            out << "client " << id << " \"" << name << "\" (type " << type << ") registered\n";
            out.flush();
        });
    QObject::connect(&server.router(), &RouterServer::clientLeft, &server,
        [&out](const QString &id, const QString &name) {
            out << "client " << id << " \"" << name << "\" left\n";
            out.flush();
        });
    if (LiveFeed *live = server.liveFeed()) {
        QObject::connect(live, &LiveFeed::dayStarted, &server, [&out](QDate day, int events) {
            out << "live: show day " << day.toString(Qt::ISODate) << ", " << events
                << " events to come\n";
            out.flush();
        });
        QObject::connect(live, &LiveFeed::failed, &server, [&err](const QString &why) {
            err << "sitesim serve: the live feed stopped: " << why << "\n";
            err.flush();
        });
    }
    return QCoreApplication::exec();
}

} // namespace

SitesimCommand serveCommand()
{
    return { QStringLiteral("serve"),
        QStringLiteral("Runs the router with the built-in driver on 127.0.0.1 until stopped."),
        [](QCommandLineParser &parser) {
            parser.addOptions({ kDb, kPort, kAnyPort, kUsers, kRemotes, kRouterId, kRouterName,
                kDriverId, kDriverName, kLive, kLiveSpeed, kSeed, kDelay, kNeverAnswer,
                kWrongSequence, kDropAfter, kGarbage, kEndless, kSquat });
        },
        runServe };
}
