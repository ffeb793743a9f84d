#include "core/clock.h"

namespace {
Clock s_systemClock;
Clock *s_instance = &s_systemClock;
} // namespace

Clock::~Clock() = default;

QDateTime Clock::currentDateTime()
{
    return s_instance->now();
}

QDate Clock::currentDate()
{
    return currentDateTime().date();
}

void Clock::setInstance(Clock *clock)
{
    s_instance = clock ? clock : &s_systemClock;
}

void Clock::settleLocalTimeZone()
{
    if (!qEnvironmentVariableIsSet("TZ"))
        qputenv("TZ", ":/etc/localtime");
}

QDateTime Clock::now() const
{
    QDateTime t = QDateTime::currentDateTime();
    t.setTime(QTime(t.time().hour(), t.time().minute(), t.time().second()));
    return t;
}
