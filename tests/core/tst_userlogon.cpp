#include "core/userlogon.h"

#include "modalhelper.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

template <typename T> T *control(QWidget *dialog, const QString &name)
{
    return dialog->findChild<T *>(name);
}

QLineEdit *nameBox(QWidget *d)
{
    return control<QLineEdit>(d, u"UserNameBox"_s);
}

QLineEdit *passwordBox(QWidget *d)
{
    return control<QLineEdit>(d, u"UserPasswordBox"_s);
}

QPushButton *acceptButton(QWidget *d)
{
    return control<QPushButton>(d, u"AcceptButton"_s);
}

} // namespace

class TestUserLogOn : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup();
    void testOpensWithDefaults();
    void testVersion_data();
    void testVersion();
    void testAcceptEnabled_data();
    void testAcceptEnabled();
    void testShowForm_data();
    void testShowForm();
    void testCancel_data();
    void testCancel();
};

void TestUserLogOn::cleanup()
{
    QCoreApplication::setApplicationVersion(QString());
}

void TestUserLogOn::testOpensWithDefaults()
{
    QWidget owner;
    UserLogOn dialog(&owner);
    QCOMPARE(dialog.windowTitle(), u"User Log On"_s);
    QCOMPARE(dialog.parentWidget(), &owner);
    QVERIFY(nameBox(&dialog));
    QVERIFY(passwordBox(&dialog));
    QCOMPARE(control<QLabel>(&dialog, u"lblUserName"_s)->text(), u"User Name (case sensitive)"_s);
    QCOMPARE(control<QLabel>(&dialog, u"lblPassword"_s)->text(), u"Password (case sensitive)"_s);
    QCOMPARE(control<QLabel>(&dialog, u"lblProduct"_s)->text(), u"Showpulse"_s);
    QCOMPARE(control<QCheckBox>(&dialog, u"AutoLogOn"_s)->text(),
        u"Remember password and automatically log on "_s);
    QCOMPARE(acceptButton(&dialog)->text(), u"Accept"_s);
    QVERIFY(acceptButton(&dialog)->isDefault());
    QVERIFY(!acceptButton(&dialog)->isEnabled());
    QCOMPARE(control<QPushButton>(&dialog, u"CancelButton"_s)->text(), u"Cancel"_s);
    QCOMPARE(control<QPushButton>(&dialog, u"Help"_s)->text(), u"Help"_s);

    // Every character of the password shows as an asterisk.
    passwordBox(&dialog)->setText(u"s3cret"_s);
    QCOMPARE(passwordBox(&dialog)->displayText(), u"******"_s);
}

void TestUserLogOn::testVersion_data()
{
    QTest::addColumn<QString>("version");
    QTest::addColumn<QString>("shown");
    QTest::newRow("major and minor") << u"0.1"_s << u"Version 0.1.0"_s;
    QTest::newRow("all three") << u"2.4.11"_s << u"Version 2.4.11"_s;
    QTest::newRow("more than three") << u"2.4.11.7"_s << u"Version 2.4.11"_s;
}

void TestUserLogOn::testVersion()
{
    QFETCH(QString, version);
    QFETCH(QString, shown);
    QCoreApplication::setApplicationVersion(version);
    UserLogOn dialog(nullptr);
    QCOMPARE(control<QLabel>(&dialog, u"lblVersion"_s)->text(), shown);
}

void TestUserLogOn::testAcceptEnabled_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("enabled");

    QTest::newRow("both empty") << QString() << QString() << false;
    QTest::newRow("no password") << u"manager"_s << QString() << false;
    QTest::newRow("no name") << QString() << u"s3cret"_s << false;
    QTest::newRow("name of blanks") << u"   "_s << u"s3cret"_s << false;
    QTest::newRow("password of blanks") << u"manager"_s << u" \t "_s << false;
    QTest::newRow("both given") << u"manager"_s << u"s3cret"_s << true;
    QTest::newRow("blanks around both") << u" manager "_s << u" s3cret"_s << true;
}

// Accept follows every change of either box, typed key by key.
void TestUserLogOn::testAcceptEnabled()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(bool, enabled);

    UserLogOn dialog(nullptr);
    bool enabledAtEnd = !enabled;
    bool enabledAfterClearing = true;
    ModalHelper<UserLogOn> helper([&](UserLogOn *d) {
        QTest::keyClicks(nameBox(d), name);
        QTest::keyClicks(passwordBox(d), password);
        enabledAtEnd = acceptButton(d)->isEnabled();
        passwordBox(d)->clear();
        enabledAfterClearing = acceptButton(d)->isEnabled();
        d->reject();
    });
    QVERIFY(!dialog.ShowForm(QString(), false));
    QVERIFY(helper.ran());
    QCOMPARE(enabledAtEnd, enabled);
    QVERIFY(!enabledAfterClearing);
}

void TestUserLogOn::testShowForm_data()
{
    QTest::addColumn<QString>("givenName");
    QTest::addColumn<bool>("givenAuto");
    QTest::addColumn<QString>("typedPassword");
    QTest::addColumn<bool>("clickAuto");
    QTest::addColumn<bool>("byEnter");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("autoLogOn");

    QTest::newRow("stored name, password typed")
        << u"manager"_s << false << u"s3cret"_s << false << false << u"manager"_s << false;
    QTest::newRow("blanks kept as typed")
        << u"  booth "_s << true << u" reel "_s << false << false << u"  booth "_s << true;
    QTest::newRow("automatic log-on turned off")
        << u"manager"_s << true << u"s3cret"_s << true << false << u"manager"_s << false;
    QTest::newRow("automatic log-on turned on, Enter accepts")
        << u"manager"_s << false << u"s3cret"_s << true << true << u"manager"_s << true;
}

void TestUserLogOn::testShowForm()
{
    QFETCH(QString, givenName);
    QFETCH(bool, givenAuto);
    QFETCH(QString, typedPassword);
    QFETCH(bool, clickAuto);
    QFETCH(bool, byEnter);
    QFETCH(QString, name);
    QFETCH(bool, autoLogOn);

    UserLogOn dialog(nullptr);
    QString shownName;
    QString shownPassword = u"unset"_s;
    bool shownAuto = !givenAuto;
    bool passwordFocused = false;
    ModalHelper<UserLogOn> helper([&](UserLogOn *d) {
        shownName = nameBox(d)->text();
        shownPassword = passwordBox(d)->text();
        shownAuto = control<QCheckBox>(d, u"AutoLogOn"_s)->isChecked();
        // A known name leaves only the password to type.
        passwordFocused = QApplication::focusWidget() == passwordBox(d);
        QTest::keyClicks(passwordBox(d), typedPassword);
        if (clickAuto)
            QTest::mouseClick(control<QCheckBox>(d, u"AutoLogOn"_s), Qt::LeftButton);
        if (byEnter)
            QTest::keyClick(passwordBox(d), Qt::Key_Return);
        else
            QTest::mouseClick(acceptButton(d), Qt::LeftButton);
    });
    QVERIFY(dialog.ShowForm(givenName, givenAuto));
    QVERIFY(helper.ran());
    QCOMPARE(shownName, givenName);
    QVERIFY(shownPassword.isEmpty());
    QCOMPARE(shownAuto, givenAuto);
    QVERIFY(passwordFocused);
    QCOMPARE(dialog.GetUserName(), name);
    QCOMPARE(dialog.GetUserPassword(), typedPassword);
    QCOMPARE(dialog.GetAutoLogOn(), autoLogOn);
}

void TestUserLogOn::testCancel_data()
{
    addDismissalRows();
}

void TestUserLogOn::testCancel()
{
    QFETCH(int, how);
    UserLogOn dialog(nullptr);
    ModalHelper<UserLogOn> helper([how](UserLogOn *d) {
        nameBox(d)->setText(u"manager"_s);
        passwordBox(d)->setText(u"s3cret"_s);
        dismissDialog(d, how, control<QPushButton>(d, u"CancelButton"_s));
    });
    QVERIFY(!dialog.ShowForm(u"manager"_s, true));
    QVERIFY(helper.ran());
}

QTEST_MAIN(TestUserLogOn)
#include "tst_userlogon.moc"
