#pragma once

#include "router/messagesplitter.h"
#include "router/responsedata.h"
#include "router/serverconnectionheader.h"
#include "router/tcpiprecordset.h"

#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <functional>
#include <optional>

class QEventLoop;
class QTcpSocket;

/// \brief The program's one client of the Halden router: finds the router's port, registers,
/// logs a user on and sends requests to other router clients, one synchronous request at a time.
///
/// Everything runs on the thread that owns the object. Synchronous requests wait in a nested
/// event loop, so signals of this object and of every other may be delivered during a call;
/// the object may even be closed or destroyed meanwhile, which ends the wait.
class ServerConnection : public QObject
{
    Q_OBJECT

public:
    /// The small window a late request shows, provided by the user interface. Without one a
    /// request that gets no answer in time simply times out.
    class WaitingWindow
    {
    public:
        virtual ~WaitingWindow();
        /// Shows \a message without blocking. The window calls \a cancel when the user presses
        /// Cancel, and then hides itself.
        virtual void show(const QString &message, std::function<void()> cancel) = 0;
        /// Closes the window: the request has ended.
        virtual void close() = 0;
    };

    enum State : qint32 { Closed = 0, Connecting = 1, Established = 2 };

    /// The router listens on one of these ports: 2357, 2364, ... 2427.
    static constexpr int FirstPort = 2357;
    static constexpr int PortStep = 7;
    static constexpr int LastPort = 2427;

    static constexpr std::chrono::milliseconds DefaultConnectionTimeout { 15000 };
    static constexpr std::chrono::milliseconds DefaultRequestTimeout { 5000 };

    /// Local failure codes of requests (router and driver codes keep their own numbering).
    static constexpr qint32 ErrorBusy = 1;
    static constexpr qint32 ErrorTimeout = 2;
    static constexpr qint32 ErrorInvalidClientId = 5;
    static constexpr qint32 ErrorNotConnected = 6;
    /// A value the message format cannot carry: outside Latin-1, a CR or colon in a header
    /// field, or text that would read as a marker token.
    static constexpr qint32 ErrorInvalidParameters = -4;

    /// \a programFolder holds the client ID file.
    explicit ServerConnection(const QString &programFolder, QObject *parent = nullptr);
    ~ServerConnection() override;

    /// Path of the client ID file: "ShowpulseSock.dat" in the program folder.
    QString clientIdFilePath() const;

    void SetType(qint32 type, const QString &typeName);
    void ClearObjects();
    void AddObject(const QString &name, qint32 value);

    bool Connected() const { return m_state == Established; }

    /// Starts connecting to the router on \a host; progress and outcome arrive as
    /// ConnectionEvent. False when no client type is set, a name cannot travel in a message, or
    /// \a host is empty. An empty host closes any attempt under way (the connecting window's
    /// Cancel).
    bool Connect(const QString &host, const QString &clientName);

    /// Logs \a userName on; on success the user ID and the access list are kept.
    ResponseData RegisterUser(const QString &userName, const QString &password);
    /// Changes the logged-on user's password; true when the router agreed.
    bool ChangePassword(const QString &newPassword);

    qint32 GetLastErrorCode() const { return m_lastErrorCode; }
    QString GetLastErrorDescription() const { return m_lastErrorDescription; }
    qint32 GetState() const { return m_state; }
    QString GetClientID() const { return m_clientId; }
    QString GetServerName() const { return m_routerName; }
    QString GetClientName() const { return m_clientName; }
    QString GetUserName() const { return m_userName; }
    qint32 GetUserID() const { return m_userId; }
    QString RouterID() const { return m_routerId; }
    qint32 GetClientType() const { return m_clientType; }

    /// True when a record of \a accessList ("SELF CHECK": the logged-on user's own list) grants
    /// at least one of \a requiredBits to this client; "-1" in any item means any.
    bool CheckUserAccess(const QString &accessList, qint32 requiredBits) const;

    /// Says goodbye to the router and closes; a request waiting for its answer ends at once.
    void CloseConnection();

    void SetUserAccessSpecial(const QString &accessList) { m_userAccess = accessList; }

    /// Sends a request and waits for its answer; the result's ErrorCode and ErrorText tell the
    /// outcome (ErrorBusy while another request waits, ErrorTimeout, ErrorInvalidClientId,
    /// ErrorNotConnected, ErrorInvalidParameters or the answer's own code). \a data is a data
    /// section of items and records.
    ResponseData SendRequest(
        const QString &toClientId, const QString &toClientFunction, const QString &data);
    /// Sends a request whose answer arrives later as AsyncResponse; true when it was handed to
    /// the connected socket.
    bool SendRequestAsync(const QString &toClientId, const QString &toClientFunction,
        const QString &callbackName, qint32 sequence, const QString &data);
    /// Sends \a header (a complete header section, see senderIdentity()) with \a data; true when
    /// it was handed to the connected socket.
    bool SendAnswer(const QString &header, const QString &data);

    /// Runs \a sql at \a toClientId; nothing on failure (see GetLastErrorCode()).
    std::optional<TCPIPRecordSet> GetRecordset(const QString &toClientId, const QString &sql);
    /// Sends the rows of \a recordset for \a tableName; the answer's recordset, or nothing.
    std::optional<TCPIPRecordSet> SaveRecordset(const QString &toClientId, const QString &tableName,
        const TCPIPRecordSet &recordset, bool flag);
    /// Runs \a statements at \a toClientId; false on failure (see GetLastErrorCode()).
    bool ExecuteSQL(const QString &toClientId, const QStringList &statements);

    /// Who this client is in headers it sends: for ServerConnectionHeader::BuildHeader().
    ServerConnectionHeader::SenderIdentity senderIdentity() const;

    /// The window shown while a late answer is awaited (not owned; nullptr for none). It must
    /// outlive this object or be removed first.
    void setWaitingWindow(WaitingWindow *window) { m_waitingWindow = window; }

    std::chrono::milliseconds requestTimeout() const { return m_requestTimeout; }
    void setRequestTimeout(std::chrono::milliseconds timeout) { m_requestTimeout = timeout; }
    std::chrono::milliseconds connectionTimeout() const;
    void setConnectionTimeout(std::chrono::milliseconds timeout);

Q_SIGNALS:
    /// A request from another client arrived (any function but "RESPONSE"/"ASYNC RESPONSE").
    void Request(const ResponseData &request);
    /// Codes: 2 connection lost, 3 connected, 4 router not found, 5 host not found, 6 trying
    /// the next port, 7 other failure or connect time-out, 8 bytes arrived, 9 bytes left to send.
    void ConnectionEvent(int code, const QString &text);
    /// The answer to a SendRequestAsync() arrived.
    void AsyncResponse(const ResponseData &response);

private:
    enum class WaitOutcome { Response, ErrorAnswer, TimedOut, ConnectionGone, Destroyed };

    // Sends a request whose answer is a recordset; \a fits false refuses it unsent.
    std::optional<TCPIPRecordSet> recordsetRequest(
        const QString &toClientId, const QString &function, const QString &data, bool fits);
    void loadClientId(const QString &clientName);
    void openSocket(int port);
    void dropSocket();
    void moveToNextPort(bool announce);
    void onSocketConnected();
    void onSocketError();
    void onSocketDisconnected();
    void onReadyRead();
    void onBytesWritten();
    void onConnectionTimeout();
    void loseConnection(const QString &text);
    // Returns false when this object was destroyed or the connection changed meanwhile.
    bool dispatch(const QString &message);
    void handleResponse(const QString &header, const QString &access, const QString &data);
    ResponseData exchange(
        const QString &toClientId, const QString &toClientFunction, const QString &data);
    WaitOutcome waitForAnswer();
    void endWait();
    void abandonWait(const QString &reason);
    bool write(const QString &message);
    // Every field of a header with these values and this client's identity can travel.
    bool headerFits(const QString &toClientId, const QString &toClientFunction,
        const QString &callbackName) const;

    QString m_programFolder;
    qint32 m_clientType = 0;
    QString m_clientTypeName;
    QList<QPair<QString, qint32>> m_objects;
    qint32 m_state = Closed;
    QString m_host;
    QString m_clientName;
    QString m_clientId;
    QString m_routerId;
    QString m_routerName;
    QString m_userName;
    qint32 m_userId = 0;
    QString m_userAccess;
    bool m_busy = false;
    // Written into synchronous requests; moves on when a request is abandoned, so that its late
    // answer cannot pass for the answer to the next one.
    qint32 m_sequence = 0;
    qint32 m_lastErrorCode = 0;
    QString m_lastErrorDescription;
    std::chrono::milliseconds m_requestTimeout = DefaultRequestTimeout;

    QString m_responseHeader;
    QString m_responseAccess;
    QString m_responseData;
    bool m_waiting = false;
    bool m_responseArrived = false;
    bool m_errorArrived = false;
    bool m_connectionGone = false;
    QString m_connectionGoneText;
    QEventLoop *m_waitLoop = nullptr;
    WaitingWindow *m_waitingWindow = nullptr;
    bool m_windowOpen = false;
    // Tells a Cancel of an earlier waiting window from one of the current wait.
    quint64 m_waitSerial = 0;

    QTcpSocket *m_socket = nullptr;
    bool m_socketConnected = false;
    int m_port = FirstPort;
    // Changes whenever the socket is dropped; work begun for an older socket stops.
    quint64 m_attempt = 0;
    QTimer m_connectionTimeout;
    MessageSplitter m_splitter;
};
