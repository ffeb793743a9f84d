#pragma once

#include "router/serverconnection.h"

#include <QDialog>

#include <functional>
#include <memory>

namespace Ui {
class ServerWaitDialog;
}

/// \brief The window a router request shows while its answer is late: the message and Cancel,
/// shown without blocking above its owner until the answer arrives or the user gives up.
///
/// Esc and the window's close box count as Cancel.
class ServerWaitDialog : public QDialog, public ServerConnection::WaitingWindow
{
    Q_OBJECT

public:
    explicit ServerWaitDialog(QWidget *owner = nullptr);
    ~ServerWaitDialog() override;

    void show(const QString &message, std::function<void()> cancel) override;
    void close() override;

    void reject() override;

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void onCancelClicked();
    void fitToMessage();

    std::unique_ptr<Ui::ServerWaitDialog> m_ui;
    std::function<void()> m_cancel;
};
