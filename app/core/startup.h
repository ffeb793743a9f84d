#pragma once

#include "core/programfolder.h"

#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <memory>

class MainForm;
class ProgressDialog;
class RouterConnecting;
class ServerWaitDialog;

/// \brief The program's spine: start-up in its fixed order, connecting and logging on, the main
/// timer that drives all periodic work, and shutdown.
///
/// Owns the main window and the program's progress and router waiting windows. Everything runs
/// on the user-interface thread.
class Startup : public QObject
{
    Q_OBJECT

public:
    /// The main timer's period.
    static constexpr int MainTimerInterval = 10000;
    /// While disconnected, the timer tries again at most this often.
    static constexpr int ReconnectSeconds = 60;

    /// \a programFolder holds the settings, the database and the program's other files.
    explicit Startup(const QString &programFolder, QObject *parent = nullptr);
    ~Startup() override;

    /// Runs the start-up sequence: settings and window geometry (or the first run with its
    /// defaults and dialogs), the database, its layout, the connection and log-on, the timer.
    /// False when the user ended the program during start-up.
    bool Main();

    /// Loads the settings file and, when it was read, puts the main window where it was.
    bool LoadSettings();
    /// Records the main window's normal-state geometry and state, then writes the settings file.
    bool SaveSettings();

    /// Connects to the router and logs a user on: interactively when \a showLogOn and automatic
    /// log-on is off, else with the stored name and password. True when an attempt was started
    /// with settings the user did not cancel.
    bool ConnectToRouter(bool showLogOn);

    MainForm *mainForm() const { return m_mainForm.get(); }
    QTimer &MainTimer() { return m_mainTimer; }
    QDateTime NextReconnectTime() const { return m_nextReconnectTime; }

Q_SIGNALS:
    /// Emitted by the main timer while the router is connected and no modal window is open: the
    /// periodic work (schedules, report spooler, daily compaction) runs from here.
    void connectedTick();

private:
    void MainTimerTick();
    void Router_ConnectionEvent(int code, const QString &text);
    void shutdown();
    void placeFirstRunWindow();
    bool openOrCreateDatabase(bool *created);
    void setReconnectVisible(bool visible);
    void onRouterConnectionSetup();
    void onSelectDriver();

    ProgramFolder m_folder;
    std::unique_ptr<MainForm> m_mainForm;
    std::unique_ptr<ProgressDialog> m_progress;
    std::unique_ptr<ServerWaitDialog> m_serverWait;
    QPointer<RouterConnecting> m_connecting;
    QTimer m_mainTimer;
    QDateTime m_nextReconnectTime;
    bool m_shutDown = false;
};
