#include "core/waittimer.h"

#include <QEventLoop>

#include <algorithm>

namespace {
// QTimer counts in int milliseconds; longer waits re-arm until the deadline is reached.
constexpr qint64 kLongestTimerMs = 3600 * 1000;
} // namespace

WaitTimer::WaitTimer(QObject *parent)
    : QObject(parent)
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &WaitTimer::onTimeout);
}

WaitTimer::~WaitTimer()
{
    if (m_destroyed)
        *m_destroyed = true;
    if (m_loop)
        m_loop->quit();
}

bool WaitTimer::Wait(int Seconds)
{
    if (m_loop)
        return false;
    m_seconds = Seconds;
    m_success = false;
    m_userParam = 0;
    RestartTimer();

    QEventLoop loop;
    bool destroyed = false;
    m_loop = &loop;
    m_destroyed = &destroyed;
    // Events already pending run before the deadline is first looked at.
    loop.processEvents(QEventLoop::AllEvents);
    if (destroyed)
        return false;
    if (!m_success && !m_deadline.hasExpired()) {
        armTimer();
        loop.exec();
        if (destroyed)
            return false;
    }
    m_timer.stop();
    m_loop = nullptr;
    m_destroyed = nullptr;
    return m_success;
}

void WaitTimer::EndSuccess(int value)
{
    m_userParam = value;
    m_success = true;
    finish();
}

void WaitTimer::EndFailed(int value)
{
    m_userParam = value;
    m_deadline = QDeadlineTimer(0);
    finish();
}

void WaitTimer::RestartTimer()
{
    m_deadline = QDeadlineTimer(std::max<qint64>(0, qint64(m_seconds) * 1000), Qt::PreciseTimer);
    if (m_loop)
        armTimer();
}

void WaitTimer::armTimer()
{
    m_timer.start(int(std::min(m_deadline.remainingTime(), kLongestTimerMs)));
}

void WaitTimer::onTimeout()
{
    if (m_deadline.hasExpired())
        finish();
    else
        armTimer();
}

void WaitTimer::finish()
{
    if (m_loop)
        m_loop->quit();
}
