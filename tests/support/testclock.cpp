#include "testclock.h"

TestClock::TestClock(const QDateTime &start)
    : m_time(start)
{
    Clock::setInstance(this);
}

TestClock::~TestClock()
{
    Clock::setInstance(nullptr);
}
