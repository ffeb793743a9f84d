#include "core/settingsfile.h"
#include "core/settingskeys.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <csignal>
#include <memory>
#include <optional>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

using Entry = QPair<QString, QString>;

// Caps the size of files this process may write, so a write fails part-way as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_saved);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_saved;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_saved);
        std::signal(SIGXFSZ, m_oldHandler);
    }
    FileSizeLimit(const FileSizeLimit &) = delete;
    FileSizeLimit &operator=(const FileSizeLimit &) = delete;

private:
    rlimit m_saved {};
    void (*m_oldHandler)(int) = nullptr;
};

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

unsigned modeOf(const QString &path)
{
    struct stat info
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 0777 : 0;
}

} // namespace

class TestSettingsFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();

    void testFileBytes_data();
    void testFileBytes();
    void testKeysMatchWithBothAsterisks_data();
    void testKeysMatchWithBothAsterisks();
    void testReplaceKeepsOrderAndAppendGoesLast();

    void testScrambleRoundTripsEveryCodeAtEveryPosition();
    void testScrambledLayout();
    void testHighestScramblableCodePerPosition_data();
    void testHighestScramblableCodePerPosition();
    void testScrambledTextFromFile_data();
    void testScrambledTextFromFile();

    void testRefusedValues_data();
    void testRefusedValues();
    void testAcceptedAwkwardValuesKeepLookupsIntact();

    void testLoadReadsLatin1AndRemovesCopy();
    void testMissingOrEmptyFileMeansNoKeys();
    void testLoadFailureLeavesContent_data();
    void testLoadFailureLeavesContent();
    void testUnterminatedLastEntry();

    void testSaveReplacesAtomicallyOwnerOnly();
    void testFailedSaveKeepsOldFileAndMemory();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestSettingsFile::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestSettingsFile::testFileBytes_data()
{
    QTest::addColumn<QList<Entry>>("writes");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("one plain value")
        << QList<Entry> { { SettingsKeys::RouterIP, QStringLiteral("localhost") } }
        << QByteArray("*RouterIP* localhost\r\n");
    QTest::newRow("blanks kept in plain value")
        << QList<Entry> { { SettingsKeys::LocationName, QStringLiteral("  Odeon 3  ") } }
        << QByteArray("*LocationName*   Odeon 3  \r\n");
    QTest::newRow("empty value") << QList<Entry> { { SettingsKeys::ClientName, QString() } }
                                 << QByteArray("*ClientName* \r\n");
    QTest::newRow("key with a blank")
        << QList<Entry> { { SettingsKeys::UseISP, QStringLiteral("True") } }
        << QByteArray("*Use ISP* True\r\n");
    QTest::newRow("single-byte code page") << QList<Entry> {
        { SettingsKeys::LocationCity, QStringLiteral("Z\u00FCrich \u00A7\u00FF") }
    } << QByteArray("*LocationCity* Z\xFCrich \xA7\xFF\r\n");
    QTest::newRow("several in first-written order") << QList<Entry> {
        { SettingsKeys::Top, QStringLiteral("1200") },
        { SettingsKeys::Left, QStringLiteral("600") }, { SettingsKeys::Top, QStringLiteral("0") }
    } << QByteArray("*Top* 0\r\n*Left* 600\r\n");
}

void TestSettingsFile::testFileBytes()
{
    QFETCH(QList<Entry>, writes);
    QFETCH(QByteArray, bytes);

    SettingsFile settings;
    for (const Entry &write : writes)
        QVERIFY(settings.SetFileValue(write.first, write.second));
    const QString file = path(QStringLiteral("Showpulse.dat"));
    QVERIFY(settings.SaveSettingsFile(file));
    QCOMPARE(readBytes(file), bytes);

    SettingsFile reloaded;
    QVERIFY(reloaded.LoadSettingsFile(file));
    for (const Entry &write : writes)
        QCOMPARE(reloaded.GetFileValue(write.first), settings.GetFileValue(write.first));
}

void TestSettingsFile::testKeysMatchWithBothAsterisks_data()
{
    QTest::addColumn<QList<Entry>>("writes");

    const QList<Entry> family { { SettingsKeys::ISP, QStringLiteral("Dial-in") },
        { SettingsKeys::ISPPassword, QStringLiteral("secret") },
        { SettingsKeys::ISPLogOnName, QStringLiteral("box") },
        { SettingsKeys::UseISP, QStringLiteral("True") } };
    QList<Entry> reversed = family;
    std::reverse(reversed.begin(), reversed.end());
    QTest::newRow("short key first") << family;
    QTest::newRow("short key last") << reversed;
    QTest::newRow("case differs") << QList<Entry> { { QStringLiteral("emailserver"),
                                                        QStringLiteral("a") },
        { SettingsKeys::emailServer, QStringLiteral("b") } };
}

void TestSettingsFile::testKeysMatchWithBothAsterisks()
{
    QFETCH(QList<Entry>, writes);

    SettingsFile settings;
    for (const Entry &write : writes)
        QVERIFY(settings.SetFileValue(write.first, write.second));
    for (const Entry &write : writes)
        QCOMPARE(settings.GetFileValue(write.first), write.second);
    QCOMPARE(settings.content().count(QStringLiteral("\r\n")), writes.size());
}

void TestSettingsFile::testReplaceKeepsOrderAndAppendGoesLast()
{
    SettingsFile settings;
    QVERIFY(settings.SetFileValue(SettingsKeys::RouterIP, QStringLiteral("localhost")));
    QVERIFY(settings.SetFileValue(SettingsKeys::UserName, QStringLiteral("anna"), true));
    QVERIFY(settings.SetFileValue(SettingsKeys::DeleteDays, QStringLiteral("30")));

    // Longer, then shorter, then plain over scrambled: neighbours are untouched each time.
    QVERIFY(settings.SetFileValue(SettingsKeys::RouterIP, QStringLiteral("router.example.net")));
    QVERIFY(settings.SetFileValue(SettingsKeys::UserName, QStringLiteral("bo")));
    QVERIFY(settings.SetFileValue(SettingsKeys::DeleteDays, QStringLiteral("7")));
    QCOMPARE(settings.content(),
        QStringLiteral("*RouterIP* router.example.net\r\n*UserName* bo\r\n*DeleteDays* 7\r\n"));

    QVERIFY(settings.SetFileValue(SettingsKeys::DatabaseVersion, QStringLiteral("1")));
    QVERIFY(
        settings.content().endsWith(QStringLiteral("*DeleteDays* 7\r\n*DatabaseVersion* 1\r\n")));
}

void TestSettingsFile::testScrambleRoundTripsEveryCodeAtEveryPosition()
{
    SettingsFile settings;
    for (int code = 0; code <= 208; ++code) {
        // Framed by letters so blanks are not trimmed; the 16 copies sit at positions 2..17.
        const QString value = u'a' + QString(16, QChar(code)) + u'z';
        QVERIFY2(settings.SetFileValue(SettingsKeys::UserPassword, value, true),
            qPrintable(QString::number(code)));
        QVERIFY2(settings.GetFileValue(SettingsKeys::UserPassword) == value,
            qPrintable(QString::number(code)));
    }

    // And through the file.
    const QString file = path(QStringLiteral("Showpulse.dat"));
    QVERIFY(settings.SaveSettingsFile(file));
    SettingsFile reloaded;
    QVERIFY(reloaded.LoadSettingsFile(file));
    QCOMPARE(reloaded.GetFileValue(SettingsKeys::UserPassword),
        settings.GetFileValue(SettingsKeys::UserPassword));
}

void TestSettingsFile::testScrambledLayout()
{
    const QString value = QStringLiteral("  pass word*\r\n  ");
    const QString trimmed = QStringLiteral("pass word*\r\n");

    SettingsFile first;
    SettingsFile second;
    QVERIFY(first.SetFileValue(SettingsKeys::ISPPassword, value, true));
    QVERIFY(second.SetFileValue(SettingsKeys::ISPPassword, value, true));

    static const QRegularExpression layout(QStringLiteral("^\\*ISPPassword\\*#([0-9A-F]*)\r\n$"));
    const QRegularExpressionMatch a = layout.match(first.content());
    const QRegularExpressionMatch b = layout.match(second.content());
    QVERIFY2(a.hasMatch(), qPrintable(first.content()));
    QVERIFY(b.hasMatch());
    QCOMPARE(a.captured(1).size(), 4 * trimmed.size());
    // The filler differs, the meaning does not.
    QVERIFY(a.captured(1) != b.captured(1));
    QCOMPARE(first.GetFileValue(SettingsKeys::ISPPassword), trimmed);
    QCOMPARE(second.GetFileValue(SettingsKeys::ISPPassword), trimmed);

    QVERIFY(first.SetFileValue(SettingsKeys::ISPPassword, QStringLiteral("   "), true));
    QCOMPARE(first.content(), QStringLiteral("*ISPPassword*#\r\n"));
    QCOMPARE(first.GetFileValue(SettingsKeys::ISPPassword), QString());
}

void TestSettingsFile::testHighestScramblableCodePerPosition_data()
{
    QTest::addColumn<int>("position");
    for (int position = 1; position <= 16; ++position)
        QTest::addRow("position %d", position) << position;
}

void TestSettingsFile::testHighestScramblableCodePerPosition()
{
    QFETCH(int, position);
    const int highest = 255 - 32 - position % 16;
    const QString prefix(position - 1, u'x');

    SettingsFile settings;
    QVERIFY(settings.SetFileValue(SettingsKeys::UserName, prefix + QChar(highest), true));
    QCOMPARE(settings.GetFileValue(SettingsKeys::UserName), prefix + QChar(highest));
    const QString before = settings.content();
    QVERIFY(!settings.SetFileValue(SettingsKeys::UserName, prefix + QChar(highest + 1), true));
    QCOMPARE(settings.content(), before);
}

void TestSettingsFile::testScrambledTextFromFile_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("value");

    // 'a' (97) at position 1 is 97 + 33 = 0x82; 'b' at 2 is 98 + 34 = 0x84.
    QTest::newRow("upper-case") << QByteArray("8210841F") << QStringLiteral("ab");
    QTest::newRow("lower-case") << QByteArray("82ff84a0") << QStringLiteral("ab");
    QTest::newRow("blanks around") << QByteArray("  8210  ") << QStringLiteral("a");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("not hex") << QByteArray("82G0") << QString();
    QTest::newRow("filler not hex") << QByteArray("821Z") << QString();
    QTest::newRow("odd layout") << QByteArray("821") << QString();
    QTest::newRow("two digits only") << QByteArray("82") << QString();
    QTest::newRow("negative code") << QByteArray("2010") << QString();
    QTest::newRow("blank inside") << QByteArray("82 0") << QString();
}

void TestSettingsFile::testScrambledTextFromFile()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, value);

    const QString file = path(QStringLiteral("Showpulse.dat"));
    QVERIFY(writeBytes(file, "*UserName*#" + stored + "\r\n*RouterIP* host\r\n"));
    SettingsFile settings;
    QVERIFY(settings.LoadSettingsFile(file));
    QCOMPARE(settings.GetFileValue(SettingsKeys::UserName), value);
    QCOMPARE(settings.GetFileValue(SettingsKeys::RouterIP), QStringLiteral("host"));
}

void TestSettingsFile::testRefusedValues_data()
{
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("scramble");

    const QString key = SettingsKeys::LocationName;
    QTest::newRow("CR LF") << key << QStringLiteral("a\r\nb") << false;
    QTest::newRow("lone CR") << key << QStringLiteral("a\rb") << false;
    QTest::newRow("lone LF") << key << QStringLiteral("a\nb") << false;
    QTest::newRow("framed key") << key << QStringLiteral("x*RouterIP*y") << false;
    QTest::newRow("framed text") << key << QStringLiteral("**a*") << false;
    QTest::newRow("beyond Latin-1") << key << QStringLiteral("\u20AC 5") << false;
    QTest::newRow("scrambled beyond Latin-1") << key << QStringLiteral("\u0100") << true;
    QTest::newRow("scrambled code 209 at position 15")
        << key << QString(14, u'x') + QChar(209) << true;
    QTest::newRow("scrambled code 255") << key << QStringLiteral("\u00FF") << true;
    QTest::newRow("empty key") << QString() << QStringLiteral("v") << false;
    QTest::newRow("asterisk in key") << QStringLiteral("A*B") << QStringLiteral("v") << false;
    QTest::newRow("CR in key") << QStringLiteral("A\r") << QStringLiteral("v") << false;
    QTest::newRow("LF in key") << QStringLiteral("A\nB") << QStringLiteral("v") << true;
    QTest::newRow("key beyond Latin-1") << QStringLiteral("\u20AC") << QStringLiteral("v") << false;
    QTest::newRow("key starting with a marker")
        << QStringLiteral(" x") << QStringLiteral("v") << false;
}

void TestSettingsFile::testRefusedValues()
{
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(bool, scramble);

    SettingsFile settings;
    QVERIFY(settings.SetFileValue(SettingsKeys::LocationName, QStringLiteral("Odeon")));
    QVERIFY(settings.SetFileValue(SettingsKeys::RouterIP, QStringLiteral("localhost")));
    const QString before = settings.content();
    QVERIFY(!settings.SetFileValue(key, value, scramble));
    QCOMPARE(settings.content(), before);
    QCOMPARE(settings.GetFileValue(key),
        key == SettingsKeys::LocationName ? QStringLiteral("Odeon") : QString());
}

void TestSettingsFile::testAcceptedAwkwardValuesKeepLookupsIntact()
{
    // Values that look risky but cannot be mistaken for an entry, each before a real key.
    const QList<Entry> plain { { QStringLiteral("A"), QStringLiteral("x*y") },
        { QStringLiteral("B"), QStringLiteral("** ok") },
        { QStringLiteral("C"), QStringLiteral("*") },
        { QStringLiteral("D"), QStringLiteral(" #") } };
    SettingsFile settings;
    for (const Entry &entry : plain)
        QVERIFY(settings.SetFileValue(entry.first, entry.second));
    // Anything at all can be scrambled as long as each code fits.
    QVERIFY(settings.SetFileValue(QStringLiteral("E"), QStringLiteral("*y*\r\n*A* z"), true));
    QVERIFY(settings.SetFileValue(QStringLiteral("y"), QStringLiteral("real")));
    QVERIFY(settings.SetFileValue(QStringLiteral("ok"), QStringLiteral("real")));

    for (const Entry &entry : plain)
        QCOMPARE(settings.GetFileValue(entry.first), entry.second);
    QCOMPARE(settings.GetFileValue(QStringLiteral("E")), QStringLiteral("*y*\r\n*A* z"));
    QCOMPARE(settings.GetFileValue(QStringLiteral("y")), QStringLiteral("real"));
    QCOMPARE(settings.GetFileValue(QStringLiteral("ok")), QStringLiteral("real"));
}

void TestSettingsFile::testLoadReadsLatin1AndRemovesCopy()
{
    const QString file = path(QStringLiteral("Showpulse.dat"));
    const QString copy = path(QStringLiteral("tempfile.tmp"));
    QVERIFY(writeBytes(file, "*LocationCity* M\xE1laga\r\n*Use ISP* False\r\n"));
    // A copy left behind by an earlier run is overwritten, not read.
    QVERIFY(writeBytes(copy, "*LocationCity* stale\r\n"));

    SettingsFile settings;
    QVERIFY(settings.LoadSettingsFile(file));
    QCOMPARE(settings.GetFileValue(SettingsKeys::LocationCity), QStringLiteral("M\u00E1laga"));
    QCOMPARE(settings.GetFileValue(SettingsKeys::UseISP), QStringLiteral("False"));
    QVERIFY(!QFile::exists(copy));
    QVERIFY(QFile::exists(file));
}

void TestSettingsFile::testMissingOrEmptyFileMeansNoKeys()
{
    SettingsFile fresh;
    QVERIFY(!fresh.LoadSettingsFile(path(QStringLiteral("Showpulse.dat"))));
    QCOMPARE(fresh.GetFileValue(SettingsKeys::RouterIP), QString());

    const QString empty = path(QStringLiteral("empty.dat"));
    QVERIFY(writeBytes(empty, QByteArray()));
    SettingsFile settings;
    QVERIFY(settings.SetFileValue(SettingsKeys::RouterIP, QStringLiteral("localhost")));
    QVERIFY(settings.LoadSettingsFile(empty));
    QCOMPARE(settings.content(), QString());
    QCOMPARE(settings.GetFileValue(SettingsKeys::RouterIP), QString());
    QVERIFY(!QFile::exists(path(QStringLiteral("tempfile.tmp"))));
}

void TestSettingsFile::testLoadFailureLeavesContent_data()
{
    QTest::addColumn<QString>("target");
    QTest::addColumn<qint64>("sizeLimit");

    QTest::newRow("missing file") << QStringLiteral("none.dat") << qint64(0);
    QTest::newRow("folder") << QStringLiteral("sub") << qint64(0);
    QTest::newRow("the copy's own name") << QStringLiteral("tempfile.tmp") << qint64(0);
    QTest::newRow("copy breaks off") << QStringLiteral("big.dat") << qint64(100);
}

void TestSettingsFile::testLoadFailureLeavesContent()
{
    QFETCH(QString, target);
    QFETCH(qint64, sizeLimit);

    QVERIFY(QDir(m_dir->path()).mkdir(QStringLiteral("sub")));
    QVERIFY(
        writeBytes(path(QStringLiteral("big.dat")), "*RouterIP* " + QByteArray(500, 'x') + "\r\n"));
    // Only the file that is itself named like the copy stays; no copy is left behind otherwise.
    const bool copyExpected = target == QStringLiteral("tempfile.tmp");
    if (copyExpected)
        QVERIFY(writeBytes(path(target), "*RouterIP* other\r\n"));

    SettingsFile settings;
    QVERIFY(settings.SetFileValue(SettingsKeys::RouterIP, QStringLiteral("localhost")));
    const QString before = settings.content();
    {
        std::optional<FileSizeLimit> limit;
        if (sizeLimit > 0)
            limit.emplace(rlim_t(sizeLimit));
        QVERIFY(!settings.LoadSettingsFile(path(target)));
    }
    QCOMPARE(settings.content(), before);
    QCOMPARE(QFile::exists(path(QStringLiteral("tempfile.tmp"))), copyExpected);
}

void TestSettingsFile::testUnterminatedLastEntry()
{
    const QString file = path(QStringLiteral("Showpulse.dat"));
    QVERIFY(writeBytes(file, "*RouterIP* host\r\n*ClientName* Booth"));
    SettingsFile settings;
    QVERIFY(settings.LoadSettingsFile(file));
    QCOMPARE(settings.GetFileValue(SettingsKeys::ClientName), QStringLiteral("Booth"));

    QVERIFY(settings.SetFileValue(SettingsKeys::DeleteDays, QStringLiteral("30")));
    QCOMPARE(settings.GetFileValue(SettingsKeys::ClientName), QStringLiteral("Booth"));
    QVERIFY(settings.SetFileValue(SettingsKeys::ClientName, QStringLiteral("Hall")));
    QCOMPARE(settings.content(),
        QStringLiteral("*RouterIP* host\r\n*ClientName* Hall\r\n*DeleteDays* 30\r\n"));
}

void TestSettingsFile::testSaveReplacesAtomicallyOwnerOnly()
{
    const QString file = path(QStringLiteral("Showpulse.dat"));
    QVERIFY(writeBytes(file, "*RouterIP* old\r\n"));
    QVERIFY(QFile::setPermissions(
        file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther));
    // A reader that has the old file open keeps seeing it whole: the new one is renamed over it.
    QFile reader(file);
    QVERIFY(reader.open(QIODevice::ReadOnly));

    const mode_t oldMask = ::umask(0);
    SettingsFile settings;
    QVERIFY(settings.SetFileValue(SettingsKeys::RouterIP, QStringLiteral("new")));
    QVERIFY(settings.SetFileValue(SettingsKeys::UserPassword, QStringLiteral("pw"), true));
    const bool saved = settings.SaveSettingsFile(file);
    const bool savedNew = settings.SaveSettingsFile(path(QStringLiteral("fresh.dat")));
    ::umask(oldMask);

    QVERIFY(saved);
    QVERIFY(savedNew);
    QCOMPARE(reader.readAll(), QByteArray("*RouterIP* old\r\n"));
    QCOMPARE(readBytes(file), settings.content().toLatin1());
    QCOMPARE(modeOf(file), 0600u);
    QCOMPARE(modeOf(path(QStringLiteral("fresh.dat"))), 0600u);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

void TestSettingsFile::testFailedSaveKeepsOldFileAndMemory()
{
    const QString file = path(QStringLiteral("Showpulse.dat"));
    const QByteArray old("*RouterIP* old\r\n");
    QVERIFY(writeBytes(file, old));

    SettingsFile settings;
    QVERIFY(settings.SetFileValue(SettingsKeys::LocationAddress, QString(300, u'x')));
    const QString before = settings.content();
    bool saved = true;
    {
        // Room for the old file but not the new one, as on a nearly full disk.
        FileSizeLimit limit(100);
        saved = settings.SaveSettingsFile(file);
    }
    QVERIFY(!saved);
    QCOMPARE(readBytes(file), old);
    QCOMPARE(settings.content(), before);
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files | QDir::Hidden),
        QStringList { QStringLiteral("Showpulse.dat") });

    QVERIFY(!settings.SaveSettingsFile(path(QStringLiteral("no/such/folder/Showpulse.dat"))));
    QCOMPARE(settings.content(), before);
}

QTEST_APPLESS_MAIN(TestSettingsFile)
#include "tst_settingsfile.moc"
