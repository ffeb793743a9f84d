#include "core/mainform.h"

#include "core/settingsfile.h"
#include "core/settingskeys.h"
#include "delivery/printingreport.h"
#include "driverdatabase.h"
#include "driverservice.h"
#include "events/eventlog.h"
#include "modalhelper.h"
#include "reportfixture.h"
#include "router/serverconnection.h"
#include "siteserver.h"
#include "testclock.h"
#include "ui/filedialogs.h"
#include "ui/formresize.h"
#include "ui/messages.h"
#include "ui/webbrowser.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPrintDialog>
#include <QPrinter>
#include <QPushButton>
#include <QTabBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

using namespace Qt::StringLiterals;

namespace {

const QString kSyncQuestion
    = u"The Event Log has not been synchronized recently.  Would you like to synchronize the "
      "Event Log before generating the report?"_s;
const QString kNotSynchronizedNote
    = u"User choose not to synchronize the event log before generating the report."_s;
// Long after the synchronisation of testRecentSynchronisation: the last run is always stale.
const QDateTime kStaleNow(QDate(2027, 1, 13), QTime(10, 0));

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

template <typename T> T *child(const QObject &parent, const QString &name)
{
    return parent.findChild<T *>(name);
}

WebBrowser *browser(const MainForm &form)
{
    return child<WebBrowser>(form, u"WebBrowser"_s);
}

QString caption(const QWidget *widget)
{
    if (const auto *button = qobject_cast<const QAbstractButton *>(widget))
        return button->text();
    if (const auto *label = qobject_cast<const QLabel *>(widget))
        return label->text();
    if (const auto *group = qobject_cast<const QGroupBox *>(widget))
        return group->title();
    return QString();
}

QStringList shownTexts()
{
    QStringList texts;
    const QList<Messages::Shown> shown = Messages::shown();
    for (const Messages::Shown &box : shown)
        texts.append(box.text);
    return texts;
}

void selectReport(MainForm &form, int itemData)
{
    auto *select = child<QComboBox>(form, u"ReportSelect"_s);
    select->setCurrentIndex(select->findData(itemData));
}

void showTab(MainForm &form, const QString &key)
{
    QTabBar *tabs = child<QTabBar>(form, u"TabStrip"_s);
    for (int i = 0; i < tabs->count(); ++i) {
        if (tabs->tabData(i).toString() == key)
            tabs->setCurrentIndex(i);
    }
}

// A PDF printer writing to \a path.
std::unique_ptr<QPrinter> pdfPrinter(const QString &path)
{
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setOutputFileName(path);
    return printer;
}

// Runs ShowForm of a printing dialog owned by \a form; a guard ends a wait that hangs.
bool showPrinting(MainForm &form, int timeoutMs = 5000)
{
    PrintingReport dialog(&form);
    child<QTimer>(dialog, u"Timer"_s)->setInterval(timeoutMs);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(
        &guard, &QTimer::timeout, &dialog, [&dialog] { dialog.done(QDialog::Rejected); });
    guard.start(timeoutMs + 10000);
    return dialog.ShowForm(u"Printing Report ...\r\nDaily Summary"_s);
}

} // namespace

class TestMainForm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void testOpensWithSpecifiedControls_data();
    void testOpensWithSpecifiedControls();
    void testOpensWithSpecifiedMenus();
    void testLoading();
    void testSwitches_data();
    void testSwitches();
    void testTabs();
    void testStatusLine();
    void testUpdateReportDate_data();
    void testUpdateReportDate();
    void testGenerageReport_data();
    void testGenerageReport();
    void testSynchronizeMenuFailure();
    void testRecentSynchronisation();
    void testPrintHook_data();
    void testPrintHook();
    void testOpenReport();
    void testPrintReportAsksForPrinter();
    void testSaveReport_data();
    void testSaveReport();
    void testAutoSizeColumns_data();
    void testAutoSizeColumns();
    void testResize();
    void testShutdownHandler();
};

void TestMainForm::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestMainForm::init()
{
    Messages::setScripted(true);
    FileDialogs::setScripted(true);
}

void TestMainForm::cleanup()
{
    Messages::resetScript();
    FileDialogs::resetScript();
}

void TestMainForm::testOpensWithSpecifiedControls_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<QString>("toolTip");
    QTest::addColumn<bool>("enabled");

    const auto row = [](const QString &name, const QString &text, const QString &tag,
                         const QString &toolTip = {}, bool enabled = true) {
        QTest::newRow(qPrintable(name)) << name << text << tag << toolTip << enabled;
    };
    const QString bottom = u"posbottom"_s;
    const QString corner = u"posbottom posright"_s;
    const QString stretch = u"holdright holdbottom"_s;
    row(u"StatusBar"_s, {}, u"posbottom holdright"_s);
    row(u"TabStrip"_s, {}, stretch);
    row(u"HTMLReportFrame"_s, {}, stretch);
    row(u"WebBrowser"_s, {}, stretch);
    row(u"Label1"_s, u"Report Type:"_s, bottom);
    row(u"ReportSelect"_s, {}, bottom);
    row(u"Label2"_s, u"Report End Date"_s, bottom);
    row(u"ToDate"_s, {}, bottom, {}, false);
    row(u"GenerageReport"_s, u"Generate Report"_s, bottom);
    row(u"ScheduleFrame"_s, {}, stretch);
    row(u"Frame3"_s, u"Schedules"_s, u"scalebottom holdright"_s);
    row(u"Schedules"_s, {}, u"holdbottom holdright"_s);
    row(u"ScheduleDisable"_s, u"Disable Scheduler"_s, bottom);
    row(u"CreateSchedule"_s, u"Create Schedule"_s, corner,
        u"Click here to create a new report schedule."_s, false);
    row(u"EditSchedule"_s, u"Edit Schedule"_s, corner,
        u"Click here to edit the selected report schedule."_s, false);
    row(u"DeleteSchedule"_s, u"Delete Schedule"_s, corner,
        u"Click here to delete the selected report schedule."_s, false);
    row(u"RunSchedule"_s, u"Run Schedule"_s, corner,
        u"Click here to run the selected  schedule now."_s, false);
    row(u"DisableSchedule"_s, u"Disable Sched"_s, corner,
        u"Click here to disable/enable the selected  schedule"_s, false);
    row(u"Frame1"_s, u"Reports waiting to be e-mailed/printed"_s,
        u"scaletop holdright holdbottom"_s);
    row(u"SpooledReports"_s, {}, u"holdright holdbottom"_s);
    row(u"SpoolerDisable"_s, u"Disable Report Spooler"_s, bottom);
    row(u"ViewErrors"_s, u"View Errors"_s, corner, u"Click here to view all status error details"_s,
        false);
    row(u"DeleteReport"_s, u"Delete Report"_s, corner,
        u"Click here to delete the selected report schedule."_s, false);
    row(u"DisableReport"_s, u"Disable Report"_s, corner,
        u"Click here to enable/disable the selected report"_s, false);
    row(u"SendNow"_s, u"Send Now"_s, corner,
        u"Click here to send selected report now (resets 'Attempts' and 'Next Send Time')"_s,
        false);
    row(u"Frame2"_s, {}, u"holdbottom novertsize holdright"_s);
}

void TestMainForm::testOpensWithSpecifiedControls()
{
    QFETCH(QString, name);
    QFETCH(QString, text);
    QFETCH(QString, tag);
    QFETCH(QString, toolTip);
    QFETCH(bool, enabled);
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    MainForm form(fixture.folder());
    QCOMPARE(form.windowTitle(), u"Showpulse"_s);

    const QWidget *widget = child<QWidget>(form, name);
    QVERIFY(widget);
    QCOMPARE(caption(widget), text);
    QCOMPARE(widget->property(FormResize::tagProperty).toString(), tag);
    QCOMPARE(widget->toolTip(), toolTip);
    QCOMPARE(widget->isEnabled(), enabled);
}

void TestMainForm::testOpensWithSpecifiedMenus()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    MainForm form(fixture.folder());

    // Entry: object name, caption ("-" for a separator), enabled, visible.
    struct Entry
    {
        QString name;
        QString text;
        bool enabled;
        bool visible;
    };
    const QList<std::pair<QString, QList<Entry>>> menus {
        { u"File"_s,
            { { u"Reconnect"_s, u"Reconnect to Router"_s, true, false },
                { u"ReconnectSep"_s, u"-"_s, true, false },
                { u"OpenReport"_s, u"Open Report"_s, false, true },
                { u"SaveReport"_s, u"Save Report"_s, false, true },
                { u"filesep3"_s, u"-"_s, true, true },
                { u"emailReport"_s, u"e-mail Report"_s, false, true },
                { u"PrintReport"_s, u"Print Report"_s, false, true },
                { u"FileSep1"_s, u"-"_s, true, true } } },
        { u"Admin"_s,
            { { u"SelectDriver"_s, u"Select Tarvik Driver"_s, true, true },
                { u"RouterConnectionSetup"_s, u"Router Connection Setup"_s, true, true },
                { u"EditLocationInfo"_s, u"Location Info"_s, false, true },
                { u"DatabaseSettingsMenu"_s, u"Database Settings"_s, false, true },
                { u"emailSetup"_s, u"e-mail Setup"_s, false, true } } },
        { u"Settings"_s,
            { { u"SetupProblemCodes"_s, u"Problem Codes"_s, false, true },
                { u"SetupOperatorIDs"_s, u"Operator IDs"_s, false, true } } },
        { u"Utilities"_s,
            { { u"GetTarvikEvents"_s, u"Synchronize Tarvik Events"_s, true, true } } },
        { u"Users"_s, { { u"LogOnMenu"_s, u"Log On"_s, true, true } } },
    };
    const QStringList menuNames { u"file"_s, u"Admin"_s, u"UserSettings"_s, u"Utilities"_s,
        u"UserS"_s };

    const QList<QAction *> bar = form.menuBar()->actions();
    QCOMPARE(bar.size(), menus.size());
    for (qsizetype m = 0; m < menus.size(); ++m) {
        QMenu *menu = bar.at(m)->menu();
        QVERIFY(menu);
        QCOMPARE(menu->objectName(), menuNames.at(m));
        QCOMPARE(menu->title(), menus.at(m).first);
        const QList<QAction *> actions = menu->actions();
        const QList<Entry> &entries = menus.at(m).second;
        QCOMPARE(actions.size(), entries.size());
        for (qsizetype e = 0; e < entries.size(); ++e) {
            const QAction *action = actions.at(e);
            const Entry &entry = entries.at(e);
            QCOMPARE(action->objectName(), entry.name);
            QCOMPARE(action->isSeparator() ? u"-"_s : action->text(), entry.text);
            QCOMPARE(action->isVisible(), entry.visible);
            // A hidden entry reads as disabled whatever it will be when shown.
            if (entry.visible)
                QVERIFY2(action->isEnabled() == entry.enabled, qPrintable(entry.name));
        }
    }

    // The entries start-up wires itself.
    QCOMPARE(form.Reconnect, child<QAction>(form, u"Reconnect"_s));
    QCOMPARE(form.ReconnectSep, child<QAction>(form, u"ReconnectSep"_s));
    QCOMPARE(form.SelectDriver, child<QAction>(form, u"SelectDriver"_s));
    QCOMPARE(form.RouterConnectionSetup, child<QAction>(form, u"RouterConnectionSetup"_s));
    QCOMPARE(form.LogOnMenu, child<QAction>(form, u"LogOnMenu"_s));
}

void TestMainForm::testLoading()
{
    TestClock clock(QDateTime(QDate(2026, 3, 11), QTime(9, 30)));
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    SettingsFile::instance().SetFileValue(SettingsKeys::LocationName, u"Riverside 8"_s);
    MainForm form(fixture.folder());

    // The start page: the site header in Report.htm, shown in the browser.
    const QString report = fixture.folder() + u"/Report.htm"_s;
    const QByteArray page = readFile(report);
    QVERIFY(page.startsWith("<html><head><title> </title></head>"));
    QVERIFY(page.contains("Riverside 8"));
    QVERIFY(!page.contains("Summary Report"));
    QCOMPARE(browser(form)->LocationURL(), report);
    QTRY_VERIFY_WITH_TIMEOUT(browser(form)->toPlainText().contains(u"Riverside 8"_s), 5000);

    // The router connection object, not connected yet, keeping its files in the program folder.
    QVERIFY(!form.Router().Connected());
    QCOMPARE(QFileInfo(form.Router().clientIdFilePath()).absolutePath(), fixture.folder());

    const auto *select = child<QComboBox>(form, u"ReportSelect"_s);
    const QStringList texts { u"Daily - Today"_s, u"Daily - Yesterday"_s, u"Daily - Custom"_s,
        u"Weekly - This Week"_s, u"Weekly - Last Week"_s, u"Weekly - Custom"_s,
        u"Monthly - This Month"_s, u"Monthly - Last Month"_s, u"Monthly - Custom"_s,
        u"Quarterly - This Quarter"_s, u"Quarterly - Last Quarter"_s, u"Quarterly - Custom"_s };
    const QList<int> data { 1, 101, 201, 2, 102, 202, 3, 103, 203, 4, 104, 204 };
    QCOMPARE(select->count(), texts.size());
    for (int i = 0; i < select->count(); ++i) {
        QCOMPARE(select->itemText(i), texts.at(i));
        QCOMPARE(select->itemData(i).toInt(), data.at(i));
    }
    QCOMPARE(select->currentText(), u"Daily - Today"_s);
    const auto *toDate = child<QDateEdit>(form, u"ToDate"_s);
    QCOMPARE(toDate->date(), QDate(2026, 3, 11));
    QVERIFY(!toDate->isEnabled());
    QVERIFY(toDate->calendarPopup());
    // A key released in the list brings the date up to the clock again.
    clock.advanceSeconds(24 * 60 * 60);
    QTest::keyRelease(child<QComboBox>(form, u"ReportSelect"_s), Qt::Key_Shift);
    QCOMPARE(toDate->date(), QDate(2026, 3, 12));

    QTabBar *tabs = child<QTabBar>(form, u"TabStrip"_s);
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(tabs->tabData(0).toString(), u"Schedule"_s);
    QCOMPARE(tabs->tabText(0), u"Schedule"_s);
    QCOMPARE(tabs->tabToolTip(0), u"Create schedule for reports to be e-mailed or printed"_s);
    QCOMPARE(tabs->tabData(1).toString(), u"Reports"_s);
    QCOMPARE(tabs->tabText(1), u"Reports"_s);
    QCOMPARE(tabs->tabToolTip(1), u"Reports that can be printed and e-mailed"_s);

    QCOMPARE(form.statusText(), u"Status"_s);
    QCOMPARE(&StatusLine::current(), &form);
}

void TestMainForm::testSwitches_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("ticked");
    QTest::addColumn<QString>("written");
    QTest::newRow("absent: stage disabled") << QString() << true << u"0"_s;
    QTest::newRow("0") << u"0"_s << true << u"0"_s;
    QTest::newRow("1: stage runs") << u"1"_s << false << u"1"_s;
    QTest::newRow("not a number reads as 0") << u"yes"_s << true << u"0"_s;
    QTest::newRow("other numbers run") << u" 2"_s << false << u"1"_s;
}

void TestMainForm::testSwitches()
{
    QFETCH(QString, stored);
    QFETCH(bool, ticked);
    QFETCH(QString, written);
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    SettingsFile &settings = SettingsFile::instance();
    if (!stored.isNull()) {
        settings.SetFileValue(SettingsKeys::ScheduleDisable, stored);
        settings.SetFileValue(SettingsKeys::SpoolerDisable, stored);
    }
    MainForm form(fixture.folder());

    const QColor red(255, 0, 0);
    for (const QString &key : { SettingsKeys::ScheduleDisable, SettingsKeys::SpoolerDisable }) {
        auto *box = child<QCheckBox>(form, key);
        QCOMPARE(box->isChecked(), ticked);
        QCOMPARE(settings.GetFileValue(key), written);
        QCOMPARE(box->palette().color(QPalette::WindowText) == red, ticked);

        // Every click stores the switch and recolours the caption.
        box->click();
        QCOMPARE(settings.GetFileValue(key), ticked ? u"1"_s : u"0"_s);
        QCOMPARE(box->palette().color(QPalette::WindowText) == red, !ticked);
    }
}

void TestMainForm::testTabs()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    MainForm form(fixture.folder());
    form.show();
    const QWidget *reportPage = child<QWidget>(form, u"HTMLReportFrame"_s);
    const QWidget *schedulePage = child<QWidget>(form, u"ScheduleFrame"_s);
    const QList<QAction *> reportCommands { child<QAction>(form, u"OpenReport"_s),
        child<QAction>(form, u"SaveReport"_s), child<QAction>(form, u"PrintReport"_s) };

    for (const QString &key : { u"Reports"_s, u"Schedule"_s, u"Reports"_s }) {
        showTab(form, key);
        const bool reports = key == u"Reports"_s;
        QCOMPARE(reportPage->isVisible(), reports);
        QCOMPARE(schedulePage->isVisible(), !reports);
        for (const QAction *command : reportCommands)
            QCOMPARE(command->isEnabled(), reports);
        // The e-mail command stays off until mailing is available.
        QVERIFY(!child<QAction>(form, u"emailReport"_s)->isEnabled());
    }
}

void TestMainForm::testStatusLine()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    {
        MainForm form(fixture.folder());
        StatusLine &line = StatusLine::current();
        QCOMPARE(&line, &form);
        line.SetStatus(u"Running Scheduled Reports"_s);
        QCOMPARE(form.statusText(), u"Status: Running Scheduled Reports"_s);
        line.RestoreStatus();
        QCOMPARE(form.statusText(), u"Status"_s);

        // One slot: a second message overwrites what the first one saved.
        line.SetStatus(u"first"_s);
        line.SetStatus(u"second"_s);
        QCOMPARE(form.statusText(), u"Status: second"_s);
        line.RestoreStatus();
        QCOMPARE(form.statusText(), u"Status: first"_s);
    }
    // Gone with the window.
    StatusLine::current().SetStatus(u"after"_s);
}

void TestMainForm::testUpdateReportDate_data()
{
    QTest::addColumn<QDate>("today");
    QTest::addColumn<int>("itemData");
    QTest::addColumn<QDate>("expected");
    QTest::addColumn<bool>("enabled");

    const QDate wednesday(2026, 3, 11);
    QTest::newRow("Daily - Today") << wednesday << 1 << wednesday << false;
    QTest::newRow("Daily - Yesterday") << wednesday << 101 << QDate(2026, 3, 10) << false;
    QTest::newRow("Daily - Yesterday on 1 March")
        << QDate(2028, 3, 1) << 101 << QDate(2028, 2, 29) << false;
    QTest::newRow("Weekly - This Week") << wednesday << 2 << wednesday << false;
    QTest::newRow("Weekly - Last Week on a Wednesday: Saturday")
        << wednesday << 102 << QDate(2026, 3, 7) << false;
    QTest::newRow("Weekly - Last Week on a Sunday")
        << QDate(2026, 3, 15) << 102 << QDate(2026, 3, 14) << false;
    QTest::newRow("Weekly - Last Week on a Saturday")
        << QDate(2026, 3, 14) << 102 << QDate(2026, 3, 7) << false;
    QTest::newRow("Monthly - This Month") << wednesday << 3 << wednesday << false;
    QTest::newRow("Monthly - Last Month") << wednesday << 103 << QDate(2026, 2, 28) << false;
    QTest::newRow("Monthly - Last Month in January")
        << QDate(2026, 1, 20) << 103 << QDate(2025, 12, 31) << false;
    QTest::newRow("Quarterly - This Quarter") << wednesday << 4 << wednesday << false;
    QTest::newRow("Quarterly - Last Quarter")
        << QDate(2026, 5, 20) << 104 << QDate(2026, 3, 31) << false;
    QTest::newRow("Quarterly - Last Quarter on its first day")
        << QDate(2026, 10, 1) << 104 << QDate(2026, 9, 30) << false;
    QTest::newRow("Quarterly - Last Quarter in March")
        << QDate(2026, 3, 31) << 104 << QDate(2025, 12, 31) << false;
    for (int data : { 201, 202, 203, 204 })
        QTest::addRow("custom %d keeps the date", data)
            << wednesday << data << QDate(2025, 7, 4) << true;
}

void TestMainForm::testUpdateReportDate()
{
    QFETCH(QDate, today);
    QFETCH(int, itemData);
    QFETCH(QDate, expected);
    QFETCH(bool, enabled);
    TestClock clock(QDateTime(today, QTime(16, 45)));
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    MainForm form(fixture.folder());
    auto *toDate = child<QDateEdit>(form, u"ToDate"_s);
    // What the user left in the box; custom reports keep it.
    toDate->setDate(QDate(2025, 7, 4));

    selectReport(form, 401); // nothing: no such item
    selectReport(form, itemData);
    QCOMPARE(toDate->date(), expected);
    QCOMPARE(toDate->isEnabled(), enabled);
}

void TestMainForm::testGenerageReport_data()
{
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<int>("questions");
    QTest::addColumn<bool>("generated");
    QTest::addColumn<QString>("note");

    using B = QMessageBox::StandardButton;
    QTest::newRow("Cancel stops") << QList<int> { B::Cancel } << 1 << false << QString();
    QTest::newRow("No: the note says so")
        << QList<int> { B::No } << 1 << true << kNotSynchronizedNote;
    QTest::newRow("Yes, sync fails, Yes: the failure is the note")
        << QList<int> { B::Yes, B::Yes } << 2 << true << u"FAILURE"_s;
    QTest::newRow("Yes, sync fails, No") << QList<int> { B::Yes, B::No } << 2 << false << QString();
    QTest::newRow("Yes, sync fails, Cancel")
        << QList<int> { B::Yes, B::Cancel } << 2 << false << QString();
}

void TestMainForm::testGenerageReport()
{
    QFETCH(QList<int>, answers);
    QFETCH(int, questions);
    QFETCH(bool, generated);
    QFETCH(QString, note);
    TestClock clock(kStaleNow);
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    const QDate day(2026, 12, 1);
    QVERIFY(fixture.addShow(1, 1, QDateTime(day, QTime(19, 0)), 7200, 0));
    MainForm form(fixture.folder());
    showTab(form, u"Reports"_s);
    selectReport(form, 201);
    child<QDateEdit>(form, u"ToDate"_s)->setDate(day);

    for (int answer : answers)
        Messages::setNextAnswer(QMessageBox::StandardButton(answer));
    child<QPushButton>(form, u"GenerageReport"_s)->click();

    // Without a driver the synchronisation fails at once.
    const QString failure = EventLog::GetLastFailure();
    QStringList expected { kSyncQuestion };
    if (questions > 1) {
        QVERIFY(!failure.isEmpty());
        expected.append(u"Could not synchronize event log.\r\n"_s + failure
            + u"\r\nWould you still like to generate the report?"_s);
    }
    QCOMPARE(shownTexts(), expected);
    for (const Messages::Shown &box : Messages::shown())
        QCOMPARE(box.buttons, Messages::YesNoCancel);

    const QString report = fixture.folder() + u"/Report.htm"_s;
    const QString page = QString::fromLatin1(readFile(report));
    const QString title
        = u"Daily Summary Report for "_s + QLocale().toString(day, QLocale::LongFormat);
    QCOMPARE(page.contains(title), generated);
    QCOMPARE(browser(form)->LocationURL(), report);
    if (note == u"FAILURE"_s)
        note = u"Sychronizing Event Log database failed because: "_s + failure;
    if (!note.isEmpty())
        QVERIFY2(page.contains(u"<BR>*&nbsp&nbsp&nbsp"_s + note), qPrintable(page));
    if (generated)
        QTRY_VERIFY_WITH_TIMEOUT(browser(form)->toPlainText().contains(title), 5000);
}

void TestMainForm::testSynchronizeMenuFailure()
{
    TestClock clock(kStaleNow);
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    SettingsFile::instance().SetFileValue(SettingsKeys::TarvikDriverID, u"1-3"_s);
    MainForm form(fixture.folder());

    child<QAction>(form, u"GetTarvikEvents"_s)->trigger();
    const QString failure = EventLog::GetLastFailure();
    QVERIFY(!failure.isEmpty());
    QCOMPARE(shownTexts(), QStringList { u"Could not syncronize event log.\r\n"_s + failure });
    QCOMPARE(Messages::shown().constFirst().icon, QMessageBox::Warning);
}

void TestMainForm::testRecentSynchronisation()
{
    const QDateTime syncTime(QDate(2026, 3, 11), QTime(10, 0));
    TestClock clock(syncTime);
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    {
        DriverDatabase driver;
        QVERIFY2(driver.create(fixture.folder() + u"/driver.db"_s), qPrintable(driver.lastError()));
    }
    ServeOptions options;
    options.dbPath = fixture.folder() + u"/driver.db"_s;
    SiteServer site(options);
    QString error;
    if (!site.start(&error))
        QSKIP(qPrintable(u"No router port free: "_s + error));
    SettingsFile::instance().SetFileValue(
        SettingsKeys::TarvikDriverID, DriverService::DefaultId.toString());

    MainForm form(fixture.folder());
    ServerConnection &router = form.Router();
    router.SetType(2, u"Halden"_s);
    QVERIFY(router.Connect(u"127.0.0.1"_s, u"Booth Showpulse"_s));
    QTRY_VERIFY_WITH_TIMEOUT(router.Connected(), 10000);

    child<QAction>(form, u"GetTarvikEvents"_s)->trigger();
    QCOMPARE(shownTexts(), QStringList());
    QCOMPARE(EventLog::GetLastSyncTime(), syncTime);

    // Within the hour: no question, no note.
    showTab(form, u"Reports"_s);
    auto *generate = child<QPushButton>(form, u"GenerageReport"_s);
    clock.advanceSeconds(60 * 60);
    generate->click();
    QCOMPARE(shownTexts(), QStringList());
    const QByteArray page = readFile(fixture.folder() + u"/Report.htm"_s);
    QVERIFY(page.contains("Daily Summary Report for "));
    QVERIFY(!page.contains("User choose"));
    QVERIFY(!page.contains("Sychronizing"));

    // Later the question comes back; Yes synchronises and the report carries no note.
    QVERIFY(QFile::remove(fixture.folder() + u"/Report.htm"_s));
    clock.advanceSeconds(1);
    Messages::setNextAnswer(QMessageBox::Yes);
    generate->click();
    QCOMPARE(shownTexts(), QStringList { kSyncQuestion });
    QCOMPARE(EventLog::GetLastSyncTime(), Clock::currentDateTime());
    const QByteArray later = readFile(fixture.folder() + u"/Report.htm"_s);
    QVERIFY(later.contains("Daily Summary Report for "));
    QVERIFY(!later.contains("Sychronizing"));
    router.CloseConnection();
}

void TestMainForm::testPrintHook_data()
{
    QTest::addColumn<QString>("page");
    QTest::addColumn<bool>("pageExists");
    QTest::addColumn<QString>("output");
    QTest::addColumn<bool>("result");
    QTest::addColumn<bool>("printed");

    QTest::newRow("Print.htm is printed") << u"Print.htm"_s << true << u"out.pdf"_s << true << true;
    QTest::newRow("missing page fails at once")
        << u"Print.htm"_s << false << u"out.pdf"_s << false << false;
    QTest::newRow("failed print is no success")
        << u"Print.htm"_s << true << u"missing/out.pdf"_s << false << false;
    QTest::newRow("other pages are not printed: time-out")
        << u"Report.htm"_s << true << u"out.pdf"_s << false << false;
}

void TestMainForm::testPrintHook()
{
    QFETCH(QString, page);
    QFETCH(bool, pageExists);
    QFETCH(QString, output);
    QFETCH(bool, result);
    QFETCH(bool, printed);
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    MainForm form(fixture.folder());
    const QString pdf = fixture.folder() + u'/' + output;
    const auto printer = pdfPrinter(pdf);
    browser(form)->setPrinter(printer.get());

    const QString path = fixture.folder() + u'/' + page;
    QFile::remove(path);
    if (pageExists)
        QVERIFY(writeFile(path, "<html><body>Daily Summary Report</body></html>"));
    browser(form)->Navigate(path);
    // A page that is never printed ends with the time-out, here shortened.
    QCOMPARE(showPrinting(form, page == u"Print.htm"_s ? 5000 : 300), result);
    const QByteArray bytes = readFile(pdf);
    QCOMPARE(bytes.startsWith("%PDF"), printed);
}

void TestMainForm::testOpenReport()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    MainForm form(fixture.folder());
    const QString pdf = fixture.folder() + u"/out.pdf"_s;
    const auto printer = pdfPrinter(pdf);
    browser(form)->setPrinter(printer.get());
    showTab(form, u"Reports"_s);
    QAction *open = child<QAction>(form, u"OpenReport"_s);

    QVERIFY(QDir(fixture.folder()).mkpath(u"saved"_s));
    const QString saved = fixture.folder() + u"/saved/March.htm"_s;
    QVERIFY(writeFile(saved, "<html><body>March report</body></html>"));
    FileDialogs::setNextPath(saved);
    open->trigger();
    QCOMPARE(browser(form)->LocationURL(), saved);
    QTRY_VERIFY_WITH_TIMEOUT(browser(form)->toPlainText().contains(u"March report"_s), 5000);
    const FileDialogs::Shown dialog = FileDialogs::shown().constFirst();
    QCOMPARE(dialog.title, u"Select File to Open"_s);
    QCOMPARE(dialog.nameFilters, QStringList { u"HTML Reports (*.htm)"_s });
    QCOMPARE(dialog.initialName, QString());

    // Cancelled: the shown report stays.
    FileDialogs::setNextPath(QString());
    open->trigger();
    QCOMPARE(browser(form)->LocationURL(), saved);

    // A file named Print.htm is printed as soon as it has loaded.
    const QString print = fixture.folder() + u"/saved/Print.htm"_s;
    QVERIFY(writeFile(print, "<html><body>printed by hand</body></html>"));
    FileDialogs::setNextPath(print);
    open->trigger();
    QTRY_VERIFY_WITH_TIMEOUT(readFile(pdf).startsWith("%PDF"), 5000);
    QCOMPARE(shownTexts(), QStringList());
}

void TestMainForm::testPrintReportAsksForPrinter()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    MainForm form(fixture.folder());
    const QString pdf = fixture.folder() + u"/out.pdf"_s;
    const auto printer = pdfPrinter(pdf);
    browser(form)->setPrinter(printer.get());
    showTab(form, u"Reports"_s);

    ModalHelper<QPrintDialog> helper([](QPrintDialog *dialog) { dialog->reject(); });
    child<QAction>(form, u"PrintReport"_s)->trigger();
    QVERIFY(helper.ran());
    // Cancelled in the dialog: nothing printed, not even on the silent printer.
    QVERIFY(!QFile::exists(pdf));
}

void TestMainForm::testSaveReport_data()
{
    QTest::addColumn<bool>("outside");
    QTest::addColumn<bool>("chosen");
    QTest::addColumn<bool>("copied");

    QTest::newRow("generated report is copied") << false << true << true;
    QTest::newRow("cancelled") << false << false << false;
    QTest::newRow("report from another folder: target kept") << true << true << false;
}

void TestMainForm::testSaveReport()
{
    QFETCH(bool, outside);
    QFETCH(bool, chosen);
    QFETCH(bool, copied);
    TestClock clock(kStaleNow);
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    MainForm form(fixture.folder());
    showTab(form, u"Reports"_s);
    Messages::setNextAnswer(QMessageBox::No);
    child<QPushButton>(form, u"GenerageReport"_s)->click();
    const QByteArray report = readFile(fixture.folder() + u"/Report.htm"_s);
    QVERIFY(report.contains("Daily Summary Report for "));

    QVERIFY(QDir(fixture.folder()).mkpath(u"elsewhere"_s));
    if (outside) {
        const QString other = fixture.folder() + u"/elsewhere/Other.htm"_s;
        QVERIFY(writeFile(other, "<html><body>other</body></html>"));
        browser(form)->Navigate(other);
    }
    const QString target = fixture.folder() + u"/elsewhere/Saved.htm"_s;
    QVERIFY(writeFile(target, "older file"));
    FileDialogs::setNextPath(chosen ? target : QString());
    child<QAction>(form, u"SaveReport"_s)->trigger();

    QCOMPARE(FileDialogs::shown().constFirst().title, u"Select Name to save file"_s);
    QCOMPARE(readFile(target), copied ? report : QByteArray("older file"));
    const QStringList boxes = shownTexts().mid(1);
    if (outside) {
        QCOMPARE(boxes.size(), 1);
        QVERIFY2(boxes.constFirst().contains(fixture.folder() + u"/Other.htm"_s),
            qPrintable(boxes.constFirst()));
    } else {
        QCOMPARE(boxes, QStringList());
    }
}

void TestMainForm::testAutoSizeColumns_data()
{
    QTest::addColumn<QString>("item");
    QTest::addColumn<QString>("header");
    QTest::addColumn<bool>("skipHeaders");
    QTest::addColumn<QString>("widest"); // "min", "max" or the text that sets the width

    const QString longText = QString(300, u'W');
    QTest::newRow("short text: 400 twips") << u"a"_s << u"b"_s << false << u"min"_s;
    QTest::newRow("long text: 5000 twips") << longText << u"b"_s << false << u"max"_s;
    QTest::newRow("long header") << u"a"_s << longText << false << u"max"_s;
    QTest::newRow("long header skipped") << u"a"_s << longText << true << u"min"_s;
    QTest::newRow("header wider than the items")
        << u"Yes"_s << u"Send to Printer"_s << false << u"Send to Printer"_s;
    QTest::newRow("items wider than the header")
        << u"Daily Summary Report"_s << u"Name"_s << false << u"Daily Summary Report"_s;
}

void TestMainForm::testAutoSizeColumns()
{
    QFETCH(QString, item);
    QFETCH(QString, header);
    QFETCH(bool, skipHeaders);
    QFETCH(QString, widest);
    QTreeWidget list;
    list.header()->setStretchLastSection(false);
    list.setHeaderLabels({ header, header });
    // The first column reads item texts, the others sub-item texts.
    list.addTopLevelItem(new QTreeWidgetItem(QStringList { item, item }));
    list.addTopLevelItem(new QTreeWidgetItem(QStringList { u"i"_s, u"i"_s }));

    MainForm::AutoSizeColumns(&list, skipHeaders);
    const double px = FormResize::twipsPerPixelX(&list);
    int expected = 0;
    if (widest == u"min"_s)
        expected = qRound(400 / px) + 20;
    else if (widest == u"max"_s)
        expected = qRound(5000 / px) + 20;
    else
        expected = QFontMetrics(list.font()).horizontalAdvance(widest) + 20;
    QCOMPARE(list.columnWidth(0), expected);
    QCOMPARE(list.columnWidth(1), expected);
}

void TestMainForm::testResize()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    MainForm form(fixture.folder());
    const auto *page = child<QWidget>(form, u"HTMLReportFrame"_s);
    const auto *generate = child<QWidget>(form, u"GenerageReport"_s);
    const auto *browserWidget = child<QWidget>(form, u"WebBrowser"_s);
    const auto *upper = child<QWidget>(form, u"Frame3"_s);
    const auto *lower = child<QWidget>(form, u"Frame1"_s);
    const auto *status = child<QWidget>(form, u"StatusBar"_s);
    const int buttonGap = page->height() - generate->geometry().bottom();
    const int browserRightGap = page->width() - browserWidget->geometry().right();
    const double upperShare = double(upper->geometry().bottom()) / lower->geometry().bottom();
    const auto keepsDesign = [&] {
        QCOMPARE(page->height() - generate->geometry().bottom(), buttonGap);
        QCOMPARE(page->width() - browserWidget->geometry().right(), browserRightGap);
        QVERIFY(qAbs(double(upper->geometry().bottom()) / lower->geometry().bottom() - upperShare)
            < 0.02);
        QCOMPARE(status->geometry().bottom(), form.centralWidget()->height() - 1);
        QCOMPARE(status->width(), form.centralWidget()->width());
    };

    // Start-up sizes the window before showing it.
    form.resize(1100, 800);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QCOMPARE(form.width(), 1100);
    keepsDesign();

    form.resize(1200, 900);
    QTRY_COMPARE_WITH_TIMEOUT(form.width(), 1200, 5000);
    keepsDesign();

    // Never smaller than 9500 x 6000 twips, frame included.
    const double px = FormResize::twipsPerPixelX(&form);
    const double py = FormResize::twipsPerPixelY(&form);
    form.resize(200, 150);
    QTRY_COMPARE_WITH_TIMEOUT(form.frameGeometry().width(), qRound(9500 / px), 5000);
    QTRY_COMPARE_WITH_TIMEOUT(form.frameGeometry().height(), qRound(6000 / py), 5000);
    keepsDesign();
}

void TestMainForm::testShutdownHandler()
{
    ReportFixture fixture;
    QVERIFY(fixture.isReady());
    MainForm form(fixture.folder());
    form.show();
    int calls = 0;
    form.setShutdownHandler([&calls] { ++calls; });
    QVERIFY(form.close());
    QCOMPARE(calls, 1);
}

QTEST_MAIN(TestMainForm)
#include "tst_mainform.moc"
