#include "driverdatabase.h"
#include "eventgenerator.h"
#include "sitesimcli.h"

#include <QElapsedTimer>
#include <QFile>

namespace {

const QCommandLineOption kDb(QStringLiteral("db"),
    QStringLiteral("The driver database to write (SQLite)."), QStringLiteral("file"));
const QCommandLineOption kHouses(QStringLiteral("houses"),
    QStringLiteral("Number of houses, 1 to 99 (default 8)."), QStringLiteral("n"),
    QStringLiteral("8"));
const QCommandLineOption kDays(QStringLiteral("days"),
    QStringLiteral("Number of show days, 1 to 3660 (default 30)."), QStringLiteral("d"),
    QStringLiteral("30"));
const QCommandLineOption kSeed(QStringLiteral("seed"),
    QStringLiteral("Seed; the same seed gives the same site "
                   "(default 1)."),
    QStringLiteral("s"), QStringLiteral("1"));
const QCommandLineOption kEnd(QStringLiteral("end"),
    QStringLiteral("The last show day, YYYY-MM-DD (default today)."), QStringLiteral("date"));
const QCommandLineOption kTruth(QStringLiteral("truth"),
    QStringLiteral("Also write what was generated, per house and "
                   "day, as JSON to this file."),
    QStringLiteral("file"));
const QCommandLineOption kForce(
    QStringLiteral("force"), QStringLiteral("Replace the database file if it exists."));

int runGenerate(const QCommandLineParser &parser, QTextStream &out, QTextStream &err)
{
    const auto usageError = [&err](const QString &text) {
        err << "sitesim generate: " << text << "\n";
        return 2;
    };
    const QString path = parser.value(kDb);
    if (path.isEmpty())
        return usageError(QStringLiteral("--db is required."));

    GeneratorOptions options;
    bool ok = false;
    options.houses = parser.value(kHouses).toInt(&ok);
    if (!ok)
        return usageError(QStringLiteral("--houses takes a whole number."));
    options.days = parser.value(kDays).toInt(&ok);
    if (!ok)
        return usageError(QStringLiteral("--days takes a whole number."));
    options.seed = parser.value(kSeed).toULongLong(&ok);
    if (!ok)
        return usageError(QStringLiteral("--seed takes a whole number of 0 or more."));
    if (parser.isSet(kEnd)) {
        options.endDate = QDate::fromString(parser.value(kEnd), QStringLiteral("yyyy-MM-dd"));
        if (!options.endDate.isValid())
            return usageError(QStringLiteral("--end takes a date as YYYY-MM-DD."));
    }
    const QString problem = EventGenerator::validate(options);
    if (!problem.isEmpty())
        return usageError(problem);

    if (parser.isSet(kForce) && QFile::exists(path) && !QFile::remove(path)) {
        err << "sitesim generate: cannot replace " << path << "\n";
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    DriverDatabase database;
    if (!database.create(path)) {
        err << "sitesim generate: " << database.lastError() << "\n";
        return 1;
    }
    EventGenerator generator(options);
    if (!generator.writeDatabase(database)) {
        err << "sitesim generate: " << generator.errorString() << "\n";
        database.close();
        QFile::remove(path);
        return 1;
    }
    database.close();
    QString error;
    if (parser.isSet(kTruth) && !generator.writeTruth(parser.value(kTruth), &error)) {
        err << "sitesim generate: " << error << "\n";
        return 1;
    }
    const double seconds = static_cast<double>(timer.elapsed()) / 1000.0;
    out << "Generated " << generator.counts().events << " events of " << generator.shows().size()
        << " shows in " << options.houses << " houses, "
        << generator.firstDay().toString(Qt::ISODate) << " to "
        << generator.options().endDate.toString(Qt::ISODate) << ", with "
        << generator.operators().size() << " operators, into " << path << " ("
        << QString::number(seconds, 'f', 1) << " s).\n";
    return 0;
}

} // namespace

SitesimCommand generateCommand()
{
    return { QStringLiteral("generate"),
        QStringLiteral("Fills a new driver database with the events of generated shows."),
        [](QCommandLineParser &parser) {
            parser.addOptions({ kDb, kHouses, kDays, kSeed, kEnd, kTruth, kForce });
        },
        runGenerate };
}
