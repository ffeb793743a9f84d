#pragma once

#include "core/statusline.h"
#include "ui/formresize.h"

#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QLabel;
class QTreeWidget;
class ServerConnection;

namespace Ui {
class MainForm;
}

/// \brief The program's only top-level window: the report page with the embedded browser, the
/// schedule page, the menus and the one-panel status line.
///
/// Constructing it runs the window's loading: the layout is recorded, the start page is shown,
/// the router connection object is created, the report list is filled and the two switches of
/// the schedule page are read from the settings. It installs itself as StatusLine::current().
class MainForm : public QMainWindow, public StatusLine
{
    Q_OBJECT

public:
    /// \a programFolder holds Report.htm, Print.htm and the router's client ID file.
    explicit MainForm(const QString &programFolder);
    ~MainForm() override;

    QString programFolder() const { return m_programFolder; }
    /// The program's one router connection, owned by this window.
    ServerConnection &Router() { return *m_router; }

    /// Remembers the status text shown now (one slot) and shows "Status: " + \a text.
    void SetStatus(const QString &text) override;
    /// Puts the remembered status text back.
    void RestoreStatus() override;
    /// The text of the status panel.
    QString statusText() const;
    /// Shows \a text in the status panel as it stands, leaving the remembered text alone.
    void setStatusText(const QString &text);

    /// Shows the page of the selected tab and enables the report commands on the report page.
    void ShowTab();
    /// Fits every column of \a list to its widest text (header text too unless \a skipHeaders),
    /// held between 400 and 5000 twips, plus 20 pixels.
    static void AutoSizeColumns(QTreeWidget *list, bool skipHeaders);

    /// Fills ReportSelect with the report types and selects "Daily - Today".
    void InitReportSelect();
    /// Sets ToDate for the selected report: fixed for the current and previous periods, left to
    /// the user (and enabled) for the custom ones.
    void UpdateReportDate();
    /// Writes the empty report page (site header and footer) to Report.htm and shows it.
    void ShowStartPage();

    /// Runs when the window is closed, before it goes (start-up saves the settings there).
    void setShutdownHandler(std::function<void()> handler)
    {
        m_shutdownHandler = std::move(handler);
    }

    // Menu entries start-up wires to its own routines.
    QAction *Reconnect = nullptr;
    QAction *ReconnectSep = nullptr;
    QAction *SelectDriver = nullptr;
    QAction *RouterConnectionSetup = nullptr;
    QAction *LogOnMenu = nullptr;

protected:
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void onGenerageReportClicked();
    void onOpenReport();
    void onSaveReport();
    void onPrintReport();
    void onGetTarvikEvents();
    // The browser's completion handler: a page named Print.htm is printed at once.
    void onDocumentComplete(const QString &url);
    // The two switches of the schedule page: stored inverted ("0" when the box is ticked) and
    // shown in red while ticked.
    void onSwitchToggled(QCheckBox *box, const QString &key);
    void loadSwitch(QCheckBox *box, const QString &key);

    std::unique_ptr<Ui::MainForm> m_ui;
    QString m_programFolder;
    QLabel *m_statusPanel = nullptr;
    QString m_savedStatus;
    FormResize::LayoutRecord m_layout;
    std::unique_ptr<ServerConnection> m_router;
    std::function<void()> m_shutdownHandler;
};
