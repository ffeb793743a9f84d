#pragma once

#include "core/clock.h"

/// A clock that stands still at a set time; installed for its lifetime.
class TestClock : public Clock
{
public:
    explicit TestClock(const QDateTime &start);
    ~TestClock() override;

    void set(const QDateTime &time) { m_time = time; }
    void advanceSeconds(qint64 seconds) { m_time = m_time.addSecs(seconds); }

protected:
    QDateTime now() const override { return m_time; }

private:
    QDateTime m_time;
};
