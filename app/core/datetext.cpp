#include "core/datetext.h"

namespace DateText {

QDateTime zeroDate()
{
    static const QDateTime zero(QDate(1899, 12, 30), QTime(0, 0, 0));
    return zero;
}

QString toText(const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        return {};
    const QDate d = dateTime.date();
    const QTime t = dateTime.time();
    if (d.year() < 0 || d.year() > 9999)
        return QString::asprintf("%04d-%02d-%02d %02d:%02d:%02d", d.year(), d.month(), d.day(),
            t.hour(), t.minute(), t.second());
    // Written digit by digit: this runs for every date stored.
    char16_t text[19] = { u'0', u'0', u'0', u'0', u'-', u'0', u'0', u'-', u'0', u'0', u' ', u'0',
        u'0', u':', u'0', u'0', u':', u'0', u'0' };
    const auto put = [&text](int at, int length, int value) {
        for (int i = at + length - 1; i >= at; --i, value /= 10)
            text[i] = char16_t(u'0' + value % 10);
    };
    put(0, 4, d.year());
    put(5, 2, d.month());
    put(8, 2, d.day());
    put(11, 2, t.hour());
    put(14, 2, t.minute());
    put(17, 2, t.second());
    return QString(reinterpret_cast<const QChar *>(text), 19);
}

QDateTime fromText(const QString &text)
{
    // Read by hand: this runs for every date of every row the database hands out, and the
    // generic format parser costs tens of microseconds a call.
    const QString t = text.trimmed();
    if (t.size() != 19 || t[4] != u'-' || t[7] != u'-' || t[10] != u' ' || t[13] != u':'
        || t[16] != u':')
        return {};
    const auto number = [&t](int from, int length) {
        int value = 0;
        for (int i = from; i < from + length; ++i) {
            const char16_t c = t[i].unicode();
            if (c < u'0' || c > u'9')
                return -1;
            value = value * 10 + (c - u'0');
        }
        return value;
    };
    const QDate date(number(0, 4), number(5, 2), number(8, 2));
    const QTime time(number(11, 2), number(14, 2), number(17, 2));
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time);
}

} // namespace DateText
