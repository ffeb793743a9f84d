#pragma once

#include "router/messagesplitter.h"
#include "router/responsedata.h"

#include <QString>
#include <QTcpSocket>

#include <optional>

/// \brief A bare router client that waits by blocking: for benchmarks and for tests that look at
/// what a router sends byte by byte (faults included).
///
/// It speaks the message format through ServerConnectionHeader and MessageSplitter and has none
/// of the program's connection logic (no port walk, no time-out rules, no waiting window). The
/// router must run in another thread or process.
class RouterProbe
{
public:
    RouterProbe(const QString &clientId, const QString &clientName, qint32 clientType = 2,
        const QString &typeName = QStringLiteral("Probe"));

    bool connectTo(quint16 port, int timeoutMs);
    /// Sends "REGISTER CLIENT" and waits for "ROUTER CONNECT".
    bool registerClient(int timeoutMs);

    /// Sends a request with the sections given; FromClientFunction is \a replyFunction.
    bool send(const QString &toId, const QString &function, const QString &data,
        qint32 sequence = 0, const QString &replyFunction = QStringLiteral("RESPONSE"));
    /// Sends an answer to \a request (a request another client passed through the router).
    bool answer(const ResponseData &request, qint32 errorCode, const QString &errorText,
        const QString &data);
    bool sendBytes(const QByteArray &bytes);

    /// The next complete message; nothing when none came within \a timeoutMs, the connection
    /// closed or the message grew beyond the splitter's limit.
    std::optional<ResponseData> next(int timeoutMs);
    /// send() and next().
    std::optional<ResponseData> request(
        const QString &toId, const QString &function, const QString &data, int timeoutMs);

    /// Waits until the router closes the connection.
    bool waitForClosed(int timeoutMs);

    void close();

    QString clientId() const { return m_clientId; }
    QString routerId() const { return m_routerId; }
    QString routerName() const { return m_routerName; }
    /// Bytes received so far, whether or not they formed messages.
    qint64 bytesReceived() const { return m_bytesReceived; }
    bool isOverflowed() const { return m_splitter.isOverflowed(); }
    bool isConnected() const { return m_socket.state() == QAbstractSocket::ConnectedState; }

private:
    bool write(const QString &message);

    QTcpSocket m_socket;
    MessageSplitter m_splitter;
    QString m_clientId;
    QString m_clientName;
    qint32 m_clientType;
    QString m_typeName;
    QString m_routerId;
    QString m_routerName;
    qint64 m_bytesReceived = 0;
};
