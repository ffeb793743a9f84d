#pragma once

#include <QDialog>
#include <QTimer>

#include <memory>

namespace Ui {
class PrintingReport;
}

/// \brief The small modal window an unattended print waits in: it closes when the browser has
/// printed the page (UnloadSuccessful()), when printing failed (UnloadFailed()) or after five
/// seconds without either.
class PrintingReport : public QDialog
{
    Q_OBJECT

public:
    explicit PrintingReport(QWidget *owner = nullptr);
    ~PrintingReport() override;

    /// Shows \a caption, starts the time-out and waits modally; true when UnloadSuccessful()
    /// ended the wait.
    bool ShowForm(const QString &caption);
    /// The page was printed: ShowForm() returns true.
    void UnloadSuccessful();
    /// The page could not be printed: ShowForm() returns false.
    void UnloadFailed();

    /// The dialog whose ShowForm() is waiting, else nullptr: the browser's completion handler
    /// reports to it.
    static PrintingReport *active();

    void done(int result) override;

private:
    void onTimerTimeout();

    std::unique_ptr<Ui::PrintingReport> m_ui;
    QTimer m_timer;
    bool m_result = false;
};
