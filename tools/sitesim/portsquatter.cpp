#include "portsquatter.h"

#include "router/serverconnectionheader.h"

#include <QTcpServer>
#include <QTcpSocket>

PortSquatter::PortSquatter(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, &PortSquatter::acceptConnections);
}

bool PortSquatter::listen(const QHostAddress &address, quint16 port)
{
    return m_server->listen(address, port);
}

quint16 PortSquatter::serverPort() const
{
    return m_server->serverPort();
}

QString PortSquatter::errorString() const
{
    return m_server->errorString();
}

QByteArray PortSquatter::answer()
{
    using namespace ServerConnectionHeader;
    const SenderIdentity from { QStringLiteral("SQUATTER"), QString(), QStringLiteral("squatter"),
        QString() };
    const QString message = QStringLiteral("220 sitesim squatter ready, no router here\r\n")
        + BuildHeader(from, QStringLiteral("ANYONE"), QStringLiteral("NOT A ROUTER"),
            QStringLiteral("NONE"), 0, 1, QStringLiteral("This port is not a router"), QString())
        + DataBegin + DataEnd + MessageEnd;
    return toWire(message);
}

void PortSquatter::acceptConnections()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        connect(socket, &QTcpSocket::readyRead, socket, [socket] {
            socket->readAll();
            socket->write(answer());
        });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}
