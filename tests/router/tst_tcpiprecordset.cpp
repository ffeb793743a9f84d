#include "core/datetext.h"
#include "router/serverconnectionheader.h"
#include "router/tcpiprecordset.h"

#include <QTest>

using namespace ServerConnectionHeader;

class TestTCPIPRecordSet : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void testLoad_data();
    void testLoad();
    void testLoadGrowsByHundreds_data();
    void testLoadGrowsByHundreds();
    void testTypedRead_data();
    void testTypedRead();
    void testMoves();
    void testFieldNamesIgnoreCase();
    void testErrors_data();
    void testErrors();
    void testSetValue();
    void testSetValueWithoutCurrentRow();
    void testFormatValue_data();
    void testFormatValue();
    void testRoundTrip();
};

namespace {

// One record of the wire form: each value followed by the item token, then the record token.
QString record(const QStringList &values)
{
    QString text;
    for (const QString &value : values)
        text += value + ItemToken;
    return text + RecordToken;
}

// A recordset with the fields id (Long) and name (Text) and the rows 7/Ann and 9/Bo.
QString twoRows()
{
    return record({ QStringLiteral("id"), QStringLiteral("4"), QStringLiteral("name"),
               QStringLiteral("10") })
        + record({ QStringLiteral("7"), QStringLiteral("Ann") })
        + record({ QStringLiteral("9"), QStringLiteral("Bo") });
}

TCPIPRecordSet loaded(const QString &data)
{
    TCPIPRecordSet recordset;
    recordset.Load(data);
    return recordset;
}

} // namespace

void TestTCPIPRecordSet::testLoad_data()
{
    QTest::addColumn<QString>("data");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<int>("records");
    QTest::addColumn<QString>("lastName"); // name of the last row, if there is a name field

    QTest::newRow("empty text") << QString() << QStringList() << 0 << QString();
    QTest::newRow("field record only") << record({ QStringLiteral("id"), QStringLiteral("4") })
                                       << QStringList({ QStringLiteral("id") }) << 0 << QString();
    QTest::newRow("two fields, two rows")
        << twoRows() << QStringList({ QStringLiteral("id"), QStringLiteral("name") }) << 2
        << QStringLiteral("Bo");
    QTest::newRow("fields end at the first empty name")
        << QString(record({ QStringLiteral("id"), QStringLiteral("4"), QString(),
                       QStringLiteral("10"), QStringLiteral("name"), QStringLiteral("10") })
               + record({ QStringLiteral("1"), QStringLiteral("x") }))
        << QStringList({ QStringLiteral("id") }) << 1 << QString();
    QTest::newRow("rows end at the first empty record")
        << QString(twoRows() + RecordToken + record({ QStringLiteral("11"), QStringLiteral("Cy") }))
        << QStringList({ QStringLiteral("id"), QStringLiteral("name") }) << 2
        << QStringLiteral("Bo");
    QTest::newRow("missing items are empty, extra items ignored")
        << QString(record({ QStringLiteral("id"), QStringLiteral("4"), QStringLiteral("name"),
                       QStringLiteral("10") })
               + record({ QStringLiteral("1") })
               + record({ QStringLiteral("2"), QStringLiteral("Di"), QStringLiteral("extra") }))
        << QStringList({ QStringLiteral("id"), QStringLiteral("name") }) << 2
        << QStringLiteral("Di");
    QTest::newRow("unterminated row is not read")
        << QString(twoRows() + u"11" + ItemToken + u"Cy" + ItemToken)
        << QStringList({ QStringLiteral("id"), QStringLiteral("name") }) << 2
        << QStringLiteral("Bo");
}

void TestTCPIPRecordSet::testLoad()
{
    QFETCH(QString, data);
    QFETCH(QStringList, fields);
    QFETCH(int, records);
    QFETCH(QString, lastName);

    TCPIPRecordSet recordset = loaded(data);
    QStringList names;
    for (int i = 1; i <= recordset.FieldCount(); ++i)
        names.append(recordset.FieldName(i));
    QCOMPARE(names, fields);
    QCOMPARE(recordset.RecordCount(), records);
    QCOMPARE(recordset.lastErrorNumber(), 0);
    if (records == 0) {
        QVERIFY(recordset.Eof());
        QVERIFY(recordset.BOF());
        QCOMPARE(recordset.AbsPosition(), 0);
    } else {
        QVERIFY(!recordset.Eof());
        QVERIFY(!recordset.BOF());
        QCOMPARE(recordset.AbsPosition(), 1);
        if (recordset.FieldIndex(QStringLiteral("name")) > 0)
            QCOMPARE(recordset.AsString(records, QStringLiteral("name")), lastName);
    }
}

void TestTCPIPRecordSet::testLoadGrowsByHundreds_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("capacity");
    QTest::newRow("99 rows") << 99 << 100;
    QTest::newRow("100 rows") << 100 << 200;
    QTest::newRow("250 rows") << 250 << 300;
}

void TestTCPIPRecordSet::testLoadGrowsByHundreds()
{
    QFETCH(int, rows);
    QFETCH(int, capacity);
    QString data = record(
        { QStringLiteral("n"), QStringLiteral("4"), QStringLiteral("t"), QStringLiteral("10") });
    for (int r = 1; r <= rows; ++r)
        data += record({ QLatin1Char(' ') + QString::number(r), u"row" + QString::number(r) });

    TCPIPRecordSet recordset = loaded(data);
    QCOMPARE(recordset.RecordCount(), rows);
    QCOMPARE(recordset.capacity(), capacity);
    QCOMPARE(recordset.AbsRecord(rows, QStringLiteral("n")), QVariant(rows));
    QCOMPARE(recordset.AsString(rows, QStringLiteral("t")), u"row" + QString::number(rows));

    recordset.Add();
    QCOMPARE(recordset.RecordCount(), rows + 1);
    QVERIFY(recordset.capacity() >= rows + 1);
    QCOMPARE(recordset.capacity() % 100, 0);
}

void TestTCPIPRecordSet::testTypedRead_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<int>("error");

    const QVariant null = QVariant::fromValue(nullptr);
    const QDate zero = DateText::zeroDate().date();
    const int overflow = TCPIPRecordSet::Overflow;
    using R = TCPIPRecordSet;

    QTest::newRow("Long with leading blank")
        << int(R::TypeLong) << QStringLiteral(" 42") << QVariant(42) << 0;
    QTest::newRow("Long empty is null") << int(R::TypeLong) << QString() << null << 0;
    QTest::newRow("Long blanks are null") << int(R::TypeLong) << QStringLiteral("   ") << null << 0;
    QTest::newRow("Long half rounds to even (down)")
        << int(R::TypeLong) << QStringLiteral("2.5") << QVariant(2) << 0;
    QTest::newRow("Long half rounds to even (up)")
        << int(R::TypeLong) << QStringLiteral("3.5") << QVariant(4) << 0;
    QTest::newRow("Long not a number is 0")
        << int(R::TypeLong) << QStringLiteral("n/a") << QVariant(0) << 0;
    QTest::newRow("Long too large")
        << int(R::TypeLong) << QStringLiteral("2147483648") << QVariant() << overflow;
    QTest::newRow("Long smallest")
        << int(R::TypeLong) << QStringLiteral("-2147483648") << QVariant(int(-2147483647 - 1)) << 0;
    QTest::newRow("Byte 255") << int(R::TypeByte) << QStringLiteral("255")
                              << QVariant::fromValue(quint8(255)) << 0;
    QTest::newRow("Byte 256") << int(R::TypeByte) << QStringLiteral("256") << QVariant()
                              << overflow;
    QTest::newRow("Byte negative")
        << int(R::TypeByte) << QStringLiteral("-1") << QVariant() << overflow;
    QTest::newRow("Integer rounds into overflow")
        << int(R::TypeInteger) << QStringLiteral("32767.5") << QVariant() << overflow;
    QTest::newRow("Integer rounds to even at the bottom")
        << int(R::TypeInteger) << QStringLiteral("-32768.5") << QVariant::fromValue(qint16(-32768))
        << 0;
    QTest::newRow("Boolean True") << int(R::TypeBoolean) << QStringLiteral("True") << QVariant(true)
                                  << 0;
    QTest::newRow("Boolean false")
        << int(R::TypeBoolean) << QStringLiteral("false") << QVariant(false) << 0;
    QTest::newRow("Boolean -1") << int(R::TypeBoolean) << QStringLiteral("-1") << QVariant(true)
                                << 0;
    QTest::newRow("Boolean 0") << int(R::TypeBoolean) << QStringLiteral(" 0") << QVariant(false)
                               << 0;
    QTest::newRow("Boolean other text")
        << int(R::TypeBoolean) << QStringLiteral("yes") << QVariant() << int(R::TypeMismatch);
    QTest::newRow("Currency four decimals")
        << int(R::TypeCurrency) << QStringLiteral("1.23456") << QVariant(1.2346) << 0;
    QTest::newRow("Single") << int(R::TypeSingle) << QStringLiteral("0.25")
                            << QVariant::fromValue(0.25f) << 0;
    QTest::newRow("Single too large")
        << int(R::TypeSingle) << QStringLiteral("1e39") << QVariant() << overflow;
    QTest::newRow("Double") << int(R::TypeDouble) << QStringLiteral("-1.5e3") << QVariant(-1500.0)
                            << 0;
    QTest::newRow("Double too large")
        << int(R::TypeDouble) << QStringLiteral("1e999") << QVariant() << overflow;
    QTest::newRow("Decimal too large")
        << int(R::TypeDecimal) << QStringLiteral("1e29") << QVariant() << overflow;
    QTest::newRow("Date") << int(R::TypeDate) << QStringLiteral("3/7/2026 14:05:09")
                          << QVariant(QDateTime(QDate(2026, 3, 7), QTime(14, 5, 9))) << 0;
    QTest::newRow("Date not a date")
        << int(R::TypeDate) << QStringLiteral("soon") << QVariant(DateText::zeroDate()) << 0;
    QTest::newRow("Date empty is null") << int(R::TypeDate) << QString() << null << 0;
    QTest::newRow("TimeStamp") << int(R::TypeTimeStamp) << QStringLiteral("2026-03-07 01:02:03")
                               << QVariant(QDateTime(QDate(2026, 3, 7), QTime(1, 2, 3))) << 0;
    QTest::newRow("Time takes the time only")
        << int(R::TypeTime) << QStringLiteral("3/7/2026 14:05:09")
        << QVariant(QDateTime(zero, QTime(14, 5, 9))) << 0;
    QTest::newRow("Text empty stays text")
        << int(R::TypeText) << QString() << QVariant(QString()) << 0;
    QTest::newRow("Memo blanks stay")
        << int(R::TypeMemo) << QStringLiteral("  ") << QVariant(QStringLiteral("  ")) << 0;
    QTest::newRow("Binary unchanged")
        << int(R::TypeBinary) << QString::fromLatin1("\x01\xff\x80 ", 4)
        << QVariant(QString::fromLatin1("\x01\xff\x80 ", 4)) << 0;
    QTest::newRow("unknown type is unset") << 99 << QStringLiteral("5") << QVariant() << 0;
}

void TestTCPIPRecordSet::testTypedRead()
{
    QFETCH(int, type);
    QFETCH(QString, text);
    QFETCH(QVariant, value);
    QFETCH(int, error);

    TCPIPRecordSet recordset
        = loaded(record({ QStringLiteral("f"), QString::number(type) }) + record({ text }));
    const QVariant read = recordset.Field(QStringLiteral("f"));
    QCOMPARE(recordset.lastErrorNumber(), error);
    QCOMPARE(read.metaType(), value.metaType());
    QCOMPARE(read, value);
    if (error != 0) {
        QCOMPARE(recordset.lastErrorSource(), QStringLiteral("TCPIPRecordset.GetValue"));
        QVERIFY(!recordset.lastErrorDescription().isEmpty());
    }
}

void TestTCPIPRecordSet::testMoves()
{
    TCPIPRecordSet recordset = loaded(twoRows());
    QCOMPARE(recordset.Field(QStringLiteral("id")), QVariant(7));

    recordset.MovePrevious();
    QVERIFY(recordset.BOF());
    QVERIFY(!recordset.Eof());
    QCOMPARE(recordset.AbsPosition(), 0);
    recordset.MovePrevious();
    QCOMPARE(recordset.AbsPosition(), 0);

    recordset.MoveLast();
    QCOMPARE(recordset.Field(QStringLiteral("id")), QVariant(9));
    recordset.MoveNext();
    QVERIFY(recordset.Eof());
    QVERIFY(!recordset.BOF());
    QCOMPARE(recordset.AbsPosition(), 3);
    recordset.MoveNext();
    QCOMPARE(recordset.AbsPosition(), 3);
    // Reading at EOF is a bad record index.
    QVERIFY(!recordset.Field(QStringLiteral("id")).isValid());
    QCOMPARE(recordset.lastErrorDescription(), QStringLiteral("ERROR - Invalid Record Index"));

    // AbsPosition puts the cursor on a row, and the flags follow.
    QVERIFY(recordset.AbsPosition(1));
    QVERIFY(!recordset.Eof());
    QVERIFY(!recordset.BOF());
    QCOMPARE(recordset.Field(QStringLiteral("name")), QVariant(QStringLiteral("Ann")));

    recordset.MoveAbs(50);
    QVERIFY(recordset.Eof());
    QCOMPARE(recordset.AbsPosition(), 3);
    recordset.MoveAbs(-50);
    QVERIFY(recordset.BOF());
    QCOMPARE(recordset.AbsPosition(), 0);
    recordset.MoveFirst();
    QCOMPARE(recordset.AbsPosition(), 1);

    TCPIPRecordSet empty;
    QVERIFY(empty.Eof());
    QVERIFY(empty.BOF());
    empty.MoveFirst();
    QVERIFY(empty.Eof());
    QVERIFY(empty.BOF());
    QCOMPARE(empty.AbsPosition(), 0);
    empty.MoveLast();
    QCOMPARE(empty.AbsPosition(), 0);
}

void TestTCPIPRecordSet::testFieldNamesIgnoreCase()
{
    TCPIPRecordSet recordset = loaded(twoRows());
    QCOMPARE(recordset.Field(QStringLiteral("ID")), QVariant(7));
    QCOMPARE(recordset.AsString(2, QStringLiteral("NaMe")), QStringLiteral("Bo"));
    QCOMPARE(recordset.FieldIndex(QStringLiteral("NAME")), 2);
    QCOMPARE(recordset.FieldType(QStringLiteral("Id")), 4);
    QCOMPARE(recordset.FieldIndex(QStringLiteral("missing")), 0);
    QCOMPARE(recordset.FieldType(QStringLiteral("missing")), 0);

    recordset.FieldType(QStringLiteral("ID"), TCPIPRecordSet::TypeText);
    QCOMPARE(recordset.Field(QStringLiteral("id")), QVariant(QStringLiteral("7")));
    recordset.FieldType(QStringLiteral("missing"), TCPIPRecordSet::TypeText);
    QCOMPARE(recordset.FieldCount(), 2);
}

void TestTCPIPRecordSet::testErrors_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("description");

    const QString badRecord = QStringLiteral("ERROR - Invalid Record Index");
    QTest::newRow("AbsPosition 0") << QStringLiteral("AbsPosition 0")
                                   << QStringLiteral("TCPIPDatabase.AbsPosition") << badRecord;
    QTest::newRow("AbsPosition past the end")
        << QStringLiteral("AbsPosition 3") << QStringLiteral("TCPIPDatabase.AbsPosition")
        << badRecord;
    QTest::newRow("FieldName 0") << QStringLiteral("FieldName 0")
                                 << QStringLiteral("TCPIPDatabase.FieldName")
                                 << QStringLiteral("ERROR - Invalid Field Index");
    QTest::newRow("FieldName 3") << QStringLiteral("FieldName 3")
                                 << QStringLiteral("TCPIPDatabase.FieldName")
                                 << QStringLiteral("ERROR - Invalid Field Index");
    QTest::newRow("AbsRecord read, bad row")
        << QStringLiteral("AbsRecord read 3") << QStringLiteral("TCPIPDatabase.AbsRecord")
        << badRecord;
    QTest::newRow("AbsRecord write, bad row")
        << QStringLiteral("AbsRecord write 0") << QStringLiteral("TCPIPDatabase.AbsRecord")
        << badRecord;
    QTest::newRow("AbsRecord write, no field")
        << QStringLiteral("AbsRecord write nofield") << QStringLiteral("TCPIPDatabase.AbsRecord")
        << QStringLiteral("Invalid field name");
    QTest::newRow("Field write, no field")
        << QStringLiteral("Field write nofield") << QStringLiteral("TCPIPDatabase.AbsRecord")
        << QStringLiteral("Invalid field name");
    QTest::newRow("typed read, no field")
        << QStringLiteral("Field read nofield") << QStringLiteral("TCPIPRecordset.GetValue")
        << QStringLiteral("ERROR - Invalid Field Name (Nope)");
    QTest::newRow("AsString, bad row")
        << QStringLiteral("AsString 0") << QStringLiteral("TCPIPDatabase.AsString") << badRecord;
    QTest::newRow("AsString, no field")
        << QStringLiteral("AsString nofield") << QStringLiteral("TCPIPDatabase.AsString")
        << QStringLiteral("ERROR - Invalid Field Name (Nope)");
    QTest::newRow("SetValue, no field and type 0")
        << QStringLiteral("SetValue nofield") << QStringLiteral("TCPIPDatabase.SetValue")
        << QStringLiteral("Invalid field name");
}

void TestTCPIPRecordSet::testErrors()
{
    QFETCH(QString, operation);
    QFETCH(QString, source);
    QFETCH(QString, description);

    TCPIPRecordSet recordset = loaded(twoRows());
    const QString id = QStringLiteral("id");
    const QString nope = QStringLiteral("Nope");
    bool failed = false;
    if (operation == u"AbsPosition 0")
        failed = !recordset.AbsPosition(0);
    else if (operation == u"AbsPosition 3")
        failed = !recordset.AbsPosition(3);
    else if (operation == u"FieldName 0")
        failed = recordset.FieldName(0).isNull();
    else if (operation == u"FieldName 3")
        failed = recordset.FieldName(3).isNull();
    else if (operation == u"AbsRecord read 3")
        failed = !recordset.AbsRecord(3, id).isValid();
    else if (operation == u"AbsRecord write 0")
        failed = !recordset.AbsRecord(0, id, 5);
    else if (operation == u"AbsRecord write nofield")
        failed = !recordset.AbsRecord(1, nope, 5);
    else if (operation == u"Field write nofield")
        failed = !recordset.Field(nope, 5);
    else if (operation == u"Field read nofield")
        failed = !recordset.Field(nope).isValid();
    else if (operation == u"AsString 0")
        failed = recordset.AsString(0, id).isNull();
    else if (operation == u"AsString nofield")
        failed = recordset.AsString(1, nope).isNull();
    else if (operation == u"SetValue nofield")
        failed = !recordset.SetValue(nope, 5, 0);
    else
        QFAIL("unknown operation");

    QVERIFY(failed);
    QCOMPARE(recordset.lastErrorNumber(), TCPIPRecordSet::InvalidArgument);
    QCOMPARE(recordset.lastErrorSource(), source);
    QCOMPARE(recordset.lastErrorDescription(), description);
    // Nothing was changed, and the next good call clears the error.
    QCOMPARE(recordset.FieldCount(), 2);
    QCOMPARE(recordset.AsString(1, id), QStringLiteral("7"));
    QCOMPARE(recordset.lastErrorNumber(), 0);
    QCOMPARE(recordset.lastErrorSource(), QString());
}

void TestTCPIPRecordSet::testSetValue()
{
    TCPIPRecordSet recordset;
    // An empty recordset gets its first row, and a missing field is added with the type given.
    QVERIFY(recordset.SetValue(QStringLiteral("id"), 42, TCPIPRecordSet::TypeLong));
    QCOMPARE(recordset.RecordCount(), 1);
    QCOMPARE(recordset.AbsPosition(), 1);
    QVERIFY(!recordset.Eof());
    QCOMPARE(recordset.FieldType(QStringLiteral("ID")), 4);
    QCOMPARE(recordset.Field(QStringLiteral("id")), QVariant(42));

    QVERIFY(recordset.SetValue(
        QStringLiteral("name"), QStringLiteral(" O'Hara "), TCPIPRecordSet::TypeText));
    QVERIFY(recordset.SetValue(
        QStringLiteral("code"), QStringLiteral("  17 "), TCPIPRecordSet::TypeInteger));
    QVERIFY(recordset.SetValue(QStringLiteral("when"),
        QDateTime(QDate(2026, 3, 7), QTime(14, 5, 9)), TCPIPRecordSet::TypeDate));
    QVERIFY(recordset.SetValue(QStringLiteral("never"), QVariant(), TCPIPRecordSet::TypeDate));
    QVERIFY(recordset.SetValue(
        QStringLiteral("bad date"), QStringLiteral("soon"), TCPIPRecordSet::TypeDate));
    QVERIFY(recordset.SetValue(QStringLiteral("flag"), true, TCPIPRecordSet::TypeBoolean));
    QCOMPARE(recordset.AsString(1, QStringLiteral("name")), QStringLiteral(" O'Hara "));
    QCOMPARE(recordset.AsString(1, QStringLiteral("code")), QStringLiteral("17"));
    QCOMPARE(recordset.AsString(1, QStringLiteral("when")), QStringLiteral("3/7/2026 14:05:09"));
    QCOMPARE(recordset.AsString(1, QStringLiteral("never")), QString());
    QCOMPARE(recordset.AsString(1, QStringLiteral("bad date")), QString());
    QCOMPARE(recordset.Field(QStringLiteral("flag")), QVariant(true));

    // An existing field is written whatever type is passed; type 0 is enough.
    recordset.Add();
    QVERIFY(recordset.SetValue(QStringLiteral("ID"), 43, 0));
    QCOMPARE(recordset.AbsRecord(2, QStringLiteral("id")), QVariant(43));
    QCOMPARE(recordset.AsString(2, QStringLiteral("name")), QString());
    QCOMPARE(recordset.FieldCount(), 7);

    // AbsRecord and Field write the value's text unchanged.
    QVERIFY(recordset.AbsRecord(1, QStringLiteral("code"), QStringLiteral(" 5 ")));
    QCOMPARE(recordset.AsString(1, QStringLiteral("code")), QStringLiteral(" 5 "));
    QVERIFY(recordset.Field(QStringLiteral("code"), 6.5));
    QCOMPARE(recordset.AsString(2, QStringLiteral("code")), QStringLiteral("6.5"));
}

void TestTCPIPRecordSet::testSetValueWithoutCurrentRow()
{
    // Past the last row there is no row to write: refused, and nothing is added.
    TCPIPRecordSet recordset = loaded(twoRows());
    recordset.MoveNext();
    recordset.MoveNext();
    QVERIFY(recordset.Eof());
    QVERIFY(!recordset.SetValue(QStringLiteral("new"), 1, TCPIPRecordSet::TypeLong));
    QCOMPARE(recordset.lastErrorSource(), QStringLiteral("TCPIPDatabase.SetValue"));
    QCOMPARE(recordset.lastErrorDescription(), QStringLiteral("ERROR - Invalid Record Index"));
    QCOMPARE(recordset.FieldCount(), 2);
    QCOMPARE(recordset.RecordCount(), 2);
}

void TestTCPIPRecordSet::testFormatValue_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("literal");
    QTest::newRow("text") << QStringLiteral("name") << QVariant(QStringLiteral("Ann"))
                          << QStringLiteral("'Ann'");
    QTest::newRow("text with a quote")
        << QStringLiteral("NAME") << QVariant(QStringLiteral("O'Hara"))
        << QStringLiteral("'O''Hara'");
    QTest::newRow("text closing the literal")
        << QStringLiteral("name") << QVariant(QStringLiteral("x' or '1'='1"))
        << QStringLiteral("'x'' or ''1''=''1'");
    QTest::newRow("memo is quoted too")
        << QStringLiteral("notes") << QVariant(QStringLiteral("it's")) << QStringLiteral("'it''s'");
    QTest::newRow("date") << QStringLiteral("logtime")
                          << QVariant(QStringLiteral("3/7/2026 14:05:09"))
                          << QStringLiteral("#3/7/2026 14:05:09#");
    QTest::newRow("date value") << QStringLiteral("logtime")
                                << QVariant(QDateTime(QDate(2026, 3, 7), QTime(1, 2, 3)))
                                << QStringLiteral("#3/7/2026 1:02:03#");
    QTest::newRow("date closing the literal")
        << QStringLiteral("logtime") << QVariant(QStringLiteral("1/1/2026# or 1=1")) << QString();
    QTest::newRow("number") << QStringLiteral("id") << QVariant(42) << QStringLiteral("42");
    QTest::newRow("number text with blank")
        << QStringLiteral("id") << QVariant(QStringLiteral(" 42")) << QStringLiteral(" 42");
    QTest::newRow("not a number") << QStringLiteral("id")
                                  << QVariant(QStringLiteral("1; delete from x")) << QString();
    QTest::newRow("boolean") << QStringLiteral("flag") << QVariant(true) << QStringLiteral("True");
    QTest::newRow("no such field") << QStringLiteral("missing") << QVariant(1) << QString();
}

void TestTCPIPRecordSet::testFormatValue()
{
    QFETCH(QString, field);
    QFETCH(QVariant, value);
    QFETCH(QString, literal);
    TCPIPRecordSet recordset;
    recordset.AddField(QStringLiteral("name"), TCPIPRecordSet::TypeText);
    recordset.AddField(QStringLiteral("notes"), TCPIPRecordSet::TypeMemo);
    recordset.AddField(QStringLiteral("logtime"), TCPIPRecordSet::TypeDate);
    recordset.AddField(QStringLiteral("id"), TCPIPRecordSet::TypeLong);
    recordset.AddField(QStringLiteral("flag"), TCPIPRecordSet::TypeBoolean);
    QCOMPARE(recordset.FormatValue(field, value), literal);
}

void TestTCPIPRecordSet::testRoundTrip()
{
    // Built locally, written in the wire form and loaded again: every stored text comes back,
    // high bytes and blanks included.
    TCPIPRecordSet built;
    built.AddField(QStringLiteral("uniqueid"), TCPIPRecordSet::TypeLong);
    built.AddField(QStringLiteral("eventdata"), TCPIPRecordSet::TypeBinary);
    built.AddField(QStringLiteral("logtime"), TCPIPRecordSet::TypeDate);
    for (int r = 1; r <= 130; ++r) {
        built.Add();
        QByteArray raw;
        for (int b = 0; b < 49; ++b)
            raw.append(char((r * 31 + b * 7) % 256 == 13 ? 14 : (r * 31 + b * 7) % 256));
        QVERIFY(built.AbsRecord(r, QStringLiteral("uniqueid"), QString(u' ' + QString::number(r))));
        QVERIFY(built.SetValue(QStringLiteral("eventdata"), QString::fromLatin1(raw), 0));
        QVERIFY(built.SetValue(QStringLiteral("logtime"),
            QDateTime(QDate(2026, 1, 1), QTime(0, 0)).addSecs(r * 61), TCPIPRecordSet::TypeDate));
    }
    const QString data = built.toDataText();

    TCPIPRecordSet copy = loaded(data);
    QCOMPARE(copy.FieldCount(), 3);
    QCOMPARE(copy.RecordCount(), 130);
    for (int f = 1; f <= 3; ++f) {
        const QString name = copy.FieldName(f);
        QCOMPARE(copy.FieldType(name), built.FieldType(name));
        for (int r = 1; r <= 130; ++r)
            QCOMPARE(copy.AsString(r, name), built.AsString(r, name));
    }
    QCOMPARE(copy.toDataText(), data);
    QCOMPARE(copy.AbsRecord(130, QStringLiteral("logtime")),
        QVariant(QDateTime(QDate(2026, 1, 1), QTime(0, 0)).addSecs(130 * 61)));
}

QTEST_APPLESS_MAIN(TestTCPIPRecordSet)
#include "tst_tcpiprecordset.moc"
