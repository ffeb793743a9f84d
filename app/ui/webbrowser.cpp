#include "ui/webbrowser.h"

#include <QFile>
#include <QFileInfo>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRegularExpression>
#include <QUrl>

namespace {

// The text view reads a subset of HTML. Two older forms the reports use are put into forms it
// reads: entities without their closing semicolon ("&nbsp&nbsp"), and the bare nowrap attribute
// of table cells.
QString readableHtml(QString html)
{
    static const QRegularExpression entity(
        QStringLiteral("&nbsp(?!;)"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression noWrap(
        QStringLiteral(
            "(<t[dh]\\b[^>]*?)\\s+nowrap\\b(?:\\s*=\\s*(?:\"[^\"]*\"|'[^']*'|[^\\s>]+))?"),
        QRegularExpression::CaseInsensitiveOption);
    html.replace(entity, QStringLiteral("&nbsp;"));
    html.replace(noWrap, QStringLiteral("\\1 style='white-space:nowrap'"));
    return html;
}

} // namespace

WebBrowser::WebBrowser(QWidget *parent)
    : QTextBrowser(parent)
{
    // Link clicks are handled here: anchors of the page only.
    setOpenLinks(false);
    setOpenExternalLinks(false);
    // Columns of report tables are at least as wide as their longest word.
    setWordWrapMode(QTextOption::WordWrap);
    connect(this, &QTextBrowser::anchorClicked, this, &WebBrowser::onAnchorClicked);
}

WebBrowser::~WebBrowser() = default;

void WebBrowser::Navigate(const QString &path)
{
    const QFileInfo info(path);
    m_path = info.absoluteFilePath();
    document()->setBaseUrl(QUrl::fromLocalFile(info.absolutePath() + QLatin1Char('/')));

    QFile file(m_path);
    m_loaded = info.isFile() && file.open(QIODevice::ReadOnly);
    if (m_loaded) {
        setHtml(readableHtml(QString::fromLatin1(file.readAll())));
    } else {
        setHtml(QStringLiteral("<html><body><h3>This page cannot be shown.</h3><p>")
            + m_path.toHtmlEscaped() + QStringLiteral(" could not be read.</p></body></html>"));
    }

    // Like a browser control, completion is announced from the event loop, after Navigate().
    QMetaObject::invokeMethod(
        this, [this, url = m_path] { Q_EMIT DocumentComplete(url); }, Qt::QueuedConnection);
}

QString WebBrowser::LocationURL() const
{
    return m_path;
}

QString WebBrowser::LocationName() const
{
    return m_path.isEmpty() ? QString() : QFileInfo(m_path).fileName();
}

bool WebBrowser::PrintPage(bool showDialog)
{
    if (showDialog) {
        QPrinter printer(QPrinter::HighResolution);
        QPrintDialog dialog(&printer, this);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        return printOn(printer);
    }
    if (m_printer)
        return printOn(*m_printer);
    const QPrinterInfo defaultPrinter = QPrinterInfo::defaultPrinter();
    if (defaultPrinter.isNull())
        return false;
    QPrinter printer(defaultPrinter, QPrinter::HighResolution);
    return printOn(printer);
}

bool WebBrowser::printOn(QPrinter &printer)
{
    if (!printer.isValid())
        return false;
    document()->print(&printer);
    // A printer that could not start (an output file that cannot be written, a printer gone)
    // says so in its state; the document's print() itself has no result.
    return printer.printerState() != QPrinter::Error;
}

QVariant WebBrowser::loadResource(int type, const QUrl &name)
{
    Q_UNUSED(type);
    // Reports only ever show local pictures; nothing is fetched from elsewhere.
    const QUrl url = name.isRelative() ? document()->baseUrl().resolved(name) : name;
    if (!url.isLocalFile())
        return {};
    QFile file(url.toLocalFile());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

void WebBrowser::onAnchorClicked(const QUrl &url)
{
    const bool samePage = url.path().isEmpty()
        || (url.isLocalFile() && QFileInfo(url.toLocalFile()).absoluteFilePath() == m_path);
    if (samePage && url.hasFragment())
        scrollToAnchor(url.fragment());
}
