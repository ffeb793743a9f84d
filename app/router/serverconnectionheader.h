#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>

/// \brief The router's text message format: marker tokens, headers, sections, items and records.
///
/// A message is header, access and data sections, each between its begin and end tokens,
/// followed by the message end token. Nothing is escaped: values must not contain a token (and
/// header values no colon), which isWireSafe() and isHeaderSafe() check before sending.
/// Messages travel as Latin-1: one character per byte, every byte value kept.
namespace ServerConnectionHeader {

inline constexpr QLatin1StringView HeadBegin { "\rBEGINHEAD\r" };
inline constexpr QLatin1StringView HeadEnd { "\rENDHEAD\r" };
inline constexpr QLatin1StringView AccessBegin { "\rBEGINACCESS\r" };
inline constexpr QLatin1StringView AccessEnd { "\rENDACCESS\r" };
inline constexpr QLatin1StringView DataBegin { "\rBEGINDATA\r" };
inline constexpr QLatin1StringView DataEnd { "\rENDDATA\r" };
inline constexpr QLatin1StringView MessageEnd { "\rEND\r" };
inline constexpr QLatin1StringView ItemToken { "\rITEM\r" };
inline constexpr QLatin1StringView RecordToken { "\rRECORD\r" };

/// Section numbers for GetSection().
namespace Section {
enum : int { Header = 1, Access = 2, Data = 3 };
}

/// Logical header field numbers for GetHeaderField(), in the order of the response record.
namespace Field {
enum : int {
    FromClientID = 1,
    FromClientFunction,
    ToClientID,
    ToClientFunction,
    Sequence,
    FromRouterName,
    FromClientName,
    FromUser,
    ErrorCode,
    ErrorText,
    CallbackName
};
}

/// Who sends: the connection's own client ID, router name, client name and logged-on user.
struct SenderIdentity
{
    QString clientId;
    QString routerName;
    QString clientName;
    QString userName;
};

/// The complete header section, head begin and head end tokens included.
QString BuildHeader(const SenderIdentity &from, const QString &toClientId,
    const QString &toClientFunction, const QString &fromClientFunction, qint32 sequence,
    qint32 errorCode, const QString &errorText, const QString &callbackName);

/// The text of section 1 (header), 2 (access) or 3 (data) of a message; empty when missing.
QString GetSection(QStringView message, int section);

/// Header field by logical number 1 to 11 (see Field); fields 1 to 5 and 9 come back upper-cased.
/// Empty for another number, a missing field or an empty value.
QString GetHeaderField(QStringView header, int field);

/// The n-th (1-based) value terminated by \a separator; empty when there is none.
QString GetField(QStringView text, QLatin1StringView separator, int n);
QString GetItem(QStringView text, int n);
QString GetRecord(QStringView text, int n);

/// Every value of the text that is terminated by \a separator, in order; text after the last
/// separator is not a value. Same reading as GetField() for n = 1, 2, ... in one pass.
QList<QStringView> splitFields(QStringView text, QLatin1StringView separator);

/// Bytes received from the router as text: one character per byte.
QString fromWire(QByteArrayView bytes);

/// Text as bytes for the router. \a ok (when given) is false if a character has no Latin-1
/// byte; such characters are sent as '?'.
QByteArray toWire(QStringView text, bool *ok = nullptr);

/// True when the value can travel inside a section: Latin-1 only and no CR, so it can neither
/// form nor complete a marker token.
bool isWireSafe(QStringView value);

/// isWireSafe() and no colon, which would shift every later header field.
bool isHeaderSafe(QStringView value);

} // namespace ServerConnectionHeader
