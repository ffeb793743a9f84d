#include "router/serverconnectionheader.h"

#include <algorithm>
#include <iterator>

namespace {

struct HeaderFieldPlace
{
    int wirePosition;
    bool upperCased;
};

// Logical field number (index + 1) to its place on the wire.
constexpr HeaderFieldPlace kHeaderFields[] = {
    { 3, true },
    { 4, true },
    { 1, true },
    { 2, true },
    { 5, true },
    { 6, false },
    { 7, false },
    { 8, false },
    { 9, true },
    { 10, false },
    { 11, false },
};

// Upper-cases within Latin-1 only, so that the value still travels as one byte per character
// (QString::toUpper would turn 'ÿ' into U+0178 and 'ß' into "SS").
QString upperLatin1(QStringView text)
{
    QString result = text.toString();
    for (QChar &c : result) {
        const char16_t u = c.unicode();
        if ((u >= u'a' && u <= u'z') || (u >= 0xE0 && u <= 0xFE && u != 0xF7))
            c = QChar(char16_t(u - 0x20));
    }
    return result;
}

} // namespace

namespace ServerConnectionHeader {

QString BuildHeader(const SenderIdentity &from, const QString &toClientId,
    const QString &toClientFunction, const QString &fromClientFunction, qint32 sequence,
    qint32 errorCode, const QString &errorText, const QString &callbackName)
{
    const QString sequenceText
        = sequence >= 0 ? QLatin1Char(' ') + QString::number(sequence) : QString::number(sequence);
    const QLatin1Char colon(':');
    return HeadBegin % toClientId % colon % toClientFunction % colon % from.clientId % colon
        % fromClientFunction % colon % sequenceText % colon % from.routerName % colon
        % from.clientName % colon % from.userName % colon % QString::number(errorCode) % colon
        % errorText % colon % callbackName % colon % HeadEnd;
}

QString GetSection(QStringView message, int section)
{
    QLatin1StringView begin;
    QLatin1StringView end;
    switch (section) {
    case Section::Header:
        begin = HeadBegin;
        end = HeadEnd;
        break;
    case Section::Access:
        begin = AccessBegin;
        end = AccessEnd;
        break;
    case Section::Data:
        begin = DataBegin;
        end = DataEnd;
        break;
    default:
        return {};
    }

    const qsizetype beginAt = message.indexOf(begin);
    if (beginAt < 0)
        return {};
    // The first end token must follow the whole begin token; tokens may share their CR.
    const qsizetype contentAt = beginAt + begin.size();
    const qsizetype endAt = message.indexOf(end);
    if (endAt < contentAt)
        return {};

    QStringView content = message.mid(contentAt, endAt - contentAt);
    // A begin token repeated inside the section restarts it.
    for (qsizetype inner = content.indexOf(begin); inner >= 0; inner = content.indexOf(begin))
        content = content.mid(inner + begin.size());
    return content.toString();
}

QString GetHeaderField(QStringView header, int field)
{
    if (field < 1 || field > int(std::size(kHeaderFields)))
        return {};
    const HeaderFieldPlace place = kHeaderFields[field - 1];

    qsizetype start = 0;
    for (int colon = 1; colon < place.wirePosition; ++colon) {
        const qsizetype at = header.indexOf(u':', start);
        if (at < 0)
            return {};
        start = at + 1;
    }
    const qsizetype stop = header.indexOf(u':', start);
    if (stop <= start)
        return {};
    const QStringView value = header.mid(start, stop - start);
    return place.upperCased ? upperLatin1(value) : value.toString();
}

QString GetField(QStringView text, QLatin1StringView separator, int n)
{
    if (n < 1)
        return {};
    qsizetype start = 0;
    for (int i = 1; i < n; ++i) {
        const qsizetype at = text.indexOf(separator, start);
        if (at < 0)
            return {};
        start = at + separator.size();
    }
    const qsizetype stop = text.indexOf(separator, start);
    if (stop <= start)
        return {};
    return text.mid(start, stop - start).toString();
}

QString GetItem(QStringView text, int n)
{
    return GetField(text, ItemToken, n);
}

QString GetRecord(QStringView text, int n)
{
    return GetField(text, RecordToken, n);
}

QList<QStringView> splitFields(QStringView text, QLatin1StringView separator)
{
    QList<QStringView> values;
    qsizetype start = 0;
    for (qsizetype at = text.indexOf(separator); at >= 0; at = text.indexOf(separator, start)) {
        values.append(text.mid(start, at - start));
        start = at + separator.size();
    }
    return values;
}

QString fromWire(QByteArrayView bytes)
{
    return QString::fromLatin1(bytes);
}

QByteArray toWire(QStringView text, bool *ok)
{
    if (ok)
        *ok = std::all_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0xFF; });
    return text.toLatin1();
}

bool isWireSafe(QStringView value)
{
    return std::all_of(
        value.begin(), value.end(), [](QChar c) { return c.unicode() <= 0xFF && c != u'\r'; });
}

bool isHeaderSafe(QStringView value)
{
    return isWireSafe(value) && !value.contains(u':');
}

} // namespace ServerConnectionHeader
