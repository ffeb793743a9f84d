#include "router/configuresettings.h"
#include "ui/messages.h"

#include "modalhelper.h"

#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

class TestConfigureSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void testOpensWithDefaults();
    void testShowsGivenValues_data();
    void testShowsGivenValues();
    void testAccept_data();
    void testAccept();
    void testCancel_data();
    void testCancel();

private:
    template <typename T> static T *control(QWidget *dialog, const QString &name)
    {
        T *found = dialog->findChild<T *>(name);
        if (!found)
            qWarning("no control %s", qPrintable(name));
        return found;
    }
};

void TestConfigureSettings::init()
{
    Messages::setScripted(true);
}

void TestConfigureSettings::cleanup()
{
    Messages::resetScript();
}

void TestConfigureSettings::testOpensWithDefaults()
{
    QMainWindow owner;
    ConfigureSettings dialog(&owner);
    QCOMPARE(dialog.windowTitle(), u"Connection Settings"_s);
    QCOMPARE(dialog.parentWidget(), &owner);
    const QList<QPair<QString, QString>> labels {
        { u"Label1"_s, u"Location of Router"_s },
        { u"Label2"_s, u"Computer Name Example: 'Server Computer'"_s },
        { u"Label3"_s, u"Internet Example: 'cinema.example.com'"_s },
        { u"Label4"_s, u"IP Address Example: '192.168.1.20'"_s },
        { u"Label5"_s, u"Theatre Location Name"_s },
    };
    for (const auto &[name, text] : labels) {
        QLabel *label = control<QLabel>(&dialog, name);
        QVERIFY(label);
        QCOMPARE(label->text(), text);
    }
    QCOMPARE(control<QLineEdit>(&dialog, u"ServerHostBox"_s)->text(), u"localhost"_s);
    QVERIFY(control<QLineEdit>(&dialog, u"ClientNameBox"_s)->text().isEmpty());
    QPushButton *accept = control<QPushButton>(&dialog, u"AcceptButton"_s);
    QCOMPARE(accept->text(), u"Accept"_s);
    QVERIFY(accept->isDefault());
    QCOMPARE(control<QPushButton>(&dialog, u"CancelButton"_s)->text(), u"Cancel"_s);
    QCOMPARE(control<QPushButton>(&dialog, u"Help"_s)->text(), u"Help"_s);
}

void TestConfigureSettings::testShowsGivenValues_data()
{
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("client");
    QTest::addColumn<QString>("shownLocation");

    QTest::newRow("stored values") << u"booth-pc"_s << u"Riverside"_s << u"booth-pc"_s;
    QTest::newRow("no stored location") << QString() << u"Riverside"_s << u"localhost"_s;
    QTest::newRow("blanks are a location") << u"  "_s << QString() << u"  "_s;
}

void TestConfigureSettings::testShowsGivenValues()
{
    QFETCH(QString, location);
    QFETCH(QString, client);
    QFETCH(QString, shownLocation);

    ConfigureSettings dialog(nullptr);
    QString shownHost;
    QString shownClient;
    ModalHelper<ConfigureSettings> helper([&](ConfigureSettings *d) {
        shownHost = control<QLineEdit>(d, u"ServerHostBox"_s)->text();
        shownClient = control<QLineEdit>(d, u"ClientNameBox"_s)->text();
        d->reject();
    });
    QVERIFY(!dialog.ShowForm(location, client));
    QVERIFY(helper.ran());
    QCOMPARE(shownHost, shownLocation);
    QCOMPARE(shownClient, client);
}

void TestConfigureSettings::testAccept_data()
{
    QTest::addColumn<QString>("typedLocation");
    QTest::addColumn<QString>("typedClient");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("location");
    QTest::addColumn<QString>("client");
    QTest::addColumn<bool>("byEnter");

    QTest::newRow("values stored trimmed") << u"  10.1.2.3 "_s << u" Riverside Six\t"_s << QString()
                                           << u"10.1.2.3"_s << u"Riverside Six"_s << false;
    QTest::newRow("inner blanks kept") << u"booth pc"_s << u"River  side"_s << QString()
                                       << u"booth pc"_s << u"River  side"_s << false;
    QTest::newRow("location of blanks")
        << u"   "_s << u"Riverside"_s << u"A server location must be entered"_s << QString()
        << QString() << false;
    QTest::newRow("no location, no client")
        << QString() << QString() << u"A server location must be entered"_s << QString()
        << QString() << false;
    QTest::newRow("client of blanks")
        << u"localhost"_s << u"  "_s << u"A client name must be entered"_s << QString() << QString()
        << false;
    QTest::newRow("colon would break every message header")
        << u"localhost"_s << u"Cinema: North"_s
        << u"A client name must not contain a colon or characters outside the Latin-1 set"_s
        << QString() << QString() << false;
    QTest::newRow("character outside Latin-1")
        << u"localhost"_s << u"Kino \u0141\u00f3d\u017a"_s
        << u"A client name must not contain a colon or characters outside the Latin-1 set"_s
        << QString() << QString() << false;
    QTest::newRow("Enter accepts")
        << u"booth-pc"_s << u"Riverside"_s << QString() << u"booth-pc"_s << u"Riverside"_s << true;
}

// A refused value keeps the dialog open with the user's text; the user then gives up.
void TestConfigureSettings::testAccept()
{
    QFETCH(QString, typedLocation);
    QFETCH(QString, typedClient);
    QFETCH(QString, message);
    QFETCH(QString, location);
    QFETCH(QString, client);
    QFETCH(bool, byEnter);

    ConfigureSettings dialog(nullptr);
    bool stayedOpen = false;
    QString keptLocation;
    ModalHelper<ConfigureSettings> helper([&](ConfigureSettings *d) {
        control<QLineEdit>(d, u"ServerHostBox"_s)->setText(typedLocation);
        control<QLineEdit>(d, u"ClientNameBox"_s)->setText(typedClient);
        if (byEnter)
            QTest::keyClick(control<QLineEdit>(d, u"ClientNameBox"_s), Qt::Key_Return);
        else
            QTest::mouseClick(control<QPushButton>(d, u"AcceptButton"_s), Qt::LeftButton);
        stayedOpen = d->isVisible();
        keptLocation = control<QLineEdit>(d, u"ServerHostBox"_s)->text();
        if (stayedOpen)
            QTest::mouseClick(control<QPushButton>(d, u"CancelButton"_s), Qt::LeftButton);
    });
    const bool accepted = dialog.ShowForm(u"old-host"_s, u"Old Name"_s);
    QVERIFY(helper.ran());

    const QList<Messages::Shown> shown = Messages::shown();
    if (message.isEmpty()) {
        QVERIFY(accepted);
        QVERIFY(!stayedOpen);
        QVERIFY(shown.isEmpty());
        QCOMPARE(dialog.RouterLocation(), location);
        QCOMPARE(dialog.ClientName(), client);
    } else {
        QVERIFY(!accepted);
        QVERIFY(stayedOpen);
        QCOMPARE(keptLocation, typedLocation);
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().text, message);
        QCOMPARE(shown.first().buttons, Messages::OkOnly);
    }
}

void TestConfigureSettings::testCancel_data()
{
    addDismissalRows();
}

void TestConfigureSettings::testCancel()
{
    QFETCH(int, how);
    ConfigureSettings dialog(nullptr);
    ModalHelper<ConfigureSettings> helper([how](ConfigureSettings *d) {
        control<QLineEdit>(d, u"ServerHostBox"_s)->setText(u"elsewhere"_s);
        dismissDialog(d, how, control<QPushButton>(d, u"CancelButton"_s));
    });
    QVERIFY(!dialog.ShowForm(u"booth-pc"_s, u"Riverside"_s));
    QVERIFY(helper.ran());
    QVERIFY(Messages::shown().isEmpty());
}

QTEST_MAIN(TestConfigureSettings)
#include "tst_configuresettings.moc"
