#include "ui/formresize.h"
#include "ui/progressdialog.h"

#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestProgressDialog : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void testOpensWithSpecifiedDefaults();
    void testInstallsItself();
    void testMessageText_data();
    void testMessageText();
    void testFitsWindowToMessage();
    void testKeepSize();
    void testSetProgress_data();
    void testSetProgress();
    void testAnimation();
    void testCancel();
    void testClose();

private:
    static QLabel *message(ProgressDialog &d)
    {
        return d.findChild<QLabel *>(QStringLiteral("Message"));
    }
    static QProgressBar *bar(ProgressDialog &d)
    {
        return d.findChild<QProgressBar *>(QStringLiteral("ProgressBar"));
    }
    static QPushButton *cancelButton(ProgressDialog &d)
    {
        return d.findChild<QPushButton *>(QStringLiteral("CancelButton"));
    }
    static QTimer *timer(ProgressDialog &d)
    {
        return d.findChild<QTimer *>(QStringLiteral("Timer1"));
    }
};

void TestProgressDialog::testOpensWithSpecifiedDefaults()
{
    QMainWindow owner;
    ProgressDialog dialog(&owner);
    QCOMPARE(dialog.objectName(), QStringLiteral("Progress"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Progress"));
    QVERIFY(message(dialog));
    QVERIFY(bar(dialog));
    QVERIFY(cancelButton(dialog));
    QVERIFY(timer(dialog));
    QCOMPARE(cancelButton(dialog)->text(), QStringLiteral("Cancel"));
    QCOMPARE(timer(dialog)->interval(), 500);
    QVERIFY(!timer(dialog)->isActive());
    QVERIFY(!dialog.isVisible());

    dialog.Display(QStringLiteral("Verifying user"));
    QVERIFY(dialog.isVisible());
    QVERIFY(!dialog.isModal());
    QCOMPARE(dialog.windowModality(), Qt::NonModal);
    QCOMPARE(dialog.parentWidget(), &owner);
    QCOMPARE(bar(dialog)->minimum(), 0);
    QCOMPARE(bar(dialog)->maximum(), 100);
    QCOMPARE(bar(dialog)->value(), 0);
    QVERIFY(!timer(dialog)->isActive());
    QVERIFY(!dialog.Cancelled());
}

void TestProgressDialog::testInstallsItself()
{
    QVERIFY(!dynamic_cast<ProgressDialog *>(&Progress::current()));
    {
        ProgressDialog dialog;
        QCOMPARE(&Progress::current(), static_cast<Progress *>(&dialog));
    }
    // Gone with the window: the core falls back to its silent one.
    QVERIFY(!dynamic_cast<ProgressDialog *>(&Progress::current()));
}

void TestProgressDialog::testMessageText_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << QString() << QStringLiteral("Getting Data.\nPlease Wait...");
    QTest::newRow("message") << QStringLiteral("Synchronizing Event Log")
                             << QStringLiteral("Synchronizing Event Log\nPlease Wait...");
    QTest::newRow("CR LF lines") << QStringLiteral("Printing Report ...\r\nWeekly")
                                 << QStringLiteral("Printing Report ...\nWeekly\nPlease Wait...");
}

void TestProgressDialog::testMessageText()
{
    QFETCH(QString, message);
    QFETCH(QString, expected);
    ProgressDialog dialog;
    dialog.Display(message);
    QCOMPARE(this->message(dialog)->text(), expected);
    dialog.SetMessage(QString());
    QCOMPARE(this->message(dialog)->text(), QStringLiteral("Getting Data.\nPlease Wait..."));
}

void TestProgressDialog::testFitsWindowToMessage()
{
    ProgressDialog dialog;
    const double px = FormResize::twipsPerPixelX(&dialog);
    const auto pixels = [px](double twips) { return qRound(twips / px); };

    // A short message: the bar sets the width, 500 twips wider than the bar.
    dialog.Display(QStringLiteral("Wait"));
    QCOMPARE(dialog.width(), bar(dialog)->width() + pixels(500));
    const int shortWidth = dialog.width();

    // A long message widens the window to 300 twips more than the label.
    dialog.SetMessage(QStringLiteral("Building the quarterly report for every house of the site "
                                     "from the copied event log"));
    QVERIFY(dialog.width() > shortWidth);
    QCOMPARE(dialog.width(), message(dialog)->width() + pixels(300));

    // Everything centred, in order from top to bottom, inside the window.
    for (QWidget *w : { static_cast<QWidget *>(message(dialog)),
             static_cast<QWidget *>(bar(dialog)), static_cast<QWidget *>(cancelButton(dialog)) }) {
        QVERIFY(qAbs(w->x() + w->width() / 2 - dialog.width() / 2) <= 1);
        QVERIFY(dialog.rect().contains(w->geometry()));
    }
    QVERIFY(message(dialog)->geometry().bottom() < bar(dialog)->y());
    QVERIFY(bar(dialog)->geometry().bottom() < cancelButton(dialog)->y());
    // The label shows its whole text.
    QVERIFY(message(dialog)->width() >= message(dialog)->sizeHint().width());
}

void TestProgressDialog::testKeepSize()
{
    ProgressDialog dialog;
    dialog.Display(QStringLiteral("Wait"));
    const QSize size = dialog.size();
    dialog.SetMessage(QStringLiteral("A much longer message that would widen the window"), true);
    QCOMPARE(dialog.size(), size);
    QCOMPARE(message(dialog)->text(),
        QStringLiteral("A much longer message that would widen the window\nPlease Wait..."));
}

void TestProgressDialog::testSetProgress_data()
{
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("expected");
    QTest::newRow("inside") << 42 << 42;
    QTest::newRow("minimum") << 0 << 0;
    QTest::newRow("maximum") << 100 << 100;
    QTest::newRow("above") << 150 << 30;
    QTest::newRow("below") << -1 << 30;
}

void TestProgressDialog::testSetProgress()
{
    QFETCH(int, value);
    QFETCH(int, expected);
    ProgressDialog dialog;
    dialog.Display(QString());
    dialog.SetProgress(30);
    dialog.SetProgress(value);
    QCOMPARE(bar(dialog)->value(), expected);
}

void TestProgressDialog::testAnimation()
{
    ProgressDialog dialog;
    dialog.Display(QStringLiteral("Listing drivers"), true);
    QVERIFY(timer(dialog)->isActive());
    QTRY_VERIFY_WITH_TIMEOUT(bar(dialog)->value() >= 1, 5000);

    // A full bar stays full.
    dialog.SetProgress(100);
    QVERIFY(QMetaObject::invokeMethod(&dialog, "onTimer1Timeout"));
    QCOMPARE(bar(dialog)->value(), 100);

    // A new operation without animation starts from 0 and stops the timer.
    dialog.Display(QStringLiteral("Next"), false);
    QVERIFY(!timer(dialog)->isActive());
    QCOMPARE(bar(dialog)->value(), 0);
}

void TestProgressDialog::testCancel()
{
    ProgressDialog dialog;
    dialog.Display(QStringLiteral("Synchronizing"));
    QTest::mouseClick(cancelButton(dialog), Qt::LeftButton);
    QVERIFY(dialog.Cancelled());
    // The window stays until the operation closes it.
    QVERIFY(dialog.isVisible());

    // Shown again for the next operation: the flag is cleared.
    dialog.Display(QStringLiteral("Again"));
    QVERIFY(!dialog.Cancelled());
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(dialog.Cancelled());
    QVERIFY(dialog.isVisible());

    // The close box asks to cancel as well.
    dialog.Display(QStringLiteral("Once more"));
    QVERIFY(!dialog.close());
    QVERIFY(dialog.Cancelled());
    QVERIFY(dialog.isVisible());
}

void TestProgressDialog::testClose()
{
    ProgressDialog dialog;
    dialog.Display(QStringLiteral("Reports"), true);
    dialog.SetProgress(60);
    cancelButton(dialog)->click();
    dialog.Close();
    QVERIFY(!dialog.isVisible());
    QVERIFY(!timer(dialog)->isActive());
    QVERIFY(!dialog.Cancelled());
    // The core still reaches it after it was closed; the next Display shows it again.
    Progress::current().Display(QStringLiteral("Next operation"));
    QVERIFY(dialog.isVisible());
}

QTEST_MAIN(TestProgressDialog)
#include "tst_progressdialog.moc"
