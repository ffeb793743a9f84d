#include "router/serverconnectionheader.h"

#include <QTest>

using namespace ServerConnectionHeader;

class TestServerConnectionHeader : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void testWorkedExampleBytes();
    void testWorkedExampleReadsBack();
    void testHeaderFields_data();
    void testHeaderFields();
    void testHeaderFieldEdgeCases();
    void testSections_data();
    void testSections();
    void testItems_data();
    void testItems();
    void testRecordsOfItems();
    void testSplitFieldsAgreesWithGetField();
    void testLatin1RoundTrip();
    void testSafeValues_data();
    void testSafeValues();
};

namespace {

const SenderIdentity kBoothOffice { QStringLiteral("229385-1012"), QStringLiteral("MAINROUTER"),
    QStringLiteral("Booth Office Showpulse"), QStringLiteral("manager") };

QString workedExample()
{
    const QString header = BuildHeader(kBoothOffice, QStringLiteral("228001-987"),
        QStringLiteral("GET RECORDSET"), QStringLiteral("RESPONSE"), 0, 0, QString(), QString());
    return header + AccessBegin + AccessEnd + DataBegin + u"select * from operators" + ItemToken
        + DataEnd + MessageEnd;
}

} // namespace

void TestServerConnectionHeader::testWorkedExampleBytes()
{
    const QByteArray expected("\rBEGINHEAD\r"
                              "228001-987:GET RECORDSET:229385-1012:RESPONSE: 0:MAINROUTER:"
                              "Booth Office Showpulse:manager:0:::"
                              "\rENDHEAD\r"
                              "\rBEGINACCESS\r\rENDACCESS\r"
                              "\rBEGINDATA\rselect * from operators\rITEM\r\rENDDATA\r"
                              "\rEND\r");
    bool ok = false;
    QCOMPARE(toWire(workedExample(), &ok), expected);
    QVERIFY(ok);
}

void TestServerConnectionHeader::testWorkedExampleReadsBack()
{
    const QString message = workedExample();
    const QString header = GetSection(message, Section::Header);
    QCOMPARE(header.count(u':'), 11);
    QCOMPARE(GetHeaderField(header, Field::ToClientFunction), QStringLiteral("GET RECORDSET"));
    QCOMPARE(GetHeaderField(header, Field::Sequence), QStringLiteral(" 0"));
    QCOMPARE(GetHeaderField(header, Field::ErrorCode), QStringLiteral("0"));
    QCOMPARE(GetHeaderField(header, Field::ErrorText), QString());
    QCOMPARE(GetSection(message, Section::Access), QString());
    QCOMPARE(
        GetItem(GetSection(message, Section::Data), 1), QStringLiteral("select * from operators"));

    const QString negative = BuildHeader(kBoothOffice, QStringLiteral("LOCAL"), QStringLiteral("X"),
        QStringLiteral("NONE"), -5, -3, QStringLiteral("text"), QStringLiteral("cb"));
    const QString negativeHeader = GetSection(QString(negative + MessageEnd), Section::Header);
    QCOMPARE(GetHeaderField(negativeHeader, Field::Sequence), QStringLiteral("-5"));
    QCOMPARE(GetHeaderField(negativeHeader, Field::ErrorCode), QStringLiteral("-3"));
    QCOMPARE(GetHeaderField(negativeHeader, Field::CallbackName), QStringLiteral("cb"));
}

void TestServerConnectionHeader::testHeaderFields_data()
{
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("expected");
    // Wire order: to id, to function, from id, from function, sequence, router, client, user,
    // error code, error text, callback.
    QTest::newRow("1 from client id, upper") << 1 << QStringLiteral("FROM-ID");
    QTest::newRow("2 from function, upper") << 2 << QStringLiteral("RESPONSE");
    QTest::newRow("3 to client id, upper") << 3 << QStringLiteral("TO-ID");
    QTest::newRow("4 to function, upper") << 4 << QStringLiteral("GET RECORDSET");
    QTest::newRow("5 sequence") << 5 << QStringLiteral(" 7");
    QTest::newRow("6 router name as sent") << 6 << QStringLiteral("Router a");
    QTest::newRow("7 client name as sent") << 7 << QStringLiteral("client b");
    QTest::newRow("8 user as sent") << 8 << QStringLiteral("user c");
    QTest::newRow("9 error code, upper") << 9 << QStringLiteral("3E1");
    QTest::newRow("10 error text as sent") << 10 << QStringLiteral("some text");
    QTest::newRow("11 callback as sent") << 11 << QStringLiteral("cb");
    QTest::newRow("0 is no field") << 0 << QString();
    QTest::newRow("12 is no field") << 12 << QString();
    QTest::newRow("negative is no field") << -1 << QString();
}

void TestServerConnectionHeader::testHeaderFields()
{
    QFETCH(int, field);
    QFETCH(QString, expected);
    const QString header = QStringLiteral(
        "to-id:get recordset:from-id:response: 7:Router a:client b:user c:3e1:some text:cb:");
    QCOMPARE(GetHeaderField(header, field), expected);
}

void TestServerConnectionHeader::testHeaderFieldEdgeCases()
{
    // The last field without its colon cannot be read.
    QCOMPARE(GetHeaderField(u"a:b:c:d: 0:r:n:u:0:t:cb", Field::CallbackName), QString());
    QCOMPARE(GetHeaderField(u"a:b:c:d: 0:r:n:u:0:t:cb", Field::ErrorText), QStringLiteral("t"));
    // A colon inside a value moves every later field.
    QCOMPARE(GetHeaderField(u"a:b:c:d: 0:host:8080:n:u:0:t:cb:", Field::FromClientName),
        QStringLiteral("8080"));
    // An empty value and a short header read as empty.
    QCOMPARE(GetHeaderField(u"a::c:d:", Field::ToClientFunction), QString());
    QCOMPARE(GetHeaderField(u"a:b", Field::FromClientID), QString());
    QCOMPARE(GetHeaderField(QStringView(), Field::ToClientID), QString());
    // Upper-casing stays within Latin-1, so the value still fits one byte per character.
    const QString upper
        = GetHeaderField(QString::fromLatin1("x:x:\xe9t\xe9\xdf\xff\xb5:x:"), Field::FromClientID);
    QCOMPARE(upper, QString::fromLatin1("\xc9T\xc9\xdf\xff\xb5"));
}

void TestServerConnectionHeader::testSections_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("section");
    QTest::addColumn<QString>("expected");

    const QString full = HeadBegin + u"h:" + HeadEnd + AccessBegin + u"acc" + AccessEnd + DataBegin
        + u"dat" + DataEnd + MessageEnd;
    QTest::newRow("header") << full << 1 << QStringLiteral("h:");
    QTest::newRow("access") << full << 2 << QStringLiteral("acc");
    QTest::newRow("data") << full << 3 << QStringLiteral("dat");
    QTest::newRow("section 0") << full << 0 << QString();
    QTest::newRow("section 4") << full << 4 << QString();

    const QString closeMessage = HeadBegin + u"LOCAL:CLOSE CLIENT:" + HeadEnd + MessageEnd;
    QTest::newRow("close message has no data") << closeMessage << 3 << QString();
    QTest::newRow("close message has no access") << closeMessage << 2 << QString();
    QTest::newRow("no header section")
        << QString(DataBegin + u"d" + DataEnd + MessageEnd) << 1 << QString();
    QTest::newRow("end token before begin token")
        << QString(HeadEnd + HeadBegin + u"h" + HeadEnd) << 1 << QString();
    QTest::newRow("begin without end") << QString(DataBegin + u"d" + MessageEnd) << 3 << QString();
    QTest::newRow("tokens sharing their CR")
        << QStringLiteral("\rBEGINHEAD\rENDHEAD\r") << 1 << QString();
    QTest::newRow("inner begin token restarts the section")
        << QString(DataBegin + u"old" + DataBegin + u"new text!" + DataEnd) << 3
        << QStringLiteral("new text!");
    QTest::newRow("begin token is case-sensitive")
        << QString(u"\rbegindata\rx" + DataEnd) << 3 << QString();
}

void TestServerConnectionHeader::testSections()
{
    QFETCH(QString, message);
    QFETCH(int, section);
    QFETCH(QString, expected);
    QCOMPARE(GetSection(message, section), expected);
}

void TestServerConnectionHeader::testItems_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("n");
    QTest::addColumn<QString>("expected");

    const QString three = u"a" + ItemToken + ItemToken + u"c" + ItemToken;
    QTest::newRow("first") << three << 1 << QStringLiteral("a");
    QTest::newRow("empty middle") << three << 2 << QString();
    QTest::newRow("third") << three << 3 << QStringLiteral("c");
    QTest::newRow("past the end") << three << 4 << QString();
    QTest::newRow("zero") << three << 0 << QString();
    QTest::newRow("negative") << three << -3 << QString();
    const QString unterminated = u"a" + ItemToken + u"c";
    QTest::newRow("unterminated last value") << unterminated << 2 << QString();
    QTest::newRow("empty text") << QString() << 1 << QString();
    QTest::newRow("other separator is data") << QString(u"a" + RecordToken + u"b" + ItemToken) << 1
                                             << QString(u"a" + RecordToken + u"b");
}

void TestServerConnectionHeader::testItems()
{
    QFETCH(QString, text);
    QFETCH(int, n);
    QFETCH(QString, expected);
    QCOMPARE(GetItem(text, n), expected);
}

void TestServerConnectionHeader::testRecordsOfItems()
{
    const QString data = u"1" + ItemToken + u"x" + ItemToken + RecordToken + u"2" + ItemToken + u"y"
        + ItemToken + RecordToken;
    QCOMPARE(GetItem(GetRecord(data, 2), 2), QStringLiteral("y"));
    QCOMPARE(GetItem(GetRecord(data, 1), 1), QStringLiteral("1"));
    QCOMPARE(GetRecord(data, 3), QString());
    QCOMPARE(GetField(data, RecordToken, 1), GetRecord(data, 1));
}

void TestServerConnectionHeader::testSplitFieldsAgreesWithGetField()
{
    const QString texts[] = {
        QString(),
        QString(ItemToken),
        u"a" + ItemToken + ItemToken + u"c" + ItemToken + u"tail",
        QString(ItemToken + u"x" + ItemToken + ItemToken),
        QStringLiteral("\rITEM\rITEM\r\rITEM\r"),
    };
    for (const QString &text : texts) {
        const QList<QStringView> values = splitFields(text, ItemToken);
        for (int n = 1; n <= values.size() + 1; ++n) {
            const QString single = GetItem(text, n);
            if (n <= values.size())
                QCOMPARE(single, values[n - 1].toString());
            else
                QCOMPARE(single, QString());
        }
    }
}

void TestServerConnectionHeader::testLatin1RoundTrip()
{
    QByteArray everyByte;
    for (int b = 0; b < 256; ++b)
        everyByte.append(char(b));
    const QString text = fromWire(everyByte);
    QCOMPARE(text.size(), 256);
    QCOMPARE(text.at(0xE9), QChar(0xE9));
    bool ok = false;
    QCOMPARE(toWire(text, &ok), everyByte);
    QVERIFY(ok);

    QCOMPARE(toWire(u"price \u20ac5", &ok), QByteArray("price ?5"));
    QVERIFY(!ok);
}

void TestServerConnectionHeader::testSafeValues_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<bool>("wireSafe");
    QTest::addColumn<bool>("headerSafe");
    QTest::newRow("plain") << QStringLiteral("Booth Office") << true << true;
    QTest::newRow("high Latin-1 bytes") << QString::fromLatin1("caf\xe9\xff") << true << true;
    QTest::newRow("colon") << QStringLiteral("host:8080") << true << false;
    QTest::newRow("CR") << QStringLiteral("a\rEND") << false << false;
    QTest::newRow("outside Latin-1") << QStringLiteral("\u20ac") << false << false;
    QTest::newRow("empty") << QString() << true << true;
}

void TestServerConnectionHeader::testSafeValues()
{
    QFETCH(QString, value);
    QFETCH(bool, wireSafe);
    QFETCH(bool, headerSafe);
    QCOMPARE(isWireSafe(value), wireSafe);
    QCOMPARE(isHeaderSafe(value), headerSafe);
}

QTEST_APPLESS_MAIN(TestServerConnectionHeader)
#include "tst_serverconnectionheader.moc"
