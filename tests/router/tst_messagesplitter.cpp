#include "router/messagesplitter.h"
#include "router/serverconnectionheader.h"

#include <QTest>

using namespace ServerConnectionHeader;

class TestMessageSplitter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void testOneByteAtATime();
    void testSeveralMessagesInOneArrival();
    void testStrayEndTokensNeverFormAMessage_data();
    void testStrayEndTokensNeverFormAMessage();
    void testSectionEndTokensDoNotEndTheMessage();
    void testHighBytesKept();
    void testLimit_data();
    void testLimit();
    void testOverflowLastsUntilClear();
    void testLongStreamOfMessages();
};

namespace {

QByteArray message(const QByteArray &data)
{
    return "\rBEGINHEAD\rLOCAL:PING:1-1:RESPONSE: 0::c:u:0:::\rENDHEAD\r\rBEGINDATA\r" + data
        + "\rITEM\r\rENDDATA\r\rEND\r";
}

// Everything next() gives until it stops returning a message.
QStringList drain(MessageSplitter &splitter)
{
    QStringList messages;
    QString text;
    while (splitter.next(&text) == MessageSplitter::Result::Message)
        messages.append(text);
    return messages;
}

} // namespace

void TestMessageSplitter::testOneByteAtATime()
{
    const QByteArray first = message("one");
    const QByteArray second = message("two");
    const QByteArray stream = first + second;

    MessageSplitter splitter;
    QStringList messages;
    for (qsizetype i = 0; i < stream.size(); ++i) {
        splitter.append(stream.mid(i, 1));
        const QStringList arrived = drain(splitter);
        // A message comes out exactly when the last byte of its end token arrives.
        if (i == first.size() - 1 || i == stream.size() - 1)
            QCOMPARE(arrived.size(), 1);
        else
            QVERIFY2(arrived.isEmpty(), qPrintable(QString::number(i)));
        messages += arrived;
    }
    QCOMPARE(messages, QStringList({ fromWire(first), fromWire(second) }));
    QCOMPARE(splitter.bufferedSize(), 0);
}

void TestMessageSplitter::testSeveralMessagesInOneArrival()
{
    MessageSplitter splitter;
    const QByteArray partial = message("three").left(30);
    splitter.append(QByteArray(message("one") + message("two") + partial));
    QCOMPARE(drain(splitter), QStringList({ fromWire(message("one")), fromWire(message("two")) }));
    QCOMPARE(splitter.bufferedSize(), partial.size());

    splitter.append(message("three").mid(30));
    const QStringList rest = drain(splitter);
    QCOMPARE(rest, QStringList({ fromWire(message("three")) }));
    QCOMPARE(GetItem(GetSection(rest.first(), Section::Data), 1), QStringLiteral("three"));
}

void TestMessageSplitter::testStrayEndTokensNeverFormAMessage_data()
{
    QTest::addColumn<QList<QByteArray>>("arrivals");
    QTest::addColumn<int>("messages");
    const QByteArray end("\rEND\r");
    QTest::newRow("two end tokens after a message")
        << QList<QByteArray> { message("a") + end + end } << 1;
    QTest::newRow("end tokens before the first message")
        << QList<QByteArray> { end + end + message("a") } << 1;
    QTest::newRow("end token arriving on its own")
        << QList<QByteArray> { message("a"), end, message("b") } << 2;
    QTest::newRow("end token split over arrivals")
        << QList<QByteArray> { message("a") + "\rEN", "D\r", message("b") } << 2;
}

void TestMessageSplitter::testStrayEndTokensNeverFormAMessage()
{
    QFETCH(QList<QByteArray>, arrivals);
    QFETCH(int, messages);
    MessageSplitter splitter;
    QStringList taken;
    for (const QByteArray &bytes : arrivals) {
        splitter.append(bytes);
        taken += drain(splitter);
    }
    QCOMPARE(taken.size(), messages);
    for (const QString &text : taken)
        QVERIFY(text.startsWith(HeadBegin));
    QCOMPARE(splitter.bufferedSize(), 0);
}

void TestMessageSplitter::testSectionEndTokensDoNotEndTheMessage()
{
    MessageSplitter splitter;
    splitter.append("\rBEGINHEAD\rh:\rENDHEAD\r\rBEGINDATA\rd\rENDDATA\r");
    QString text;
    QCOMPARE(splitter.next(&text), MessageSplitter::Result::Incomplete);
    splitter.append("\rEND\r");
    QCOMPARE(splitter.next(&text), MessageSplitter::Result::Message);
    QCOMPARE(GetSection(text, Section::Data), QStringLiteral("d"));
}

void TestMessageSplitter::testHighBytesKept()
{
    QByteArray raw;
    for (int b = 0x80; b < 0x100; ++b)
        raw.append(char(b));
    MessageSplitter splitter;
    splitter.append(message(raw));
    const QStringList messages = drain(splitter);
    QCOMPARE(messages.size(), 1);
    const QString value = GetItem(GetSection(messages.first(), Section::Data), 1);
    QCOMPARE(toWire(value), raw);
}

void TestMessageSplitter::testLimit_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("expected"); // a MessageSplitter::Result
    const QByteArray end("\rEND\r");
    const int limit = 64;
    QTest::newRow("message exactly at the limit") << QByteArray(
        QByteArray(limit - end.size(), 'x') + end) << int(MessageSplitter::Result::Message);
    QTest::newRow("complete message one byte over the limit") << QByteArray(
        QByteArray(limit - end.size() + 1, 'x') + end) << int(MessageSplitter::Result::Overflow);
    QTest::newRow("unterminated text at the limit")
        << QByteArray(limit, 'x') << int(MessageSplitter::Result::Incomplete);
    QTest::newRow("unterminated text over the limit")
        << QByteArray(limit + 1, 'x') << int(MessageSplitter::Result::Overflow);
}

void TestMessageSplitter::testLimit()
{
    QFETCH(QByteArray, bytes);
    QFETCH(int, expected);
    MessageSplitter splitter(64);
    splitter.append(bytes);
    QString text;
    QCOMPARE(int(splitter.next(&text)), expected);
}

void TestMessageSplitter::testOverflowLastsUntilClear()
{
    MessageSplitter splitter(128);
    splitter.append(message("fits"));
    splitter.append(QByteArray(200, 'x'));
    QString text;
    // Messages that arrived before the endless one still come out first.
    QCOMPARE(splitter.next(&text), MessageSplitter::Result::Message);
    QCOMPARE(splitter.next(&text), MessageSplitter::Result::Overflow);
    QVERIFY(splitter.isOverflowed());
    QCOMPARE(splitter.bufferedSize(), 0);

    splitter.append(QByteArray("\rEND\r" + message("late")));
    QCOMPARE(splitter.next(&text), MessageSplitter::Result::Overflow);

    splitter.clear();
    QVERIFY(!splitter.isOverflowed());
    splitter.append(message("again"));
    QCOMPARE(splitter.next(&text), MessageSplitter::Result::Message);
    QCOMPARE(text, fromWire(message("again")));
}

void TestMessageSplitter::testLongStreamOfMessages()
{
    // Many messages through one splitter in uneven arrivals: none lost, none changed, and the
    // consumed front of the buffer is dropped along the way.
    QByteArray stream;
    QStringList expected;
    for (int i = 0; i < 2000; ++i) {
        const QByteArray one = message(QByteArray::number(i));
        stream += one;
        expected.append(fromWire(one));
    }
    MessageSplitter splitter(256);
    QStringList taken;
    for (qsizetype at = 0, step = 1; at < stream.size(); at += step, step = step % 97 + 13) {
        splitter.append(stream.mid(at, step));
        taken += drain(splitter);
        QVERIFY(!splitter.isOverflowed());
    }
    QCOMPARE(taken, expected);
}

QTEST_APPLESS_MAIN(TestMessageSplitter)
#include "tst_messagesplitter.moc"
