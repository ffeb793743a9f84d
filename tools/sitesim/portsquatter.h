#pragma once

#include <QHostAddress>
#include <QObject>
#include <QString>

class QTcpServer;

/// \brief A service that is not a router, holding one port of the router's port walk.
///
/// It accepts connections and answers whatever arrives with a line of nonsense and a message
/// that no router sends (its function is "NOT A ROUTER"), so a client looking for the router
/// knows to try the next port.
class PortSquatter : public QObject
{
    Q_OBJECT

public:
    explicit PortSquatter(QObject *parent = nullptr);

    bool listen(const QHostAddress &address, quint16 port);
    quint16 serverPort() const;
    QString errorString() const;

    /// The bytes sent for every arrival.
    static QByteArray answer();

private:
    void acceptConnections();

    QTcpServer *m_server;
};
