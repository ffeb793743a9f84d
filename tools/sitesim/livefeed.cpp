#include "livefeed.h"

#include "core/clock.h"
#include "eventgenerator.h"

#include <QSqlError>
#include <QSqlQuery>

#include <cmath>

namespace {

constexpr int kDefaultHouses = 6;
constexpr int kMorning = 7 * 3600; // a show day's first events; the one before is over by then

} // namespace

LiveFeed::LiveFeed(DriverDatabase &database, const LiveOptions &options, QObject *parent)
    : QObject(parent)
    , m_database(database)
    , m_options(options)
{
    m_timer.setInterval(TickMs);
    connect(&m_timer, &QTimer::timeout, this, &LiveFeed::tick);
}

bool LiveFeed::start(QString *error)
{
    QSqlQuery q(m_database.connection());
    if (!q.exec(QStringLiteral("SELECT max(uniqueid), max(showid), max(machid), max(eventtime) "
                               "FROM eventlog"))
        || !q.next()) {
        *error = QStringLiteral("Cannot read the event log: ") + q.lastError().text();
        return false;
    }
    m_lastUniqueId = q.value(0).toLongLong();
    m_lastShowId = q.value(1).toInt();
    m_houses = q.value(2).isNull() ? kDefaultHouses : qBound(1, q.value(2).toInt(), 99);
    const SiteTime last = SiteTime::fromText(q.value(3).toString());
    q.finish();
    if (last.isValid()) {
        m_siteStart = last;
        m_day = last.addSecs(-kMorning).date();
    } else {
        const QDate today = Clock::currentDate();
        m_siteStart = SiteTime(today, kMorning);
        m_day = today.addDays(-1);
    }
    m_pending.clear();
    m_next = 0;
    m_siteOffset = 0;
    m_wall.start();
    m_lastWallMs = 0;
    m_timer.start();
    return true;
}

void LiveFeed::stop()
{
    m_timer.stop();
}

SiteTime LiveFeed::siteTime() const
{
    return m_siteStart.addSecs(static_cast<qint64>(m_siteOffset));
}

bool LiveFeed::makeNextDay(QString *error)
{
    GeneratorOptions options;
    options.houses = m_houses;
    options.days = 1;
    options.endDate = m_day.addDays(1);
    options.seed = m_options.seed
        ^ (static_cast<quint64>(options.endDate.toJulianDay()) * 0x9E3779B97F4A7C15ull);
    if (const QString problem = EventGenerator::validate(options); !problem.isEmpty()) {
        *error = problem;
        return false;
    }
    QList<DriverEvent> events;
    EventGenerator generator(options);
    const qint64 firstId = m_lastUniqueId;
    const int firstShow = m_lastShowId;
    int lastShow = firstShow;
    const bool made = generator.generate([&](const DriverEvent &e) {
        DriverEvent out = e;
        out.uniqueId += firstId;
        if (out.showId > 0) {
            out.showId += firstShow;
            lastShow = qMax(lastShow, out.showId);
        }
        events.append(out);
        return true;
    });
    if (!made || events.isEmpty()) {
        *error = QStringLiteral("No events were made for %1: %2")
                     .arg(options.endDate.toString(Qt::ISODate), generator.errorString());
        return false;
    }
    m_day = options.endDate;
    m_pending = events;
    m_next = 0;
    m_lastShowId = lastShow;
    Q_EMIT dayStarted(m_day, int(events.size()));
    return true;
}

void LiveFeed::tick()
{
    const qint64 now = m_wall.elapsed();
    m_siteOffset += static_cast<double>(now - m_lastWallMs) / 1000.0 * m_options.speed;
    m_lastWallMs = now;

    QString error;
    if (m_next >= m_pending.size() && !makeNextDay(&error)) {
        stop();
        Q_EMIT failed(error);
        return;
    }
    // Skip a quiet stretch: the next event comes within the longest pause.
    const double maxGap = m_options.speed * MaxPauseMs / 1000.0;
    const double gap = static_cast<double>(siteTime().secsTo(m_pending[m_next].eventTime));
    if (gap > maxGap)
        m_siteOffset += gap - maxGap;

    const SiteTime site = siteTime();
    qsizetype end = m_next;
    while (end < m_pending.size() && m_pending[end].eventTime <= site)
        ++end;
    if (end == m_next)
        return;
    const QList<DriverEvent> due = m_pending.mid(m_next, end - m_next);
    if (!m_database.appendEvents(due)) {
        stop();
        Q_EMIT failed(m_database.lastError());
        return;
    }
    m_next = end;
    m_lastUniqueId = due.constLast().uniqueId;
    Q_EMIT eventsAppended(int(due.size()), m_lastUniqueId);
}
