#include "core/datetext.h"
#include "events/eventrecord.h"

#include <QTest>

#include <algorithm>

namespace L = EventRecordLayout;

namespace {

void putByte(QByteArray &raw, int position, int value)
{
    raw[position - 1] = static_cast<char>(value);
}

void putWord(QByteArray &raw, int position, int value)
{
    putByte(raw, position, value >> 8);
    putByte(raw, position + 1, value & 0xFF);
}

// A record as a unit sends it: a lamp fault during a show, with bytes of 128 and more in
// several fields.
QByteArray sampleRecord()
{
    QByteArray raw(L::RecordLength, '\0');
    putByte(raw, L::Length, 49);
    putByte(raw, L::RecVer, 2);
    putByte(raw, L::DevType, 0xC8);
    putWord(raw, L::EvCode, 16);
    raw.replace(L::CodeName - 1, L::CodeNameLength, "LAMP \xC4\xD6 ");
    putWord(raw, L::Flag1, 0x2901);
    putWord(raw, L::Flag2, 0x000B);
    putWord(raw, L::Seq, 0x8003);
    putWord(raw, L::Year, 2026);
    putByte(raw, L::Month, 3);
    putByte(raw, L::Day, 7);
    putByte(raw, L::Hour, 21);
    putByte(raw, L::Minute, 5);
    putByte(raw, L::Second, 59);
    putByte(raw, L::Fut, 0xFF);
    putWord(raw, L::Down, 0x1B58);
    putByte(raw, L::iLoop, 1);
    putByte(raw, L::Prog, 0x80);
    putByte(raw, L::Cue, 17);
    putByte(raw, L::Stat, 0);
    const int params[8] = { 26, 3, 7, 0xFFFF, 5, 0, 0x0100, 0x80FF };
    for (int n = 1; n <= 8; ++n)
        putWord(raw, L::parameter(n), params[n - 1]);
    return raw;
}

} // namespace

class TestEventRecord : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void testFullRecord();
    void testLatin1TextGivesTheSameColumns();
    void testShortRecords_data();
    void testShortRecords();
    void testReadersAtTheEdges();
    void testEventTime_data();
    void testEventTime();
};

void TestEventRecord::testFullRecord()
{
    const EventRecord r = EventRecord::decode(sampleRecord());
    QCOMPARE(r.RecVer, 2);
    QCOMPARE(r.DevType, 200);
    QCOMPARE(r.EvCode, 16);
    QCOMPARE(r.CodeName, QStringLiteral("LAMP \u00C4\u00D6 "));
    QCOMPARE(r.Flag1, 0x2901);
    QCOMPARE(r.Flag2, 11);
    QCOMPARE(r.Seq, 32771);
    QCOMPARE(r.Fut, 255);
    QCOMPARE(r.Down, 7000);
    QCOMPARE(r.iLoop, 1);
    QCOMPARE(r.Prog, 128);
    QCOMPARE(r.Cue, 17);
    QCOMPARE(r.Stat, 0);
    QCOMPARE(r.P1, 26);
    QCOMPARE(r.P2, 3);
    QCOMPARE(r.P3, 7);
    QCOMPARE(r.P4, 65535);
    QCOMPARE(r.P5, 5);
    QCOMPARE(r.P6, 0);
    QCOMPARE(r.P7, 256);
    QCOMPARE(r.P8, 33023);
    QCOMPARE(r.EventTime, QDateTime(QDate(2026, 3, 7), QTime(21, 5, 59)));
}

void TestEventRecord::testLatin1TextGivesTheSameColumns()
{
    const QByteArray raw = sampleRecord();
    QCOMPARE(EventRecord::decodeText(QString::fromLatin1(raw)), EventRecord::decode(raw));
}

void TestEventRecord::testShortRecords_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("codeName");
    QTest::addColumn<int>("down");
    QTest::addColumn<int>("fut");
    QTest::addColumn<int>("stat");
    QTest::addColumn<int>("p8");
    QTest::addColumn<bool>("zeroTime");

    const QString name = QStringLiteral("LAMP \u00C4\u00D6 ");
    QTest::newRow("empty") << 0 << QString() << 0 << -1 << -1 << 0 << true;
    // The name needs position 14 inside the record, one more than its last character.
    QTest::newRow("13 characters") << 13 << QString() << 0 << -1 << -1 << 0 << true;
    QTest::newRow("14 characters") << 14 << name << 0 << -1 << -1 << 0 << true;
    QTest::newRow("20 characters") << 20 << name << 0 << -1 << -1 << 0 << true;
    QTest::newRow("up to the second") << 26 << name << 0 << -1 << -1 << 0 << false;
    QTest::newRow("half of Down") << 28 << name << 0 << 255 << -1 << 0 << false;
    QTest::newRow("up to Stat") << 33 << name << 7000 << 255 << 0 << 0 << false;
    QTest::newRow("half of P8") << 48 << name << 7000 << 255 << 0 << 0 << false;
    QTest::newRow("longer than the layout") << 60 << name << 7000 << 255 << 0 << 33023 << false;
}

void TestEventRecord::testShortRecords()
{
    QFETCH(int, length);
    QFETCH(QString, codeName);
    QFETCH(int, down);
    QFETCH(int, fut);
    QFETCH(int, stat);
    QFETCH(int, p8);
    QFETCH(bool, zeroTime);

    QByteArray raw = sampleRecord();
    raw.resize(length, 'x');
    const EventRecord r = EventRecord::decode(raw);
    QCOMPARE(r.CodeName, codeName);
    QCOMPARE(r.Down, down);
    QCOMPARE(r.Fut, fut);
    QCOMPARE(r.Stat, stat);
    QCOMPARE(r.P8, p8);
    QCOMPARE(r.EventTime == DateText::zeroDate(), zeroTime);
    if (length == 20) {
        // Everything from the month on lies outside the record.
        QCOMPARE(r.Seq, 32771);
        QCOMPARE(r.iLoop, -1);
        QCOMPARE(r.Prog, -1);
        QCOMPARE(r.Cue, -1);
        QCOMPARE(r.P1, 0);
    }
}

void TestEventRecord::testReadersAtTheEdges()
{
    const QByteArray raw("\x01\xFF\x80", 3);
    QCOMPARE(EventRecord::readByte(raw, 0), -1);
    QCOMPARE(EventRecord::readByte(raw, 2), 255);
    QCOMPARE(EventRecord::readByte(raw, 3), 128);
    QCOMPARE(EventRecord::readByte(raw, 4), -1);
    QCOMPARE(EventRecord::readByte(raw, -7), -1);
    QCOMPARE(EventRecord::readWord(raw, 0), 0);
    QCOMPARE(EventRecord::readWord(raw, 1), 511);
    QCOMPARE(EventRecord::readWord(raw, 2), 65408);
    QCOMPARE(EventRecord::readWord(raw, 3), 0);
    QCOMPARE(EventRecord::readText(raw, 1, 2), QStringLiteral("\u0001\u00FF"));
    QCOMPARE(EventRecord::readText(raw, 2, 2), QString());
    QCOMPARE(EventRecord::readText(raw, 0, 1), QString());
}

void TestEventRecord::testEventTime_data()
{
    QTest::addColumn<QList<int>>("fields");
    QTest::addColumn<QDateTime>("expected");

    const QDateTime zero = DateText::zeroDate();
    QTest::newRow("ordinary") << QList<int> { 2026, 3, 7, 21, 5, 59 }
                              << QDateTime(QDate(2026, 3, 7), QTime(21, 5, 59));
    QTest::newRow("leap day") << QList<int> { 2028, 2, 29, 0, 0, 0 }
                              << QDateTime(QDate(2028, 2, 29), QTime(0, 0));
    QTest::newRow("29 February of a common year") << QList<int> { 2026, 2, 29, 10, 0, 0 } << zero;
    QTest::newRow("month 13") << QList<int> { 2026, 13, 1, 10, 0, 0 } << zero;
    QTest::newRow("month 0") << QList<int> { 2026, 0, 1, 10, 0, 0 } << zero;
    QTest::newRow("day 0") << QList<int> { 2026, 1, 0, 10, 0, 0 } << zero;
    QTest::newRow("hour 24") << QList<int> { 2026, 1, 1, 24, 0, 0 } << zero;
    QTest::newRow("minute 60") << QList<int> { 2026, 1, 1, 10, 60, 0 } << zero;
    QTest::newRow("second 255") << QList<int> { 2026, 1, 1, 10, 0, 255 } << zero;
    QTest::newRow("missing byte") << QList<int> { 2026, 1, 1, 10, 0, -1 } << zero;
    QTest::newRow("five-digit year") << QList<int> { 65535, 1, 1, 10, 0, 0 } << zero;
    QTest::newRow("two-digit year 4")
        << QList<int> { 4, 3, 7, 9, 5, 0 } << QDateTime(QDate(2004, 3, 7), QTime(9, 5));
    QTest::newRow("two-digit year 29") << QList<int> { 29, 12, 31, 23, 59, 59 }
                                       << QDateTime(QDate(2029, 12, 31), QTime(23, 59, 59));
    QTest::newRow("two-digit year 30")
        << QList<int> { 30, 1, 1, 0, 0, 0 } << QDateTime(QDate(1930, 1, 1), QTime(0, 0));
    QTest::newRow("year 0") << QList<int> { 0, 6, 1, 12, 0, 0 }
                            << QDateTime(QDate(2000, 6, 1), QTime(12, 0));
}

void TestEventRecord::testEventTime()
{
    QFETCH(QList<int>, fields);
    QFETCH(QDateTime, expected);

    QCOMPARE(EventRecord::composeEventTime(
                 fields[0], fields[1], fields[2], fields[3], fields[4], fields[5]),
        expected);

    // The same fields through the record where they fit its bytes and words.
    if (std::all_of(fields.begin(), fields.end(), [](int v) { return v >= 0; })) {
        QByteArray raw = sampleRecord();
        putWord(raw, L::Year, fields[0]);
        putByte(raw, L::Month, fields[1]);
        putByte(raw, L::Day, fields[2]);
        putByte(raw, L::Hour, fields[3]);
        putByte(raw, L::Minute, fields[4]);
        putByte(raw, L::Second, fields[5]);
        QCOMPARE(EventRecord::decode(raw).EventTime, expected);
    }
}

QTEST_APPLESS_MAIN(TestEventRecord)
#include "tst_eventrecord.moc"
