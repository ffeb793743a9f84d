#include "ui/formresize.h"
#include "ui/serverwaitdialog.h"

#include "driverdatabase.h"
#include "driverservice.h"
#include "siteserver.h"

#include "modalhelper.h"

#include <QLabel>
#include <QMainWindow>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace std::chrono_literals;

class TestServerWaitDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void testOpensWithSpecifiedDefaults();
    void testShowsMessage();
    void testCancel_data();
    void testCancel();
    void testClosedByTheRequest();
    void testLateRouterAnswer_data();
    void testLateRouterAnswer();

private:
    static QLabel *label(ServerWaitDialog &d)
    {
        return d.findChild<QLabel *>(QStringLiteral("Label1"));
    }
    static QPushButton *cancelButton(ServerWaitDialog &d)
    {
        return d.findChild<QPushButton *>(QStringLiteral("CancelButton"));
    }
};

void TestServerWaitDialog::testOpensWithSpecifiedDefaults()
{
    QMainWindow owner;
    ServerWaitDialog dialog(&owner);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Halden "));
    QVERIFY(label(dialog));
    QVERIFY(cancelButton(dialog));
    QCOMPARE(label(dialog)->text(), QStringLiteral("No Response From Server."));
    QCOMPARE(cancelButton(dialog)->text(), QStringLiteral("Cancel"));
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.parentWidget(), &owner);
}

void TestServerWaitDialog::testShowsMessage()
{
    ServerWaitDialog dialog;
    dialog.show(QStringLiteral("No Response from Router\rPlease Wait..."), [] {});
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.isModal());
    QCOMPARE(label(dialog)->text(), QStringLiteral("No Response from Router\nPlease Wait..."));

    // Sized to the label: 150 twips around it, the button below, all inside the window.
    const double px = FormResize::twipsPerPixelX(&dialog);
    const double py = FormResize::twipsPerPixelY(&dialog);
    QCOMPARE(label(dialog)->pos(), QPoint(qRound(150 / px), qRound(150 / py)));
    QVERIFY(label(dialog)->width() >= label(dialog)->sizeHint().width());
    QCOMPARE(dialog.width(), label(dialog)->width() + 2 * qRound(150 / px));
    QVERIFY(label(dialog)->geometry().bottom() < cancelButton(dialog)->y());
    QVERIFY(dialog.rect().contains(cancelButton(dialog)->geometry()));
    QVERIFY(qAbs(cancelButton(dialog)->geometry().center().x() - dialog.width() / 2) <= 1);

    // Each late request fits the window to its own text.
    const int width = dialog.width();
    dialog.show(
        QStringLiteral("No Response from Router while copying the event log\rPlease Wait..."),
        [] {});
    QVERIFY(dialog.width() > width);
    QCOMPARE(dialog.width(), label(dialog)->width() + 2 * qRound(150 / px));
}

void TestServerWaitDialog::testCancel_data()
{
    addDismissalRows();
}

void TestServerWaitDialog::testCancel()
{
    QFETCH(int, how);
    ServerWaitDialog dialog;
    int cancelled = 0;
    dialog.show(QStringLiteral("Waiting"), [&cancelled] { ++cancelled; });
    dismissDialog(&dialog, how, cancelButton(dialog));
    QCOMPARE(cancelled, 1);
    QVERIFY(!dialog.isVisible());

    // A second press after the wait was given up reaches nobody.
    cancelButton(dialog)->click();
    QCOMPARE(cancelled, 1);
}

void TestServerWaitDialog::testClosedByTheRequest()
{
    ServerWaitDialog dialog;
    int cancelled = 0;
    dialog.show(QStringLiteral("Waiting"), [&cancelled] { ++cancelled; });
    dialog.close();
    QVERIFY(!dialog.isVisible());
    cancelButton(dialog)->click();
    QCOMPARE(cancelled, 0);

    // The next late request shows the window again with its own Cancel.
    dialog.show(QStringLiteral("Waiting again"), [&cancelled] { cancelled += 10; });
    QVERIFY(dialog.isVisible());
    cancelButton(dialog)->click();
    QCOMPARE(cancelled, 10);
}

void TestServerWaitDialog::testLateRouterAnswer_data()
{
    QTest::addColumn<bool>("userCancels");
    QTest::newRow("answer arrives while the window shows") << false;
    QTest::newRow("user gives up") << true;
}

// The window with the real connection and the simulated site: a late answer shows it, the
// answer or Cancel ends it.
void TestServerWaitDialog::testLateRouterAnswer()
{
    QFETCH(bool, userCancels);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    {
        DriverDatabase driver;
        QVERIFY2(driver.create(dir.filePath(QStringLiteral("driver.db"))),
            qPrintable(driver.lastError()));
    }
    ServeOptions options;
    options.dbPath = dir.filePath(QStringLiteral("driver.db"));
    if (userCancels)
        options.faults.neverAnswer = true;
    else
        options.faults.delayMs = 1500;
    SiteServer site(options);
    QString error;
    if (!site.start(&error))
        QSKIP(qPrintable(QStringLiteral("No router port free: ") + error));

    ServerConnection connection(dir.path());
    connection.SetType(2, QStringLiteral("Halden"));
    connection.AddObject(QStringLiteral("Log On Access"), 1);
    QVERIFY(connection.Connect(QStringLiteral("127.0.0.1"), QStringLiteral("Booth")));
    QTRY_VERIFY_WITH_TIMEOUT(connection.Connected(), 10000);
    QCOMPARE(
        connection.RegisterUser(QStringLiteral("admin"), QStringLiteral("admin")).ErrorCode(), 0);

    ServerWaitDialog dialog;
    connection.setWaitingWindow(&dialog);
    connection.setRequestTimeout(100ms);

    QString shownText;
    QTimer watcher;
    watcher.setInterval(10);
    connect(&watcher, &QTimer::timeout, this, [&] {
        if (dialog.isVisible() && shownText.isEmpty()) {
            shownText = label(dialog)->text();
            if (userCancels)
                QTest::mouseClick(cancelButton(dialog), Qt::LeftButton);
        }
    });
    watcher.start();
    // A window that never shows must not leave the request waiting forever.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, &connection, &ServerConnection::CloseConnection);
    guard.start(15000);

    const std::optional<TCPIPRecordSet> operators = connection.GetRecordset(
        DriverService::DefaultId.toString(), QStringLiteral("select * from operators"));
    guard.stop();
    watcher.stop();

    QCOMPARE(shownText, QStringLiteral("No Response from Router\nPlease Wait..."));
    QVERIFY(!dialog.isVisible());
    if (userCancels) {
        QVERIFY(!operators);
        QCOMPARE(connection.GetLastErrorCode(), ServerConnection::ErrorTimeout);
    } else {
        QVERIFY2(operators, qPrintable(connection.GetLastErrorDescription()));
    }
    QVERIFY(connection.Connected());
    connection.setWaitingWindow(nullptr);
}

QTEST_MAIN(TestServerWaitDialog)
#include "tst_serverwaitdialog.moc"
