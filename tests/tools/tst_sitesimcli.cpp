#include "driverdatabase.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Result
{
    int exitCode = -1;
    QString out;
    QString err;
};

Result sitesim(const QStringList &arguments, const QString &workingDirectory = QString())
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.start(QStringLiteral(SITESIM_EXECUTABLE), arguments);
    Result r;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished(5000);
        r.err = QStringLiteral("sitesim did not finish");
        return r;
    }
    r.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    r.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    r.err = QString::fromLocal8Bit(process.readAllStandardError());
    return r;
}

} // namespace

class TestSitesimCli : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void testHelpDescribesEveryCommand();
    void testUsageErrors_data();
    void testUsageErrors();
    void testGenerate();
};

void TestSitesimCli::testHelpDescribesEveryCommand()
{
    const Result r = sitesim({ QStringLiteral("--help") });
    QCOMPARE(r.exitCode, 0);
    for (const char *text :
        { "generate", "--db", "--houses", "--days", "--seed", "--end", "--truth", "--force" })
        QVERIFY2(r.out.contains(QLatin1String(text)), text);

    const Result one = sitesim({ QStringLiteral("generate"), QStringLiteral("--help") });
    QCOMPARE(one.exitCode, 0);
    QVERIFY(one.out.startsWith(QStringLiteral("Usage: sitesim generate [options]")));

    const Result none = sitesim({});
    QCOMPARE(none.exitCode, 2);
    QVERIFY(none.err.contains(QStringLiteral("Commands:")));
}

void TestSitesimCli::testUsageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    const QString db = QStringLiteral("--db=never-written.db");
    QTest::newRow("unknown command")
        << QStringList { QStringLiteral("fly") } << QStringLiteral("unknown command fly");
    QTest::newRow("no database") << QStringList { QStringLiteral("generate") }
                                 << QStringLiteral("--db is required");
    QTest::newRow("unknown option") << QStringList { QStringLiteral("generate"), db,
        QStringLiteral("--colour") } << QStringLiteral("colour");
    QTest::newRow("houses not a number") << QStringList { QStringLiteral("generate"), db,
        QStringLiteral("--houses=many") } << QStringLiteral("--houses");
    QTest::newRow("too many houses")
        << QStringList { QStringLiteral("generate"), db, QStringLiteral("--houses=500") }
        << QStringLiteral("1 to 99");
    QTest::newRow("negative seed")
        << QStringList { QStringLiteral("generate"), db, QStringLiteral("--seed=-4") }
        << QStringLiteral("--seed");
    QTest::newRow("end not a date")
        << QStringList { QStringLiteral("generate"), db, QStringLiteral("--end=3/1/2026") }
        << QStringLiteral("YYYY-MM-DD");
    QTest::newRow("stray argument") << QStringList { QStringLiteral("generate"), db,
        QStringLiteral("extra") } << QStringLiteral("unexpected argument extra");
}

void TestSitesimCli::testUsageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const Result r = sitesim(arguments, dir.path());
    QCOMPARE(r.exitCode, 2);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QVERIFY(QDir(dir.path()).isEmpty());
}

void TestSitesimCli::testGenerate()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString db = dir.filePath(QStringLiteral("driver.db"));
    const QString truth = dir.filePath(QStringLiteral("truth.json"));
    const QStringList arguments = { QStringLiteral("generate"), QStringLiteral("--db"), db,
        QStringLiteral("--houses"), QStringLiteral("2"), QStringLiteral("--days"),
        QStringLiteral("3"), QStringLiteral("--seed"), QStringLiteral("12"),
        QStringLiteral("--end"), QStringLiteral("2026-03-01"), QStringLiteral("--truth"), truth };
    const Result r = sitesim(arguments);
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.contains(QStringLiteral("2026-02-27 to 2026-03-01")), qPrintable(r.out));

    QFile file(truth);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    {
        DriverDatabase driver;
        QVERIFY(driver.open(db));
        QCOMPARE(driver.eventCount(), root[QStringLiteral("events")].toInteger());
        QVERIFY(driver.eventCount() > 0);
    }

    // An existing database is kept unless --force is given.
    const Result again = sitesim(arguments);
    QCOMPARE(again.exitCode, 1);
    QVERIFY(again.err.contains(QStringLiteral("exists")));
    const Result forced = sitesim(QStringList(arguments) << QStringLiteral("--force"));
    QCOMPARE(forced.exitCode, 0);
}

QTEST_GUILESS_MAIN(TestSitesimCli)
#include "tst_sitesimcli.moc"
