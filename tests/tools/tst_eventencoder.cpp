#include "core/datetext.h"
#include "eventencoder.h"

#include <QTest>

namespace {

EventRecord sample()
{
    EventRecord r;
    r.RecVer = 2;
    r.DevType = 1;
    r.EvCode = 47;
    r.CodeName = QStringLiteral("USERCODE");
    r.Flag1 = 1 | 16;
    r.Flag2 = 4;
    r.Seq = 31;
    r.Fut = 0;
    r.Down = 125;
    r.iLoop = 1;
    r.Prog = 12;
    r.Cue = 0;
    r.Stat = 0;
    r.P1 = 3;
    r.P2 = 401;
    r.P3 = 0;
    r.P4 = 0;
    r.P5 = 0;
    r.P6 = 402;
    r.P7 = 201;
    r.P8 = 0;
    r.EventTime = QDateTime(QDate(2026, 3, 7), QTime(23, 59, 58));
    return r;
}

} // namespace

Q_DECLARE_METATYPE(EventRecord)

class TestEventEncoder : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void testDecodesToWhatWasEncoded_data();
    void testDecodesToWhatWasEncoded();
    void testRefusesWhatDoesNotFit_data();
    void testRefusesWhatDoesNotFit();
};

void TestEventEncoder::testDecodesToWhatWasEncoded_data()
{
    QTest::addColumn<EventRecord>("record");

    QTest::newRow("user code") << sample();
    EventRecord r = sample();
    r.RecVer = r.DevType = r.Fut = r.iLoop = r.Prog = r.Cue = r.Stat = 255;
    r.EvCode = r.Flag1 = r.Flag2 = r.Seq = r.Down = 65535;
    r.P1 = r.P2 = r.P3 = r.P4 = r.P5 = r.P6 = r.P7 = r.P8 = 65535;
    r.CodeName = QStringLiteral("\u00FF\u00E9\u0080 \u0001\u0000AB");
    QTest::newRow("every field at its largest") << r;
    r = sample();
    r.RecVer = r.DevType = r.Fut = r.iLoop = r.Prog = r.Cue = r.Stat = 0;
    r.EvCode = r.Flag1 = r.Flag2 = r.Seq = r.Down = 0;
    r.P1 = r.P2 = r.P3 = r.P4 = r.P5 = r.P6 = r.P7 = r.P8 = 0;
    r.CodeName = QStringLiteral("        ");
    QTest::newRow("every field zero") << r;
    r = sample();
    r.EventTime = QDateTime(QDate(100, 1, 1), QTime(0, 0));
    QTest::newRow("year 100") << r;
    r.EventTime = QDateTime(QDate(9999, 12, 31), QTime(23, 59, 59));
    QTest::newRow("year 9999") << r;
    r.EventTime = DateText::zeroDate();
    QTest::newRow("zero date") << r;
}

void TestEventEncoder::testDecodesToWhatWasEncoded()
{
    QFETCH(EventRecord, record);
    const QByteArray raw = EventEncoder::encode(record);
    QCOMPARE(raw.size(), EventRecordLayout::RecordLength);
    QCOMPARE(EventRecord::readByte(raw, EventRecordLayout::Length), 49);
    QCOMPARE(EventRecord::decode(raw), record);
}

void TestEventEncoder::testRefusesWhatDoesNotFit_data()
{
    QTest::addColumn<EventRecord>("record");

    EventRecord r = sample();
    r.Cue = 256;
    QTest::newRow("byte 256") << r;
    r = sample();
    r.Stat = -1;
    QTest::newRow("negative byte") << r;
    r = sample();
    r.Down = 65536;
    QTest::newRow("word 65536") << r;
    r = sample();
    r.P2 = -1;
    QTest::newRow("negative word") << r;
    r = sample();
    r.CodeName = QStringLiteral("NINECHARS");
    QTest::newRow("name too long") << r;
    r = sample();
    r.CodeName = QStringLiteral("\u20AC");
    QTest::newRow("name outside Latin-1") << r;
    r = sample();
    r.EventTime = QDateTime();
    QTest::newRow("no time") << r;
    r = sample();
    r.EventTime = QDateTime(QDate(99, 1, 1), QTime(0, 0));
    QTest::newRow("year that reads as two digits") << r;
}

void TestEventEncoder::testRefusesWhatDoesNotFit()
{
    QFETCH(EventRecord, record);
    QVERIFY(EventEncoder::encode(record).isEmpty());
}

QTEST_APPLESS_MAIN(TestEventEncoder)
#include "tst_eventencoder.moc"
