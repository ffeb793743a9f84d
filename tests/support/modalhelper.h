#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QTest>
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

/// The three ways a user gives up a dialog, as rows of an int column "how" for a data-driven test.
inline void addDismissalRows()
{
    QTest::addColumn<int>("how");
    QTest::newRow("Cancel button") << 0;
    QTest::newRow("Esc") << 1;
    QTest::newRow("close box") << 2;
}

/// Gives \a dialog up the way row \a how of addDismissalRows() says; \a cancel is its Cancel
/// button.
inline void dismissDialog(QWidget *dialog, int how, QAbstractButton *cancel)
{
    if (how == 0)
        QTest::mouseClick(cancel, Qt::LeftButton);
    else if (how == 1)
        QTest::keyClick(dialog, Qt::Key_Escape);
    else
        dialog->close();
}
