// Times the site generator writing a driver database: by default one year of 20 houses.
//   bench_sitesim_generate [houses] [days]
#include "driverdatabase.h"
#include "eventgenerator.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    GeneratorOptions options;
    options.houses = args.value(1, QStringLiteral("20")).toInt();
    options.days = args.value(2, QStringLiteral("365")).toInt();
    options.seed = 1;
    options.endDate = QDate(2026, 3, 1);
    QTextStream out(stdout);
    const QString problem = EventGenerator::validate(options);
    if (!problem.isEmpty()) {
        out << problem << "\n";
        return 2;
    }

    QTemporaryDir dir;
    if (!dir.isValid()) {
        out << "cannot make a temporary folder\n";
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    DriverDatabase database;
    EventGenerator generator(options);
    if (!database.create(dir.filePath(QStringLiteral("driver.db")))
        || !generator.writeDatabase(database)) {
        out << database.lastError() << generator.errorString() << "\n";
        return 1;
    }
    database.close();
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const qint64 events = generator.counts().events;
    out << "sitesim generate: " << options.houses << " houses, " << options.days << " days, "
        << events << " events, " << generator.shows().size() << " shows in "
        << QString::number(seconds, 'f', 2) << " s ("
        << QString::number(static_cast<double>(events) / seconds, 'f', 0) << " events/s)\n";
    return 0;
}
