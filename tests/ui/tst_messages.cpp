#include "ui/messages.h"

#include "modalhelper.h"

#include <QPushButton>
#include <QTest>

class TestMessages : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void testScriptedAnswer_data();
    void testScriptedAnswer();
    void testRecordsWhatWasAsked();
    void testAnswersInOrder();
    void testRealBox_data();
    void testRealBox();
};

using Button = QMessageBox::StandardButton;

void TestMessages::cleanup()
{
    Messages::resetScript();
}

void TestMessages::testScriptedAnswer_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<Button>("queued");
    QTest::addColumn<Button>("expected");

    // Nothing queued: the answer Esc would give.
    QTest::newRow("ok, nothing queued")
        << int(Messages::OkOnly) << QMessageBox::NoButton << QMessageBox::Ok;
    QTest::newRow("yes/no, nothing queued")
        << int(Messages::YesNo) << QMessageBox::NoButton << QMessageBox::No;
    QTest::newRow("ok/cancel, nothing queued")
        << int(Messages::OkCancel) << QMessageBox::NoButton << QMessageBox::Cancel;
    QTest::newRow("yes/no/cancel, nothing queued")
        << int(Messages::YesNoCancel) << QMessageBox::NoButton << QMessageBox::Cancel;
    QTest::newRow("yes/no answered yes")
        << int(Messages::YesNo) << QMessageBox::Yes << QMessageBox::Yes;
    QTest::newRow("yes/no/cancel answered no")
        << int(Messages::YesNoCancel) << QMessageBox::No << QMessageBox::No;
    QTest::newRow("ok/cancel answered ok")
        << int(Messages::OkCancel) << QMessageBox::Ok << QMessageBox::Ok;
    // A scripted button the box does not offer must not come back as its answer.
    QTest::newRow("ok answered yes")
        << int(Messages::OkOnly) << QMessageBox::Yes << QMessageBox::Ok;
    QTest::newRow("yes/no answered cancel")
        << int(Messages::YesNo) << QMessageBox::Cancel << QMessageBox::No;
}

void TestMessages::testScriptedAnswer()
{
    QFETCH(int, buttons);
    QFETCH(Button, queued);
    QFETCH(Button, expected);

    if (queued == QMessageBox::NoButton) {
        Messages::setScripted(true);
    } else {
        Messages::setNextAnswer(queued);
        if (!Messages::standardButtons(Messages::Buttons(buttons)).testFlag(queued))
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not offered")));
    }
    const Button answer
        = Messages::question(nullptr, QStringLiteral("Sure?"), Messages::Buttons(buttons));
    QCOMPARE(answer, expected);
    QCOMPARE(Messages::shown().size(), 1);
    QCOMPARE(Messages::shown().constFirst().answer, expected);
}

void TestMessages::testRecordsWhatWasAsked()
{
    Messages::setScripted(true);
    Messages::information(nullptr, QStringLiteral("e-mail Sent"));
    Messages::warning(nullptr, QStringLiteral("Phone Entry already in list"));
    Messages::critical(nullptr, QStringLiteral("Critical Failure!!!."));
    Messages::question(nullptr, QStringLiteral("Do you wish to save your changes before exiting?"),
        Messages::YesNo, QMessageBox::NoButton, QStringLiteral("Save Changes...."));
    Messages::question(
        nullptr, QStringLiteral("View the details?"), Messages::YesNoCancel, QMessageBox::No);
    // A default the box does not offer falls back to its first button.
    Messages::question(nullptr, QStringLiteral("Continue?"), Messages::OkCancel, QMessageBox::Yes);

    const QList<Messages::Shown> shown = Messages::shown();
    QCOMPARE(shown.size(), 6);
    QCOMPARE(shown.at(0).icon, QMessageBox::Information);
    QCOMPARE(shown.at(0).title, QStringLiteral("Showpulse"));
    QCOMPARE(shown.at(0).text, QStringLiteral("e-mail Sent"));
    QCOMPARE(shown.at(0).buttons, Messages::OkOnly);
    QCOMPARE(shown.at(1).icon, QMessageBox::Warning);
    QCOMPARE(shown.at(2).icon, QMessageBox::Critical);
    QCOMPARE(shown.at(3).icon, QMessageBox::Question);
    QCOMPARE(shown.at(3).title, QStringLiteral("Save Changes...."));
    QCOMPARE(shown.at(3).defaultButton, QMessageBox::Yes);
    QCOMPARE(shown.at(4).title, QStringLiteral("Showpulse"));
    QCOMPARE(shown.at(4).defaultButton, QMessageBox::No);
    QCOMPARE(shown.at(5).defaultButton, QMessageBox::Ok);
}

void TestMessages::testAnswersInOrder()
{
    Messages::setNextAnswer(QMessageBox::No);
    Messages::setNextAnswer(QMessageBox::Yes);
    QCOMPARE(Messages::question(nullptr, QStringLiteral("First?")), QMessageBox::No);
    QCOMPARE(Messages::question(nullptr, QStringLiteral("Second?")), QMessageBox::Yes);
    // The queue is used up; still scripted, so the third box is answered, not opened.
    QCOMPARE(Messages::question(nullptr, QStringLiteral("Third?"), Messages::YesNoCancel),
        QMessageBox::Cancel);
    QCOMPARE(Messages::shown().size(), 3);

    Messages::resetScript();
    QVERIFY(!Messages::isScripted());
    QVERIFY(Messages::shown().isEmpty());
}

void TestMessages::testRealBox_data()
{
    QTest::addColumn<int>("buttons");
    QTest::addColumn<Button>("click");
    QTest::addColumn<Button>("expected");

    QTest::addColumn<Button>("expectedDefault");

    // Every box asks for No as its default; boxes without No fall back to their first button.
    QTest::newRow("click no") << int(Messages::YesNoCancel) << QMessageBox::No << QMessageBox::No
                              << QMessageBox::No;
    QTest::newRow("click ok") << int(Messages::OkCancel) << QMessageBox::Ok << QMessageBox::Ok
                              << QMessageBox::Ok;
    // NoButton: the box is closed with Esc.
    QTest::newRow("esc on yes/no")
        << int(Messages::YesNo) << QMessageBox::NoButton << QMessageBox::No << QMessageBox::No;
    QTest::newRow("esc on yes/no/cancel") << int(Messages::YesNoCancel) << QMessageBox::NoButton
                                          << QMessageBox::Cancel << QMessageBox::No;
    QTest::newRow("esc on ok") << int(Messages::OkOnly) << QMessageBox::NoButton << QMessageBox::Ok
                               << QMessageBox::Ok;
}

void TestMessages::testRealBox()
{
    QFETCH(int, buttons);
    QFETCH(Button, click);
    QFETCH(Button, expected);
    QFETCH(Button, expectedDefault);

    QString title;
    QString text;
    QMessageBox::StandardButtons offered;
    Button defaultButton = QMessageBox::NoButton;
    ModalHelper<QMessageBox> helper([&](QMessageBox *box) {
        title = box->windowTitle();
        text = box->text();
        offered = box->standardButtons();
        defaultButton = box->standardButton(box->defaultButton());
        if (click == QMessageBox::NoButton)
            QTest::keyClick(box, Qt::Key_Escape);
        else
            box->button(click)->click();
    });

    const Button answer = Messages::show(nullptr, QMessageBox::Question,
        QStringLiteral("Error sending e-mail.\r\nRetry?"), Messages::Buttons(buttons),
        QMessageBox::No);
    QVERIFY(helper.ran());
    QCOMPARE(answer, expected);
    QCOMPARE(title, QStringLiteral("Showpulse"));
    QCOMPARE(text, QStringLiteral("Error sending e-mail.\nRetry?"));
    QCOMPARE(offered, Messages::standardButtons(Messages::Buttons(buttons)));
    QCOMPARE(defaultButton, expectedDefault);
}

QTEST_MAIN(TestMessages)
#include "tst_messages.moc"
