#include "core/clock.h"
#include "core/database.h"
#include "core/mainform.h"
#include "core/programfolder.h"
#include "core/settingsfile.h"
#include "core/settingskeys.h"
#include "core/startup.h"
#include "core/userlogon.h"
#include "router/configuresettings.h"
#include "router/selecttarvikdriver.h"
#include "router/serverconnection.h"
#include "ui/formresize.h"
#include "ui/messages.h"

#include "driverdatabase.h"
#include "driverservice.h"
#include "modalhelper.h"
#include "siteserver.h"
#include "testclock.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString kSettingsFile = u"Showpulse.dat"_s;

QString setting(const QString &key)
{
    return SettingsFile::instance().GetFileValue(key);
}

// The value \a key has in the settings file as it is on disk now.
QString storedSetting(const QString &folder, const QString &key)
{
    SettingsFile file;
    return file.LoadSettingsFile(folder + u'/' + kSettingsFile) ? file.GetFileValue(key)
                                                                : u"<no file>"_s;
}

template <typename T> T *child(QWidget *parent, const QString &name)
{
    T *found = parent->findChild<T *>(name);
    if (!found)
        qFatal("no child %s", qPrintable(name));
    return found;
}

void acceptSettings(ConfigureSettings *dialog, const QString &host, const QString &client)
{
    child<QLineEdit>(dialog, u"ServerHostBox"_s)->setText(host);
    child<QLineEdit>(dialog, u"ClientNameBox"_s)->setText(client);
    QTest::mouseClick(child<QPushButton>(dialog, u"AcceptButton"_s), Qt::LeftButton);
}

// A program folder whose settings name the router and a user; nothing else.
bool writeSettings(const QString &folder, const QList<std::pair<QString, QString>> &values)
{
    SettingsFile file;
    for (const auto &[key, value] : values) {
        const bool scramble = key == SettingsKeys::UserName || key == SettingsKeys::UserPassword;
        if (!file.SetFileValue(key, value, scramble))
            return false;
    }
    return file.SaveSettingsFile(folder + u'/' + kSettingsFile);
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void testFirstRun();
    void testFirstRunCancelled();
    void testGeometryRestored_data();
    void testGeometryRestored();
    void testGeometrySaved();
    void testInvalidRouterSettings();
    void testUnreachableRouterIsRetried();
    void testConnectedTick();
    void testCloseDuringRequest();

private:
    bool startSite();
    void writeConnectedSettings(const QString &autoLogOn);

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SiteServer> m_site;
    QString m_folder;
};

void TestStartup::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestStartup::init()
{
    Messages::setScripted(true);
    SettingsFile::instance() = SettingsFile();
    m_dir = std::make_unique<QTemporaryDir>();
    m_folder = m_dir->filePath(u"program"_s);
    QVERIFY(QDir().mkpath(m_folder));
}

void TestStartup::cleanup()
{
    Messages::resetScript();
    Database::instance().close();
    m_site.reset();
    m_dir.reset();
}

// The router with its built-in driver on the first port of the walk.
bool TestStartup::startSite()
{
    const QString driverPath = m_dir->filePath(u"driver.db"_s);
    {
        DriverDatabase driver;
        if (!QFile::exists(driverPath) && !driver.create(driverPath))
            return false;
    }
    ServeOptions options;
    options.dbPath = driverPath;
    m_site = std::make_unique<SiteServer>(options);
    QString error;
    if (!m_site->start(&error)) {
        qWarning("%s", qPrintable(error));
        return false;
    }
    return true;
}

void TestStartup::writeConnectedSettings(const QString &autoLogOn)
{
    QVERIFY(writeSettings(m_folder,
        { { SettingsKeys::RouterIP, u"127.0.0.1"_s }, { SettingsKeys::ClientName, u"Booth"_s },
            { SettingsKeys::UserName, u"admin"_s }, { SettingsKeys::UserPassword, u"admin"_s },
            { SettingsKeys::AutoLogOn, autoLogOn },
            { SettingsKeys::TarvikDriverID, DriverService::DefaultId.toString() } }));
}

void TestStartup::testFirstRun()
{
    QVERIFY(startSite());
    Startup startup(m_folder);
    QStringList order;
    QRect windowWhenAsked;
    ModalHelper<ConfigureSettings> settings([&](ConfigureSettings *dialog) {
        order.append(u"settings"_s);
        windowWhenAsked = startup.mainForm()->frameGeometry();
        // The database exists before the router is asked for.
        order.append(QFile::exists(m_folder + u"/Showpulse.mdb"_s) ? u"database"_s : u"none"_s);
        QCOMPARE(child<QLineEdit>(dialog, u"ServerHostBox"_s)->text(), u"localhost"_s);
        acceptSettings(dialog, u"127.0.0.1"_s, u"Booth"_s);
    });
    ModalHelper<UserLogOn> logOn(
        [&](UserLogOn *dialog) {
            order.append(u"log on"_s);
            child<QLineEdit>(dialog, u"UserNameBox"_s)->setText(u"admin"_s);
            child<QLineEdit>(dialog, u"UserPasswordBox"_s)->setText(u"admin"_s);
            QTest::mouseClick(child<QPushButton>(dialog, u"AcceptButton"_s), Qt::LeftButton);
        },
        15000);
    ModalHelper<SelectTarvikDriver> driver(
        [&](SelectTarvikDriver *dialog) {
            order.append(u"driver"_s);
            auto *tree = child<QTreeWidget>(dialog, u"DriverList"_s);
            for (QTreeWidgetItemIterator it(tree); *it; ++it) {
                if ((*it)->data(0, SelectTarvikDriver::TagRole).toString() == u"DRIVER"_s) {
                    tree->setCurrentItem(*it);
                    break;
                }
            }
            QTest::mouseClick(child<QPushButton>(dialog, u"AcceptButton"_s), Qt::LeftButton);
        },
        20000);

    QVERIFY(startup.Main());
    QCOMPARE(order, QStringList({ u"settings"_s, u"database"_s, u"log on"_s, u"driver"_s }));

    // Shown at half the screen, a quarter in from the top left, before any dialog.
    // (The window keeps its minimum size on a small screen.)
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    QCOMPARE(windowWhenAsked.topLeft(), QPoint(screen.width() / 4, screen.height() / 4));
    QVERIFY(windowWhenAsked.width() >= screen.width() / 2);
    QVERIFY(windowWhenAsked.height() >= screen.height() / 2);

    QStringList texts;
    for (const Messages::Shown &box : Messages::shown())
        texts.append(box.text);
    QCOMPARE(texts,
        QStringList {
            u"A Tarvik Driver must be selected to get ZMU events and e-mail reports."_s });

    // Everything the first run chose is on disk.
    QCOMPARE(storedSetting(m_folder, SettingsKeys::RouterIP), u"127.0.0.1"_s);
    QCOMPARE(storedSetting(m_folder, SettingsKeys::ClientName), u"Booth"_s);
    QCOMPARE(storedSetting(m_folder, SettingsKeys::DatabaseVersion), u"1"_s);
    QCOMPARE(storedSetting(m_folder, SettingsKeys::DeleteDays), u"30"_s);
    QCOMPARE(
        storedSetting(m_folder, SettingsKeys::TarvikDriverID), DriverService::DefaultId.toString());
    QVERIFY(!storedSetting(m_folder, SettingsKeys::DatabasePackTime).isEmpty());
    const auto codes = Database::instance().openQuery(u"SELECT count(*) AS n FROM eventcodes"_s);
    QVERIFY(codes && codes->value(u"n"_s).toInt() > 0);

    ServerConnection &router = startup.mainForm()->Router();
    QVERIFY(router.Connected());
    QVERIFY(router.CheckUserAccess(u"SELF CHECK"_s, 1));
    QVERIFY(startup.MainTimer().isActive());
    QVERIFY(startup.mainForm()->statusText().startsWith(u"Status: "_s));
    QVERIFY(!startup.mainForm()->Reconnect->isVisible());
}

void TestStartup::testFirstRunCancelled()
{
    Startup startup(m_folder);
    ModalHelper<ConfigureSettings> settings([](ConfigureSettings *dialog) { dialog->reject(); });
    QVERIFY(!startup.Main());
    QVERIFY(settings.ran());
    // The next start is a first run again.
    QVERIFY(!QFile::exists(m_folder + u'/' + kSettingsFile));
    QVERIFY(!startup.mainForm()->isVisible());
    QVERIFY(!startup.MainTimer().isActive());
}

void TestStartup::testGeometryRestored_data()
{
    QTest::addColumn<QString>("top");
    QTest::addColumn<QString>("left");
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("topApplied");
    QTest::addColumn<bool>("leftApplied");
    QTest::addColumn<bool>("maximised");

    QTest::newRow("all stored") << u"1500"_s << u"3000"_s << u"0"_s << true << true << false;
    QTest::newRow("top 0 keeps the window's top")
        << u"0"_s << u"3000"_s << u"0"_s << false << true << false;
    QTest::newRow("left absent") << QString() << QString() << u"0"_s << false << false << false;
    QTest::newRow("minimised opens normal")
        << u"1500"_s << u"3000"_s << u"1"_s << true << true << false;
    QTest::newRow("maximised") << u"1500"_s << u"3000"_s << u"2"_s << true << true << true;
}

void TestStartup::testGeometryRestored()
{
    QFETCH(QString, top);
    QFETCH(QString, left);
    QFETCH(QString, state);
    QFETCH(bool, topApplied);
    QFETCH(bool, leftApplied);
    QFETCH(bool, maximised);

    QList<std::pair<QString, QString>> values { { SettingsKeys::Width, u"15000.4"_s },
        { SettingsKeys::Height, u"9000"_s }, { SettingsKeys::WindowState, state } };
    if (!top.isNull())
        values.append({ SettingsKeys::Top, top });
    if (!left.isNull())
        values.append({ SettingsKeys::Left, left });
    QVERIFY(writeSettings(m_folder, values));

    Startup startup(m_folder);
    QVERIFY(startup.LoadSettings());
    MainForm *form = startup.mainForm();
    const QPoint designed = MainForm(m_folder).frameGeometry().topLeft();
    const double px = FormResize::twipsPerPixelX(form);
    const double py = FormResize::twipsPerPixelY(form);
    form->show();

    // The frame's place, the client area's size.
    const QRect normal = maximised ? form->normalGeometry() : form->geometry();
    if (!maximised) {
        QCOMPARE(form->pos().y(), topApplied ? qRound(top.toDouble() / py) : designed.y());
        QCOMPARE(form->pos().x(), leftApplied ? qRound(left.toDouble() / px) : designed.x());
    }
    QCOMPARE(normal.width(), qRound(15000 / px));
    QCOMPARE(normal.height(), qRound(9000 / py));
    QCOMPARE(form->isMaximized(), maximised);
    QVERIFY(!form->isMinimized());
}

void TestStartup::testGeometrySaved()
{
    QVERIFY(writeSettings(m_folder,
        { { SettingsKeys::Top, u"1500"_s }, { SettingsKeys::Left, u"3000"_s },
            { SettingsKeys::Width, u"15000"_s }, { SettingsKeys::Height, u"9000"_s } }));
    Startup startup(m_folder);
    QVERIFY(startup.LoadSettings());
    MainForm *form = startup.mainForm();
    form->show();
    form->showMinimized();
    QVERIFY(startup.SaveSettings());

    // The normal geometry is kept whatever the state, and comes back as it was.
    const double px = FormResize::twipsPerPixelX(form);
    QCOMPARE(storedSetting(m_folder, SettingsKeys::WindowState), u"1"_s);
    QCOMPARE(storedSetting(m_folder, SettingsKeys::Left), QString::number(qRound(200 * px)));
    QCOMPARE(storedSetting(m_folder, SettingsKeys::Width), QString::number(qRound(1000 * px)));
}

void TestStartup::testInvalidRouterSettings()
{
    // No router location: the connection refuses to start, the settings dialog is offered and
    // cancelled, one more attempt with the stored settings fails too, and start-up goes on.
    writeConnectedSettings(u"True"_s);
    SettingsFile file;
    QVERIFY(file.LoadSettingsFile(m_folder + u'/' + kSettingsFile));
    QVERIFY(file.SetFileValue(SettingsKeys::RouterIP, QString()));
    QVERIFY(file.SaveSettingsFile(m_folder + u'/' + kSettingsFile));

    Startup startup(m_folder);
    ModalHelper<ConfigureSettings> settings([](ConfigureSettings *dialog) { dialog->reject(); });
    QVERIFY(startup.Main());
    QVERIFY(settings.ran());
    QCOMPARE(Messages::shown().size(), 1);
    QCOMPARE(Messages::shown().constFirst().text, u"Invalid router connection settings."_s);
    QVERIFY(!startup.mainForm()->Router().Connected());
    QVERIFY(startup.MainTimer().isActive());
}

void TestStartup::testUnreachableRouterIsRetried()
{
    // Automatic log-on is off: the reconnection by the timer still logs on with the stored
    // name and password, without a dialog.
    writeConnectedSettings(u"False"_s);
    TestClock clock(QDateTime(QDate(2026, 3, 10), QTime(12, 0)));
    Startup startup(m_folder);
    // Only a router that should not be there asks for a log-on; the test fails then, not hangs.
    ModalHelper<UserLogOn> unexpected([](UserLogOn *dialog) { dialog->reject(); });
    QVERIFY(startup.Main());
    QVERIFY(!unexpected.ran());
    MainForm *form = startup.mainForm();
    ServerConnection &router = form->Router();
    QVERIFY(!router.Connected());
    QVERIFY(form->isVisible());
    QVERIFY(form->Reconnect->isVisible());
    QVERIFY(form->ReconnectSep->isVisible());
    QVERIFY(startup.MainTimer().isActive());

    startup.MainTimer().setInterval(20);
    // The first tick tries at once and waits a minute before the next attempt.
    QTRY_COMPARE_WITH_TIMEOUT(
        startup.NextReconnectTime(), Clock::currentDateTime().addSecs(60), 20000);
    QVERIFY(startup.MainTimer().isActive());

    QVERIFY(startSite());
    QTest::qWait(200);
    QVERIFY(!router.Connected());

    // Nothing periodic happens under a modal window.
    clock.advanceSeconds(61);
    {
        QDialog modal(form);
        modal.setModal(true);
        modal.show();
        QTest::qWait(200);
        QVERIFY(!router.Connected());
        QCOMPARE(startup.NextReconnectTime(), Clock::currentDateTime().addSecs(-1));
    }

    QTRY_VERIFY_WITH_TIMEOUT(router.CheckUserAccess(u"SELF CHECK"_s, 1), 20000);
    QCOMPARE(router.GetUserName(), u"admin"_s);
    QCOMPARE(startup.NextReconnectTime(), Clock::currentDateTime().addSecs(60));
    QTRY_VERIFY(!form->Reconnect->isVisible());
    QCOMPARE(Messages::shown().size(), 0);
}

void TestStartup::testConnectedTick()
{
    QVERIFY(startSite());
    writeConnectedSettings(u"True"_s);
    Startup startup(m_folder);
    QSignalSpy ticks(&startup, &Startup::connectedTick);
    QVERIFY(startup.Main());
    QVERIFY(startup.mainForm()->Router().CheckUserAccess(u"SELF CHECK"_s, 1));
    startup.MainTimer().setInterval(20);
    QTRY_VERIFY(ticks.count() >= 2);

    // Closing the window ends the connection and keeps the settings with the window's place.
    startup.mainForm()->close();
    QVERIFY(!startup.mainForm()->Router().Connected());
    QCOMPARE(storedSetting(m_folder, SettingsKeys::WindowState), u"0"_s);
    QVERIFY(!storedSetting(m_folder, SettingsKeys::Width).isEmpty());
    QVERIFY(!startup.MainTimer().isActive());
    QCOMPARE(setting(SettingsKeys::AutoLogOn), u"True"_s);
}

void TestStartup::testCloseDuringRequest()
{
    QVERIFY(startSite());
    writeConnectedSettings(u"True"_s);
    Startup startup(m_folder);
    QVERIFY(startup.Main());
    MainForm *form = startup.mainForm();
    QVERIFY(form->Router().CheckUserAccess(u"SELF CHECK"_s, 1));

    // The driver never answers; the window is closed while the synchronisation waits.
    FaultOptions faults;
    faults.neverAnswer = true;
    m_site->router().setFaults(faults);
    QTimer::singleShot(300, form, [form] { form->close(); });
    child<QAction>(form, u"GetTarvikEvents"_s)->trigger();

    QVERIFY(!form->isVisible());
    QVERIFY(!form->Router().Connected());
    QCOMPARE(storedSetting(m_folder, SettingsKeys::WindowState), u"0"_s);
}

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
