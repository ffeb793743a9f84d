// Times the show statistics on a generated site: by default one year of 20 houses.
//   bench_dailystats [houses] [days]
#include "core/clock.h"
#include "core/database.h"
#include "core/databaseschema.h"
#include "eventgenerator.h"
#include "events/dailystats.h"
#include "siteeventlog.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

// The statistics start at 2 January of the clock's year; the site's year is the clock's.
class YearEndClock : public Clock
{
protected:
    QDateTime now() const override { return QDateTime(QDate(2025, 12, 31), QTime(23, 0)); }
};

double secondsSince(const QElapsedTimer &timer)
{
    return static_cast<double>(timer.nsecsElapsed()) / 1e9;
}

QString sums(Database &database)
{
    const auto row = database.openQuery(
        QStringLiteral("SELECT count(*) AS days, sum(showcount) AS shows, sum(majorproblem) AS "
                       "major, sum(minorproblem) AS minor FROM dailysummary"));
    if (!row || row->eof())
        return QStringLiteral("(cannot read)");
    return row->value(QStringLiteral("days")).toString() + QStringLiteral(" days, ")
        + row->value(QStringLiteral("shows")).toString() + QStringLiteral(" shows, ")
        + row->value(QStringLiteral("major")).toString() + QStringLiteral(" major, ")
        + row->value(QStringLiteral("minor")).toString() + QStringLiteral(" minor");
}

} // namespace

int main(int argc, char *argv[])
{
    Clock::settleLocalTimeZone();
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    YearEndClock clock;
    Clock::setInstance(&clock);
    GeneratorOptions options;
    options.houses = args.value(1, QStringLiteral("20")).toInt();
    options.days = args.value(2, QStringLiteral("365")).toInt();
    options.seed = 1;
    options.endDate = QDate(2025, 12, 31);
    QTextStream out(stdout);
    const QString problem = EventGenerator::validate(options);
    if (!problem.isEmpty()) {
        out << problem << "\n";
        return 2;
    }

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Showpulse.mdb"));
    Database database;
    if (!dir.isValid() || !CreateNewDatabase(file) || !database.open(file)) {
        out << "cannot create the database\n";
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    EventGenerator generator(options);
    QString error;
    if (!LoadSiteEventLog(generator, database, &error)) {
        out << error << "\n";
        return 1;
    }
    const qint64 shows = generator.shows().size();
    out << "dailystats: " << options.houses << " houses, " << options.days << " days, "
        << generator.counts().events << " events, " << shows << " shows generated and loaded in "
        << QString::number(secondsSince(timer), 'f', 2) << " s\n";
    out.flush();

    timer.start();
    if (DailyStats::UpdateShowStatistics(database) != DailyStats::UpdateResult::Completed) {
        out << "the statistics failed\n";
        return 1;
    }
    const double full = secondsSince(timer);
    out << "  full rebuild:  " << QString::number(full, 'f', 2) << " s ("
        << QString::number(static_cast<double>(shows) / full, 'f', 0)
        << " shows/s): " << sums(database) << "\n";

    // What the summary should hold: the shows of the days after 1 January.
    int counted = 0;
    int major = 0;
    int minor = 0;
    for (const ShowTruth &show : generator.shows()) {
        if (show.showDay <= QDate(2025, 1, 1))
            continue;
        ++counted;
        major += show.expectedClass == 2;
        minor += show.expectedClass == 1;
    }
    out << "  generator truth: " << counted << " shows, " << major << " major, " << minor
        << " minor\n";

    timer.start();
    if (DailyStats::UpdateShowStatistics(database) != DailyStats::UpdateResult::Completed) {
        out << "the statistics failed\n";
        return 1;
    }
    out << "  next run (last day only): " << QString::number(secondsSince(timer) * 1000, 'f', 1)
        << " ms\n";
    Clock::setInstance(nullptr);
    return 0;
}
