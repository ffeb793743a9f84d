#include "delivery/printingreport.h"

#include <QLabel>
#include <QMainWindow>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

class TestPrintingReport : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void testOpensWithSpecifiedDefaults();
    void testShowForm_data();
    void testShowForm();

private:
    static QLabel *label(PrintingReport &d) { return d.findChild<QLabel *>(u"label"_s); }
    static QTimer *timer(PrintingReport &d) { return d.findChild<QTimer *>(u"Timer"_s); }
};

void TestPrintingReport::testOpensWithSpecifiedDefaults()
{
    QMainWindow owner;
    PrintingReport dialog(&owner);
    QCOMPARE(dialog.windowTitle(), u"Printing ..."_s);
    QVERIFY(label(dialog));
    QVERIFY(timer(dialog));
    QCOMPARE(label(dialog)->text(), u"Printing Report ..."_s);
    QCOMPARE(timer(dialog)->interval(), 5000);
    QVERIFY(!timer(dialog)->isActive());
    QCOMPARE(dialog.parentWidget(), &owner);
    QVERIFY(!PrintingReport::active());
}

void TestPrintingReport::testShowForm_data()
{
    QTest::addColumn<QString>("ending");
    QTest::addColumn<bool>("result");
    QTest::newRow("printed") << u"success"_s << true;
    QTest::newRow("print failed") << u"failed"_s << false;
    QTest::newRow("nothing completes: time-out") << u"timeout"_s << false;
    QTest::newRow("closed by Esc") << u"escape"_s << false;
}

void TestPrintingReport::testShowForm()
{
    QFETCH(QString, ending);
    QFETCH(bool, result);
    QMainWindow owner;
    PrintingReport dialog(&owner);
    if (ending == u"timeout"_s)
        timer(dialog)->setInterval(200);

    bool ran = false;
    QString shownText;
    bool timing = false;
    QTimer::singleShot(0, &dialog, [&] {
        ran = true;
        shownText = label(dialog)->text();
        timing = timer(dialog)->isActive();
        QCOMPARE(PrintingReport::active(), &dialog);
        if (ending == u"success"_s)
            PrintingReport::active()->UnloadSuccessful();
        else if (ending == u"failed"_s)
            PrintingReport::active()->UnloadFailed();
        else if (ending == u"escape"_s)
            QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    // Nothing here may leave the wait open for ever.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, &dialog, [&dialog] { dialog.done(QDialog::Rejected); });
    guard.start(10000);

    QCOMPARE(dialog.ShowForm(u"Printing Report ...\r\nDaily Summary"_s), result);
    QVERIFY(guard.isActive());
    QVERIFY(ran);
    QCOMPARE(shownText, u"Printing Report ...\nDaily Summary"_s);
    QVERIFY(timing);
    QVERIFY(!timer(dialog)->isActive());
    QVERIFY(!dialog.isVisible());
    QVERIFY(!PrintingReport::active());
}

QTEST_MAIN(TestPrintingReport)
#include "tst_printingreport.moc"
