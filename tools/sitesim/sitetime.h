#pragma once

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringView>

/// \brief A wall-clock time at the site, to the second and without a time zone.
///
/// Units and the driver write times as their clocks show them; keeping them as plain seconds
/// makes generation fast and free of daylight-saving surprises. The text form
/// "yyyy-MM-dd HH:mm:ss" sorts in time order, which is how the driver database stores times.
class SiteTime
{
public:
    SiteTime() = default;
    SiteTime(QDate date, int secondsOfDay);

    static SiteTime fromDateTime(const QDateTime &dateTime);
    /// Reads the text form; an invalid time when \a text is not of that form.
    static SiteTime fromText(QStringView text);

    bool isValid() const { return m_seconds >= 0; }
    QDate date() const;
    int secondsOfDay() const;
    QDateTime toDateTime() const;
    QString toText() const;

    SiteTime addSecs(qint64 seconds) const;
    qint64 secsTo(SiteTime other) const { return other.m_seconds - m_seconds; }

    auto operator<=>(const SiteTime &) const = default;

private:
    explicit SiteTime(qint64 seconds)
        : m_seconds(seconds)
    {
    }

    qint64 m_seconds = -1; // seconds since the start of Julian day 0
};
