#pragma once

#include <QString>

/// \brief One answer, incoming request or local failure, as the router connection hands it out.
///
/// Keeps the three sections as received and the eleven header fields under their names.
/// ErrorCode 0 is success. Only the connection writes a record (LoadFromMessage for what
/// arrived, SetErrorCode and SetErrorText for its own failures); everyone else reads.
class ResponseData
{
public:
    /// Stores the sections and reads all eleven header fields from \a header.
    void LoadFromMessage(const QString &header, const QString &access, const QString &data);
    void SetErrorCode(qint32 code) { m_errorCode = code; }
    void SetErrorText(const QString &text) { m_errorText = text; }

    const QString &Data() const { return m_data; }
    const QString &Access() const { return m_access; }
    const QString &Header() const { return m_header; }
    const QString &FromClientID() const { return m_fromClientId; }
    const QString &FromClientFunction() const { return m_fromClientFunction; }
    const QString &ToClientID() const { return m_toClientId; }
    const QString &ToClientFunction() const { return m_toClientFunction; }
    qint32 Sequence() const { return m_sequence; }
    const QString &FromRouterName() const { return m_fromRouterName; }
    const QString &FromClientName() const { return m_fromClientName; }
    const QString &FromUser() const { return m_fromUser; }
    qint32 ErrorCode() const { return m_errorCode; }
    /// The stored text, or GetRequestErrorText(ErrorCode()) when that is empty and the code is
    /// not 0 (a peer may send a code alone).
    QString ErrorText() const;
    const QString &CallbackName() const { return m_callbackName; }

private:
    QString m_data;
    QString m_access;
    QString m_header;
    QString m_fromClientId;
    QString m_fromClientFunction;
    QString m_toClientId;
    QString m_toClientFunction;
    qint32 m_sequence = 0;
    QString m_fromRouterName;
    QString m_fromClientName;
    QString m_fromUser;
    qint32 m_errorCode = 0;
    QString m_errorText;
    QString m_callbackName;
};

/// The fixed text of a router, driver or client-library error code; "Unknow Error" for a code
/// that is not known.
QString GetRequestErrorText(qint32 code);
