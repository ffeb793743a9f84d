#pragma once

#include "driverdatabase.h"
#include "sitetime.h"

#include <QDate>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QTimer>

/// How a live site runs on.
struct LiveOptions
{
    double speed = 600; // site seconds per wall-clock second
    quint64 seed = 1;
};

/// \brief Keeps a driver database growing: the site goes on from its last event, show by show.
///
/// Site time starts at the last event in the database and runs `speed` times as fast as the
/// wall clock; quiet stretches (nights) are skipped so that no pause lasts longer than two
/// seconds of wall time. Each show day is made by the EventGenerator (one day, the same houses,
/// its own seed) and numbered on from the database's highest `uniqueid` and show number; its
/// events are stored as their site time comes, every 200 ms in one transaction.
class LiveFeed : public QObject
{
    Q_OBJECT

public:
    /// The longest wall-clock pause between two events.
    static constexpr int MaxPauseMs = 2000;
    static constexpr int TickMs = 200;

    LiveFeed(DriverDatabase &database, const LiveOptions &options, QObject *parent = nullptr);

    /// Reads where the site stands and starts the clock; false with \a error when the database
    /// cannot be read.
    bool start(QString *error);
    void stop();

    SiteTime siteTime() const;
    qint64 lastUniqueId() const { return m_lastUniqueId; }

Q_SIGNALS:
    /// A new show day was made; its events follow as site time passes.
    void dayStarted(QDate day, int events);
    void eventsAppended(int count, qint64 lastUniqueId);
    /// Storing failed; the feed has stopped.
    void failed(const QString &error);

private:
    void tick();
    bool makeNextDay(QString *error);

    DriverDatabase &m_database;
    LiveOptions m_options;
    QTimer m_timer;
    QElapsedTimer m_wall;
    SiteTime m_siteStart;
    double m_siteOffset = 0; // site seconds since m_siteStart
    qint64 m_lastWallMs = 0;
    qint64 m_lastUniqueId = 0;
    int m_lastShowId = 0;
    int m_houses = 0;
    QDate m_day; // the show day of m_pending
    QList<DriverEvent> m_pending;
    qsizetype m_next = 0;
};
