#include "core/database.h"
#include "core/databaseschema.h"
#include "core/progress.h"
#include "core/settingsfile.h"
#include "core/settingskeys.h"
#include "router/responsedata.h"
#include "router/selecttarvikdriver.h"
#include "router/serverconnection.h"
#include "router/serverconnectionheader.h"
#include "ui/messages.h"

#include "driverdatabase.h"
#include "modalhelper.h"
#include "siteserver.h"

#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using ServerConnectionHeader::ItemToken;
using ServerConnectionHeader::RecordToken;

namespace {

// The rest of the network as the location server knows it: two routers with a driver each,
// an office program, and a driver whose router the server does not list.
const QString kRemotes = u"router\tR2\tNORTHSIDE\n"
                         "router\tR3\tEASTGATE\n"
                         "client\tR2\t5551-77\tNorthside Tarvik\t3\n"
                         "client\tR2\t5551-80\tNorthside Office\t2\n"
                         "client\tR9\t9999-1\tOrphan Tarvik\t3\n"
                         "client\tR3\t7000-1\tEastgate Tarvik\t3\n"_s;

// The whole tree from the site above. Remote keys count the records of the client list, which
// starts with this router's own two clients (its driver and the program).
const QStringList kFullTree {
    u"LOCAL|SITEROUTER (Local)"_s,
    u"  1-32001|Tarvik Driver|DRIVER"_s,
    u"NETWORK|Entire Network"_s,
    u"  R2|NORTHSIDE"_s,
    u"    5551-771003|Northside Tarvik|DRIVER"_s,
    u"  R3|EASTGATE"_s,
    u"    7000-11006|Eastgate Tarvik|DRIVER"_s,
};

const QString kQuestion
    = u"Selecting a new Tarvik Driver will cause all event data in the Event Log database to be "
      "deleted.  Are you sure you want to select a new Tarvik Driver?"_s;

// A simulated site with its built-in driver, a program connected to it, and optionally a
// location server.
class Site
{
public:
    // False, with the reason in error, when the site cannot be started here.
    bool start(const QString &remotes = QString())
    {
        DriverDatabase driver;
        if (!m_dir.isValid() || !driver.create(m_dir.filePath(u"driver.db"_s))) {
            error = u"driver database: "_s + driver.lastError();
            return false;
        }
        ServeOptions options;
        options.dbPath = m_dir.filePath(u"driver.db"_s);
        if (!remotes.isEmpty()) {
            options.remotesPath = m_dir.filePath(u"remotes.txt"_s);
            QFile file(options.remotesPath);
            if (!file.open(QIODevice::WriteOnly) || file.write(remotes.toUtf8()) < 0)
                return false;
        }
        m_server = std::make_unique<SiteServer>(options);
        if (!m_server->start(&error))
            return false;
        return connect();
    }

    // Connects the program to the site (or, without a started site, leaves it unconnected).
    bool connect()
    {
        m_connection = std::make_unique<ServerConnection>(m_dir.path());
        m_connection->SetType(2, u"Halden"_s);
        m_connection->AddObject(u"Log On Access"_s, 1);
        if (!m_server)
            return true;
        return m_connection->Connect(u"127.0.0.1"_s, u"Showpulse"_s)
            && QTest::qWaitFor([this] { return m_connection->Connected(); }, 10000);
    }

    ServerConnection &connection() { return *m_connection; }
    QString folder() const { return m_dir.path(); }
    QString error;

private:
    QTemporaryDir m_dir;
    std::unique_ptr<SiteServer> m_server;
    std::unique_ptr<ServerConnection> m_connection;
};

#define START_SITE(site, remotes)                                                                  \
    do {                                                                                           \
        if (!(site).start(remotes))                                                                \
            QSKIP(qPrintable(u"The simulated site cannot start here: "_s + (site).error));         \
    } while (false)

// The progress window as the operations drive it.
class RecordingProgress : public Progress
{
public:
    RecordingProgress() { Progress::setCurrent(this); }
    ~RecordingProgress() override { Progress::setCurrent(nullptr); }

    void Display(const QString &message, bool animate) override
    {
        calls.append(u"display "_s + message + (animate ? u" animated"_s : QString()));
    }
    void SetMessage(const QString &message, bool keepSize) override
    {
        calls.append(u"message "_s + message + (keepSize ? u" kept size"_s : QString()));
    }
    void SetProgress(int value) override { values.append(value); }
    bool Cancelled() const override { return false; }
    void Close() override { calls.append(u"close"_s); }

    QStringList calls;
    QList<int> values;
};

QTreeWidget *tree(QWidget *dialog)
{
    return dialog->findChild<QTreeWidget *>(u"DriverList"_s);
}

QPushButton *button(QWidget *dialog, const QString &name)
{
    return dialog->findChild<QPushButton *>(name);
}

// The tree as lines of key|text|tag, indented by depth.
QStringList treeLines(const QTreeWidget *list)
{
    QStringList lines;
    const std::function<void(const QTreeWidgetItem *, int)> walk
        = [&](const QTreeWidgetItem *item, int depth) {
              QString line = QString(2 * depth, u' ')
                  + item->data(0, SelectTarvikDriver::KeyRole).toString() + u'|' + item->text(0);
              const QString tag = item->data(0, SelectTarvikDriver::TagRole).toString();
              if (!tag.isEmpty())
                  line += u'|' + tag;
              lines.append(line);
              for (int i = 0; i < item->childCount(); ++i)
                  walk(item->child(i), depth + 1);
          };
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        walk(list->topLevelItem(i), 0);
    return lines;
}

QTreeWidgetItem *node(QTreeWidget *list, const QString &key)
{
    QTreeWidgetItemIterator it(list);
    for (; *it; ++it) {
        if ((*it)->data(0, SelectTarvikDriver::KeyRole).toString() == key)
            return *it;
    }
    return nullptr;
}

// An answer of the router with \a data as its data section.
ResponseData routerAnswer(const QString &data)
{
    const ServerConnectionHeader::SenderIdentity router { u"1"_s, u"SITEROUTER"_s, u"SITEROUTER"_s,
        QString() };
    ResponseData answer;
    answer.LoadFromMessage(ServerConnectionHeader::BuildHeader(router, u"ME"_s, u"RESPONSE"_s,
                               u"NONE"_s, 0, 0, QString(), QString()),
        QString(), data);
    return answer;
}

QString clientRecord(const QString &id, const QString &name, const QString &type)
{
    return id + ItemToken + name + ItemToken + type + ItemToken + RecordToken;
}

int rowCount(const QString &table)
{
    const auto rows = Database::instance().openQuery(u"SELECT COUNT(*) AS n FROM "_s + table, {});
    return rows ? rows->value(u"n"_s).toInt() : -1;
}

} // namespace

class TestSelectTarvikDriver : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void testOpensWithDefaults();
    void testDriverTree();
    void testAccept_data();
    void testAccept();
    void testKeyboardSelection();
    void testNetworkFailures_data();
    void testNetworkFailures();
    void testLocalAnswer_data();
    void testLocalAnswer();
    void testLocalListLimit();
    void testCommand_data();
    void testCommand();
    void testCommandFailure_data();
    void testCommandFailure();

private:
    // An open local database with events and summaries in a folder of its own.
    bool openDatabase();

    std::unique_ptr<QTemporaryDir> m_databaseDir;
};

void TestSelectTarvikDriver::init()
{
    Messages::setScripted(true);
}

void TestSelectTarvikDriver::cleanup()
{
    Messages::resetScript();
    Database::instance().close();
    m_databaseDir.reset();
    SettingsFile::instance().SetFileValue(SettingsKeys::TarvikDriverID, QString());
    SettingsFile::instance().SetFileValue(SettingsKeys::TarvikDriverName, QString());
}

bool TestSelectTarvikDriver::openDatabase()
{
    m_databaseDir = std::make_unique<QTemporaryDir>();
    const QString file = m_databaseDir->filePath(u"Showpulse.mdb"_s);
    if (!m_databaseDir->isValid() || !CreateNewDatabase(file) || !Database::instance().open(file))
        return false;
    for (int i = 1; i <= 3; ++i) {
        const QVariantList values { i };
        if (!ExecuteStatement(u"INSERT INTO EventLog (Evid) VALUES (?)"_s, values)
            || !ExecuteStatement(u"INSERT INTO ShowSummary (ShowID) VALUES (?)"_s, values)
            || !ExecuteStatement(u"INSERT INTO DailySummary (ShowCount) VALUES (?)"_s, values))
            return false;
    }
    return true;
}

void TestSelectTarvikDriver::testOpensWithDefaults()
{
    QTemporaryDir dir;
    ServerConnection connection(dir.path());
    QWidget owner;
    SelectTarvikDriver dialog(connection, &owner);
    QCOMPARE(dialog.windowTitle(), u"Select Tarvik Driver"_s);
    QCOMPARE(dialog.parentWidget(), &owner);
    QVERIFY(tree(&dialog));
    QCOMPARE(tree(&dialog)->iconSize(), QSize(32, 16));
    QCOMPARE(tree(&dialog)->property("tag").toString(), u"holdright holdbottom"_s);
    const QList<QPair<QString, QString>> buttons {
        { u"AcceptButton"_s, u"Accept"_s },
        { u"CancelButton"_s, u"Cancel"_s },
        { u"Help"_s, u"Help"_s },
    };
    for (const auto &[name, text] : buttons) {
        QVERIFY2(button(&dialog, name), qPrintable(name));
        QCOMPARE(button(&dialog, name)->text(), text);
        QCOMPARE(
            button(&dialog, name)->property("tag").toString(), u"poshorz holdbottom novertsize"_s);
    }
    QVERIFY(button(&dialog, u"AcceptButton"_s)->isDefault());
}

void TestSelectTarvikDriver::testDriverTree()
{
    Site site;
    START_SITE(site, kRemotes);
    RecordingProgress progress;
    SelectTarvikDriver dialog(site.connection(), nullptr);
    QStringList lines;
    bool acceptEnabled = true;
    bool allPictured = true;
    int visibleRows = 0;
    ModalHelper<SelectTarvikDriver> helper([&](SelectTarvikDriver *d) {
        lines = treeLines(tree(d));
        acceptEnabled = button(d, u"AcceptButton"_s)->isEnabled();
        for (QTreeWidgetItemIterator it(tree(d)); *it; ++it) {
            allPictured = allPictured && !(*it)->icon(0).isNull();
            visibleRows += (*it)->isHidden() || !tree(d)->visualItemRect(*it).isValid() ? 0 : 1;
        }
        d->reject();
    });
    QVERIFY(!dialog.ShowForm());
    QVERIFY(helper.ran());

    QCOMPARE(lines, kFullTree);
    QVERIFY(!acceptEnabled);
    QVERIFY(allPictured);
    // Opened with every driver in view.
    QCOMPARE(visibleRows, kFullTree.size());
    QVERIFY(Messages::shown().isEmpty());
    QCOMPARE(progress.calls,
        QStringList({ u"display Getting Halden Tarvik Driver Information"_s, u"close"_s }));
    QVERIFY(!progress.values.isEmpty());
    QVERIFY(std::is_sorted(progress.values.cbegin(), progress.values.cend()));
    QVERIFY(progress.values.first() > 0);
    QVERIFY(progress.values.last() <= 100);
}

void TestSelectTarvikDriver::testAccept_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<int>("how");
    QTest::addColumn<QString>("driverId");
    QTest::addColumn<QString>("driverName");
    QTest::addColumn<QString>("routerName");

    const QString local = u"1-32001"_s;
    const QString remote = u"5551-771003"_s;
    const QString localRouter = u"SITEROUTER (Local)"_s;
    QTest::newRow("local driver, Accept")
        << local << 0 << u"1-3"_s << u"Tarvik Driver"_s << localRouter;
    QTest::newRow("local driver, double-click")
        << local << 1 << u"1-3"_s << u"Tarvik Driver"_s << localRouter;
    QTest::newRow("local driver, Enter")
        << local << 2 << u"1-3"_s << u"Tarvik Driver"_s << localRouter;
    QTest::newRow("remote driver, Accept")
        << remote << 0 << u"5551-77"_s << u"Northside Tarvik"_s << u"NORTHSIDE"_s;
    QTest::newRow("remote driver, double-click")
        << remote << 1 << u"5551-77"_s << u"Northside Tarvik"_s << u"NORTHSIDE"_s;
    QTest::newRow("router: double-click does nothing")
        << u"R2"_s << 1 << QString() << QString() << QString();
    QTest::newRow("root: Enter does nothing")
        << u"NETWORK"_s << 2 << QString() << QString() << QString();
}

void TestSelectTarvikDriver::testAccept()
{
    QFETCH(QString, key);
    QFETCH(int, how);
    QFETCH(QString, driverId);
    QFETCH(QString, driverName);
    QFETCH(QString, routerName);

    Site site;
    START_SITE(site, kRemotes);
    SelectTarvikDriver dialog(site.connection(), nullptr);
    bool found = false;
    bool enabled = false;
    bool stayedOpen = false;
    ModalHelper<SelectTarvikDriver> helper([&](SelectTarvikDriver *d) {
        QTreeWidget *list = tree(d);
        QTreeWidgetItem *item = node(list, key);
        found = item != nullptr;
        if (found) {
            list->setCurrentItem(item);
            enabled = button(d, u"AcceptButton"_s)->isEnabled();
            if (how == 0) {
                QTest::mouseClick(button(d, u"AcceptButton"_s), Qt::LeftButton);
            } else if (how == 1) {
                // A double click arrives as press, release, then the double click.
                const QPoint at = list->visualItemRect(item).center();
                QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
                QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
            } else {
                list->setFocus();
                QTest::keyClick(list, Qt::Key_Return);
            }
        }
        stayedOpen = d->isVisible();
        if (stayedOpen)
            d->reject();
    });
    const bool selected = dialog.ShowForm();
    QVERIFY(helper.ran());
    QVERIFY(found);

    QCOMPARE(selected, !driverId.isEmpty());
    QCOMPARE(enabled, selected);
    QCOMPARE(stayedOpen, !selected);
    if (selected) {
        QCOMPARE(dialog.DriverClientID(), driverId);
        QCOMPARE(dialog.DriverName(), driverName);
        QCOMPARE(dialog.RouterName(), routerName);
    }
}

// Moving through the tree with the keyboard enables Accept exactly on driver nodes.
void TestSelectTarvikDriver::testKeyboardSelection()
{
    Site site;
    START_SITE(site, kRemotes);
    SelectTarvikDriver dialog(site.connection(), nullptr);
    QStringList steps;
    ModalHelper<SelectTarvikDriver> helper([&](SelectTarvikDriver *d) {
        QTreeWidget *list = tree(d);
        list->setFocus();
        const auto step = [&] {
            QTreeWidgetItem *current = list->currentItem();
            steps.append(
                (current ? current->data(0, SelectTarvikDriver::KeyRole).toString() : u"none"_s)
                + (button(d, u"AcceptButton"_s)->isEnabled() ? u" on"_s : u" off"_s));
        };
        QTest::keyClick(list, Qt::Key_Home);
        step();
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(list, Qt::Key_Down);
            step();
        }
        QTest::keyClick(list, Qt::Key_Up);
        QTest::keyClick(list, Qt::Key_Up);
        step();
        QTest::keyClick(list, Qt::Key_Return);
    });
    QVERIFY(dialog.ShowForm());
    QVERIFY(helper.ran());
    QCOMPARE(steps,
        QStringList(
            { u"LOCAL off"_s, u"1-32001 on"_s, u"NETWORK off"_s, u"R2 off"_s, u"1-32001 on"_s }));
    QCOMPARE(dialog.DriverClientID(), u"1-3"_s);
}

void TestSelectTarvikDriver::testNetworkFailures_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QStringList>("tree");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("no location server: error 102 has its own wording")
        << true
        << QStringList { u"LOCAL|SITEROUTER (Local)"_s, u"  1-32001|Tarvik Driver|DRIVER"_s,
               u"NETWORK|Entire Network - Halden Location Server not found"_s }
        << QStringList();
    QTest::newRow("not connected: every request fails with the connection's text")
        << false
        << QStringList { u"NETWORK|Entire Network - Cannot send request.  Not connected to "
                         "Router!"_s }
        << QStringList { u"Could not get Tarvik driver information.\r\nCannot send request.  "
                         "Not connected to Router!"_s };
}

void TestSelectTarvikDriver::testNetworkFailures()
{
    QFETCH(bool, connected);
    QFETCH(QStringList, tree);
    QFETCH(QStringList, messages);

    Site site;
    if (!connected) {
        QVERIFY(site.connect());
    } else {
        START_SITE(site, QString());
    }
    SelectTarvikDriver dialog(site.connection(), nullptr);
    QStringList lines;
    ModalHelper<SelectTarvikDriver> helper([&](SelectTarvikDriver *d) {
        lines = treeLines(::tree(d));
        d->reject();
    });
    QVERIFY(!dialog.ShowForm());
    QVERIFY(helper.ran());
    QCOMPARE(lines, tree);
    QStringList shown;
    for (const Messages::Shown &box : Messages::shown())
        shown.append(box.text);
    QCOMPARE(shown, messages);
}

void TestSelectTarvikDriver::testLocalAnswer_data()
{
    QTest::addColumn<QString>("data");
    QTest::addColumn<QStringList>("tree");

    QTest::newRow("empty answer: no local part") << QString() << QStringList();
    QTest::newRow("only type-3 clients are drivers")
        << clientRecord(u"17"_s, u"Front Office"_s, u" 2"_s)
            + clientRecord(u"18"_s, u"Booth Tarvik"_s, u" 3"_s)
            + clientRecord(u"19"_s, u"Old Tarvik"_s, u"3"_s)
            + clientRecord(u"20"_s, u"Typeless"_s, QString())
        << QStringList { u"LOCAL|SITEROUTER (Local)"_s, u"  182002|Booth Tarvik|DRIVER"_s,
               u"  192003|Old Tarvik|DRIVER"_s };
    QTest::newRow("reading stops at the first empty record")
        << clientRecord(u"17"_s, u"Booth Tarvik"_s, u" 3"_s) + RecordToken
            + clientRecord(u"18"_s, u"Hidden Tarvik"_s, u" 3"_s)
        << QStringList { u"LOCAL|SITEROUTER (Local)"_s, u"  172001|Booth Tarvik|DRIVER"_s };
    QTest::newRow("a driver without an ID cannot be asked anything")
        << clientRecord(QString(), u"Nameless"_s, u" 3"_s)
            + clientRecord(u"17"_s, u"Booth Tarvik"_s, u" 3"_s)
        << QStringList { u"LOCAL|SITEROUTER (Local)"_s, u"  172002|Booth Tarvik|DRIVER"_s };
}

void TestSelectTarvikDriver::testLocalAnswer()
{
    QFETCH(QString, data);
    QFETCH(QStringList, tree);

    QTemporaryDir dir;
    ServerConnection connection(dir.path());
    SelectTarvikDriver dialog(connection, nullptr);
    dialog.FillLocalDrivers(routerAnswer(data));
    QCOMPARE(treeLines(::tree(&dialog)), tree);
    QVERIFY(Messages::shown().isEmpty());
}

// Keys end in four digits, so the local list stops at 7 999 drivers.
void TestSelectTarvikDriver::testLocalListLimit()
{
    QString data;
    for (int r = 1; r <= SelectTarvikDriver::MaxLocalDrivers + 1; ++r)
        data += clientRecord(u"D"_s + QString::number(r), u"Driver"_s, u" 3"_s);
    QTemporaryDir dir;
    ServerConnection connection(dir.path());
    SelectTarvikDriver dialog(connection, nullptr);
    dialog.FillLocalDrivers(routerAnswer(data));
    const QTreeWidgetItem *local = tree(&dialog)->topLevelItem(0);
    QVERIFY(local);
    QCOMPARE(local->childCount(), SelectTarvikDriver::MaxLocalDrivers);
    QCOMPARE(local->child(local->childCount() - 1)->data(0, SelectTarvikDriver::KeyRole),
        u"D79999999"_s);
}

void TestSelectTarvikDriver::testCommand_data()
{
    QTest::addColumn<QString>("storedDriver");
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("pickDriver");
    QTest::addColumn<bool>("asked");
    QTest::addColumn<bool>("changed");

    QTest::newRow("no driver stored: no question") << QString() << 0 << true << false << true;
    QTest::newRow("stored driver, Yes")
        << u"OLD-1"_s << int(QMessageBox::Yes) << true << true << true;
    QTest::newRow("stored driver, No")
        << u"OLD-1"_s << int(QMessageBox::No) << true << true << false;
    QTest::newRow("stored driver, Cancel")
        << u"OLD-1"_s << int(QMessageBox::Cancel) << true << true << false;
    QTest::newRow("selection cancelled: nothing deleted")
        << u"OLD-1"_s << int(QMessageBox::Yes) << false << true << false;
    QTest::newRow("no driver stored, selection cancelled")
        << QString() << 0 << false << false << false;
}

void TestSelectTarvikDriver::testCommand()
{
    QFETCH(QString, storedDriver);
    QFETCH(int, answer);
    QFETCH(bool, pickDriver);
    QFETCH(bool, asked);
    QFETCH(bool, changed);

    Site site;
    START_SITE(site, QString());
    QVERIFY(openDatabase());
    SettingsFile &settings = SettingsFile::instance();
    settings.SetFileValue(SettingsKeys::TarvikDriverID, storedDriver);
    settings.SetFileValue(SettingsKeys::TarvikDriverName, u"Old Driver"_s);
    if (answer != 0)
        Messages::setNextAnswer(QMessageBox::StandardButton(answer));
    RecordingProgress progress;
    int saves = 0;
    int countAtSave = -1;
    ModalHelper<SelectTarvikDriver> helper([&](SelectTarvikDriver *d) {
        if (pickDriver)
            tree(d)->setCurrentItem(node(tree(d), u"1-32001"_s));
        QTest::mouseClick(
            button(d, pickDriver ? u"AcceptButton"_s : u"CancelButton"_s), Qt::LeftButton);
    });

    QWidget owner;
    const bool result = SelectTarvikDriver::RunSelectDriverCommand(&owner, site.connection(), [&] {
        ++saves;
        countAtSave = rowCount(u"EventLog"_s);
        return true;
    });

    QCOMPARE(result, changed);
    const QList<Messages::Shown> shown = Messages::shown();
    QCOMPARE(shown.size(), asked ? 1 : 0);
    if (asked) {
        QCOMPARE(shown.first().text, kQuestion);
        QCOMPARE(shown.first().buttons, Messages::YesNoCancel);
        QCOMPARE(shown.first().defaultButton, QMessageBox::No);
    }
    const bool dialogShown = !asked || answer == int(QMessageBox::Yes);
    QCOMPARE(helper.ran(), dialogShown);

    const int rowsLeft = changed ? 0 : 3;
    QCOMPARE(rowCount(u"EventLog"_s), rowsLeft);
    QCOMPARE(rowCount(u"ShowSummary"_s), rowsLeft);
    QCOMPARE(rowCount(u"DailySummary"_s), rowsLeft);
    QCOMPARE(saves, changed ? 1 : 0);
    if (changed) {
        QCOMPARE(countAtSave, 0);
        QCOMPARE(settings.GetFileValue(SettingsKeys::TarvikDriverID), u"1-3"_s);
        QCOMPARE(settings.GetFileValue(SettingsKeys::TarvikDriverName), u"Tarvik Driver"_s);
        // Stored plain, readable in the file.
        QVERIFY(settings.content().contains(u"*TarvikDriverID* 1-3\r\n"_s));
        QCOMPARE(progress.calls,
            QStringList({ u"display Getting Halden Tarvik Driver Information"_s, u"close"_s,
                u"display Deleting Event Log animated"_s,
                u"message Deleting Show Summaries kept size"_s,
                u"message Deletings Daily Summaries kept size"_s, u"close"_s }));
        QCOMPARE(progress.values.mid(progress.values.size() - 3), QList<int>({ 50, 80, 100 }));
    } else {
        QCOMPARE(settings.GetFileValue(SettingsKeys::TarvikDriverID), storedDriver);
        QCOMPARE(settings.GetFileValue(SettingsKeys::TarvikDriverName), u"Old Driver"_s);
        QVERIFY(!progress.calls.contains(u"display Deleting Event Log animated"_s));
    }
}

void TestSelectTarvikDriver::testCommandFailure_data()
{
    QTest::addColumn<QString>("remotes");
    QTest::addColumn<QString>("pick");
    QTest::addColumn<QString>("message");

    QTest::newRow("last table cannot be emptied")
        << QString() << u"1-32001"_s
        << u"The event data of the local database could not be deleted. The Tarvik driver was "
           "not changed."_s;
    QTest::newRow("driver name the settings file cannot hold")
        << u"router\tR2\tNORTHSIDE\nclient\tR2\t5551-77\tNorth *Main* Booth\t3\n"_s
        << u"5551-771003"_s
        << u"The ID or name of the selected Tarvik driver cannot be stored in the settings. The "
           "Tarvik driver was not changed."_s;
}

// A failure after the user chose keeps the old driver with all of its data.
void TestSelectTarvikDriver::testCommandFailure()
{
    QFETCH(QString, remotes);
    QFETCH(QString, pick);
    QFETCH(QString, message);

    Site site;
    START_SITE(site, remotes);
    QVERIFY(openDatabase());
    // The summaries are the last table emptied; refusing there must undo the first two.
    QVERIFY(ExecuteStatement(u"CREATE TRIGGER KeepSummaries BEFORE DELETE ON DailySummary "
                             "BEGIN SELECT RAISE(ABORT, 'kept'); END"_s));
    SettingsFile &settings = SettingsFile::instance();
    settings.SetFileValue(SettingsKeys::TarvikDriverID, u"OLD-1"_s);
    settings.SetFileValue(SettingsKeys::TarvikDriverName, u"Old Driver"_s);
    Messages::setNextAnswer(QMessageBox::Yes);
    RecordingProgress progress;
    ModalHelper<SelectTarvikDriver> helper([&](SelectTarvikDriver *d) {
        tree(d)->setCurrentItem(node(tree(d), pick));
        QTest::mouseClick(button(d, u"AcceptButton"_s), Qt::LeftButton);
    });
    int saves = 0;
    QVERIFY(!SelectTarvikDriver::RunSelectDriverCommand(nullptr, site.connection(), [&] {
        ++saves;
        return true;
    }));
    QVERIFY(helper.ran());

    const QList<Messages::Shown> shown = Messages::shown();
    QCOMPARE(shown.size(), 2);
    QCOMPARE(shown.last().text, message);
    QCOMPARE(rowCount(u"EventLog"_s), 3);
    QCOMPARE(rowCount(u"ShowSummary"_s), 3);
    QCOMPARE(rowCount(u"DailySummary"_s), 3);
    QCOMPARE(settings.GetFileValue(SettingsKeys::TarvikDriverID), u"OLD-1"_s);
    QCOMPARE(settings.GetFileValue(SettingsKeys::TarvikDriverName), u"Old Driver"_s);
    QCOMPARE(saves, 0);
    QCOMPARE(progress.calls.count(u"close"_s),
        progress.calls.count(u"display Getting Halden Tarvik Driver Information"_s)
            + progress.calls.count(u"display Deleting Event Log animated"_s));
    // The database is usable afterwards: no transaction was left open.
    QVERIFY(Database::instance().transaction());
    QVERIFY(Database::instance().rollback());
}

QTEST_MAIN(TestSelectTarvikDriver)
#include "tst_selecttarvikdriver.moc"
