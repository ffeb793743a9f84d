#include "core/logon.h"
#include "core/progress.h"
#include "core/settingsfile.h"
#include "core/settingskeys.h"
#include "core/userlogon.h"
#include "router/responsedata.h"
#include "router/serverconnection.h"
#include "ui/messages.h"

#include "siteserver.h"
#include "userdirectory.h"

#include <QApplication>
#include <QCheckBox>
#include <QDeadlineTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// ID, name, password, access list. The viewer may use drivers only, not this program; the
// booth's name has blanks around it.
const QString kUsers = u"1\tmanager\ts3cret\t-1,-1,-1,-1\n"
                       "2\tviewer\tlook\t-1,3,-1,2\n"
                       "3\t booth \treel\t-1,-1,-1,-1\n"_s;

// One answer to the log-on dialog: the values typed and Accept, or Cancel.
struct Attempt
{
    QString name;
    QString password;
    bool autoLogOn = false;
    bool cancel = false;
};

// Answers each log-on dialog that opens with the next attempt and records what it showed:
// "name|password|auto". Gives up after a while and rejects whatever is open, so a run that
// never ends fails instead of hanging.
class LogOnScript
{
public:
    explicit LogOnScript(const QList<Attempt> &attempts)
        : m_attempts(attempts)
        , m_deadline(20000)
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, &m_timer, [this] { poll(); });
        m_timer.start();
    }

    QStringList shown;
    bool timedOut = false;

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        auto *dialog = qobject_cast<UserLogOn *>(modal);
        if (dialog && dialog->isVisible() && !m_attempts.isEmpty()) {
            const Attempt attempt = m_attempts.takeFirst();
            auto *name = dialog->findChild<QLineEdit *>(u"UserNameBox"_s);
            auto *password = dialog->findChild<QLineEdit *>(u"UserPasswordBox"_s);
            auto *autoLogOn = dialog->findChild<QCheckBox *>(u"AutoLogOn"_s);
            shown.append(name->text() + u'|' + password->text() + u'|'
                + (autoLogOn->isChecked() ? u"auto"_s : u"manual"_s));
            if (attempt.cancel) {
                dialog->reject();
                return;
            }
            name->setText(attempt.name);
            password->setText(attempt.password);
            autoLogOn->setChecked(attempt.autoLogOn);
            QTest::mouseClick(dialog->findChild<QPushButton *>(u"AcceptButton"_s), Qt::LeftButton);
        } else if (m_deadline.hasExpired() || (dialog && m_attempts.isEmpty())) {
            timedOut = true;
            if (auto *other = qobject_cast<QDialog *>(modal))
                other->reject();
        }
    }

    QList<Attempt> m_attempts;
    QDeadlineTimer m_deadline;
    QTimer m_timer;
};

class RecordingProgress : public Progress
{
public:
    RecordingProgress() { Progress::setCurrent(this); }
    ~RecordingProgress() override { Progress::setCurrent(nullptr); }

    void Display(const QString &message, bool) override { calls.append(message); }
    void SetMessage(const QString &message, bool) override { calls.append(message); }
    void SetProgress(int) override { }
    bool Cancelled() const override { return false; }
    void Close() override { calls.append(u"close"_s); }

    QStringList calls;
};

QStringList shownTexts()
{
    QStringList texts;
    for (const Messages::Shown &box : Messages::shown())
        texts.append(box.text);
    return texts;
}

} // namespace

Q_DECLARE_METATYPE(QList<Attempt>)

class TestLogOn : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void testLogOnWithDialog_data();
    void testLogOnWithDialog();
    void testNotConnected();
    void testLogOnSilently_data();
    void testLogOnSilently();

private:
    bool startSite();

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SiteServer> m_site;
    std::unique_ptr<ServerConnection> m_connection;
    QString m_error;
};

void TestLogOn::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

void TestLogOn::init()
{
    Messages::setScripted(true);
    SettingsFile &settings = SettingsFile::instance();
    settings.SetFileValue(SettingsKeys::UserName, u"manager"_s, true);
    settings.SetFileValue(SettingsKeys::UserPassword, u"old secret"_s, true);
    settings.SetFileValue(SettingsKeys::AutoLogOn, u"False"_s);
    m_dir = std::make_unique<QTemporaryDir>();
    m_connection = std::make_unique<ServerConnection>(m_dir->path());
    m_connection->SetType(2, u"Halden"_s);
    m_connection->AddObject(u"Log On Access"_s, 1);
}

void TestLogOn::cleanup()
{
    Messages::resetScript();
    m_connection.reset();
    m_site.reset();
    m_dir.reset();
}

// The router with its users on the first free port of the walk, and the program connected.
bool TestLogOn::startSite()
{
    const QString usersPath = m_dir->filePath(u"users.txt"_s);
    QFile users(usersPath);
    if (!users.open(QIODevice::WriteOnly) || users.write(kUsers.toUtf8()) < 0) {
        m_error = users.errorString();
        return false;
    }
    users.close();
    ServeOptions options;
    options.usersPath = usersPath;
    m_site = std::make_unique<SiteServer>(options);
    if (!m_site->start(&m_error))
        return false;
    return m_connection->Connect(u"127.0.0.1"_s, u"Showpulse"_s)
        && QTest::qWaitFor([this] { return m_connection->Connected(); }, 10000);
}

void TestLogOn::testLogOnWithDialog_data()
{
    QTest::addColumn<QList<Attempt>>("attempts");
    QTest::addColumn<bool>("loggedOn");
    QTest::addColumn<QStringList>("shown");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<QString>("routerUser");
    QTest::addColumn<QString>("storedPassword");
    QTest::addColumn<QString>("storedAuto");

    const QString rejected = u"User Log on rejected. \r\n"_s;
    QTest::newRow("accepted at once") << QList<Attempt> { { u"manager"_s, u"s3cret"_s, true } }
                                      << true << QStringList { u"manager||manual"_s }
                                      << QStringList() << u"manager"_s << u"s3cret"_s << u"True"_s;
    QTest::newRow("blanks around the name are sent")
        << QList<Attempt> { { u" booth "_s, u"reel"_s, false } } << true
        << QStringList { u"manager||manual"_s } << QStringList() << u" booth "_s << u"reel"_s
        << u"False"_s;
    QTest::newRow("wrong password: asked again with the name and no password")
        << QList<Attempt> { { u"manager"_s, u"nope"_s, true }, { {}, {}, false, true } } << false
        << QStringList { u"manager||manual"_s, u"manager||auto"_s }
        << QStringList { rejected + GetRequestErrorText(UserDirectory::InvalidPassword) }
        << u"manager"_s << u"nope"_s << u"True"_s;
    QTest::newRow("unknown user, then the right one")
        << QList<Attempt> { { u"nobody"_s, u"x"_s, false }, { u"manager"_s, u"s3cret"_s } } << true
        << QStringList { u"manager||manual"_s, u"nobody||manual"_s }
        << QStringList { rejected + GetRequestErrorText(UserDirectory::InvalidUser) }
        << u"manager"_s << u"s3cret"_s << u"False"_s;
    QTest::newRow("user without access to this program")
        << QList<Attempt> { { u"viewer"_s, u"look"_s, false }, { {}, {}, false, true } } << false
        << QStringList { u"manager||manual"_s, u"viewer||manual"_s }
        << QStringList { u"User name or password invalid"_s } << u"viewer"_s << u"look"_s
        << u"False"_s;
    QTest::newRow("cancelled: nothing stored")
        << QList<Attempt> { { {}, {}, false, true } } << false
        << QStringList { u"manager||manual"_s } << QStringList() << QString() << u"old secret"_s
        << u"False"_s;
}

void TestLogOn::testLogOnWithDialog()
{
    QFETCH(QList<Attempt>, attempts);
    QFETCH(bool, loggedOn);
    QFETCH(QStringList, shown);
    QFETCH(QStringList, messages);
    QFETCH(QString, routerUser);
    QFETCH(QString, storedPassword);
    QFETCH(QString, storedAuto);

    if (!startSite())
        QSKIP(qPrintable(u"The simulated router cannot start here: "_s + m_error));
    RecordingProgress progress;
    LogOnScript script(attempts);
    QWidget owner;
    QCOMPARE(LogOnWithDialog(&owner, *m_connection), loggedOn);
    QVERIFY(!script.timedOut);
    QCOMPARE(script.shown, shown);
    QCOMPARE(shownTexts(), messages);
    QCOMPARE(m_connection->GetUserName(), routerUser);

    SettingsFile &settings = SettingsFile::instance();
    QCOMPARE(settings.GetFileValue(SettingsKeys::UserPassword), storedPassword);
    QCOMPARE(settings.GetFileValue(SettingsKeys::AutoLogOn), storedAuto);
    // Credentials are never readable in the file.
    QVERIFY(settings.content().contains(u"*UserName*#"_s));
    QVERIFY(settings.content().contains(u"*UserPassword*#"_s));
    QVERIFY(!settings.content().contains(storedPassword));

    // One verification per attempt made.
    const qsizetype tries = attempts.size() - (attempts.last().cancel ? 1 : 0);
    QStringList expectedProgress;
    for (qsizetype i = 0; i < tries; ++i)
        expectedProgress << u"Verifying User Log On Name and Password"_s << u"close"_s;
    QCOMPARE(progress.calls, expectedProgress);
}

// From the menu while the router is away: the connection's own reason is shown.
void TestLogOn::testNotConnected()
{
    LogOnScript script({ { u"manager"_s, u"s3cret"_s }, { {}, {}, false, true } });
    QVERIFY(!LogOnWithDialog(nullptr, *m_connection));
    QVERIFY(!script.timedOut);
    QCOMPARE(script.shown.size(), 2);
    QCOMPARE(shownTexts(),
        QStringList {
            u"User Log on rejected. \r\nCannot send request.  Not connected to Router!"_s });
}

void TestLogOn::testLogOnSilently_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<qint32>("userId");

    QTest::newRow("stored user accepted") << u"manager"_s << u"s3cret"_s << 1;
    QTest::newRow("stored password wrong") << u"manager"_s << u"stale"_s << 0;
    QTest::newRow("nothing stored") << QString() << QString() << 0;
}

void TestLogOn::testLogOnSilently()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(qint32, userId);

    if (!startSite())
        QSKIP(qPrintable(u"The simulated router cannot start here: "_s + m_error));
    SettingsFile &settings = SettingsFile::instance();
    settings.SetFileValue(SettingsKeys::UserName, name, true);
    settings.SetFileValue(SettingsKeys::UserPassword, password, true);
    const QString before = settings.content();
    RecordingProgress progress;

    LogOnSilently(*m_connection);
    QCOMPARE(m_connection->GetUserID(), userId);
    QVERIFY(Messages::shown().isEmpty());
    QVERIFY(progress.calls.isEmpty());
    QCOMPARE(settings.content(), before);
}

QTEST_MAIN(TestLogOn)
#include "tst_logon.moc"
