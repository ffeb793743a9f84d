#include "core/datetext.h"
#include "router/valuetext.h"

#include <QTest>

#include <cmath>

class TestValueText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void testNumericValue_data();
    void testNumericValue();
    void testRoundHalfEven_data();
    void testRoundHalfEven();
    void testDateTimeValue_data();
    void testDateTimeValue();
    void testTimeValue();
    void testGeneralText_data();
    void testGeneralText();
};

void TestValueText::testNumericValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("isNumber");
    QTest::newRow("leading blank") << QStringLiteral(" 42") << 42.0 << true;
    QTest::newRow("tab and blanks around") << QStringLiteral("\t 7  ") << 7.0 << true;
    QTest::newRow("negative fraction") << QStringLiteral("-12.75") << -12.75 << true;
    QTest::newRow("point first") << QStringLiteral(".5") << 0.5 << true;
    QTest::newRow("point last") << QStringLiteral("3.") << 3.0 << true;
    QTest::newRow("exponent") << QStringLiteral("1.5E3") << 1500.0 << true;
    QTest::newRow("negative exponent") << QStringLiteral("25e-1") << 2.5 << true;
    QTest::newRow("E without digits is not an exponent") << QStringLiteral("4E") << 4.0 << false;
    QTest::newRow("stops at a letter") << QStringLiteral("12abc") << 12.0 << false;
    QTest::newRow("stops at a second point") << QStringLiteral("1.2.3") << 1.2 << false;
    QTest::newRow("stops at a comma") << QStringLiteral("1,000") << 1.0 << false;
    QTest::newRow("no number") << QStringLiteral("abc") << 0.0 << false;
    QTest::newRow("sign only") << QStringLiteral("-") << 0.0 << false;
    QTest::newRow("point only") << QStringLiteral(".") << 0.0 << false;
    QTest::newRow("empty") << QString() << 0.0 << false;
    QTest::newRow("underflow") << QStringLiteral("1e-400") << 0.0 << true;
    QTest::newRow("many digits") << QString(QString(400, u'0') + u"12") << 12.0 << true;
}

void TestValueText::testNumericValue()
{
    QFETCH(QString, text);
    QFETCH(double, value);
    QFETCH(bool, isNumber);
    QCOMPARE(ValueText::numericValue(text), value);
    QCOMPARE(ValueText::isNumber(text), isNumber);
}

void TestValueText::testRoundHalfEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("rounded");
    QTest::newRow("0.5") << 0.5 << 0.0;
    QTest::newRow("1.5") << 1.5 << 2.0;
    QTest::newRow("2.5") << 2.5 << 2.0;
    QTest::newRow("-2.5") << -2.5 << -2.0;
    QTest::newRow("-3.5") << -3.5 << -4.0;
    QTest::newRow("2.4999") << 2.4999 << 2.0;
    QTest::newRow("2.5001") << 2.5001 << 3.0;
}

void TestValueText::testRoundHalfEven()
{
    QFETCH(double, value);
    QFETCH(double, rounded);
    QCOMPARE(ValueText::roundHalfEven(value), rounded);
}

void TestValueText::testDateTimeValue_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("value");
    const QDate zero = DateText::zeroDate().date();
    QTest::newRow("driver form") << QStringLiteral("3/7/2026 14:05:09")
                                 << QDateTime(QDate(2026, 3, 7), QTime(14, 5, 9));
    QTest::newRow("AM/PM") << QStringLiteral("12/31/2025 11:59:58 PM")
                           << QDateTime(QDate(2025, 12, 31), QTime(23, 59, 58));
    QTest::newRow("12 AM is midnight")
        << QStringLiteral("1/2/2026 12:00:00 AM") << QDateTime(QDate(2026, 1, 2), QTime(0, 0));
    QTest::newRow("blanks inside the numbers")
        << QStringLiteral(" 3/ 7/ 2026  14: 5: 9") << QDateTime(QDate(2026, 3, 7), QTime(14, 5, 9));
    QTest::newRow("ISO order") << QStringLiteral("2026-03-07 14:05:09")
                               << QDateTime(QDate(2026, 3, 7), QTime(14, 5, 9));
    QTest::newRow("date only") << QStringLiteral("2/29/2028")
                               << QDateTime(QDate(2028, 2, 29), QTime(0, 0));
    QTest::newRow("two-digit year")
        << QStringLiteral("6/1/99") << QDateTime(QDate(1999, 6, 1), QTime(0, 0));
    QTest::newRow("time only") << QStringLiteral("14:05") << QDateTime(zero, QTime(14, 5));
    QTest::newRow("not a date") << QStringLiteral("yesterday") << DateText::zeroDate();
    QTest::newRow("no such day") << QStringLiteral("2/30/2026") << DateText::zeroDate();
    QTest::newRow("hour 24") << QStringLiteral("3/7/2026 24:00:00") << DateText::zeroDate();
    QTest::newRow("13 PM") << QStringLiteral("3/7/2026 13:00 PM") << DateText::zeroDate();
    QTest::newRow("trailing text") << QStringLiteral("3/7/2026 14:05:09 x") << DateText::zeroDate();
    QTest::newRow("mixed separators") << QStringLiteral("3/7-2026") << DateText::zeroDate();
    QTest::newRow("long number") << QStringLiteral("3/7/20261") << DateText::zeroDate();
    QTest::newRow("empty") << QString() << DateText::zeroDate();
}

void TestValueText::testDateTimeValue()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, value);
    QCOMPARE(ValueText::dateTimeValue(text), value);
}

void TestValueText::testTimeValue()
{
    const QDate zero = DateText::zeroDate().date();
    QCOMPARE(ValueText::timeValue(u"3/7/2026 14:05:09"), QDateTime(zero, QTime(14, 5, 9)));
    QCOMPARE(ValueText::timeValue(u"3/7/2026"), DateText::zeroDate());
    QCOMPARE(ValueText::timeValue(u"later"), DateText::zeroDate());

    const QDateTime value(QDate(2026, 11, 5), QTime(7, 3, 0));
    QCOMPARE(ValueText::dateText(value), QStringLiteral("11/5/2026 7:03:00"));
    QCOMPARE(ValueText::dateTimeValue(ValueText::dateText(value)), value);
}

void TestValueText::testGeneralText_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("null") << QVariant() << QString();
    QTest::newRow("nullptr") << QVariant::fromValue(nullptr) << QString();
    QTest::newRow("true") << QVariant(true) << QStringLiteral("True");
    QTest::newRow("false") << QVariant(false) << QStringLiteral("False");
    QTest::newRow("int") << QVariant(-42) << QStringLiteral("-42");
    QTest::newRow("byte") << QVariant::fromValue(quint8(200)) << QStringLiteral("200");
    QTest::newRow("whole double") << QVariant(3.0) << QStringLiteral("3");
    QTest::newRow("fraction") << QVariant(0.1) << QStringLiteral("0.1");
    QTest::newRow("float") << QVariant::fromValue(1.5f) << QStringLiteral("1.5");
    QTest::newRow("date-time") << QVariant(QDateTime(QDate(2026, 3, 7), QTime(14, 5, 9)))
                               << QStringLiteral("3/7/2026 14:05:09");
    QTest::newRow("date") << QVariant(QDate(2026, 3, 7)) << QStringLiteral("3/7/2026");
    QTest::newRow("time") << QVariant(QTime(9, 5, 0)) << QStringLiteral("9:05:00");
    QTest::newRow("text unchanged") << QVariant(QStringLiteral(" a b ")) << QStringLiteral(" a b ");
    QTest::newRow("bytes as Latin-1")
        << QVariant(QByteArray("\xe9", 1)) << QStringLiteral("\u00e9");
}

void TestValueText::testGeneralText()
{
    QFETCH(QVariant, value);
    QFETCH(QString, text);
    QCOMPARE(ValueText::generalText(value), text);
}

QTEST_APPLESS_MAIN(TestValueText)
#include "tst_valuetext.moc"
