#pragma once

#include <QDialog>

#include <memory>

class ServerConnection;

namespace Ui {
class RouterConnecting;
}

/// \brief The small modal window that stands while a connection attempt to the router runs:
/// shows the attempt's progress and lets the user give up.
///
/// Whoever started the attempt opens it with exec() and closes it with accept() when the
/// attempt ends, also from a signal handler while exec() runs. Cancel, Esc and the close box
/// end the attempt (the connection is told to connect to nothing) and close the window.
class RouterConnecting : public QDialog
{
    Q_OBJECT

public:
    RouterConnecting(ServerConnection &router, QWidget *owner);
    ~RouterConnecting() override;

    /// Shows "Attempting to Connect With Halden Router" with \a text on the next line.
    void SetMessage(const QString &text);

    /// An attempt that ended before exec() was called returns at once with that result.
    int exec() override;
    void done(int result) override;
    void reject() override;

private:
    ServerConnection &m_router;
    std::unique_ptr<Ui::RouterConnecting> m_ui;
    bool m_finished = false;
};
