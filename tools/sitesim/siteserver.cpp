#include "siteserver.h"

#include "driverdatabase.h"
#include "driverservice.h"
#include "portsquatter.h"
#include "remotedirectory.h"
#include "userdirectory.h"

SiteServer::SiteServer(const ServeOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
{
    if (m_options.driverId.isEmpty())
        m_options.driverId = DriverService::DefaultId.toString();
    if (m_options.driverName.isEmpty())
        m_options.driverName = DriverService::DefaultName.toString();
}

// The router and the feed go before the driver, the driver's statements before its database.
SiteServer::~SiteServer()
{
    m_live.reset();
    m_router.reset();
    m_driver.reset();
    m_database.reset();
}

bool SiteServer::fail(QString *error, const QString &text)
{
    *error = text;
    m_live.reset();
    m_router.reset();
    qDeleteAll(m_squatters);
    m_squatters.clear();
    m_driver.reset();
    m_database.reset();
    return false;
}

bool SiteServer::start(QString *error)
{
    if (m_options.squatPorts < 0 || m_options.squatPorts >= WalkPorts)
        return fail(
            error, QStringLiteral("The ports to squat must be 0 to %1.").arg(WalkPorts - 1));
    if (m_options.live && m_options.dbPath.isEmpty())
        return fail(error, QStringLiteral("A live site needs a driver database."));

    m_router = std::make_unique<RouterServer>(m_options.router);
    if (!m_options.usersPath.isEmpty()) {
        m_users = std::make_unique<UserDirectory>();
        QString why;
        if (!m_users->load(m_options.usersPath, &why))
            return fail(error, why);
        m_router->setUsers(m_users.get());
    }
    if (!m_options.remotesPath.isEmpty()) {
        m_remotes = std::make_unique<RemoteDirectory>();
        QString why;
        if (!m_remotes->load(m_options.remotesPath, &why))
            return fail(error, why);
        m_router->setRemotes(m_remotes.get());
    }
    m_router->setFaults(m_options.faults);

    if (!m_options.dbPath.isEmpty()) {
        m_database = std::make_unique<DriverDatabase>();
        if (!m_database->open(m_options.dbPath))
            return fail(error, m_database->lastError());
        m_driver = std::make_unique<DriverService>(*m_database);
        if (!m_router->addLocalClient(
                m_driver->localClient(m_options.driverId, m_options.driverName)))
            return fail(error,
                QStringLiteral("The driver ID %1 cannot be used (printable, no colon, not the "
                               "router's).")
                    .arg(m_options.driverId));
    }

    for (int k = 0; k < m_options.squatPorts; ++k) {
        auto *squatter = new PortSquatter(this);
        m_squatters.append(squatter);
        const quint16 port = quint16(FirstWalkPort + WalkStep * k);
        if (!squatter->listen(QHostAddress::LocalHost, port))
            return fail(error,
                QStringLiteral("Cannot squat port %1: %2").arg(port).arg(squatter->errorString()));
    }

    if (m_options.port == ServeOptions::AutoPort) {
        bool listening = false;
        for (int k = m_options.squatPorts; k < WalkPorts && !listening; ++k)
            listening
                = m_router->listen(QHostAddress::LocalHost, quint16(FirstWalkPort + WalkStep * k));
        if (!listening)
            return fail(error,
                QStringLiteral("No port of the walk (%1 to %2) is free.")
                    .arg(FirstWalkPort + WalkStep * m_options.squatPorts)
                    .arg(FirstWalkPort + WalkStep * (WalkPorts - 1)));
    } else if (!m_router->listen(QHostAddress::LocalHost, quint16(m_options.port))) {
        return fail(error,
            QStringLiteral("Cannot listen on port %1: %2")
                .arg(m_options.port)
                .arg(m_router->errorString()));
    }

    if (m_options.live) {
        m_live = std::make_unique<LiveFeed>(*m_database, m_options.liveOptions);
        QString why;
        if (!m_live->start(&why))
            return fail(error, why);
    }
    return true;
}

quint16 SiteServer::port() const
{
    return m_router ? m_router->serverPort() : 0;
}

QList<quint16> SiteServer::squattedPorts() const
{
    QList<quint16> ports;
    for (const PortSquatter *s : m_squatters)
        ports.append(s->serverPort());
    return ports;
}
