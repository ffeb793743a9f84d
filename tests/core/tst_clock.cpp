#include "core/clock.h"
#include "core/datetext.h"
#include "testclock.h"

#include <QTest>

class TestClockAndDates : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void testClockIsReplaceable();
    void testDateTextRoundTrip_data();
    void testDateTextRoundTrip();
    void testUnreadableDateText();
};

void TestClockAndDates::testClockIsReplaceable()
{
    const QDateTime fixed(QDate(2026, 2, 28), QTime(23, 59, 59));
    {
        TestClock clock(fixed);
        QCOMPARE(Clock::currentDateTime(), fixed);
        clock.advanceSeconds(1);
        QCOMPARE(Clock::currentDate(), QDate(2026, 3, 1));
    }
    // Back on the system clock once the test clock is gone.
    QVERIFY(qAbs(Clock::currentDateTime().secsTo(QDateTime::currentDateTime())) < 5);
}

void TestClockAndDates::testDateTextRoundTrip_data()
{
    QTest::addColumn<QDateTime>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("zero date") << DateText::zeroDate() << QStringLiteral("1899-12-30 00:00:00");
    QTest::newRow("leap day") << QDateTime(QDate(2028, 2, 29), QTime(6, 0, 0))
                              << QStringLiteral("2028-02-29 06:00:00");
    QTest::newRow("last second of a year") << QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59))
                                           << QStringLiteral("2026-12-31 23:59:59");
}

void TestClockAndDates::testDateTextRoundTrip()
{
    QFETCH(QDateTime, value);
    QFETCH(QString, text);
    QCOMPARE(DateText::toText(value), text);
    QCOMPARE(DateText::fromText(text), value);
}

void TestClockAndDates::testUnreadableDateText()
{
    QVERIFY(!DateText::fromText(QString()).isValid());
    QVERIFY(!DateText::fromText(QStringLiteral("12/11/2026")).isValid());
    QVERIFY(!DateText::fromText(QStringLiteral("2026-13-01 00:00:00")).isValid());
}

QTEST_APPLESS_MAIN(TestClockAndDates)
#include "tst_clock.moc"
