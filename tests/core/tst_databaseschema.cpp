#include "core/database.h"
#include "core/databaseschema.h"
#include "core/datetext.h"
#include "core/settingsfile.h"
#include "core/settingskeys.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Reads the layout straight from SQLite, past the program's own database layer.
class RawConnection
{
public:
    explicit RawConnection(const QString &file)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"raw"_s);
        db.setDatabaseName(file);
        m_open = db.open();
    }
    ~RawConnection()
    {
        QSqlDatabase::database(u"raw"_s, false).close();
        QSqlDatabase::removeDatabase(u"raw"_s);
    }
    RawConnection(const RawConnection &) = delete;
    RawConnection &operator=(const RawConnection &) = delete;

    bool isOpen() const { return m_open; }

    QStringList column(const QString &sql, const QVariantList &values = {}) const
    {
        QSqlQuery query(QSqlDatabase::database(u"raw"_s, false));
        QStringList result;
        if (!query.prepare(sql))
            return { u"prepare failed"_s };
        for (const QVariant &value : values)
            query.addBindValue(value);
        if (!query.exec())
            return { u"exec failed"_s };
        while (query.next())
            result.append(query.value(0).toString());
        return result;
    }

    // "Name TYPE" of every field in order, with "PK" after the key.
    QStringList fields(const QString &table) const
    {
        return column(u"SELECT name || ' ' || type || CASE pk WHEN 1 THEN ' PK' ELSE '' END "
                      "FROM pragma_table_info(?) ORDER BY cid"_s,
            { table });
    }

private:
    bool m_open = false;
};

QStringList rowsOf(const QString &sql)
{
    QStringList rows;
    const std::unique_ptr<Recordset> rs = OpenQuery(sql);
    if (!rs)
        return { u"query failed"_s };
    for (; !rs->eof(); rs->moveNext()) {
        QStringList row;
        for (const QString &field : rs->fieldNames()) {
            const QVariant value = rs->value(field);
            row.append(value.typeId() == QMetaType::QDateTime ? DateText::toText(value.toDateTime())
                                                              : value.toString());
        }
        rows.append(row.join(u'|'));
    }
    return rows;
}

} // namespace

class TestDatabaseSchema : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void testTablesInOrder();
    void testFields_data();
    void testFields();
    void testCreateSetsVersion();
    void testCreateRefused_data();
    void testCreateRefused();
    void testTextAndDateOrder();
    void testDefaultUserCodes_data();
    void testDefaultUserCodes();
    void testDefaultsOnlyForAnEmptyTable();
    void testUpgrade();
    void testParseDateTime_data();
    void testParseDateTime();

private:
    QString m_file;
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestDatabaseSchema::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_file = m_dir->filePath(DefaultDatabaseFileName);
    QVERIFY(CreateNewDatabase(m_file));
}

void TestDatabaseSchema::cleanup()
{
    Database::instance().close();
    m_dir.reset();
}

void TestDatabaseSchema::testTablesInOrder()
{
    RawConnection raw(m_file);
    QVERIFY(raw.isOpen());
    QCOMPARE(raw.column(u"SELECT name FROM sqlite_master WHERE type = 'table' "
                        "AND name NOT LIKE 'sqlite%' ORDER BY rowid"_s),
        QStringList(
            { u"EMailAddress"_s, u"EventCodes"_s, u"EventLog"_s, u"DailySummary"_s, u"Operators"_s,
                u"Recipients"_s, u"ReportSpooler"_s, u"Schedules"_s, u"ShowSummary"_s }));
    // Beside the primary keys only the secondary indexes the statistics and reports search by.
    QCOMPARE(raw.column(u"SELECT name FROM sqlite_master WHERE type = 'index' ORDER BY name"_s),
        QStringList({ u"DailySummaryDate"_s, u"EventLogEvCode"_s, u"EventLogEventTime"_s,
            u"EventLogEvid"_s, u"EventLogShowID"_s, u"ShowSummaryDate"_s,
            u"ShowSummaryShowID"_s }));
}

void TestDatabaseSchema::testFields_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("fields");
    // Long is INTEGER, Date is DATETEXT, Text is TEXT.
    QTest::newRow("EMailAddress") << u"EMailAddress"_s << u"Name TEXT, emailAddress TEXT"_s;
    QTest::newRow("EventCodes") << u"EventCodes"_s
                                << u"CodeID INTEGER, EventText TEXT, IndexNu INTEGER"_s;
    QTest::newRow("EventLog")
        << u"EventLog"_s
        << u"Evid INTEGER, ShowID INTEGER, NetID INTEGER, RecVer INTEGER, DevType INTEGER, "
           "EvCode INTEGER, CodeName TEXT, Flag1 INTEGER, Flag2 INTEGER, Seq INTEGER, "
           "Fut INTEGER, Down INTEGER, iLoop INTEGER, Prog INTEGER, Cue INTEGER, Stat INTEGER, "
           "P1 INTEGER, P2 INTEGER, P3 INTEGER, P4 INTEGER, P5 INTEGER, P6 INTEGER, P7 INTEGER, "
           "P8 INTEGER, EventTime DATETEXT, LogTime DATETEXT, LocID TEXT"_s;
    QTest::newRow("DailySummary")
        << u"DailySummary"_s
        << u"Date DATETEXT, ShowCount INTEGER, MajorProblem INTEGER, MinorProblem INTEGER, "
           "DownTime INTEGER, LastShowID INTEGER, NonMajorDownTime INTEGER"_s;
    QTest::newRow("Operators") << u"Operators"_s
                               << u"ID INTEGER, ProName TEXT, ProID INTEGER, StartDate DATETEXT, "
                                  "EndDate DATETEXT"_s;
    QTest::newRow("Recipients") << u"Recipients"_s
                                << u"EmailAddressRef INTEGER, ScheduleRef INTEGER"_s;
    QTest::newRow("ReportSpooler")
        << u"ReportSpooler"_s
        << u"Date DATETEXT, EMailAddressRef INTEGER, Disable INTEGER, ReportType INTEGER, "
           "ReportName TEXT, Status TEXT, AttemptsMade INTEGER, NextSendTime DATETEXT"_s;
    QTest::newRow("Schedules")
        << u"Schedules"_s
        << u"Time DATETEXT, Name TEXT, ReportType INTEGER, SaveToHD INTEGER, "
           "SendToPrinter INTEGER, StartDate DATETEXT, NextSendDate DATETEXT, "
           "Disable INTEGER"_s;
    QTest::newRow("ShowSummary")
        << u"ShowSummary"_s
        << u"ShowID INTEGER, NetID INTEGER, Date DATETEXT, Critical INTEGER, "
           "Down INTEGER, UserCodeEntered INTEGER, Problem INTEGER"_s;
}

void TestDatabaseSchema::testFields()
{
    QFETCH(QString, table);
    QFETCH(QString, fields);
    RawConnection raw(m_file);
    QVERIFY(raw.isOpen());
    QCOMPARE(raw.fields(table).join(u", "_s), u"UniqueID INTEGER PK, "_s + fields);
    QVERIFY(raw.column(u"SELECT sql FROM sqlite_master WHERE name = ?"_s, { table })
                .value(0)
                .contains(u"AUTOINCREMENT"_s));

    // Every new table starts empty; the identities it hands out start at 1 and only grow.
    QVERIFY(Database::instance().open(m_file));
    QCOMPARE(rowsOf(u"SELECT * FROM "_s + table), QStringList());
    for (int i = 1; i <= 2; ++i) {
        const std::unique_ptr<Recordset> rs
            = OpenQuery(u"SELECT * FROM "_s + table + u" LIMIT 0"_s);
        QVERIFY(rs && rs->addNew() && rs->update());
        QCOMPARE(rs->value(u"UniqueID"_s).toInt(), i);
        QVERIFY(ExecuteStatement(u"DELETE FROM "_s + table));
    }
}

void TestDatabaseSchema::testCreateSetsVersion()
{
    SettingsFile::instance().SetFileValue(SettingsKeys::DatabaseVersion, QString());
    QVERIFY(CreateNewDatabase(m_dir->filePath(u"second.mdb"_s)));
    QCOMPARE(SettingsFile::instance().GetFileValue(SettingsKeys::DatabaseVersion), u"1"_s);

    SettingsFile::instance().SetFileValue(SettingsKeys::DatabaseVersion, QString());
    QVERIFY(!CreateNewDatabase(m_file));
    QCOMPARE(SettingsFile::instance().GetFileValue(SettingsKeys::DatabaseVersion), QString());
}

void TestDatabaseSchema::testCreateRefused_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("exists");
    QTest::newRow("existing file") << u"taken.mdb"_s << true;
    QTest::newRow("missing folder") << u"no/such/folder/Showpulse.mdb"_s << false;
    QTest::newRow("no name") << QString() << false;
}

void TestDatabaseSchema::testCreateRefused()
{
    QFETCH(QString, name);
    QFETCH(bool, exists);
    const QString file = name.isEmpty() ? QString() : m_dir->filePath(name);
    if (exists) {
        QFile taken(file);
        QVERIFY(taken.open(QIODevice::WriteOnly));
        QCOMPARE(taken.write("keep me"), 7);
    }
    QVERIFY(!CreateNewDatabase(file));
    if (exists) {
        QFile taken(file);
        QVERIFY(taken.open(QIODevice::ReadOnly));
        QCOMPARE(taken.readAll(), QByteArray("keep me"));
    } else {
        QVERIFY(!QFileInfo::exists(file));
    }
}

void TestDatabaseSchema::testTextAndDateOrder()
{
    // Text sorts and compares without regard to case; dates sort and compare in time order.
    QVERIFY(Database::instance().open(m_file));
    const std::unique_ptr<Recordset> rs = OpenQuery(u"SELECT * FROM Schedules LIMIT 0"_s);
    QVERIFY(rs);
    const QList<QPair<QString, QDateTime>> rows {
        { u"bob"_s, QDateTime(QDate(2026, 1, 2), QTime(9, 0)) },
        { u"Alice"_s, QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59)) },
        { u"carl"_s, QDateTime(QDate(2026, 1, 2), QTime(10, 0)) },
        { u"Bob"_s, DateText::zeroDate() },
    };
    for (const auto &[name, time] : rows) {
        QVERIFY(rs->addNew());
        QVERIFY(rs->setValue(u"Name"_s, name));
        QVERIFY(rs->setValue(u"Time"_s, time));
        QVERIFY(rs->update());
    }
    QCOMPARE(rowsOf(u"SELECT Name FROM Schedules ORDER BY Name, UniqueID"_s),
        QStringList({ u"Alice"_s, u"bob"_s, u"Bob"_s, u"carl"_s }));
    QCOMPARE(rowsOf(u"SELECT Name FROM Schedules ORDER BY Time"_s),
        QStringList({ u"Bob"_s, u"Alice"_s, u"bob"_s, u"carl"_s }));
    const std::unique_ptr<Recordset> found
        = OpenQuery(u"SELECT Name FROM Schedules WHERE Name = ? AND Time >= ? AND Time < ?"_s,
            { u"CARL"_s, QDate(2026, 1, 2), QDateTime(QDate(2026, 1, 2), QTime(10, 0, 1)) });
    QVERIFY(found);
    QCOMPARE(found->recordCount(), 1);
}

void TestDatabaseSchema::testDefaultUserCodes_data()
{
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("row");
    // index in insertion order: CodeID|EventText|IndexNu
    QTest::newRow("first") << 0 << u"0|Normal Show|0"_s;
    QTest::newRow("end of list 0")
        << 5 << u"0|Show delayed - Tickets refunded/free passes issued|201"_s;
    QTest::newRow("start of list 1") << 6 << u"1|No problem|0"_s;
    QTest::newRow("left column ends") << 20 << u"1|Lamp console problem|400"_s;
    QTest::newRow("right column starts") << 21 << u"1|Xenon failure|401"_s;
    QTest::newRow("typo incorrently") << 16 << u"1|Threaded incorrently|301"_s;
    QTest::newRow("spelled correctly") << 9 << u"1|Threaded incorrectly|102"_s;
    QTest::newRow("typo Amplifer") << 27 << u"1|Amplifer problem|510"_s;
    QTest::newRow("end of list 1") << 33 << u"1|Light level changed|602"_s;
    QTest::newRow("list 2") << 37 << u"2|Film jammed in projector|201"_s;
    QTest::newRow("list 3") << 45 << u"3|N/A|0"_s;
    QTest::newRow("list 4") << 46 << u"4|Normal show|0"_s;
    QTest::newRow("typo spocket") << 57 << u"5|Replaced intermitted spocket|302"_s;
    QTest::newRow("list 5 right column") << 60 << u"5|Replaced film gate components|305"_s;
    QTest::newRow("last") << 69 << u"5|B-chain alignment|502"_s;
}

void TestDatabaseSchema::testDefaultUserCodes()
{
    QFETCH(int, index);
    QFETCH(QString, row);
    QVERIFY(Database::instance().open(m_file));
    QVERIFY(AddDefaultUserCodes());
    const QStringList rows
        = rowsOf(u"SELECT CodeID, EventText, IndexNu FROM EventCodes ORDER BY UniqueID"_s);
    QCOMPARE(rows.size(), 70);
    QCOMPARE(rows.at(index), row);

    // Lists follow each other, and codes rise within each list.
    for (int i = 1; i < rows.size(); ++i) {
        const QStringList previous = rows.at(i - 1).split(u'|');
        const QStringList current = rows.at(i).split(u'|');
        const bool sameList = previous.first() == current.first();
        QVERIFY2(sameList ? previous.last().toInt() < current.last().toInt()
                          : previous.first().toInt() + 1 == current.first().toInt(),
            qPrintable(rows.at(i)));
    }
}

void TestDatabaseSchema::testDefaultsOnlyForAnEmptyTable()
{
    QVERIFY(Database::instance().open(m_file));
    QVERIFY(AddDefaultUserCodes());
    QVERIFY(AddDefaultUserCodes());
    QCOMPARE(rowsOf(u"SELECT count(*) FROM EventCodes"_s), QStringList { u"70"_s });

    QVERIFY(ExecuteStatement(u"DELETE FROM EventCodes"_s));
    const std::unique_ptr<Recordset> codes = OpenQuery(u"SELECT * FROM EventCodes"_s);
    QVERIFY(codes);
    QVERIFY(AddUserCode(2, 7, u"Own code"_s, *codes));
    QVERIFY(AddDefaultUserCodes());
    QCOMPARE(rowsOf(u"SELECT CodeID, EventText, IndexNu FROM EventCodes"_s),
        QStringList { u"2|Own code|7"_s });

    // Without a usable table nothing is added and the failure shows.
    QVERIFY(ExecuteStatement(u"DROP TABLE EventCodes"_s));
    QVERIFY(!AddDefaultUserCodes());
    Database::instance().close();
    QVERIFY(!AddDefaultUserCodes());
}

void TestDatabaseSchema::testUpgrade()
{
    // A version-0 database: ReportSpooler without its last two fields, holding a row.
    QVERIFY(Database::instance().open(m_file));
    QVERIFY(ExecuteStatement(u"ALTER TABLE ReportSpooler DROP COLUMN NextSendTime"_s));
    QVERIFY(ExecuteStatement(u"ALTER TABLE ReportSpooler DROP COLUMN AttemptsMade"_s));
    QVERIFY(ExecuteStatement(u"INSERT INTO ReportSpooler (Date, EMailAddressRef, Disable, "
                             "ReportType, ReportName, Status) VALUES (?, ?, ?, ?, ?, ?)"_s,
        { QDateTime(QDate(2026, 3, 1), QTime(6, 0)), -1, false, 2, u"Weekly"_s,
            u"Error: \"no printer\""_s }));
    const QStringList version0 = RawConnection(m_file).fields(u"ReportSpooler"_s);
    QCOMPARE(version0.size(), 7);
    const QString row = u"1|2026-03-01 06:00:00|-1|0|2|Weekly|Error: \"no printer\""_s;
    QCOMPARE(rowsOf(u"SELECT * FROM ReportSpooler"_s), QStringList { row });

    QVERIFY(UpgradeDatabase());
    const QStringList version1 = RawConnection(m_file).fields(u"ReportSpooler"_s);
    QCOMPARE(version1,
        version0 + QStringList({ u"AttemptsMade INTEGER"_s, u"NextSendTime DATETEXT"_s }));
    QCOMPARE(rowsOf(u"SELECT * FROM ReportSpooler"_s), QStringList { row + u"||"_s });
    const std::unique_ptr<Recordset> rs = OpenQuery(u"SELECT * FROM ReportSpooler"_s);
    QVERIFY(rs);
    QVERIFY(rs->value(u"attemptsmade"_s).isNull());
    QCOMPARE(rs->fieldType(u"NextSendTime"_s), FieldType::Date);

    // Once more: refused, and nothing changes.
    QVERIFY(!UpgradeDatabase());
    QCOMPARE(RawConnection(m_file).fields(u"ReportSpooler"_s), version1);
    QCOMPARE(rowsOf(u"SELECT * FROM ReportSpooler"_s), QStringList { row + u"||"_s });

    // Half upgraded by some earlier attempt: still all or nothing.
    QVERIFY(ExecuteStatement(u"ALTER TABLE ReportSpooler DROP COLUMN AttemptsMade"_s));
    const QStringList half = RawConnection(m_file).fields(u"ReportSpooler"_s);
    QVERIFY(!UpgradeDatabase());
    QCOMPARE(RawConnection(m_file).fields(u"ReportSpooler"_s), half);
}

void TestDatabaseSchema::testParseDateTime_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected");
    const QDate zeroDay = DateText::zeroDate().date();
    QTest::newRow("date and time")
        << u"2026-03-04 05:06:07"_s << QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7));
    QTest::newRow("written by the date text")
        << DateText::toText(QDateTime(QDate(2028, 2, 29), QTime(23, 59, 59)))
        << QDateTime(QDate(2028, 2, 29), QTime(23, 59, 59));
    QTest::newRow("extra blanks") << u"  2026-03-04\t 05:06:07 "_s
                                  << QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7));
    QTest::newRow("date only") << u"2026-03-04"_s << QDateTime(QDate(2026, 3, 4), QTime(0, 0));
    QTest::newRow("time only") << u"03:00:00"_s << QDateTime(zeroDay, QTime(3, 0));
    QTest::newRow("unreadable time")
        << u"2026-03-04 25:00:00"_s << QDateTime(QDate(2026, 3, 4), QTime(0, 0));
    QTest::newRow("trailing words")
        << u"2026-03-04 05:06:07 PM"_s << QDateTime(QDate(2026, 3, 4), QTime(0, 0));
    QTest::newRow("unreadable date")
        << u"2026-02-30 10:00:00"_s << QDateTime(zeroDay, QTime(10, 0));
    QTest::newRow("other date order") << u"3/4/2026 10:00:00"_s << QDateTime(zeroDay, QTime(10, 0));
    QTest::newRow("garbage") << u"not a date"_s << DateText::zeroDate();
    QTest::newRow("empty") << QString() << DateText::zeroDate();
}

void TestDatabaseSchema::testParseDateTime()
{
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    QCOMPARE(ParseDateTime(text), expected);
}

QTEST_GUILESS_MAIN(TestDatabaseSchema)
#include "tst_databaseschema.moc"
