#include "sitetime.h"

namespace {
constexpr qint64 kDay = 86400;

int digits(QStringView text, int from, int count)
{
    int value = 0;
    for (int i = from; i < from + count; ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return -1;
        value = value * 10 + (c - u'0');
    }
    return value;
}

void putDigits(char *out, int value, int count)
{
    for (int i = count - 1; i >= 0; --i) {
        out[i] = static_cast<char>('0' + value % 10);
        value /= 10;
    }
}
} // namespace

SiteTime::SiteTime(QDate date, int secondsOfDay)
{
    // Four-digit years only: the text form has no room for more.
    if (date.isValid() && date.year() >= 1 && date.year() <= 9999 && secondsOfDay >= 0
        && secondsOfDay < kDay)
        m_seconds = date.toJulianDay() * kDay + secondsOfDay;
}

SiteTime SiteTime::fromDateTime(const QDateTime &dateTime)
{
    if (!dateTime.isValid())
        return SiteTime();
    return SiteTime(dateTime.date(), dateTime.time().msecsSinceStartOfDay() / 1000);
}

SiteTime SiteTime::fromText(QStringView text)
{
    if (text.size() != 19 || text[4] != u'-' || text[7] != u'-' || text[10] != u' '
        || text[13] != u':' || text[16] != u':')
        return SiteTime();
    const QDate date(digits(text, 0, 4), digits(text, 5, 2), digits(text, 8, 2));
    const QTime time(digits(text, 11, 2), digits(text, 14, 2), digits(text, 17, 2));
    if (!date.isValid() || !time.isValid())
        return SiteTime();
    return SiteTime(date, time.msecsSinceStartOfDay() / 1000);
}

QDate SiteTime::date() const
{
    return isValid() ? QDate::fromJulianDay(m_seconds / kDay) : QDate();
}

int SiteTime::secondsOfDay() const
{
    return isValid() ? static_cast<int>(m_seconds % kDay) : -1;
}

QDateTime SiteTime::toDateTime() const
{
    if (!isValid())
        return QDateTime();
    return QDateTime(date(), QTime::fromMSecsSinceStartOfDay(secondsOfDay() * 1000));
}

QString SiteTime::toText() const
{
    if (!isValid())
        return QString();
    int y = 0, m = 0, d = 0;
    date().getDate(&y, &m, &d);
    const int s = secondsOfDay();
    char out[19] = { 0, 0, 0, 0, '-', 0, 0, '-', 0, 0, ' ', 0, 0, ':', 0, 0, ':', 0, 0 };
    putDigits(out, y, 4);
    putDigits(out + 5, m, 2);
    putDigits(out + 8, d, 2);
    putDigits(out + 11, s / 3600, 2);
    putDigits(out + 14, s / 60 % 60, 2);
    putDigits(out + 17, s % 60, 2);
    return QString::fromLatin1(out, sizeof out);
}

SiteTime SiteTime::addSecs(qint64 seconds) const
{
    if (!isValid() || m_seconds + seconds < 0)
        return SiteTime();
    return SiteTime(m_seconds + seconds);
}
