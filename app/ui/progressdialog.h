#pragma once

#include "core/progress.h"

#include <QDialog>
#include <QTimer>

#include <memory>

namespace Ui {
class ProgressDialog;
}

/// \brief The program's one progress window: a message ending in "Please Wait...", a bar and
/// Cancel, shown without blocking above its owner while an operation runs.
///
/// Constructing it installs it as Progress::current(); destroying it puts the silent one back.
/// Esc, the Cancel button and the window's close box all only set Cancelled(); the window stays
/// until the operation calls Close().
class ProgressDialog : public QDialog, public Progress
{
    Q_OBJECT

public:
    explicit ProgressDialog(QWidget *owner = nullptr);
    ~ProgressDialog() override;

    void Display(const QString &message, bool animate = false) override;
    void SetMessage(const QString &message, bool keepSize = false) override;
    void SetProgress(int value) override;
    bool Cancelled() const override;
    void Close() override;

    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private Q_SLOTS:
    // The animation step: the bar creeps on by one until it is full.
    void onTimer1Timeout();

private:
    void onCancelClicked();

    std::unique_ptr<Ui::ProgressDialog> m_ui;
    QTimer m_timer1;
    bool m_cancelled = false;
};
