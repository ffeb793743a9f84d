#pragma once

#include "livefeed.h"
#include "routerserver.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class DriverDatabase;
class DriverService;
class PortSquatter;
class RemoteDirectory;
class UserDirectory;

/// What `sitesim serve` runs.
struct ServeOptions
{
    /// The built-in driver's database; empty: the router runs without a built-in driver.
    QString dbPath;
    /// 0: any free port; AutoPort: the first free port of the walk after the squatted ones.
    int port = AutoPort;
    QString usersPath; // empty: the default user
    QString remotesPath; // empty: no location server
    RouterIdentity router;
    QString driverId;
    QString driverName;
    bool live = false;
    LiveOptions liveOptions;
    FaultOptions faults;
    int squatPorts = 0; // ports of the walk held by a service that is not a router

    static constexpr int AutoPort = -1;
};

/// \brief A simulated site on loopback: the router, its built-in driver, the live event feed
/// and the port squatters, as `sitesim serve` runs them (also in-process for tests and
/// benchmarks).
class SiteServer : public QObject
{
    Q_OBJECT

public:
    /// The router's port walk: 2357, 2364, ... 2427.
    static constexpr int FirstWalkPort = 2357;
    static constexpr int WalkStep = 7;
    static constexpr int WalkPorts = 11;

    explicit SiteServer(const ServeOptions &options, QObject *parent = nullptr);
    ~SiteServer() override;

    /// Opens the database and files, starts listening and the live feed; false with \a error
    /// when something cannot be started (nothing is left listening then).
    bool start(QString *error);

    quint16 port() const;
    QList<quint16> squattedPorts() const;
    RouterServer &router() { return *m_router; }
    /// The live feed, or null without --live.
    LiveFeed *liveFeed() const { return m_live.get(); }

private:
    bool fail(QString *error, const QString &text);

    ServeOptions m_options;
    std::unique_ptr<DriverDatabase> m_database;
    std::unique_ptr<DriverService> m_driver;
    std::unique_ptr<UserDirectory> m_users;
    std::unique_ptr<RemoteDirectory> m_remotes;
    std::unique_ptr<RouterServer> m_router;
    std::unique_ptr<LiveFeed> m_live;
    QList<PortSquatter *> m_squatters;
};
