#pragma once

#include <QString>
#include <QTextBrowser>

class QPrinter;

/// \brief The main window's embedded browser: shows one local HTML report, says when it has
/// loaded, and prints it with or without the print dialog.
///
/// Reports are 8-bit text and are read as Latin-1; pictures they name are read from local files
/// only, relative names beside the report. Links to anchors of the page scroll to them; links
/// that lead anywhere else are not followed.
class WebBrowser : public QTextBrowser
{
    Q_OBJECT

public:
    explicit WebBrowser(QWidget *parent = nullptr);
    ~WebBrowser() override;

    /// Shows the HTML file \a path, or a short "cannot be shown" page when it cannot be read, and
    /// then (queued, once the page is set) emits DocumentComplete with the file's path.
    void Navigate(const QString &path);
    /// The path of the file last navigated to; empty before the first Navigate().
    QString LocationURL() const;
    /// The file name of that file: reports carry a blank title, so the name stands for it.
    QString LocationName() const;
    /// False when the last Navigate() could not read its file and shows the "cannot be shown"
    /// page instead.
    bool documentLoaded() const { return m_loaded; }

    /// Prints the page shown: with \a showDialog through the print dialog (false when the user
    /// cancels it), otherwise on the printer set by setPrinter() or else the system's default
    /// printer (false when there is none). False also when the printer reports an error.
    bool PrintPage(bool showDialog);
    /// The printer of prints without a dialog instead of the default printer (not owned;
    /// nullptr goes back to the default printer).
    void setPrinter(QPrinter *printer) { m_printer = printer; }

Q_SIGNALS:
    /// The document \a url has finished loading (also when it showed the "cannot be shown" page).
    void DocumentComplete(const QString &url);

protected:
    QVariant loadResource(int type, const QUrl &name) override;

private:
    void onAnchorClicked(const QUrl &url);
    bool printOn(QPrinter &printer);

    QString m_path;
    bool m_loaded = false;
    QPrinter *m_printer = nullptr;
};
