#include "core/database.h"
#include "core/databaseschema.h"
#include "events/eventconstants.h"

#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <limits>
#include <memory>

using namespace EventConstants;

namespace {

const QString CR = QStringLiteral("\r");

QDateTime at(int year, int month, int day, int hour = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, 0));
}

} // namespace

class TestEventConstants : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void testEventNames_data();
    void testEventNames();
    void testFlagNames();

    void testFormatDuration_data();
    void testFormatDuration();
    void testFormatDurationWords_data();
    void testFormatDurationWords();

    void testDownTimeSequence_data();
    void testDownTimeSequence();
    void testParameterTexts_data();
    void testParameterTexts();

    void testLookupCodeText_data();
    void testLookupCodeText();
    void testLookupOperatorName_data();
    void testLookupOperatorName();
    void testUserCodeLines_data();
    void testUserCodeLines();
    void testWithoutDatabase();

private:
    bool addOperator(int proId, const QString &name, const QDateTime &start, const QDateTime &end);

    QTemporaryDir m_dir;
};

bool TestEventConstants::addOperator(
    int proId, const QString &name, const QDateTime &start, const QDateTime &end)
{
    const auto rows = OpenQuery(QStringLiteral("select * from operators limit 0"));
    if (!rows || !rows->addNew())
        return false;
    bool ok = rows->setValue(QStringLiteral("ProID"), proId)
        && rows->setValue(QStringLiteral("ProName"), name);
    if (start.isValid())
        ok = ok && rows->setValue(QStringLiteral("StartDate"), start);
    if (end.isValid())
        ok = ok && rows->setValue(QStringLiteral("EndDate"), end);
    return ok && rows->update();
}

void TestEventConstants::initTestCase()
{
    QVERIFY(m_dir.isValid());
    const QString file = m_dir.filePath(DefaultDatabaseFileName);
    QVERIFY(CreateNewDatabase(file));
    QVERIFY(Database::instance().open(file));
    QVERIFY(AddDefaultUserCodes());

    QVERIFY(addOperator(7, QStringLiteral("Anna Berg"), {}, {}));
    QVERIFY(addOperator(8, QStringLiteral("   "), {}, {}));
    // Number 5 was given to one operator, then to another who is still there (no EndDate).
    QVERIFY(addOperator(5, QStringLiteral("Old Hand"), at(2025, 1, 1), at(2025, 6, 30)));
    QVERIFY(addOperator(5, QStringLiteral("New Hand"), at(2025, 6, 30), {}));
    // Overlapping periods: the later row wins.
    QVERIFY(addOperator(6, QStringLiteral("Year Long"), at(2025, 1, 1), at(2025, 12, 31)));
    QVERIFY(addOperator(6, QStringLiteral("Summer Relief"), at(2025, 6, 1), at(2025, 9, 1)));
}

void TestEventConstants::init()
{
    ResetLastDownValue();
}

void TestEventConstants::cleanupTestCase()
{
    Database::instance().close();
}

void TestEventConstants::testEventNames_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("name");

    QTest::newRow("0 is empty") << 0 << QString();
    QTest::newRow("first") << 1 << QStringLiteral("Start - Manual");
    QTest::newRow("spelt as the units do") << 30 << QStringLiteral("Maintenance Scheduel D");
    QTest::newRow("user code") << 47 << QStringLiteral("User Code");
    QTest::newRow("last") << 54 << QStringLiteral("Clock Set From Host - Forced From Host");
    QTest::newRow("above the table") << 55 << QStringLiteral("Unknown Event 55");
    QTest::newRow("negative") << -1 << QStringLiteral("Unknown Event -1");
    QTest::newRow("largest") << INT_MAX << QStringLiteral("Unknown Event 2147483647");
    QTest::newRow("smallest") << INT_MIN << QStringLiteral("Unknown Event -2147483648");
}

void TestEventConstants::testEventNames()
{
    QFETCH(int, code);
    QFETCH(QString, name);
    QCOMPARE(EventName(code), name);
    if (code >= 0 && code <= 54)
        QCOMPARE(EventDefinitions()[code].name, name);
}

void TestEventConstants::testFlagNames()
{
    const auto &names = EventFlagNames();
    QCOMPARE(names[0], QStringLiteral("In Learn Mode"));
    QCOMPARE(names[3], QStringLiteral("Running"));
    QCOMPARE(names[4], QStringLiteral("Undefined H00000010"));
    QCOMPARE(names[15], QStringLiteral("Undefined H00008000"));
    QCOMPARE(names[16], QStringLiteral("Any Event"));
    QCOMPARE(names[17], QStringLiteral("Undefined H00020000"));
    QCOMPARE(names[26], QStringLiteral("Undefined H04000000"));
    QCOMPARE(names[31], QStringLiteral("Buffer Overflow - Lost Data"));
}

void TestEventConstants::testFormatDuration_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("text");

    QTest::newRow("zero") << qint64(0) << QStringLiteral("00:00");
    QTest::newRow("59 s") << qint64(59) << QStringLiteral("00:59");
    QTest::newRow("307 s") << qint64(307) << QStringLiteral("05:07");
    QTest::newRow("just under an hour") << qint64(3599) << QStringLiteral("59:59");
    QTest::newRow("one hour") << qint64(3600) << QStringLiteral("01:00:00");
    QTest::newRow("3725 s") << qint64(3725) << QStringLiteral("01:02:05");
    QTest::newRow("ten hours") << qint64(36000) << QStringLiteral("10:00:00");
    QTest::newRow("hundred hours") << qint64(360000) << QStringLiteral("100:00:00");
    QTest::newRow("negative") << qint64(-65) << QStringLiteral("-01:05");
    QTest::newRow("smallest") << std::numeric_limits<qint64>::min()
                              << QStringLiteral("-2562047788015215:30:08");
}

void TestEventConstants::testFormatDuration()
{
    QFETCH(qint64, seconds);
    QFETCH(QString, text);
    QCOMPARE(FormatDuration(seconds), text);
}

void TestEventConstants::testFormatDurationWords_data()
{
    QTest::addColumn<qint64>("seconds");
    QTest::addColumn<QString>("text");

    QTest::newRow("3661 s") << qint64(3661) << QStringLiteral("1 hour, 1 minute, 1 seconds");
    QTest::newRow("7320 s") << qint64(7320) << QStringLiteral("2 hours, 2 minutes, 0 seconds");
    QTest::newRow("5 s") << qint64(5) << QStringLiteral("5 seconds");
    QTest::newRow("61 s") << qint64(61) << QStringLiteral("1 minute, 1 seconds");
    QTest::newRow("one hour") << qint64(3600) << QStringLiteral("1 hour, 0 seconds");
    QTest::newRow("zero") << qint64(0) << QStringLiteral("0 seconds");
}

void TestEventConstants::testFormatDurationWords()
{
    QFETCH(qint64, seconds);
    QFETCH(QString, text);
    QCOMPARE(FormatDurationWords(seconds), text);
}

void TestEventConstants::testDownTimeSequence_data()
{
    QTest::addColumn<QList<int>>("codes");
    QTest::addColumn<QList<int>>("downs");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("one show") << QList<int> { 1, 7, 7, 8, 4 } << QList<int> { 0, 0, 30, 30, 95 }
                              << QStringList { {}, {}, QStringLiteral("Down time: 00:30"), {},
                                     QStringLiteral("Down time: 01:05") };
    QTest::newRow("each start resets")
        << QList<int> { 2, 7, 4, 3, 7 } << QList<int> { 0, 40, 40, 0, 10 }
        << QStringList { {}, QStringLiteral("Down time: 00:40"), {}, {},
               QStringLiteral("Down time: 00:10") };
    QTest::newRow("counter going backwards")
        << QList<int> { 1, 7, 10, 4 } << QList<int> { 0, 90, 90, 30 }
        << QStringList { {}, QStringLiteral("Down time: 01:30"), {},
               QStringLiteral("Down time: -01:00") };
    QTest::newRow("parameter texts leave the down time alone")
        << QList<int> { 1, 7, 17, 35, 7 } << QList<int> { 0, 30, 60, 90, 90 }
        << QStringList { {}, QStringLiteral("Down time: 00:30"), QStringLiteral("Id: 3"),
               QStringLiteral("Date/Time: 3/3/3 03:03:03"), QStringLiteral("Down time: 01:00") };
    QTest::newRow("no down time below one second")
        << QList<int> { 7, 7 } << QList<int> { -5, 0 } << QStringList { {}, {} };
    QTest::newRow("codes outside the table")
        << QList<int> { 1, 99, -4 } << QList<int> { 0, 20, 45 }
        << QStringList { {}, QStringLiteral("Down time: 00:20"),
               QStringLiteral("Down time: 00:25") };
}

void TestEventConstants::testDownTimeSequence()
{
    QFETCH(QList<int>, codes);
    QFETCH(QList<int>, downs);
    QFETCH(QStringList, texts);

    for (qsizetype i = 0; i < codes.size(); ++i) {
        const QString text
            = EventDetailText(codes[i], downs[i], 3, 3, 3, 3, 3, 3, 3, 3, at(2025, 3, 1));
        QVERIFY2(text == texts[i], qPrintable(QStringLiteral("event %1: \"%2\"").arg(i).arg(text)));
    }
}

void TestEventConstants::testParameterTexts_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<int>("down");
    QTest::addColumn<QList<int>>("parameters");
    QTest::addColumn<QString>("text");

    const QList<int> reset { 4, 3, 7, 9, 5, 0, 12, 34 };
    const QString resetText = QStringLiteral("Date/Time: 3/7/4 09:05:00");
    for (const int code : { 33, 34, 35, 36, 37, 38, 53, 54 })
        QTest::addRow("reset or clock set %d", code) << code << 30 << reset << resetText;
    QTest::newRow("clock set at keypad is no date") << 52 << 0 << reset << QString();
    QTest::newRow("clock set at keypad with down time")
        << 52 << 30 << reset << QStringLiteral("Down time: 00:30");
    QTest::newRow("full date") << 36 << 0 << QList<int> { 2026, 12, 31, 23, 59, 59, 0, 0 }
                               << QStringLiteral("Date/Time: 12/31/2026 23:59:59");
    QTest::newRow("program memory") << 14 << 30 << QList<int> { 12, 3, 0, 0, 0, 0, 0, 0 }
                                    << QStringLiteral("Program: 12 Step: 3");
    for (const int code : { 17, 18, 19 })
        QTest::addRow("received from %d", code)
            << code << 30 << QList<int> { 5, 0, 0, 0, 0, 0, 0, 0 } << QStringLiteral("Id: 5");
    for (const int code : { 20, 21 })
        QTest::addRow("sync %d", code) << code << 30 << QList<int> { -2, 0, 0, 0, 0, 0, 0, 0 }
                                       << QStringLiteral("Sync Id: -2");
}

void TestEventConstants::testParameterTexts()
{
    QFETCH(int, code);
    QFETCH(int, down);
    QFETCH(QList<int>, parameters);
    QFETCH(QString, text);

    const QList<int> &p = parameters;
    QCOMPARE(
        EventDetailText(code, down, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], at(2025, 3, 1)),
        text);
}

void TestEventConstants::testLookupCodeText_data()
{
    QTest::addColumn<int>("codeId");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("text");

    QTest::newRow("problem") << 1 << 204 << QStringLiteral("Film break");
    QTest::newRow("film code 0") << 3 << 0 << QStringLiteral("N/A");
    QTest::newRow("presentation") << 0 << 101 << QStringLiteral("Show canceled - No tickets sold");
    QTest::newRow("no such code") << 1 << 999 << QStringLiteral("Invalid Code:999");
    QTest::newRow("negative") << 2 << -1 << QStringLiteral("Invalid Code:-1");
    QTest::newRow("no such list") << 9 << 0 << QStringLiteral("Invalid Code:0");
}

void TestEventConstants::testLookupCodeText()
{
    QFETCH(int, codeId);
    QFETCH(int, number);
    QFETCH(QString, text);
    QCOMPARE(LookupCodeText(codeId, number), text);
}

void TestEventConstants::testLookupOperatorName_data()
{
    QTest::addColumn<int>("number");
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("name");

    const QDateTime any = at(2025, 3, 1);
    QTest::newRow("single row") << 7 << any << QStringLiteral("Anna Berg");
    QTest::newRow("no row") << 12 << any << QStringLiteral("Invalid User ID: 12");
    QTest::newRow("blank name") << 8 << any << QStringLiteral("Invalid User ID: 8");
    QTest::newRow("reused, first holder") << 5 << at(2025, 3, 1) << QStringLiteral("Old Hand");
    QTest::newRow("reused, open-ended holder never matches") << 5 << at(2025, 8, 1) << QString();
    QTest::newRow("reused, on the start itself") << 5 << at(2025, 1, 1) << QString();
    QTest::newRow("reused, before anyone") << 5 << at(2024, 12, 31) << QString();
    QTest::newRow("overlap, later row wins")
        << 6 << at(2025, 7, 1) << QStringLiteral("Summer Relief");
    QTest::newRow("overlap, only the first") << 6 << at(2025, 10, 1) << QStringLiteral("Year Long");
}

void TestEventConstants::testLookupOperatorName()
{
    QFETCH(int, number);
    QFETCH(QDateTime, time);
    QFETCH(QString, name);
    QCOMPARE(LookupOperatorName(number, time), name);
}

void TestEventConstants::testUserCodeLines_data()
{
    QTest::addColumn<QList<int>>("parameters");
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("text");

    const QDateTime march = at(2025, 3, 1, 20);
    QTest::newRow("only film 0") << QList<int> { -1, -1, -1, 0, -1, -1, -1, 0 } << march
                                 << QStringLiteral("Film: N/A") + CR;
    QTest::newRow("problem and damage 0 are not entered")
        << QList<int> { -1, 0, 0, 0, -1, -1, -1, 0 } << march << QStringLiteral("Film: N/A") + CR;
    QTest::newRow("nothing entered")
        << QList<int> { -1, -1, -1, -1, -1, -1, -1, -1 } << march << QString();
    QTest::newRow("every category in order")
        << QList<int> { 7, 204, 202, 0, 100, 402, 101, 0 } << march
        << QStringLiteral("Operator: Anna Berg") + CR + QStringLiteral("Problem: Film break") + CR
            + QStringLiteral("Damage: Film was broken") + CR + QStringLiteral("Film: N/A") + CR
            + QStringLiteral("Test: Test show") + CR
            + QStringLiteral("Equipment: Replaced xenon bulb") + CR
            + QStringLiteral("Presentation: Show canceled - No tickets sold") + CR;
    QTest::newRow("unknown operator") << QList<int> { 12, -1, -1, -1, -1, -1, -1, -1 } << march
                                      << QStringLiteral("Operator: Invalid User ID: 12") + CR;
    QTest::newRow("blank operator name") << QList<int> { 8, -1, -1, -1, -1, -1, -1, -1 } << march
                                         << QStringLiteral("Operator: Invalid User ID: 8") + CR;
    QTest::newRow("operator 0 is looked up") << QList<int> { 0, -1, -1, -1, -1, -1, -1,
        -1 } << march << QStringLiteral("Operator: Invalid User ID: 0") + CR;
    QTest::newRow("reused operator number by date")
        << QList<int> { 5, 999, -1, -1, -1, -1, -1, -1 } << march
        << QStringLiteral("Operator: Old Hand") + CR + QStringLiteral("Problem: Invalid Code:999")
            + CR;
}

void TestEventConstants::testUserCodeLines()
{
    QFETCH(QList<int>, parameters);
    QFETCH(QDateTime, time);
    QFETCH(QString, text);

    const QList<int> &p = parameters;
    // Sits between down times of a show without disturbing them.
    QCOMPARE(
        EventDetailText(7, 30, 0, 0, 0, 0, 0, 0, 0, 0, time), QStringLiteral("Down time: 00:30"));
    QCOMPARE(EventDetailText(47, 45, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], time), text);
    QCOMPARE(
        EventDetailText(8, 45, 0, 0, 0, 0, 0, 0, 0, 0, time), QStringLiteral("Down time: 00:15"));
}

void TestEventConstants::testWithoutDatabase()
{
    const QString file = Database::instance().fileName();
    Database::instance().close();

    QCOMPARE(
        LookupOperatorName(7, at(2025, 3, 1)), QStringLiteral("No Operators have been entered"));
    QCOMPARE(LookupCodeText(3, 0), QString());
    // The code lines that cannot be looked up are left out; the report goes on.
    QCOMPARE(EventDetailText(47, 0, 7, 204, -1, 0, -1, -1, -1, 0, at(2025, 3, 1)),
        QStringLiteral("Operator: No Operators have been entered") + CR);

    QVERIFY(Database::instance().open(file));
}

QTEST_GUILESS_MAIN(TestEventConstants)
#include "tst_eventconstants.moc"
