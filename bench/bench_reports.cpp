// Times generating each report type on a generated site: by default one year of 20 houses.
//   bench_reports [houses] [days] [repetitions]
#include "core/clock.h"
#include "core/database.h"
#include "core/databaseschema.h"
#include "eventgenerator.h"
#include "events/dailystats.h"
#include "events/eventrecord.h"
#include "reports/dailyreport.h"
#include "reports/htmlreports.h"
#include "reports/periodicreports.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTextStream>

#include <algorithm>
#include <functional>

namespace {

const QDate kLastDay(2026, 3, 1);

// Puts the statistics run in the year the generated log begins, so that it summarises all of it.
class FixedClock : public Clock
{
public:
    explicit FixedClock(const QDateTime &time)
        : m_time(time)
    {
        Clock::setInstance(this);
    }
    ~FixedClock() override { Clock::setInstance(nullptr); }

protected:
    QDateTime now() const override { return m_time; }

private:
    QDateTime m_time;
};

// Copies the generated driver log into the program database as a synchronisation would, through
// a connection of its own so that a year of events goes in one prepared statement.
bool fillEventLog(const QString &file, EventGenerator &generator, QString *error)
{
    const QString name = QStringLiteral("bench_fill");
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        QSqlQuery insert(db);
        ok = db.open() && db.transaction()
            && insert.prepare(QStringLiteral(
                "insert into EventLog (Evid, ShowID, NetID, RecVer, DevType, EvCode, CodeName, "
                "Flag1, Flag2, Seq, Fut, Down, iLoop, Prog, Cue, Stat, P1, P2, P3, P4, P5, P6, P7, "
                "P8, EventTime, LogTime) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                "?, "
                "?, ?, ?, ?, ?, ?, ?, ?, ?)"));
        ok = ok && generator.generate([&insert](const DriverEvent &event) {
            const EventRecord r = EventRecord::decode(event.eventData);
            const QVariantList values { event.uniqueId, event.showId, event.machId, r.RecVer,
                r.DevType, r.EvCode, r.CodeName, r.Flag1, r.Flag2, r.Seq, r.Fut, r.Down, r.iLoop,
                r.Prog, r.Cue, r.Stat, r.P1, r.P2, r.P3, r.P4, r.P5, r.P6, r.P7, r.P8,
                event.eventTime.toText(), event.logTime.toText() };
            for (int i = 0; i < values.size(); ++i)
                insert.bindValue(i, values.at(i));
            return insert.exec();
        });
        QSqlQuery operators(db);
        ok = ok
            && operators.prepare(QStringLiteral("insert into Operators (ID, ProName, ProID, "
                                                "StartDate, EndDate) values (?, ?, ?, ?, ?)"));
        for (const DriverOperator &op : generator.operators()) {
            operators.bindValue(0, op.uniqueId);
            operators.bindValue(1, op.name);
            operators.bindValue(2, op.id);
            operators.bindValue(3, op.startDate.toText());
            operators.bindValue(
                4, op.endDate.isValid() ? QVariant(op.endDate.toText()) : QVariant());
            ok = ok && operators.exec();
        }
        ok = ok && db.commit();
        if (!ok)
            *error = db.lastError().text() + insert.lastError().text() + generator.errorString();
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

// Median time of \a repetitions runs of \a work, in milliseconds.
double medianMs(int repetitions, const std::function<qsizetype()> &work, qsizetype *size = nullptr)
{
    QList<qint64> times;
    QElapsedTimer timer;
    for (int i = 0; i < repetitions; ++i) {
        timer.start();
        const qsizetype produced = work();
        times.append(timer.nsecsElapsed());
        if (size)
            *size = produced;
    }
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2) / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    Clock::settleLocalTimeZone();
    QCoreApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    const QStringList args = QCoreApplication::arguments();
    GeneratorOptions options;
    options.houses = args.value(1, QStringLiteral("20")).toInt();
    options.days = args.value(2, QStringLiteral("365")).toInt();
    const int repetitions = std::max(1, args.value(3, QStringLiteral("5")).toInt());
    options.seed = 1;
    options.endDate = kLastDay;
    QTextStream out(stdout);
    const QString problem = EventGenerator::validate(options);
    if (!problem.isEmpty()) {
        out << problem << "\n";
        return 2;
    }

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Showpulse.mdb"));
    QElapsedTimer timer;
    timer.start();
    QString error;
    EventGenerator generator(options);
    if (!dir.isValid() || !CreateNewDatabase(file) || !fillEventLog(file, generator, &error)
        || !Database::instance().open(file) || !AddDefaultUserCodes()) {
        out << "cannot build the database: " << error << "\n";
        return 1;
    }
    out << "site: " << options.houses << " houses, " << options.days << " days, "
        << generator.counts().events << " events, " << generator.shows().size()
        << " shows, loaded in " << timer.elapsed() << " ms\n";

    {
        FixedClock clock(QDateTime(kLastDay.addDays(1 - options.days), QTime(9, 0)));
        timer.restart();
        if (DailyStats::UpdateShowStatistics() != DailyStats::UpdateResult::Completed) {
            out << "show statistics failed\n";
            return 1;
        }
        out << "show statistics: " << timer.elapsed() << " ms\n";
    }

    struct Case
    {
        const char *name;
        int type;
        QDateTime request;
    };
    const Case cases[] = {
        { "daily", HTMLReports::DailyReportType, QDateTime(QDate(2026, 2, 24), QTime(23, 59)) },
        { "weekly", HTMLReports::WeeklyReportType, QDateTime(QDate(2026, 2, 21), QTime(23, 59)) },
        { "monthly", HTMLReports::MonthlyReportType, QDateTime(QDate(2026, 2, 5), QTime(23, 59)) },
        { "quarterly", HTMLReports::QuarterlyReportType,
            QDateTime(QDate(2026, 1, 5), QTime(23, 59)) },
    };
    for (const Case &c : cases) {
        qsizetype size = 0;
        const double ms = medianMs(
            repetitions, [&c] { return HTMLReports::GenerateReport(c.type, c.request, {}).size(); },
            &size);
        out << c.name << ": " << QString::number(ms, 'f', 1) << " ms (median of " << repetitions
            << "), " << size << " characters\n";
    }

    // Where the time goes, section by section (a week and a month of February 2026).
    using namespace HTMLReports;
    const QDateTime weekEnd(QDate(2026, 2, 22), QTime(3, 0));
    const QDateTime weekStart = weekEnd.addDays(-7);
    const QDateTime monthStart(QDate(2026, 2, 1), QTime(3, 0));
    const QDateTime monthEnd = monthStart.addMonths(1);
    const QDate day(2026, 2, 24);
    const std::pair<const char *, std::function<qsizetype()>> sections[] = {
        { "DataRangeWarning", [&] { return DataRangeWarning(monthStart, monthEnd).size(); } },
        { "LocationSummary", [&] { return DailySummaryReport().LocationSummary(day).size(); } },
        { "PresentationSummary",
            [&] {
                return DailySummaryReport()
                    .PresentationSummary(QDateTime(day.addDays(1), QTime(3, 0)))
                    .size();
            } },
        { "MaintenancePerformed (month)",
            [&] { return MaintenancePerformed(monthStart, monthEnd).size(); } },
        { "WeeklySummary", [&] { return WeeklySummary(weekEnd.date().addDays(-1)).size(); } },
        { "ProblemsByDay", [&] { return ProblemsByDay(weekEnd.date().addDays(-1)).size(); } },
        { "ProblemsByHouse (week)", [&] { return ProblemsByHouse(weekStart, weekEnd).size(); } },
        { "ProblemsByHouse (month)", [&] { return ProblemsByHouse(monthStart, monthEnd).size(); } },
        { "InterruptionsByType (month)",
            [&] { return InterruptionsByType(monthStart, monthEnd).size(); } },
        { "ProblemsByMonth", [&] { return ProblemsByMonth(QDate(2026, 1, 1)).size(); } },
    };
    for (const auto &[name, work] : sections)
        out << "  " << name << ": " << QString::number(medianMs(repetitions, work), 'f', 1)
            << " ms\n";
    return 0;
}
