#pragma once

#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QTimer>
#include <QWidget>

#include <functional>

/// \brief Acts on the next modal dialog of type \a T as soon as it is open, so a test can call
/// exec()-style code. Gives up after a few seconds and rejects whatever modal dialog is open, so
/// that a dialog that never appears fails the test (ran() stays false) instead of hanging it.
template <typename T> class ModalHelper
{
public:
    explicit ModalHelper(std::function<void(T *)> act, int timeoutMs = 5000)
        : m_act(std::move(act))
        , m_deadline(timeoutMs)
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { poll(); });
        m_timer.start();
    }

    bool ran() const { return m_ran; }

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (T *dialog = qobject_cast<T *>(modal)) {
            m_timer.stop();
            m_ran = true;
            m_act(dialog);
        } else if (m_deadline.hasExpired()) {
            m_timer.stop();
            if (auto *other = qobject_cast<QDialog *>(modal))
                other->reject();
        }
    }

    std::function<void(T *)> m_act;
    QDeadlineTimer m_deadline;
    QTimer m_timer;
    bool m_ran = false;
};
