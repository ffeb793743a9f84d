#pragma once

#include <QList>
#include <QString>

/// A router elsewhere on the site's network, as the location server knows it.
struct RemoteRouter
{
    QString id;
    QString name;
};

/// A client of a router elsewhere on the network.
struct RemoteClient
{
    QString routerId;
    QString id;
    QString name;
    qint32 type = 0;
};

/// \brief What the location server knows of the rest of the network: routers and their clients.
///
/// A remotes file has one entry a line, fields separated by tabs:
///
///     router  <router ID>  <router name>
///     client  <router ID>  <client ID>  <client name>  <client type>
///
/// Blank lines and lines starting with "#" are skipped.
class RemoteDirectory
{
public:
    /// Reads a remotes file; on failure the text names the line and nothing is changed.
    bool load(const QString &path, QString *error);

    const QList<RemoteRouter> &routers() const { return m_routers; }
    const QList<RemoteClient> &clients() const { return m_clients; }

private:
    QList<RemoteRouter> m_routers;
    QList<RemoteClient> m_clients;
};
