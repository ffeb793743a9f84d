#pragma once

#include "driverdatabase.h"
#include "sitetime.h"

#include <QByteArray>
#include <QDate>
#include <QList>
#include <QString>

#include <functional>

/// What the generator is asked to make.
struct GeneratorOptions
{
    int houses = 8;
    int days = 30;
    quint64 seed = 1;
    QDate endDate; // the last show day; invalid means today by the program's clock
};

/// The course a generated show takes; each kind has its rate in the README.
enum class ShowKind {
    Normal, // runs through without down time
    Blip, // a fault the unit cleared itself within two seconds
    StartDelay, // stopped right after the start, ran after the delay
    Interrupted, // stopped once or more during the show and resumed
    EndDown, // stopped at the end; "End of Show" came after the down time
    NonShow, // started, stopped within minutes and ended
    Aborted, // started and aborted within minutes, without down time
    Overlong, // down for an hour or more, beyond what the statistics analyse
};

QString showKindName(ShowKind kind);

/// What the generator knows about one show it made, for checking the program's statistics.
struct ShowTruth
{
    int showId = 0;
    int house = 0;
    QDate showDay; // the date of the start less six hours
    SiteTime start;
    SiteTime end; // the "End of Show" event
    int startCode = 0; // 1 manual, 2 timed, 3 clock
    ShowKind kind = ShowKind::Normal;
    int down = 0; // the `Down` of the "End of Show" event
    /// 0 no problem, 1 minor, 2 major: how the show statistics class this show.
    int expectedClass = 0;
    bool userCode = false; // a code 47 event with this show's number follows the start
    int userProblem = 0; // `P2` of that event
    /// The `Problem` a problem show gets: the user's problem code when a user code was entered,
    /// else the stopping code found before the down time (7, 10, 16, 23, 24) or 0. 0 for
    /// shows that are no major problem.
    int expectedProblem = 0;
};

/// Counts of what a generation made, apart from the shows.
struct GeneratorCounts
{
    qint64 events = 0;
    int resets = 0; // codes 33..38
    int clockChanges = 0; // codes 52..54
    int maintenanceEntries = 0; // code 47 outside shows, with an equipment code
};

/// \brief Makes a site's event log: houses, days of shows with their events, and operators.
///
/// Every event is encoded into the raw record layout. The same options give the same site.
/// `uniqueid` ascends in time order across all houses; show numbers ascend per house and are
/// unique across the site.
class EventGenerator
{
public:
    using EventSink = std::function<bool(const DriverEvent &)>;

    explicit EventGenerator(const GeneratorOptions &options);

    /// Checks the options; the text says what is wrong, empty when they are usable.
    static QString validate(const GeneratorOptions &options);

    /// Makes every event in `uniqueid` order and hands it to \a sink; stops with false when the
    /// sink refuses one. shows() and counts() describe the last run.
    bool generate(const EventSink &sink);

    /// Fills an empty, open driver database with the operators and a generate() run, in one
    /// transaction.
    bool writeDatabase(DriverDatabase &database);

    /// Why the last generate() or writeDatabase() failed.
    QString errorString() const { return m_error; }

    const GeneratorOptions &options() const { return m_options; }
    QDate firstDay() const { return m_options.endDate.addDays(1 - m_options.days); }
    const QList<DriverOperator> &operators() const { return m_operators; }
    const QList<ShowTruth> &shows() const { return m_shows; }
    const GeneratorCounts &counts() const { return m_counts; }

    /// The truth of the last run as JSON: options, operators, counts, and per house per show
    /// day the shows with their figures.
    QByteArray truthJson() const;
    bool writeTruth(const QString &path, QString *error) const;

private:
    void makeOperators();
    int operatorOnDuty(QDate day, int house) const;

    GeneratorOptions m_options;
    QList<DriverOperator> m_operators;
    QList<ShowTruth> m_shows;
    GeneratorCounts m_counts;
    QString m_error;
};
