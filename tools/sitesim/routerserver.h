#pragma once

#include "localclient.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <memory>

class QTcpServer;
class RemoteDirectory;
class ResponseData;
class UserDirectory;

/// Who the router is on the network.
struct RouterIdentity
{
    QString id = QStringLiteral("1"); // upper case, as header readers give IDs
    QString name = QStringLiteral("SITEROUTER");
};

/// \brief Switches that make the answers of the router's built-in clients go wrong, for tests.
///
/// They act on the answers of clients inside the router (the built-in driver) only: the
/// router's own answers (registration, log-on, lists) stay sound, so a client can connect and
/// log on before it meets the fault. At most one of neverAnswer, garbage and endless is set.
struct FaultOptions
{
    int delayMs = 0; // each answer goes out this much later
    bool neverAnswer = false; // requests are swallowed
    bool wrongSequence = false; // answers carry the request's sequence + 1
    int dropAfter = -1; // a connection is closed instead of its answer dropAfter + 1; -1 never
    bool garbage = false; // bytes that form no message, then the message end token
    bool endless = false; // a message that never ends: data streams until the client hangs up
};

/// \brief The site's router: registers clients, logs users on, lists clients and routers, and
/// passes requests and answers between clients.
///
/// Single-threaded and event-driven. Clients that live in the process (the built-in driver)
/// are added with addLocalClient(); clients that connect over TCP register with "REGISTER
/// CLIENT" under the ID in their header. A request addressed to another client is passed on
/// unchanged and its answer comes back the same way; a request to an ID nobody holds is
/// answered with 102. When a client goes away with requests it has not answered, each
/// requester gets 101. A registration under an ID that another connection holds takes the ID
/// over and closes the older connection (a program that restarted before the router noticed).
class RouterServer : public QObject
{
    Q_OBJECT

public:
    explicit RouterServer(const RouterIdentity &identity, QObject *parent = nullptr);
    ~RouterServer() override;

    /// The users who may log on; without a call the default directory ("admin"/"admin").
    /// Not owned; must outlive the router.
    void setUsers(UserDirectory *users);
    /// The location server's view of the network; null (the default) means there is no
    /// location server and requests to "REMOTE" get 102. Not owned.
    void setRemotes(const RemoteDirectory *remotes);
    void setFaults(const FaultOptions &faults);
    /// False when the ID is taken or not usable.
    bool addLocalClient(const LocalClient &client);

    bool listen(const QHostAddress &address, quint16 port);
    quint16 serverPort() const;
    QString errorString() const;

    const RouterIdentity &identity() const { return m_identity; }
    /// Open TCP connections, registered or not.
    int connectionCount() const { return int(m_peers.size()); }

Q_SIGNALS:
    void clientRegistered(const QString &id, const QString &name, qint32 type);
    void clientLeft(const QString &id, const QString &name);

private:
    class Peer;
    struct Pending;

    void acceptConnections();
    void readFrom(Peer *peer);
    void forget(Peer *peer);
    void drop(Peer *peer);
    void handle(Peer *peer, const QString &message);
    void registerClient(Peer *peer, const ResponseData &m);
    void handleLocal(Peer *peer, const ResponseData &m);
    void handleRemote(Peer *peer, const ResponseData &m);
    void answerFromLocal(Peer *peer, const ResponseData &m, const LocalClient &client);
    void forward(Peer *from, Peer *to, const ResponseData &m, const QString &message);
    void routeAnswer(Peer *from, const ResponseData &m, const QString &message);
    void reply(Peer *peer, const ResponseData &m, qint32 code, const QString &text,
        const QString &data = QString());
    void sendRouterAnswer(Peer *peer, const QString &toId, const QString &function, qint32 sequence,
        qint32 code, const QString &text, const QString &callback, const QString &data);
    void startEndless(Peer *peer);
    Peer *findPeer(const QString &id) const;
    const LocalClient *findLocal(const QString &id) const;
    QString clientRecords(bool withRouterId, const QString &typeFilter) const;

    RouterIdentity m_identity;
    QTcpServer *m_server;
    std::unique_ptr<UserDirectory> m_defaultUsers;
    UserDirectory *m_users;
    const RemoteDirectory *m_remotes = nullptr;
    FaultOptions m_faults;
    QList<LocalClient> m_locals;
    QList<Peer *> m_peers; // in the order they connected
};
