#include "messagetext.h"

#include "router/serverconnectionheader.h"

#include <array>

namespace MessageText {

bool fitsItem(QStringView value)
{
    using namespace ServerConnectionHeader;
    if (!value.contains(u'\r'))
        return true;
    static const std::array<QLatin1StringView, 9> tokens = { HeadBegin, HeadEnd, AccessBegin,
        AccessEnd, DataBegin, DataEnd, MessageEnd, ItemToken, RecordToken };
    // The token before the value ends with CR, the item token follows it: a token starting
    // anywhere from that CR to the value's last character would be read in its place.
    const QString framed = QLatin1Char('\r') + value + ItemToken;
    for (QLatin1StringView token : tokens) {
        const qsizetype at = framed.indexOf(token);
        if (at >= 0 && at <= value.size())
            return false;
    }
    return true;
}

QString headerText(QStringView value)
{
    QString text = value.toString();
    for (QChar &c : text) {
        if (c == u'\r' || c == u'\n')
            c = u' ';
        else if (c == u':')
            c = u';';
    }
    return text;
}

bool isId(QStringView value)
{
    if (value.trimmed().isEmpty())
        return false;
    for (QChar c : value)
        if (c.unicode() < 0x20 || c.unicode() > 0x7E || c == u':')
            return false;
    return true;
}

QString number(qint64 value)
{
    return value >= 0 ? QLatin1Char(' ') + QString::number(value) : QString::number(value);
}

} // namespace MessageText
