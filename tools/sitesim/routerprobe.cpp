#include "routerprobe.h"

#include "router/serverconnectionheader.h"

#include <QDeadlineTimer>

using namespace ServerConnectionHeader;

RouterProbe::RouterProbe(
    const QString &clientId, const QString &clientName, qint32 clientType, const QString &typeName)
    : m_clientId(clientId)
    , m_clientName(clientName)
    , m_clientType(clientType)
    , m_typeName(typeName)
{
}

bool RouterProbe::connectTo(quint16 port, int timeoutMs)
{
    m_splitter.clear();
    m_bytesReceived = 0;
    m_socket.connectToHost(QHostAddress::LocalHost, port);
    return m_socket.waitForConnected(timeoutMs);
}

bool RouterProbe::registerClient(int timeoutMs)
{
    const SenderIdentity from { m_clientId, QString(), m_clientName, QString() };
    const QString message
        = BuildHeader(from, QStringLiteral("LOCAL"), QStringLiteral("REGISTER CLIENT"),
              QStringLiteral("ROUTER CONNECT"), 0, 0, QString(), QString())
        % DataBegin % QLatin1Char(' ') % QString::number(m_clientType) % ItemToken % m_typeName
        % ItemToken % RecordToken % DataEnd % MessageEnd;
    if (!write(message))
        return false;
    const std::optional<ResponseData> answer = next(timeoutMs);
    if (!answer || answer->ToClientFunction() != QStringLiteral("ROUTER CONNECT")
        || answer->ErrorCode() != 0)
        return false;
    m_routerId = GetItem(answer->Data(), 1);
    m_routerName = GetItem(answer->Data(), 2);
    return true;
}

bool RouterProbe::send(const QString &toId, const QString &function, const QString &data,
    qint32 sequence, const QString &replyFunction)
{
    const SenderIdentity from { m_clientId, m_routerName, m_clientName, QString() };
    return write(BuildHeader(from, toId, function, replyFunction, sequence, 0, QString(), QString())
        % AccessBegin % AccessEnd % DataBegin % data % DataEnd % MessageEnd);
}

bool RouterProbe::answer(
    const ResponseData &request, qint32 errorCode, const QString &errorText, const QString &data)
{
    const SenderIdentity from { m_clientId, m_routerName, m_clientName, QString() };
    return write(BuildHeader(from, request.FromClientID(), request.FromClientFunction(),
                     QStringLiteral("NONE"), request.Sequence(), errorCode, errorText,
                     request.CallbackName())
        % DataBegin % data % DataEnd % MessageEnd);
}

bool RouterProbe::sendBytes(const QByteArray &bytes)
{
    if (m_socket.state() != QAbstractSocket::ConnectedState)
        return false;
    m_socket.write(bytes);
    return m_socket.waitForBytesWritten(5000) || m_socket.bytesToWrite() == 0;
}

std::optional<ResponseData> RouterProbe::next(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    QString message;
    for (;;) {
        switch (m_splitter.next(&message)) {
        case MessageSplitter::Result::Message: {
            ResponseData m;
            m.LoadFromMessage(GetSection(message, Section::Header),
                GetSection(message, Section::Access), GetSection(message, Section::Data));
            return m;
        }
        case MessageSplitter::Result::Overflow:
            return std::nullopt;
        case MessageSplitter::Result::Incomplete:
            break;
        }
        if (m_socket.bytesAvailable() == 0
            && (m_socket.state() != QAbstractSocket::ConnectedState || deadline.hasExpired()
                || !m_socket.waitForReadyRead(int(deadline.remainingTime()))))
            return std::nullopt;
        const QByteArray bytes = m_socket.readAll();
        m_bytesReceived += bytes.size();
        m_splitter.append(bytes);
    }
}

std::optional<ResponseData> RouterProbe::request(
    const QString &toId, const QString &function, const QString &data, int timeoutMs)
{
    if (!send(toId, function, data))
        return std::nullopt;
    return next(timeoutMs);
}

bool RouterProbe::waitForClosed(int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (m_socket.state() == QAbstractSocket::ConnectedState) {
        if (deadline.hasExpired())
            return false;
        // Reading keeps the socket's state current; what arrives now is of no interest.
        if (m_socket.waitForReadyRead(int(deadline.remainingTime())))
            m_bytesReceived += m_socket.readAll().size();
    }
    return true;
}

void RouterProbe::close()
{
    m_socket.abort();
}

bool RouterProbe::write(const QString &message)
{
    return sendBytes(toWire(message));
}
