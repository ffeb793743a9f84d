#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QTimer>

class QEventLoop;

/// \brief Waits for an event-driven completion (a socket connecting, a link coming up, a mail
/// being sent) with a deadline, while every window keeps processing its events.
///
/// The handlers that learn the outcome end the wait with EndSuccess() or EndFailed(), or push the
/// deadline back with RestartTimer() while progress is reported. One wait at a time.
class WaitTimer : public QObject
{
    Q_OBJECT

public:
    explicit WaitTimer(QObject *parent = nullptr);
    ~WaitTimer() override;

    /// Blocks the caller, not the event loop, until EndSuccess() or EndFailed() is called or
    /// \a Seconds pass without RestartTimer(). True only when ended by EndSuccess(). Pending
    /// events always run once, so even a wait of 0 seconds can succeed. A second Wait() while one
    /// is running is refused with false at once.
    bool Wait(int Seconds);
    /// Ends the current wait with success; \a value becomes UserParam().
    void EndSuccess(int value);
    /// Ends the current wait with failure; \a value becomes UserParam().
    void EndFailed(int value);
    /// Sets the deadline to the length of the last Wait() from now.
    void RestartTimer();
    /// The value given to the last EndSuccess() or EndFailed(); 0 at the start of each wait.
    int UserParam() const { return m_userParam; }

    bool isWaiting() const { return m_loop != nullptr; }

private:
    void armTimer();
    void onTimeout();
    void finish();

    bool m_success = false;
    int m_seconds = 0;
    int m_userParam = 0;
    QDeadlineTimer m_deadline;
    QTimer m_timer;
    QEventLoop *m_loop = nullptr;
    // Set while waiting; tells Wait() that the timer was destroyed under it.
    bool *m_destroyed = nullptr;
};
