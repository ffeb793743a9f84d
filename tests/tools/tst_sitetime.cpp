#include "sitetime.h"

#include <QTest>

class TestSiteTime : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void testText_data();
    void testText();
    void testUnreadableText_data();
    void testUnreadableText();
    void testArithmeticAndOrder();
};

void TestSiteTime::testText_data()
{
    QTest::addColumn<QDate>("date");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("text");
    QTest::newRow("midnight") << QDate(2026, 3, 1) << 0 << QStringLiteral("2026-03-01 00:00:00");
    QTest::newRow("last second") << QDate(2028, 2, 29) << 86399
                                 << QStringLiteral("2028-02-29 23:59:59");
    QTest::newRow("zero date") << QDate(1899, 12, 30) << 0 << QStringLiteral("1899-12-30 00:00:00");
    QTest::newRow("year 1") << QDate(1, 1, 1) << 61 << QStringLiteral("0001-01-01 00:01:01");
}

void TestSiteTime::testText()
{
    QFETCH(QDate, date);
    QFETCH(int, seconds);
    QFETCH(QString, text);
    const SiteTime t(date, seconds);
    QCOMPARE(t.toText(), text);
    QCOMPARE(SiteTime::fromText(text), t);
    QCOMPARE(t.toDateTime(), QDateTime(date, QTime::fromMSecsSinceStartOfDay(seconds * 1000)));
    QCOMPARE(SiteTime::fromDateTime(t.toDateTime()), t);
}

void TestSiteTime::testUnreadableText_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QString();
    QTest::newRow("driver form") << QStringLiteral("3/1/2026 9:05:00");
    QTest::newRow("month 13") << QStringLiteral("2026-13-01 00:00:00");
    QTest::newRow("hour 24") << QStringLiteral("2026-01-01 24:00:00");
    QTest::newRow("letters") << QStringLiteral("2026-0a-01 00:00:00");
    QTest::newRow("sign") << QStringLiteral("2026-01-01 -1:00:00");
    QTest::newRow("trailing text") << QStringLiteral("2026-01-01 00:00:00x");
}

void TestSiteTime::testUnreadableText()
{
    QFETCH(QString, text);
    QVERIFY(!SiteTime::fromText(text).isValid());
}

void TestSiteTime::testArithmeticAndOrder()
{
    const SiteTime late(QDate(2026, 3, 1), 23 * 3600 + 50 * 60);
    const SiteTime next = late.addSecs(20 * 60);
    QCOMPARE(next.toText(), QStringLiteral("2026-03-02 00:10:00"));
    QCOMPARE(late.secsTo(next), 1200);
    QVERIFY(late < next);
    QVERIFY(!SiteTime().isValid());
    QVERIFY(!SiteTime(QDate(2026, 3, 1), 86400).isValid());
    QVERIFY(!SiteTime(QDate(10000, 1, 1), 0).isValid());
    QVERIFY(SiteTime().toText().isEmpty());
}

QTEST_APPLESS_MAIN(TestSiteTime)
#include "tst_sitetime.moc"
