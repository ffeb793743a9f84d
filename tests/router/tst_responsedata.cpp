#include "router/responsedata.h"
#include "router/serverconnectionheader.h"

#include <QTest>

#include <limits>

using namespace ServerConnectionHeader;

class TestResponseData : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void testLoadFromMessage();
    void testNumericFields_data();
    void testNumericFields();
    void testErrorTextRule_data();
    void testErrorTextRule();
    void testLocalFailure();
    void testGetRequestErrorText_data();
    void testGetRequestErrorText();
};

namespace {

QString header(const QString &errorCode, const QString &errorText,
    const QString &sequence = QStringLiteral(" 0"))
{
    return u"229385-1012:response:228001-987:get recordset:" + sequence
        + u":MAINROUTER:Tarvik Driver:manager:" + errorCode + u':' + errorText + u":cb:";
}

} // namespace

void TestResponseData::testLoadFromMessage()
{
    const SenderIdentity driver { QStringLiteral("228001-987"), QStringLiteral("MAINROUTER"),
        QStringLiteral("Tarvik Driver"), QStringLiteral("manager") };
    const QString message
        = BuildHeader(driver, QStringLiteral("229385-1012"), QStringLiteral("response"),
              QStringLiteral("get recordset"), 0, 0, QString(), QStringLiteral("cb"))
        + AccessBegin + u"acc" + AccessEnd + DataBegin + u"7" + ItemToken + DataEnd + MessageEnd;

    ResponseData response;
    response.LoadFromMessage(GetSection(message, Section::Header),
        GetSection(message, Section::Access), GetSection(message, Section::Data));
    QCOMPARE(response.Header(), GetSection(message, Section::Header));
    QCOMPARE(response.Access(), QStringLiteral("acc"));
    QCOMPARE(response.Data(), QString(u"7" + ItemToken));
    QCOMPARE(response.FromClientID(), QStringLiteral("228001-987"));
    QCOMPARE(response.FromClientFunction(), QStringLiteral("GET RECORDSET"));
    QCOMPARE(response.ToClientID(), QStringLiteral("229385-1012"));
    QCOMPARE(response.ToClientFunction(), QStringLiteral("RESPONSE"));
    QCOMPARE(response.Sequence(), 0);
    QCOMPARE(response.FromRouterName(), QStringLiteral("MAINROUTER"));
    QCOMPARE(response.FromClientName(), QStringLiteral("Tarvik Driver"));
    QCOMPARE(response.FromUser(), QStringLiteral("manager"));
    QCOMPARE(response.ErrorCode(), 0);
    QCOMPARE(response.ErrorText(), QString());
    QCOMPARE(response.CallbackName(), QStringLiteral("cb"));
}

void TestResponseData::testNumericFields_data()
{
    QTest::addColumn<QString>("sequence");
    QTest::addColumn<QString>("errorCode");
    QTest::addColumn<int>("expectedSequence");
    QTest::addColumn<int>("expectedCode");
    QTest::newRow("written by this program")
        << QStringLiteral(" 0") << QStringLiteral("0") << 0 << 0;
    QTest::newRow("empty fields") << QString() << QString() << 0 << 0;
    QTest::newRow("negative") << QStringLiteral("-12") << QStringLiteral("-3") << -12 << -3;
    QTest::newRow("trailing text")
        << QStringLiteral(" 4x") << QStringLiteral("303 bad") << 4 << 303;
    QTest::newRow("no number") << QStringLiteral("abc") << QStringLiteral("x1") << 0 << 0;
    // A code too large still reads as a failure, never as success.
    QTest::newRow("beyond 32 bits")
        << QStringLiteral(" 99999999999") << QStringLiteral("-99999999999")
        << std::numeric_limits<int>::max() << std::numeric_limits<int>::min();
}

void TestResponseData::testNumericFields()
{
    QFETCH(QString, sequence);
    QFETCH(QString, errorCode);
    QFETCH(int, expectedSequence);
    QFETCH(int, expectedCode);
    ResponseData response;
    response.LoadFromMessage(header(errorCode, QString(), sequence), QString(), QString());
    QCOMPARE(response.Sequence(), expectedSequence);
    QCOMPARE(response.ErrorCode(), expectedCode);
}

void TestResponseData::testErrorTextRule_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("303 without text")
        << QStringLiteral("303") << QString() << QStringLiteral("User name already exists");
    QTest::newRow("303 with text") << QStringLiteral("303") << QStringLiteral("Taken, sorry")
                                   << QStringLiteral("Taken, sorry");
    QTest::newRow("unknown code without text")
        << QStringLiteral("2003") << QString() << QStringLiteral("Unknow Error");
    QTest::newRow("0 without text") << QStringLiteral("0") << QString() << QString();
    QTest::newRow("0 with text") << QStringLiteral("0") << QStringLiteral("fine")
                                 << QStringLiteral("fine");
}

void TestResponseData::testErrorTextRule()
{
    QFETCH(QString, code);
    QFETCH(QString, text);
    QFETCH(QString, expected);
    ResponseData response;
    response.LoadFromMessage(header(code, text), QString(), QString());
    QCOMPARE(response.ErrorText(), expected);
}

void TestResponseData::testLocalFailure()
{
    // The connection's own codes overlap the table; its text is always given and wins.
    ResponseData busy;
    busy.SetErrorCode(1);
    busy.SetErrorText(QStringLiteral("Cannot send request.  Busy waiting for response!"));
    QCOMPARE(busy.ErrorText(), QStringLiteral("Cannot send request.  Busy waiting for response!"));
    QCOMPARE(busy.Header(), QString());
    QCOMPARE(busy.ToClientFunction(), QString());

    ResponseData codeOnly;
    codeOnly.SetErrorCode(305);
    QCOMPARE(codeOnly.ErrorText(), QStringLiteral("Invalid Password"));
}

void TestResponseData::testGetRequestErrorText_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("-6") << -6
                        << QStringLiteral(
                               "Send Busy.  Cannot send new request while waiting for answer.");
    QTest::newRow("-5")
        << -5
        << QStringLiteral("Request could not be sent. Client not currently connected to Router.");
    QTest::newRow("-4") << -4 << QStringLiteral("Invalid Request Parameters");
    QTest::newRow("-3") << -3 << QStringLiteral("Request Timed Out without a response.");
    QTest::newRow("-2") << -2 << QStringLiteral("Request Cancelled by User");
    QTest::newRow("-1") << -1 << QStringLiteral("Valid Response Received");
    QTest::newRow("0") << 0 << QString();
    QTest::newRow("1") << 1 << QStringLiteral("Invalid Router Request");
    QTest::newRow("2") << 2 << QStringLiteral("Error registering client with Router !!!");
    QTest::newRow("3") << 3 << QStringLiteral("Error registering client object with Router !!!");
    QTest::newRow("50") << 50 << QStringLiteral("Internal Router Database Error!!!");
    QTest::newRow("101") << 101 << QStringLiteral("Client off line");
    QTest::newRow("102") << 102 << QStringLiteral("Client not found");
    QTest::newRow("103") << 103 << QStringLiteral("Access Denied");
    QTest::newRow("104") << 104 << QStringLiteral("Client Already Connected");
    QTest::newRow("105") << 105 << QStringLiteral("Client Version Incompatibility");
    QTest::newRow("201") << 201 << QStringLiteral("Remote off line");
    QTest::newRow("301") << 301 << QStringLiteral("Invalid user ID");
    QTest::newRow("302") << 302 << QStringLiteral("Undetemined user access error");
    QTest::newRow("303") << 303 << QStringLiteral("User name already exists");
    QTest::newRow("304") << 304 << QStringLiteral("User name or password missing");
    QTest::newRow("305") << 305 << QStringLiteral("Invalid Password");
    QTest::newRow("501") << 501 << QStringLiteral("Halden Location Server Off Line");
    QTest::newRow("1100") << 1100 << QStringLiteral("Invalid Device ID");
    QTest::newRow("1101") << 1101 << QStringLiteral("Invalid Device Block");
    QTest::newRow("1102") << 1102 << QStringLiteral("Device Off Line");
    QTest::newRow("1200") << 1200 << QStringLiteral("Tarvik Gateway Driver ID not set to zero");
    QTest::newRow("1201") << 1201
                          << QStringLiteral(
                                 "Tarvik Gateway Driver ID not set to zero (notification)");
    QTest::newRow("2001") << 2001 << QStringLiteral("Remote Device Busy");
    QTest::newRow("2002") << 2002 << QStringLiteral("Command Error");
    QTest::newRow("2004") << 2004 << QStringLiteral("Packing Error");
    QTest::newRow("2005") << 2005 << QStringLiteral("In Progress");
    QTest::newRow("2011") << 2011 << QStringLiteral("Checksum Error");
    QTest::newRow("2020") << 2020 << QStringLiteral("Expansion Error");
    QTest::newRow("2021") << 2021 << QStringLiteral("Expansion Checksum Error");
    QTest::newRow("2030") << 2030 << QStringLiteral("Unknown Compression/Expansion Error");
    QTest::newRow("2040") << 2040 << QStringLiteral("Packet Received");
    QTest::newRow("2041") << 2041 << QStringLiteral("Packet Sent");
    QTest::newRow("3001") << 3001 << QStringLiteral("Tarvik Driver On-line");
    QTest::newRow("3002") << 3002 << QStringLiteral("Tarvik Driver Error: Serial Port Error");
    QTest::newRow("3003") << 3003 << QStringLiteral("Tarvik Driver Error: Invalid Serial Port");
    QTest::newRow("3004") << 3004
                          << QStringLiteral("Tarvik Driver Error: Serial Port Already In Use");
    QTest::newRow("3005") << 3005 << QStringLiteral("Tarvik Driver Error: Gateway Not Responding");
    QTest::newRow("3006") << 3006 << QStringLiteral("Tarvik Driver Error: Driver Off Line");
    QTest::newRow("3007") << 3007 << QStringLiteral("Tarvik Driver Error: Ethernet Driver");
    QTest::newRow("4001") << 4001 << QStringLiteral("Tarvik Driver Terminating Notifies");
    QTest::newRow("5001") << 5001 << QStringLiteral("Could not save file");
    QTest::newRow("5002") << 5002 << QStringLiteral("Could not open file");
    QTest::newRow("5003") << 5003 << QStringLiteral("Invalid Directory");
    QTest::newRow("5004") << 5004
                          << QStringLiteral(
                                 "Reported file length does not match reported file length");
    QTest::newRow("5005") << 5005 << QStringLiteral("Inavlid executable filename");
    QTest::newRow("5006") << 5006 << QStringLiteral("Could not rename file");
    QTest::newRow("6001") << 6001 << QStringLiteral("Invalid Event ID");
    QTest::newRow("7001") << 7001 << QStringLiteral("Driver Request Stack Full");
    QTest::newRow("8001") << 8001 << QStringLiteral("Film not found");
    QTest::newRow("9001") << 9001 << QStringLiteral("Internal Tarvik Driver Database Error!!!");
    const QString unknown = QStringLiteral("Unknow Error");
    QTest::newRow("between bands 4") << 4 << unknown;
    QTest::newRow("106") << 106 << unknown;
    QTest::newRow("1103") << 1103 << unknown;
    QTest::newRow("2003") << 2003 << unknown;
    QTest::newRow("-7") << -7 << unknown;
    QTest::newRow("largest") << std::numeric_limits<int>::max() << unknown;
    QTest::newRow("smallest") << std::numeric_limits<int>::min() << unknown;
}

void TestResponseData::testGetRequestErrorText()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(GetRequestErrorText(code), text);
}

QTEST_APPLESS_MAIN(TestResponseData)
#include "tst_responsedata.moc"
