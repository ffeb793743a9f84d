#include "core/mainform.h"
#include "ui_mainform.h"

#include "core/clock.h"
#include "core/settingsfile.h"
#include "core/settingskeys.h"
#include "delivery/printingreport.h"
#include "events/eventlog.h"
#include "reports/htmlreports.h"
#include "router/serverconnection.h"
#include "router/valuetext.h"
#include "ui/filedialogs.h"
#include "ui/messages.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontMetrics>
#include <QLayout>
#include <QSaveFile>

namespace {

// Outer size the window is never made smaller than, in twips.
constexpr int kMinWidth = 9500;
constexpr int kMinHeight = 6000;

// Column widths of the lists, in twips, and the room added to each in pixels.
constexpr double kMaxColumnTwips = 5000;
constexpr double kNarrowColumnTwips = 300;
constexpr double kNarrowColumnWidth = 400;
constexpr int kColumnPadding = 20;

// An interactive report asks to synchronise first when the last complete run is older.
constexpr qint64 kRecentSyncSeconds = 60 * 60;

const QString kScheduleKey = QStringLiteral("Schedule");
const QString kReportsKey = QStringLiteral("Reports");
const QString kReportFilter = QStringLiteral("HTML Reports *.htm|*.htm||");
const QString kPrintFileSuffix = QStringLiteral("Print.htm");

const QString kSyncQuestion = QStringLiteral(
    "The Event Log has not been synchronized recently.  Would you like to synchronize the Event "
    "Log before generating the report?");
const QString kNotSynchronizedNote
    = QStringLiteral("User choose not to synchronize the event log before generating the report.");
const QString kSyncFailedNote = QStringLiteral("Sychronizing Event Log database failed because: ");

struct ReportChoice
{
    const char *text;
    int data;
};

// Item data: the report type plus 100 for the previous period or 200 for a date of the user's.
constexpr ReportChoice kReportChoices[] = {
    { "Daily - Today", 1 },
    { "Daily - Yesterday", 101 },
    { "Daily - Custom", 201 },
    { "Weekly - This Week", 2 },
    { "Weekly - Last Week", 102 },
    { "Weekly - Custom", 202 },
    { "Monthly - This Month", 3 },
    { "Monthly - Last Month", 103 },
    { "Monthly - Custom", 203 },
    { "Quarterly - This Quarter", 4 },
    { "Quarterly - Last Quarter", 104 },
    { "Quarterly - Custom", 204 },
};

// The end date a report of \a data ends on when asked for on \a today.
QDate reportDate(int data, const QDate &today)
{
    const bool previous = data / 100 == 1;
    if (!previous)
        return today;
    switch (data % 100) {
    case HTMLReports::DailyReportType:
        return today.addDays(-1);
    case HTMLReports::WeeklyReportType:
        // The Saturday that ended last week (weekday counted from Sunday = 1).
        return today.addDays(-(today.dayOfWeek() % 7 + 1));
    case HTMLReports::MonthlyReportType:
        return QDate(today.year(), today.month(), 1).addDays(-1);
    case HTMLReports::QuarterlyReportType:
        return QDate(today.year(), (today.month() - 1) / 3 * 3 + 1, 1).addDays(-1);
    default:
        return today;
    }
}

// Copies \a source over \a target without ever leaving \a target half written or deleted.
bool copyReport(const QString &source, const QString &target, QString *failure)
{
    QFile in(source);
    if (!QFileInfo(source).isFile() || !in.open(QIODevice::ReadOnly)) {
        *failure = QStringLiteral("The report could not be saved: its file ") + source
            + QStringLiteral(" was not found.");
        return false;
    }
    const QByteArray content = in.readAll();
    if (in.error() != QFileDevice::NoError) {
        *failure = QStringLiteral("The report could not be saved: ") + source
            + QStringLiteral(" could not be read.");
        return false;
    }
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size() || !out.commit()) {
        *failure = QStringLiteral("The report could not be saved to ") + target
            + QStringLiteral(": ") + out.errorString();
        return false;
    }
    return true;
}

} // namespace

MainForm::MainForm(const QString &programFolder)
    : m_ui(std::make_unique<Ui::MainForm>())
    , m_programFolder(programFolder)
{
    m_ui->setupUi(this);

    QTabBar *tabs = m_ui->TabStrip;
    tabs->setExpanding(false);
    tabs->addTab(kScheduleKey);
    tabs->setTabData(0, kScheduleKey);
    tabs->setTabToolTip(0, QStringLiteral("Create schedule for reports to be e-mailed or printed"));
    tabs->addTab(kReportsKey);
    tabs->setTabData(1, kReportsKey);
    tabs->setTabToolTip(1, QStringLiteral("Reports that can be printed and e-mailed"));
    tabs->setCurrentIndex(0);

    m_statusPanel = new QLabel(QStringLiteral("Status"), m_ui->StatusBar);
    m_statusPanel->setObjectName(QStringLiteral("StatusPanel"));
    m_statusPanel->setContentsMargins(4, 0, 4, 0);
    m_ui->StatusBar->addWidget(m_statusPanel, 1);

    QMenu *file = m_ui->file;
    ReconnectSep = file->insertSeparator(m_ui->OpenReport);
    ReconnectSep->setObjectName(QStringLiteral("ReconnectSep"));
    QAction *fileSep3 = file->insertSeparator(m_ui->emailReport);
    fileSep3->setObjectName(QStringLiteral("filesep3"));
    QAction *fileSep1 = file->addSeparator();
    fileSep1->setObjectName(QStringLiteral("FileSep1"));
    Reconnect = m_ui->Reconnect;
    Reconnect->setVisible(false);
    ReconnectSep->setVisible(false);
    SelectDriver = m_ui->SelectDriver;
    RouterConnectionSetup = m_ui->RouterConnectionSetup;
    LogOnMenu = m_ui->LogOnMenu;

    connect(tabs, &QTabBar::currentChanged, this, &MainForm::ShowTab);
    connect(tabs, &QTabBar::tabBarClicked, this, &MainForm::ShowTab);
    connect(m_ui->ReportSelect, &QComboBox::currentIndexChanged, this, &MainForm::UpdateReportDate);
    connect(m_ui->ReportSelect, &QComboBox::activated, this, &MainForm::UpdateReportDate);
    m_ui->ReportSelect->installEventFilter(this);
    connect(m_ui->GenerageReport, &QPushButton::clicked, this, &MainForm::onGenerageReportClicked);
    connect(m_ui->OpenReport, &QAction::triggered, this, &MainForm::onOpenReport);
    connect(m_ui->SaveReport, &QAction::triggered, this, &MainForm::onSaveReport);
    connect(m_ui->PrintReport, &QAction::triggered, this, &MainForm::onPrintReport);
    connect(m_ui->GetTarvikEvents, &QAction::triggered, this, &MainForm::onGetTarvikEvents);
    connect(m_ui->WebBrowser, &WebBrowser::DocumentComplete, this, &MainForm::onDocumentComplete);
    connect(m_ui->ScheduleDisable, &QCheckBox::toggled, this,
        [this] { onSwitchToggled(m_ui->ScheduleDisable, SettingsKeys::ScheduleDisable); });
    connect(m_ui->SpoolerDisable, &QCheckBox::toggled, this,
        [this] { onSwitchToggled(m_ui->SpoolerDisable, SettingsKeys::SpoolerDisable); });

    // Loading. The controls are recorded where the main window's own layout has put the
    // central widget.
    if (QLayout *windowLayout = layout())
        windowLayout->activate();
    int width = 0;
    int height = 0;
    FormResize::RecordLayout(this, width, height, m_layout);
    ShowStartPage();
    m_router = std::make_unique<ServerConnection>(m_programFolder);
    InitReportSelect();
    loadSwitch(m_ui->ScheduleDisable, SettingsKeys::ScheduleDisable);
    loadSwitch(m_ui->SpoolerDisable, SettingsKeys::SpoolerDisable);

    // Until the lists are filled, their headings set the column widths.
    AutoSizeColumns(m_ui->Schedules, false);
    AutoSizeColumns(m_ui->SpooledReports, false);
    ShowTab();
    StatusLine::setCurrent(this);
}

MainForm::~MainForm()
{
    if (&StatusLine::current() == this)
        StatusLine::setCurrent(nullptr);
}

void MainForm::SetStatus(const QString &text)
{
    m_savedStatus = m_statusPanel->text();
    m_statusPanel->setText(QStringLiteral("Status: ") + text);
    // Long operations call this before they keep the event loop busy.
    if (m_statusPanel->isVisible())
        m_statusPanel->repaint();
}

void MainForm::RestoreStatus()
{
    m_statusPanel->setText(m_savedStatus);
}

QString MainForm::statusText() const
{
    return m_statusPanel->text();
}

void MainForm::setStatusText(const QString &text)
{
    m_statusPanel->setText(text);
}

void MainForm::ShowTab()
{
    const int index = m_ui->TabStrip->currentIndex();
    if (index < 0)
        return;
    const QString key = m_ui->TabStrip->tabData(index).toString();
    if (key != kReportsKey && key != kScheduleKey)
        return;
    const bool reports = key == kReportsKey;
    m_ui->HTMLReportFrame->setVisible(reports);
    m_ui->ScheduleFrame->setVisible(!reports);
    m_ui->OpenReport->setEnabled(reports);
    m_ui->SaveReport->setEnabled(reports);
    m_ui->PrintReport->setEnabled(reports);
}

void MainForm::AutoSizeColumns(QTreeWidget *list, bool skipHeaders)
{
    if (!list)
        return;
    const QFontMetrics metrics(list->font());
    const double px = FormResize::twipsPerPixelX(list);
    const QTreeWidgetItem *header = list->headerItem();
    for (int column = 0; column < list->columnCount(); ++column) {
        int widest = 0;
        for (int row = 0; row < list->topLevelItemCount(); ++row)
            widest = qMax(widest, metrics.horizontalAdvance(list->topLevelItem(row)->text(column)));
        if (!skipHeaders && header)
            widest = qMax(widest, metrics.horizontalAdvance(header->text(column)));
        double twips = widest * px;
        if (twips > kMaxColumnTwips)
            twips = kMaxColumnTwips;
        else if (twips < kNarrowColumnTwips)
            twips = kNarrowColumnWidth;
        list->setColumnWidth(column, qRound(twips / px) + kColumnPadding);
    }
}

void MainForm::InitReportSelect()
{
    QComboBox *select = m_ui->ReportSelect;
    {
        const QSignalBlocker blocker(select);
        select->clear();
        for (const ReportChoice &choice : kReportChoices)
            select->addItem(QString::fromLatin1(choice.text), choice.data);
        select->setCurrentIndex(0);
    }
    UpdateReportDate();
}

void MainForm::UpdateReportDate()
{
    const QComboBox *select = m_ui->ReportSelect;
    if (select->currentIndex() < 0)
        return;
    const int data = select->currentData().toInt();
    if (data >= 200) {
        m_ui->ToDate->setEnabled(true);
        return;
    }
    m_ui->ToDate->setEnabled(false);
    m_ui->ToDate->setDate(reportDate(data, Clock::currentDate()));
}

void MainForm::ShowStartPage()
{
    const QString html = HTMLReports::PageHead(QStringLiteral(" ")) + HTMLReports::LocationHeader()
        + HTMLReports::ReportFooter() + HTMLReports::PageTail();
    const QString path = m_programFolder + QStringLiteral("/Report.htm");
    // An unwritable folder leaves the browser empty rather than showing an older report.
    if (HTMLReports::WriteTextFile(path, html))
        m_ui->WebBrowser->Navigate(path);
}

void MainForm::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    FormResize::ResizeForm(this, kMinWidth, kMinHeight, m_layout);
}

void MainForm::changeEvent(QEvent *event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow())
        ShowTab();
}

void MainForm::closeEvent(QCloseEvent *event)
{
    if (m_shutdownHandler)
        m_shutdownHandler();
    QMainWindow::closeEvent(event);
}

bool MainForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_ui->ReportSelect && event->type() == QEvent::KeyRelease)
        UpdateReportDate();
    return QMainWindow::eventFilter(watched, event);
}

void MainForm::onGenerageReportClicked()
{
    const QComboBox *select = m_ui->ReportSelect;
    if (select->currentIndex() < 0)
        return;

    QString note;
    const QDateTime lastSync = EventLog::GetLastSyncTime();
    if (!lastSync.isValid() || lastSync.secsTo(Clock::currentDateTime()) > kRecentSyncSeconds) {
        const QMessageBox::StandardButton answer
            = Messages::question(this, kSyncQuestion, Messages::YesNoCancel);
        if (answer == QMessageBox::Cancel)
            return;
        if (answer == QMessageBox::No) {
            note = kNotSynchronizedNote;
        } else if (!EventLog::SyncEventLog(Router())) {
            const QString failure = EventLog::GetLastFailure();
            note = kSyncFailedNote + failure;
            const QMessageBox::StandardButton goOn = Messages::question(this,
                QStringLiteral("Could not synchronize event log.") + HTMLReports::CRLF + failure
                    + HTMLReports::CRLF
                    + QStringLiteral("Would you still like to generate the report?"),
                Messages::YesNoCancel);
            if (goOn != QMessageBox::Yes)
                return;
        }
    }

    const QDateTime requestTime(m_ui->ToDate->date(), QTime(23, 59));
    const int type = select->currentData().toInt() % 100;
    const QString html = HTMLReports::GenerateReport(type, requestTime, note);
    const QString path = m_programFolder + QStringLiteral("/Report.htm");
    if (!HTMLReports::WriteTextFile(path, html)) {
        Messages::warning(this,
            QStringLiteral("The report could not be written to ") + path + QStringLiteral("."));
        return;
    }
    m_ui->WebBrowser->Navigate(path);
}

void MainForm::onOpenReport()
{
    const QString path = FileDialogs::ShowOpenFileDialog(this, QString(), kReportFilter);
    if (!path.isEmpty())
        m_ui->WebBrowser->Navigate(path);
}

void MainForm::onSaveReport()
{
    const QString target = FileDialogs::ShowSaveFileDialog(this, QString(), kReportFilter);
    if (target.isEmpty())
        return;
    // The shown report is looked up by its name in the program folder, where reports are made.
    const QString name = m_ui->WebBrowser->LocationName();
    QString failure;
    if (name.isEmpty()) {
        Messages::warning(
            this, QStringLiteral("The report could not be saved: no report is shown."));
    } else if (!copyReport(m_programFolder + QLatin1Char('/') + name, target, &failure)) {
        Messages::warning(this, failure);
    }
}

void MainForm::onPrintReport()
{
    m_ui->WebBrowser->PrintPage(true);
}

void MainForm::onGetTarvikEvents()
{
    if (!EventLog::SyncEventLog(Router())) {
        Messages::warning(this,
            QStringLiteral("Could not syncronize event log.") + HTMLReports::CRLF
                + EventLog::GetLastFailure());
    }
}

void MainForm::onDocumentComplete(const QString &url)
{
    if (url.right(kPrintFileSuffix.size()) != kPrintFileSuffix)
        return;
    // A page that could not be read is not printed, and a failed print is no success.
    WebBrowser *browser = m_ui->WebBrowser;
    const bool printed = browser->documentLoaded() && browser->PrintPage(false);
    if (PrintingReport *waiting = PrintingReport::active()) {
        if (printed)
            waiting->UnloadSuccessful();
        else
            waiting->UnloadFailed();
    }
}

void MainForm::loadSwitch(QCheckBox *box, const QString &key)
{
    const bool disabled = ValueText::numericValue(SettingsFile::instance().GetFileValue(key)) == 0;
    {
        const QSignalBlocker blocker(box);
        box->setChecked(disabled);
    }
    onSwitchToggled(box, key);
}

void MainForm::onSwitchToggled(QCheckBox *box, const QString &key)
{
    const bool ticked = box->isChecked();
    SettingsFile::instance().SetFileValue(key, ticked ? QStringLiteral("0") : QStringLiteral("1"));
    QPalette palette = box->palette();
    palette.setColor(QPalette::WindowText,
        ticked ? QColor(255, 0, 0) : QApplication::palette(box).color(QPalette::WindowText));
    box->setPalette(palette);
}
