#include "reportfixture.h"
#include "sitesimprocess.h"

#include "core/database.h"
#include "core/settingsfile.h"
#include "core/settingskeys.h"
#include "reports/htmlreports.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

// What one run of the executable gave.
struct CliRun
{
    int exitCode = -1;
    QByteArray out;
    QString err;
};

// The child reads its locale from the environment; the test pins its own to the same one, so
// that dates in both agree.
QProcessEnvironment cliEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LC_ALL"), QStringLiteral("en_US.UTF-8"));
    return environment;
}

void startCli(QProcess &process, const QStringList &arguments)
{
    process.setProcessEnvironment(cliEnvironment());
    process.start(QStringLiteral(SHOWPULSE_CLI_EXECUTABLE), arguments);
}

// Runs showpulse-cli to its end (at most 60 s); exit code -1 when it did not end normally.
CliRun runCli(const QStringList &arguments, const QByteArray &input = {})
{
    QProcess process;
    startCli(process, arguments);
    CliRun run;
    if (!process.waitForStarted(10000))
        return run;
    if (!input.isEmpty())
        process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished(5000);
    } else if (process.exitStatus() == QProcess::NormalExit) {
        run.exitCode = process.exitCode();
    }
    run.out = process.readAllStandardOutput();
    run.err = QString::fromLocal8Bit(process.readAllStandardError());
    return run;
}

QString fileText(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromLatin1(file.readAll()) : QString();
}

// The settings file of \a folder as the program would read it.
SettingsFile settingsIn(const QString &folder)
{
    SettingsFile settings;
    settings.LoadSettingsFile(folder + QStringLiteral("/Showpulse.dat"));
    return settings;
}

// The first column of the first row of \a sql on the database file \a path; -1 on failure.
qint64 scalar(const QString &path, const QString &sql)
{
    Database database;
    if (!database.open(path))
        return -1;
    const auto rows = database.openQuery(sql);
    if (!rows || rows->eof() || rows->fieldNames().isEmpty())
        return -1;
    return rows->value(rows->fieldNames().constFirst()).toLongLong();
}

// Standard error of the child on a pseudo-terminal, for what it shows only there.
class Terminal
{
public:
    Terminal()
    {
        m_master = posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || grantpt(m_master) != 0 || unlockpt(m_master) != 0)
            return;
        const char *name = ptsname(m_master);
        if (!name)
            return;
        m_slavePath = QString::fromLocal8Bit(name);
        fcntl(m_master, F_SETFL, fcntl(m_master, F_GETFL) | O_NONBLOCK);
    }
    ~Terminal()
    {
        if (m_master >= 0)
            close(m_master);
    }
    Terminal(const Terminal &) = delete;
    Terminal &operator=(const Terminal &) = delete;

    QString slavePath() const { return m_slavePath; }

    // Everything written to the terminal so far.
    QByteArray readAll()
    {
        QByteArray bytes;
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(m_master, buffer, sizeof buffer);
            if (n <= 0)
                break;
            bytes.append(buffer, n);
        }
        return bytes;
    }

private:
    int m_master = -1;
    QString m_slavePath;
};

} // namespace

class TestShowpulseCli : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void testFolderThatCannotBeOpened_data();
    void testFolderThatCannotBeOpened();
    void testReport_data();
    void testReport();
    void testReportUsageErrors_data();
    void testReportUsageErrors();
    void testReportFileThatCannotBeWritten();
    void testProgressLineOnTerminalOnly();
    void testInitThenReport();
    void testInitRefusals_data();
    void testInitRefusals();
    void testInitPasswordFromStandardInput();
    void testSync();
    void testSyncFailures_data();
    void testSyncFailures();

private:
    // A fixture folder with a few shows around March 2026, its settings file written.
    bool prepareReportFolder(ReportFixture &fixture);
    // A program folder made by init for the router on this machine.
    static CliRun initFolder(const QString &folder, const QString &password, const QString &driver);

    QTemporaryDir m_siteDir;
    QString m_driverDatabase;
};

void TestShowpulseCli::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));

    // A small site whose days all lie within the 30 days a first synchronisation looks back.
    QVERIFY(m_siteDir.isValid());
    m_driverDatabase = m_siteDir.filePath(QStringLiteral("driver.db"));
    QString output;
    QCOMPARE(
        runSitesim({ QStringLiteral("generate"), QStringLiteral("--db"), m_driverDatabase,
                       QStringLiteral("--houses"), QStringLiteral("2"), QStringLiteral("--days"),
                       QStringLiteral("4"), QStringLiteral("--seed"), QStringLiteral("5") },
            &output),
        0);
}

bool TestShowpulseCli::prepareReportFolder(ReportFixture &fixture)
{
    if (!fixture.isReady())
        return false;
    bool ok = true;
    int showId = 100;
    for (const QDate &day : { QDate(2026, 2, 27), QDate(2026, 3, 9), QDate(2026, 3, 10),
             QDate(2026, 3, 31), QDate(2026, 4, 2) }) {
        ok = ok && fixture.addShow(++showId, 1, QDateTime(day, QTime(14, 0)), 7200, 0)
            && fixture.addShow(++showId, 2, QDateTime(day, QTime(19, 30)), 7000, 420)
            && fixture.addDailySummary(day, 2, 1, 0, 420)
            && fixture.addShowSummary(showId, 2, day, true, 420, false, 10);
    }
    SettingsFile &settings = SettingsFile::instance();
    settings.SetFileValue(
        SettingsKeys::DatabaseFileName, fixture.folder() + QStringLiteral("/Showpulse.mdb"));
    settings.SetFileValue(SettingsKeys::LocationName, QStringLiteral("Cine Nord"));
    settings.SetFileValue(SettingsKeys::LocationCity, QStringLiteral("Lund"));
    return ok && settings.SaveSettingsFile(fixture.folder() + QStringLiteral("/Showpulse.dat"));
}

void TestShowpulseCli::testFolderThatCannotBeOpened_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("message");

    for (const QString &command : { QStringLiteral("report"), QStringLiteral("sync") }) {
        const auto row = [&command](const char *name) {
            return &QTest::newRow(qPrintable(command + u' ' + QLatin1StringView(name)));
        };
        *row("missing folder") << command << QStringLiteral("none")
                               << QStringLiteral("does not exist");
        *row("no settings file") << command << QStringLiteral("empty")
                                 << QStringLiteral("no settings file Showpulse.dat");
        *row("database named is missing")
            << command << QStringLiteral("named") << QStringLiteral("other.mdb named by the");
        *row("default database is missing")
            << command << QStringLiteral("unnamed") << QStringLiteral("Showpulse.mdb named by the");
        *row("database is no database")
            << command << QStringLiteral("garbage") << QStringLiteral("cannot be opened");
    }
}

void TestShowpulseCli::testFolderThatCannotBeOpened()
{
    QFETCH(QString, command);
    QFETCH(QString, setup);
    QFETCH(QString, message);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = setup == u"none" ? dir.filePath(QStringLiteral("absent")) : dir.path();
    SettingsFile settings;
    if (setup == u"named")
        settings.SetFileValue(
            SettingsKeys::DatabaseFileName, dir.filePath(QStringLiteral("other.mdb")));
    if (setup == u"garbage") {
        QFile garbage(dir.filePath(QStringLiteral("Showpulse.mdb")));
        QVERIFY(garbage.open(QIODevice::WriteOnly));
        garbage.write(QByteArray(4096, 'x'));
    }
    settings.SetFileValue(SettingsKeys::RouterIP, QStringLiteral("localhost"));
    if (setup != u"none" && setup != u"empty")
        QVERIFY(settings.SaveSettingsFile(dir.filePath(QStringLiteral("Showpulse.dat"))));
    const QStringList before = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);

    QStringList arguments { QStringLiteral("--folder"), folder, command };
    if (command == u"report")
        arguments << QStringLiteral("daily");
    const CliRun run = runCli(arguments);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
    // Nothing is set up in a folder that was not one.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), before);
    QVERIFY(!QFileInfo::exists(dir.filePath(QStringLiteral("absent"))));
}

void TestShowpulseCli::testReport_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<int>("code");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<QString>("note");
    QTest::addColumn<QString>("title");

    QTest::newRow("daily") << QStringLiteral("daily") << 1 << QDate(2026, 3, 10) << QString()
                           << QStringLiteral("Daily Summary Report for Tuesday, March 10, 2026");
    QTest::newRow("weekly with a note")
        << QStringLiteral("weekly") << 2 << QDate(2026, 3, 14)
        << QStringLiteral("Router was down\nDriver restarted")
        << QStringLiteral("Weekly Report for Sunday, March 8, 2026 - Saturday, March 14, 2026");
    QTest::newRow("monthly at the end of the month")
        << QStringLiteral("monthly") << 3 << QDate(2026, 3, 31) << QString()
        << QStringLiteral("Monthly Report - March, 2026");
    QTest::newRow("monthly in the first week reports the month before")
        << QStringLiteral("monthly") << 3 << QDate(2026, 4, 2) << QString()
        << QStringLiteral("Monthly Report - March, 2026");
    QTest::newRow("quarterly") << QStringLiteral("quarterly") << 4 << QDate(2026, 3, 31)
                               << QString()
                               << QStringLiteral("Quarterly Report - 1st Quarter, 2026");
}

void TestShowpulseCli::testReport()
{
    QFETCH(QString, type);
    QFETCH(int, code);
    QFETCH(QDate, date);
    QFETCH(QString, note);
    QFETCH(QString, title);

    ReportFixture fixture;
    QVERIFY(prepareReportFolder(fixture));
    QStringList arguments { QStringLiteral("--folder"), fixture.folder(), QStringLiteral("report"),
        type, QStringLiteral("--date"), date.toString(Qt::ISODate) };
    if (!note.isEmpty())
        arguments << QStringLiteral("--note") << note;

    const CliRun toStdout = runCli(arguments);
    QCOMPARE(toStdout.exitCode, 0);
    // No progress line when standard error is no terminal.
    QCOMPARE(toStdout.err, QString());

    const QString outFile
        = fixture.folder() + QStringLiteral("/out ") + type + QStringLiteral(".htm");
    const CliRun toFile = runCli(arguments + QStringList { QStringLiteral("--out"), outFile });
    QCOMPARE(toFile.exitCode, 0);
    QVERIFY(toFile.out.isEmpty());
    QCOMPARE(QString::fromLatin1(toStdout.out), fileText(outFile));

    // The page the main window's Generate Report gives for that date in the same folder.
    const QString expected = HTMLReports::GenerateReport(
        code, QDateTime(date, QTime(23, 59)), QString(note).replace(u'\n', QStringLiteral("\r\n")));
    QCOMPARE(fileText(outFile), expected + QStringLiteral("\r\n"));
    QVERIFY2(expected.contains(title), qPrintable(expected.left(800)));
    QVERIFY(expected.contains(QStringLiteral("Cine Nord")));
    if (!note.isEmpty())
        QVERIFY(expected.contains(QStringLiteral("Router was down<BR>*&nbsp&nbsp&nbspDriver")));
}

void TestShowpulseCli::testReportUsageErrors_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");

    QTest::newRow("no type") << QStringList {} << QStringLiteral("name a report type");
    QTest::newRow("unknown type") << QStringList { QStringLiteral("yearly") }
                                  << QStringLiteral("unknown report type yearly");
    QTest::newRow("type code") << QStringList { QStringLiteral("1") }
                               << QStringLiteral("unknown report type 1");
    QTest::newRow("two types") << QStringList { QStringLiteral("daily"), QStringLiteral("weekly") }
                               << QStringLiteral("unexpected argument weekly");
    QTest::newRow("impossible date") << QStringList { QStringLiteral("daily"),
        QStringLiteral("--date"), QStringLiteral("2026-02-30") }
                                     << QStringLiteral("--date takes a date as YYYY-MM-DD");
    QTest::newRow("other date form") << QStringList { QStringLiteral("daily"),
        QStringLiteral("--date"), QStringLiteral("3/10/2026") }
                                     << QStringLiteral("--date takes a date as YYYY-MM-DD");
    QTest::newRow("unknown option") << QStringList { QStringLiteral("daily"),
        QStringLiteral("--pdf") } << QStringLiteral("Unknown option 'pdf'");
    QTest::newRow("empty output name")
        << QStringList { QStringLiteral("daily"), QStringLiteral("--out"), QString() }
        << QStringLiteral("--out needs a file name");
}

void TestShowpulseCli::testReportUsageErrors()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);

    ReportFixture fixture;
    QVERIFY(prepareReportFolder(fixture));
    const CliRun run = runCli(
        QStringList { QStringLiteral("--folder"), fixture.folder(), QStringLiteral("report") }
        + arguments);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

void TestShowpulseCli::testReportFileThatCannotBeWritten()
{
    ReportFixture fixture;
    QVERIFY(prepareReportFolder(fixture));
    const QString outFile = fixture.folder() + QStringLiteral("/no such folder/report.htm");
    const CliRun run = runCli({ QStringLiteral("--folder"), fixture.folder(),
        QStringLiteral("report"), QStringLiteral("daily"), QStringLiteral("--out"), outFile });
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.err.contains(outFile + QStringLiteral(" cannot be written")), qPrintable(run.err));
}

void TestShowpulseCli::testProgressLineOnTerminalOnly()
{
    ReportFixture fixture;
    QVERIFY(prepareReportFolder(fixture));
    Terminal terminal;
    if (terminal.slavePath().isEmpty())
        QSKIP("No pseudo-terminal available");

    QProcess process;
    process.setStandardErrorFile(terminal.slavePath());
    startCli(process,
        { QStringLiteral("--folder"), fixture.folder(), QStringLiteral("report"),
            QStringLiteral("weekly"), QStringLiteral("--date"), QStringLiteral("2026-03-14"),
            QStringLiteral("--out"), fixture.folder() + QStringLiteral("/weekly.htm") });
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), 0);

    const QByteArray shown = terminal.readAll();
    QVERIFY2(shown.contains("Creating Weekly Report   5%"), shown.constData());
    QVERIFY2(shown.contains("Creating Weekly Report 100%"), shown.constData());
    // The line is cleared at the end, leaving the terminal as it was.
    QVERIFY2(shown.endsWith("\r\x1b[K"), shown.constData());
}

void TestShowpulseCli::testInitThenReport()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString folder = dir.filePath(QStringLiteral("site/program"));
    const QStringList init { QStringLiteral("--folder"), folder, QStringLiteral("init"),
        QStringLiteral("--router"), QStringLiteral("router.local"), QStringLiteral("--client"),
        QStringLiteral("Office"), QStringLiteral("--user"), QStringLiteral("Night Manager"),
        QStringLiteral("--password"), QStringLiteral("s3cret*"), QStringLiteral("--driver"),
        QStringLiteral("1-3"), QStringLiteral("--driver-name"), QStringLiteral("Tarvik Driver"),
        QStringLiteral("--location"), QStringLiteral("Cine Nord") };
    const QDate firstDay = QDate::currentDate();
    const CliRun run = runCli(init);
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.contains("ready"), run.out.constData());

    const QString databasePath = folder + QStringLiteral("/Showpulse.mdb");
    const SettingsFile settings = settingsIn(folder);
    const QList<QPair<QString, QString>> expected {
        { SettingsKeys::DatabaseFileName, databasePath },
        { SettingsKeys::DatabaseVersion, QStringLiteral("1") },
        { SettingsKeys::DeleteDays, QStringLiteral("30") },
        { SettingsKeys::RouterIP, QStringLiteral("router.local") },
        { SettingsKeys::ClientName, QStringLiteral("Office") },
        { SettingsKeys::UserName, QStringLiteral("Night Manager") },
        { SettingsKeys::UserPassword, QStringLiteral("s3cret*") },
        { SettingsKeys::AutoLogOn, QStringLiteral("True") },
        { SettingsKeys::TarvikDriverID, QStringLiteral("1-3") },
        { SettingsKeys::TarvikDriverName, QStringLiteral("Tarvik Driver") },
        { SettingsKeys::LocationName, QStringLiteral("Cine Nord") },
    };
    for (const auto &[key, value] : expected)
        QCOMPARE(settings.GetFileValue(key), value);
    // The secrets are not readable in the file.
    QVERIFY(settings.content().contains(QStringLiteral("*UserPassword*#")));
    QVERIFY(!settings.content().contains(QStringLiteral("s3cret")));
    // Compaction is due tomorrow at 06:00 (the day may turn while the test runs).
    const QString packTime = settings.GetFileValue(SettingsKeys::DatabasePackTime);
    QVERIFY2(packTime == firstDay.addDays(1).toString(Qt::ISODate) + QStringLiteral(" 06:00:00")
            || packTime
                == QDate::currentDate().addDays(1).toString(Qt::ISODate)
                    + QStringLiteral(" 06:00:00"),
        qPrintable(packTime));
    QCOMPARE(scalar(databasePath, QStringLiteral("select count(*) as n from EventCodes")), 70);

    const CliRun report = runCli({ QStringLiteral("--folder"), folder, QStringLiteral("report"),
        QStringLiteral("daily"), QStringLiteral("--date"), QStringLiteral("2026-06-01") });
    QCOMPARE(report.exitCode, 0);
    QVERIFY(report.out.contains("Daily Summary Report for Monday, June 1, 2026"));
    QVERIFY(report.out.contains("Cine Nord"));

    // A second init leaves the folder alone; --force starts the settings over and keeps the data.
    const CliRun again = runCli(init);
    QCOMPARE(again.exitCode, 1);
    QVERIFY2(
        again.err.contains(QStringLiteral("already has a settings file")), qPrintable(again.err));
    {
        Database database;
        QVERIFY(database.open(databasePath));
        QVERIFY(database.executeStatement(
            QStringLiteral("insert into EventLog (Evid, EventTime) values (?, ?)"),
            { 41, QDateTime(QDate(2026, 6, 1), QTime(12, 0)) }));
    }
    const CliRun forced = runCli(init
        + QStringList { QStringLiteral("--force"), QStringLiteral("--router"),
            QStringLiteral("router2.local") });
    QCOMPARE(forced.exitCode, 0);
    QVERIFY2(forced.out.contains("existing database"), forced.out.constData());
    QCOMPARE(
        settingsIn(folder).GetFileValue(SettingsKeys::RouterIP), QStringLiteral("router2.local"));
    QCOMPARE(scalar(databasePath, QStringLiteral("select max(Evid) as m from EventLog")), 41);
    QCOMPARE(scalar(databasePath, QStringLiteral("select count(*) as n from EventCodes")), 70);
}

void TestShowpulseCli::testInitRefusals_data()
{
    QTest::addColumn<QStringList>("change");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");

    QTest::newRow("router missing") << QStringList { QStringLiteral("--router"),
        QStringLiteral(" ") } << 2 << QStringLiteral("--router is required");
    QTest::newRow("driver missing") << QStringList { QStringLiteral("--driver"), QString() } << 2
                                    << QStringLiteral("--driver is required");
    QTest::newRow("line break in a name")
        << QStringList { QStringLiteral("--client"), QStringLiteral("Office\r\nRouterIP") } << 1
        << QStringLiteral("--client: the settings file cannot hold this value");
    QTest::newRow("password outside Latin-1")
        << QStringList { QStringLiteral("--password"), QStringLiteral("pässwörd\u20ac") } << 1
        << QStringLiteral("--password: the settings file cannot hold this value");
    QTest::newRow("stray argument")
        << QStringList { QStringLiteral("now") } << 2 << QStringLiteral("unexpected argument now");
}

void TestShowpulseCli::testInitRefusals()
{
    QFETCH(QStringList, change);
    QFETCH(int, exitCode);
    QFETCH(QString, message);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QStringList arguments { QStringLiteral("--folder"), dir.path(), QStringLiteral("init"),
        QStringLiteral("--router"), QStringLiteral("localhost"), QStringLiteral("--client"),
        QStringLiteral("Office"), QStringLiteral("--user"), QStringLiteral("admin"),
        QStringLiteral("--password"), QStringLiteral("admin"), QStringLiteral("--driver"),
        QStringLiteral("1-3") };
    // A later value of an option wins over the earlier one.
    const CliRun run = runCli(arguments + change);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(QDir(dir.path()).isEmpty());
}

void TestShowpulseCli::testInitPasswordFromStandardInput()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const CliRun run
        = runCli({ QStringLiteral("--folder"), dir.path(), QStringLiteral("init"),
                     QStringLiteral("--router"), QStringLiteral("localhost"),
                     QStringLiteral("--client"), QStringLiteral("Office"), QStringLiteral("--user"),
                     QStringLiteral("admin"), QStringLiteral("--password"), QStringLiteral("-"),
                     QStringLiteral("--driver"), QStringLiteral("1-3") },
            "from stdin\nsecond line\n");
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(settingsIn(dir.path()).GetFileValue(SettingsKeys::UserPassword),
        QStringLiteral("from stdin"));
}

CliRun TestShowpulseCli::initFolder(
    const QString &folder, const QString &password, const QString &driver)
{
    return runCli({ QStringLiteral("--folder"), folder, QStringLiteral("init"),
        QStringLiteral("--router"), QStringLiteral("localhost"), QStringLiteral("--client"),
        QStringLiteral("Test"), QStringLiteral("--user"), QStringLiteral("admin"),
        QStringLiteral("--password"), password, QStringLiteral("--driver"), driver });
}

// The program walks the ports from 2357 on and takes the first router it finds, so the test's
// router has to be on 2357 and no other router may come first.
#define START_ROUTER_OR_SKIP(sitesim, database)                                                    \
    do {                                                                                           \
        QTcpServer probe;                                                                          \
        if (!probe.listen(QHostAddress::LocalHost, 2357))                                          \
            QSKIP("Port 2357 on 127.0.0.1 is in use by another program");                          \
        probe.close();                                                                             \
        QVERIFY2((sitesim).start({ QStringLiteral("--db"), (database), QStringLiteral("--port"),   \
                     QStringLiteral("2357") }),                                                    \
            qPrintable((sitesim).error()));                                                        \
    } while (false)

void TestShowpulseCli::testSync()
{
    SitesimProcess sitesim;
    START_ROUTER_OR_SKIP(sitesim, m_driverDatabase);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QCOMPARE(initFolder(dir.path(), QStringLiteral("admin"), QStringLiteral("1-3")).exitCode, 0);
    const QString local = dir.filePath(QStringLiteral("Showpulse.mdb"));

    const CliRun first = runCli({ QStringLiteral("--folder"), dir.path(), QStringLiteral("sync") });
    QVERIFY2(first.exitCode == 0, qPrintable(first.err));
    QCOMPARE(first.err, QString());

    // A first run starts after the first event of the last 30 days: every later one is copied.
    const qint64 driverEvents
        = scalar(m_driverDatabase, QStringLiteral("select count(*) as n from eventlog"));
    QVERIFY(driverEvents > 100);
    QCOMPARE(scalar(local, QStringLiteral("select count(*) as n from EventLog")), driverEvents - 1);
    QCOMPARE(scalar(local, QStringLiteral("select max(Evid) as m from EventLog")),
        scalar(m_driverDatabase, QStringLiteral("select max(uniqueid) as m from eventlog")));
    QCOMPARE(scalar(local, QStringLiteral("select count(*) as n from Operators")),
        scalar(m_driverDatabase, QStringLiteral("select count(*) as n from operators")));
    QVERIFY(scalar(local, QStringLiteral("select count(*) as n from DailySummary")) > 0);
    QVERIFY2(first.out.contains(QByteArray::number(driverEvents - 1).append(" new events")),
        first.out.constData());
    QVERIFY(QFileInfo::exists(dir.filePath(QStringLiteral("ShowpulseSock.dat"))));

    // Nothing new: nothing is copied twice.
    const CliRun second
        = runCli({ QStringLiteral("--folder"), dir.path(), QStringLiteral("sync") });
    QCOMPARE(second.exitCode, 0);
    QVERIFY2(second.out.contains(" 0 new events"), second.out.constData());
    QCOMPARE(scalar(local, QStringLiteral("select count(*) as n from EventLog")), driverEvents - 1);
}

void TestShowpulseCli::testSyncFailures_data()
{
    QTest::addColumn<bool>("router");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QStringList>("messages");

    QTest::newRow("wrong password") << true << QStringLiteral("wrong") << QStringLiteral("1-3")
                                    << QStringList { QStringLiteral("User Log on rejected."),
                                           QStringLiteral("Invalid Password") };
    QTest::newRow("no such driver")
        << true << QStringLiteral("admin") << QStringLiteral("7-7")
        << QStringList { QStringLiteral("Could not syncronize event log."),
               QStringLiteral("Could not synchronize Operators") };
    QTest::newRow("no driver chosen")
        << true << QStringLiteral("admin") << QString()
        << QStringList { QStringLiteral("Tarvik Driver has not been selected.") };
    QTest::newRow("no router") << false << QStringLiteral("admin") << QStringLiteral("1-3")
                               << QStringList { QStringLiteral(
                                      "Router not found on selected host") };
}

void TestShowpulseCli::testSyncFailures()
{
    QFETCH(bool, router);
    QFETCH(QString, password);
    QFETCH(QString, driver);
    QFETCH(QStringList, messages);

    SitesimProcess sitesim;
    if (router) {
        START_ROUTER_OR_SKIP(sitesim, m_driverDatabase);
    } else {
        for (int port = 2357; port <= 2427; port += 7) {
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHost, quint16(port)))
                QSKIP(qPrintable(QStringLiteral("Port %1 on 127.0.0.1 is in use").arg(port)));
        }
    }

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QCOMPARE(initFolder(dir.path(), password, driver.isEmpty() ? QStringLiteral("1-3") : driver)
                 .exitCode,
        0);
    if (driver.isEmpty()) {
        // As a program folder whose driver was never chosen.
        SettingsFile settings = settingsIn(dir.path());
        settings.SetFileValue(SettingsKeys::TarvikDriverID, QString());
        QVERIFY(settings.SaveSettingsFile(dir.filePath(QStringLiteral("Showpulse.dat"))));
    }

    const CliRun run = runCli({ QStringLiteral("--folder"), dir.path(), QStringLiteral("sync") });
    QCOMPARE(run.exitCode, 1);
    for (const QString &message : messages)
        QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
    QCOMPARE(scalar(dir.filePath(QStringLiteral("Showpulse.mdb")),
                 QStringLiteral("select count(*) as n from EventLog")),
        0);
}

QTEST_GUILESS_MAIN(TestShowpulseCli)
#include "tst_showpulsecli.moc"
