#include "router/serverconnectionheader.h"
#include "userdirectory.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

using ServerConnectionHeader::ItemToken;
using ServerConnectionHeader::RecordToken;

bool writeFile(const QString &path, const QByteArray &text)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

const QByteArray kUsers = "# site users\n"
                          "1\tadmin\ts3cret\t-1,-1,-1,-1\n"
                          "\n"
                          "7\tBooth Office\tpw with blanks \t1,3,-1,1;-1,2,-1,-1\n"
                          "9\tnobody\tx\t\n";

} // namespace

class TestUserDirectory : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void testDefaultUser();
    void testLogOnFromFile();
    void testBadFiles_data();
    void testBadFiles();
    void testChangePassword();
    void testChangePasswordCannotWrite();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestUserDirectory::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestUserDirectory::testDefaultUser()
{
    UserDirectory users;
    RouterUser user;
    QCOMPARE(users.logOn(QStringLiteral("admin"), QStringLiteral("admin"), &user), 0);
    QCOMPARE(user.id, 1);
    QCOMPARE(user.access,
        QStringLiteral("-1") % ItemToken % QStringLiteral("-1") % ItemToken % QStringLiteral("-1")
            % ItemToken % QStringLiteral("-1") % ItemToken % RecordToken);
    QCOMPARE(users.logOn(QStringLiteral("admin"), QStringLiteral("Admin"), &user),
        UserDirectory::InvalidPassword);
    QCOMPARE(users.logOn(QStringLiteral("Admin"), QStringLiteral("admin"), &user),
        UserDirectory::InvalidUser);
    QCOMPARE(users.logOn(QString(), QStringLiteral("admin"), &user),
        UserDirectory::NameOrPasswordMissing);
    QCOMPARE(users.logOn(QStringLiteral("admin"), QString(), &user),
        UserDirectory::NameOrPasswordMissing);
}

void TestUserDirectory::testLogOnFromFile()
{
    const QString path = m_dir->filePath(QStringLiteral("users.txt"));
    QVERIFY(writeFile(path, kUsers));
    UserDirectory users;
    QString error;
    QVERIFY2(users.load(path, &error), qPrintable(error));
    QCOMPARE(users.users().size(), 3);

    RouterUser user;
    // The file replaces the default user.
    QCOMPARE(users.logOn(QStringLiteral("admin"), QStringLiteral("admin"), &user),
        UserDirectory::InvalidPassword);
    // Blanks are part of names and passwords.
    QCOMPARE(users.logOn(QStringLiteral("Booth Office"), QStringLiteral("pw with blanks"), &user),
        UserDirectory::InvalidPassword);
    QCOMPARE(
        users.logOn(QStringLiteral("Booth Office"), QStringLiteral("pw with blanks "), &user), 0);
    QCOMPARE(user.id, 7);
    QCOMPARE(user.access,
        QStringLiteral("1") % ItemToken % QStringLiteral("3") % ItemToken % QStringLiteral("-1")
            % ItemToken % QStringLiteral("1") % ItemToken % RecordToken % QStringLiteral("-1")
            % ItemToken % QStringLiteral("2") % ItemToken % QStringLiteral("-1") % ItemToken
            % QStringLiteral("-1") % ItemToken % RecordToken);
    QCOMPARE(users.logOn(QStringLiteral("nobody"), QStringLiteral("x"), &user), 0);
    QVERIFY(user.access.isEmpty());
}

void TestUserDirectory::testBadFiles_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("message");
    QTest::newRow("three fields") << QByteArray("1\tadmin\tpw\n") << QStringLiteral("line 1");
    QTest::newRow("ID not a number")
        << QByteArray("# c\none\tadmin\tpw\t\n") << QStringLiteral("line 2: the ID");
    QTest::newRow("ID zero") << QByteArray("0\tadmin\tpw\t\n") << QStringLiteral("the ID");
    QTest::newRow("colon in name") << QByteArray("1\tad:min\tpw\t\n") << QStringLiteral("colon");
    QTest::newRow("empty password") << QByteArray("1\tadmin\t\t\n") << QStringLiteral("password");
    QTest::newRow("access of three items")
        << QByteArray("1\tadmin\tpw\t-1,-1,-1\n") << QStringLiteral("access list");
    QTest::newRow("access bits not a number")
        << QByteArray("1\tadmin\tpw\t-1,-1,-1,all\n") << QStringLiteral("access list");
    QTest::newRow("same ID twice") << QByteArray("1\ta\tpw\t\n1\tb\tpw\t\n")
                                   << QStringLiteral("line 2: ID or name used twice");
    QTest::newRow("same name twice")
        << QByteArray("1\ta\tpw\t\n2\ta\tpw\t\n") << QStringLiteral("line 2");
}

void TestUserDirectory::testBadFiles()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, message);
    const QString path = m_dir->filePath(QStringLiteral("users.txt"));
    QVERIFY(writeFile(path, text));
    UserDirectory users;
    QString error;
    QVERIFY(!users.load(path, &error));
    QVERIFY2(error.contains(message), qPrintable(error));
    // The directory is as it was: the default user.
    RouterUser user;
    QCOMPARE(users.logOn(QStringLiteral("admin"), QStringLiteral("admin"), &user), 0);

    QVERIFY(!users.load(m_dir->filePath(QStringLiteral("missing.txt")), &error));
    QVERIFY(error.contains(QStringLiteral("missing.txt")));
}

void TestUserDirectory::testChangePassword()
{
    const QString path = m_dir->filePath(QStringLiteral("users.txt"));
    QVERIFY(writeFile(path, kUsers));
    UserDirectory users;
    QString error;
    QVERIFY(users.load(path, &error));

    QCOMPARE(users.changePassword(7, QStringLiteral("n3w: pass"), &error), 0);
    RouterUser user;
    QCOMPARE(users.logOn(QStringLiteral("Booth Office"), QStringLiteral("n3w: pass"), &user), 0);
    // Only the password changed in the file; comments and blank lines stay.
    QByteArray expected = kUsers;
    expected.replace("pw with blanks ", "n3w: pass");
    QCOMPARE(readFile(path), expected);
    UserDirectory reloaded;
    QVERIFY(reloaded.load(path, &error));
    QCOMPARE(reloaded.logOn(QStringLiteral("Booth Office"), QStringLiteral("n3w: pass"), &user), 0);

    QCOMPARE(users.changePassword(8, QStringLiteral("x"), &error), UserDirectory::InvalidUser);
    QCOMPARE(users.changePassword(7, QString(), &error), UserDirectory::NameOrPasswordMissing);
    QCOMPARE(users.changePassword(7, QStringLiteral("tab\there"), &error),
        UserDirectory::InvalidPassword);
    QCOMPARE(users.changePassword(7, QStringLiteral("two\nlines"), &error),
        UserDirectory::InvalidPassword);
    QCOMPARE(readFile(path), expected);

    // Without a file the change lives in memory.
    UserDirectory defaults;
    QCOMPARE(defaults.changePassword(1, QStringLiteral("other"), &error), 0);
    QCOMPARE(defaults.logOn(QStringLiteral("admin"), QStringLiteral("other"), &user), 0);
}

void TestUserDirectory::testChangePasswordCannotWrite()
{
    const QString folder = m_dir->filePath(QStringLiteral("gone"));
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + QStringLiteral("/users.txt");
    QVERIFY(writeFile(path, kUsers));
    UserDirectory users;
    QString error;
    QVERIFY(users.load(path, &error));
    QVERIFY(QDir(folder).removeRecursively());

    QCOMPARE(users.changePassword(1, QStringLiteral("new"), &error), UserDirectory::InternalError);
    QVERIFY2(error.contains(QStringLiteral("users.txt")), qPrintable(error));
    // The old password still holds: the file and the directory agree.
    RouterUser user;
    QCOMPARE(users.logOn(QStringLiteral("admin"), QStringLiteral("s3cret"), &user), 0);
}

QTEST_APPLESS_MAIN(TestUserDirectory)
#include "tst_userdirectory.moc"
