#include "core/database.h"
#include "core/datetext.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

const QDateTime kMay(QDate(2026, 5, 17), QTime(14, 30, 5));

QByteArray readBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Where the cursor stands, with the Name of the current row: "row 1 b", "BOF", "EOF", "BOF EOF".
QString state(const Recordset &rs)
{
    if (rs.bof() && rs.eof())
        return u"BOF EOF"_s;
    if (rs.bof())
        return u"BOF"_s;
    if (rs.eof())
        return u"EOF"_s;
    return u"row %1 %2"_s.arg(rs.absolutePosition()).arg(rs.value(u"name"_s).toString());
}

QStringList names(const QString &sql)
{
    QStringList result;
    const std::unique_ptr<Recordset> rs = OpenQuery(sql);
    for (; rs && !rs->eof(); rs->moveNext())
        result.append(rs->value(u"Name"_s).toString());
    return result;
}

} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void testOpenRefusesWhatIsNoDatabase_data();
    void testOpenRefusesWhatIsNoDatabase();
    void testCreateRefusesExistingFile();
    void testOpensInAnyFolderAndKeepsData();
    void testBadStatementsFail_data();
    void testBadStatementsFail();
    void testBoundValuesAreStoredVerbatim();
    void testMoves_data();
    void testMoves();
    void testBookmarks();
    void testFindFirst_data();
    void testFindFirst();
    void testFieldNamesAndNulls();
    void testAddAndEditRoundTrip_data();
    void testAddAndEditRoundTrip();
    void testEditWritesOnlyChangedFields();
    void testWritesRefused();
    void testPendingRowsAndFailedUpdate();
    void testRowsAddedThroughAnEmptyCursor();
    void testAddingKeepsUpWithFieldsAndConnection();
    void testUpdatableForms_data();
    void testUpdatableForms();
    void testDateColumnsByName();
    void testCompact();

private:
    QString path(const QString &name) const { return m_dir->filePath(name); }
    void addRows(const QStringList &rowNames);

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestDatabase::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    Database &db = Database::instance();
    QVERIFY(db.create(path(u"Showpulse.mdb"_s)));
    QVERIFY(ExecuteStatement(
        QStringLiteral("CREATE TABLE Items (UniqueID INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT, "
                       "Count INTEGER, At DATETEXT)")));
    QVERIFY(ExecuteStatement(QStringLiteral(
        "CREATE TABLE Tags (UniqueID INTEGER PRIMARY KEY AUTOINCREMENT, ItemRef INTEGER, "
        "Label TEXT)")));
}

void TestDatabase::cleanup()
{
    Database::instance().close();
    m_dir.reset();
}

void TestDatabase::addRows(const QStringList &rowNames)
{
    for (int i = 0; i < rowNames.size(); ++i) {
        QVERIFY(ExecuteStatement(u"INSERT INTO Items (Name, Count, At) VALUES (?, ?, ?)"_s,
            { rowNames.at(i), i * 10, kMay.addDays(i) }));
    }
}

void TestDatabase::testOpenRefusesWhatIsNoDatabase_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("missing file") << u"missing.mdb"_s << QByteArray();
    QTest::newRow("missing folder") << u"no/such/folder.mdb"_s << QByteArray();
    QTest::newRow("no name") << QString() << QByteArray();
    QTest::newRow("a folder") << u"folder"_s << QByteArray();
    QTest::newRow("text file") << u"notes.mdb"_s
                               << QByteArray("not a database, only a line of text\r\n").repeated(8);
}

void TestDatabase::testOpenRefusesWhatIsNoDatabase()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    const QString file = name.isEmpty() ? QString() : path(name);
    if (name == QLatin1String("folder"))
        QVERIFY(QDir(m_dir->path()).mkdir(name));
    if (!content.isEmpty())
        QVERIFY(writeBytes(file, content));

    Database db;
    QVERIFY(!db.open(file));
    QVERIFY(!db.isOpen());
    QVERIFY(!db.openQuery(u"SELECT 1"_s));
    QVERIFY(!db.executeStatement(u"CREATE TABLE x (a INTEGER)"_s));
    if (content.isEmpty()) {
        QCOMPARE(QFileInfo::exists(file), name == QLatin1String("folder"));
    } else {
        QCOMPARE(readBytes(file), content);
    }
}

void TestDatabase::testCreateRefusesExistingFile()
{
    const QString file = path(u"existing.mdb"_s);
    QVERIFY(writeBytes(file, "precious"));
    Database db;
    QVERIFY(!db.create(file));
    QVERIFY(!db.isOpen());
    QCOMPARE(readBytes(file), QByteArray("precious"));
}

void TestDatabase::testOpensInAnyFolderAndKeepsData()
{
    // Characters that mean something in a URI must not change which file is opened.
    QVERIFY(QDir(m_dir->path()).mkpath(u"odd #folder?%20"_s));
    const QString file = path(u"odd #folder?%20/data 1%.mdb"_s);
    {
        Database db;
        QVERIFY(db.create(file));
        QCOMPARE(db.fileName(), QFileInfo(file).absoluteFilePath());
        QVERIFY(db.executeStatement(u"CREATE TABLE t (UniqueID INTEGER PRIMARY KEY, v TEXT)"_s));
        QVERIFY(db.executeStatement(u"INSERT INTO t (v) VALUES (?)"_s, { u"kept"_s }));
        const std::unique_ptr<Recordset> mode
            = db.openQuery(u"SELECT * FROM pragma_journal_mode"_s);
        QVERIFY(mode);
        QCOMPARE(mode->value(u"journal_mode"_s).toString(), u"wal"_s);
    }
    QCOMPARE(QDir(QFileInfo(file).path()).entryList(QDir::Files), QStringList { u"data 1%.mdb"_s });

    Database db;
    QVERIFY(db.open(file));
    const std::unique_ptr<Recordset> rs = db.openQuery(u"SELECT v FROM t"_s);
    QVERIFY(rs);
    QCOMPARE(rs->value(u"v"_s).toString(), u"kept"_s);
    db.close();
    QVERIFY(!db.isOpen());
    QVERIFY(!db.openQuery(u"SELECT v FROM t"_s));
}

void TestDatabase::testBadStatementsFail_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QVariantList>("values");
    QTest::addColumn<bool>("isQuery");
    QTest::newRow("syntax error") << u"SELEC * FROM Items"_s << QVariantList() << true;
    QTest::newRow("unknown table") << u"SELECT * FROM Nowhere"_s << QVariantList() << true;
    QTest::newRow("unknown field") << u"SELECT Nothing FROM Items"_s << QVariantList() << true;
    QTest::newRow("too few values")
        << u"SELECT * FROM Items WHERE Name = ? AND Count = ?"_s << QVariantList { 1 } << true;
    QTest::newRow("too many values")
        << u"SELECT * FROM Items WHERE Name = ?"_s << QVariantList { 1, 2 } << true;
    QTest::newRow("two statements")
        << u"SELECT * FROM Items; DELETE FROM Items"_s << QVariantList() << true;
    QTest::newRow("not a query") << u"DELETE FROM Items"_s << QVariantList() << true;
    QTest::newRow("statement syntax") << u"DELETE * FROM Items"_s << QVariantList() << false;
    QTest::newRow("statement on unknown table")
        << u"DELETE FROM Nowhere"_s << QVariantList() << false;
    QTest::newRow("two deletions")
        << u"DELETE FROM Tags; DELETE FROM Items"_s << QVariantList() << false;
    QTest::newRow("statement with too few values")
        << u"DELETE FROM Items WHERE Name = ?"_s << QVariantList() << false;
}

void TestDatabase::testBadStatementsFail()
{
    QFETCH(QString, sql);
    QFETCH(QVariantList, values);
    QFETCH(bool, isQuery);
    addRows({ u"a"_s, u"b"_s });
    if (isQuery)
        QVERIFY(!OpenQuery(sql, values));
    else
        QVERIFY(!ExecuteStatement(sql, values));
    // Nothing was changed on the way to the failure.
    QCOMPARE(names(u"SELECT * FROM Items"_s), QStringList({ u"a"_s, u"b"_s }));
}

void TestDatabase::testBoundValuesAreStoredVerbatim()
{
    const QString hostile = u"O'Brien \"quoted\"'); DROP TABLE Items; --"_s;
    const QString unicode = u"Kino Ünterstraße – 映画 ✓"_s;
    QVERIFY(ExecuteStatement(
        u"INSERT INTO Items (Name, Count, At) VALUES (?, ?, ?)"_s, { hostile, true, kMay }));
    QVERIFY(ExecuteStatement(u"INSERT INTO Items (Name, Count, At) VALUES (?, ?, ?)"_s,
        { unicode, false, kMay.date() }));

    const std::unique_ptr<Recordset> rs
        = OpenQuery(u"SELECT * FROM Items WHERE Name = ? OR Name = ? ORDER BY UniqueID"_s,
            { hostile, unicode });
    QVERIFY(rs);
    QCOMPARE(rs->recordCount(), 2);
    QCOMPARE(rs->value(u"Name"_s).toString(), hostile);
    QCOMPARE(rs->value(u"Count"_s).toLongLong(), -1LL);
    QCOMPARE(rs->value(u"At"_s), QVariant(kMay));
    rs->moveNext();
    QCOMPARE(rs->value(u"Name"_s).toString(), unicode);
    QCOMPARE(rs->value(u"Count"_s).toLongLong(), 0LL);
    QCOMPARE(rs->value(u"At"_s), QVariant(kMay.date().startOfDay()));

    // Bound dates compare with stored ones in time order.
    const std::unique_ptr<Recordset> later
        = OpenQuery(u"SELECT Name FROM Items WHERE At > ?"_s, { kMay.addSecs(-1) });
    QVERIFY(later);
    QCOMPARE(later->recordCount(), 1);
    QCOMPARE(later->value(u"name"_s).toString(), hostile);
}

void TestDatabase::testMoves_data()
{
    QTest::addColumn<QStringList>("rows");
    QTest::addColumn<QStringList>("moves");
    QTest::addColumn<QStringList>("states");

    const QStringList abc { u"a"_s, u"b"_s, u"c"_s };
    QTest::newRow("empty result") << QStringList()
                                  << QStringList { u"open"_s, u"first"_s, u"next"_s, u"last"_s,
                                         u"previous"_s }
                                  << QStringList { u"BOF EOF"_s, u"BOF EOF"_s, u"BOF EOF"_s,
                                         u"BOF EOF"_s, u"BOF EOF"_s };
    QTest::newRow("one row") << QStringList { u"a"_s }
                             << QStringList { u"open"_s, u"next"_s, u"next"_s, u"previous"_s,
                                    u"previous"_s, u"previous"_s, u"last"_s }
                             << QStringList { u"row 0 a"_s, u"EOF"_s, u"EOF"_s, u"row 0 a"_s,
                                    u"BOF"_s, u"BOF"_s, u"row 0 a"_s };
    QTest::newRow("walk forward") << abc
                                  << QStringList { u"open"_s, u"next"_s, u"next"_s, u"next"_s }
                                  << QStringList { u"row 0 a"_s, u"row 1 b"_s, u"row 2 c"_s,
                                         u"EOF"_s };
    QTest::newRow("walk backward")
        << abc << QStringList { u"last"_s, u"previous"_s, u"previous"_s, u"previous"_s, u"next"_s }
        << QStringList { u"row 2 c"_s, u"row 1 b"_s, u"row 0 a"_s, u"BOF"_s, u"row 0 a"_s };
    QTest::newRow("back from the end")
        << abc << QStringList { u"last"_s, u"next"_s, u"previous"_s, u"first"_s }
        << QStringList { u"row 2 c"_s, u"EOF"_s, u"row 2 c"_s, u"row 0 a"_s };
}

void TestDatabase::testMoves()
{
    QFETCH(QStringList, rows);
    QFETCH(QStringList, moves);
    QFETCH(QStringList, states);
    addRows(rows);

    const std::unique_ptr<Recordset> rs = OpenQuery(u"SELECT * FROM Items ORDER BY UniqueID"_s);
    QVERIFY(rs);
    QCOMPARE(rs->recordCount(), rows.size());
    for (int i = 0; i < moves.size(); ++i) {
        const QString &move = moves.at(i);
        if (move == QLatin1String("first"))
            rs->moveFirst();
        else if (move == QLatin1String("last"))
            rs->moveLast();
        else if (move == QLatin1String("next"))
            rs->moveNext();
        else if (move == QLatin1String("previous"))
            rs->movePrevious();
        QCOMPARE(state(*rs) + u' ' + move, states.at(i) + u' ' + move);
        QCOMPARE(rs->recordCount(), rows.size());
    }
}

void TestDatabase::testBookmarks()
{
    addRows({ u"a"_s, u"b"_s, u"c"_s });
    const std::unique_ptr<Recordset> rs = OpenQuery(u"SELECT * FROM Items ORDER BY UniqueID"_s);
    QVERIFY(rs);
    rs->moveNext();
    const int mark = rs->bookmark();
    rs->moveLast();
    rs->moveNext();
    QCOMPARE(rs->bookmark(), -1);
    QVERIFY(rs->setBookmark(mark));
    QCOMPARE(state(*rs), u"row 1 b"_s);

    // Marks this cursor does not have leave it where it is.
    QVERIFY(!rs->setBookmark(-1));
    QVERIFY(!rs->setBookmark(3));
    QCOMPARE(state(*rs), u"row 1 b"_s);
}

void TestDatabase::testFindFirst_data()
{
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<qlonglong>("minimumCount");
    QTest::addColumn<QString>("expected");
    QTest::newRow("one match") << u"c"_s << 0LL << u"row 2 c"_s;
    QTest::newRow("first of several") << QString() << 10LL << u"row 1 b"_s;
    QTest::newRow("no match") << u"z"_s << 0LL << QString();
    QTest::newRow("name matches, count does not") << u"b"_s << 35LL << QString();
}

void TestDatabase::testFindFirst()
{
    QFETCH(QString, wanted);
    QFETCH(qlonglong, minimumCount);
    QFETCH(QString, expected);
    addRows({ u"a"_s, u"b"_s, u"c"_s, u"b"_s });
    const std::unique_ptr<Recordset> rs = OpenQuery(u"SELECT * FROM Items ORDER BY UniqueID"_s);
    QVERIFY(rs);
    rs->moveLast();

    const bool found = rs->findFirst([&](const Recordset &row) {
        return (wanted.isEmpty() || row.value(u"NAME"_s).toString() == wanted)
            && row.value(u"count"_s).toLongLong() >= minimumCount;
    });
    QCOMPARE(found, !expected.isEmpty());
    QCOMPARE(rs->noMatch(), expected.isEmpty());
    // Without a match the cursor stays on the row it was on.
    QCOMPARE(state(*rs), expected.isEmpty() ? u"row 3 b"_s : expected);
}

void TestDatabase::testFieldNamesAndNulls()
{
    const std::unique_ptr<Recordset> rs = OpenQuery(u"SELECT * FROM Items LIMIT 0"_s);
    QVERIFY(rs);
    QCOMPARE(rs->fieldNames(), QStringList({ u"UniqueID"_s, u"Name"_s, u"Count"_s, u"At"_s }));
    QVERIFY(rs->findFirst([](const Recordset &) { return true; }) == false);
    QVERIFY(rs->noMatch());
    QVERIFY(rs->addNew());
    QVERIFY(rs->setValue(u"nAmE"_s, u"only a name"_s));
    QVERIFY(rs->update());

    const std::unique_ptr<Recordset> read = OpenQuery(u"SELECT * FROM items"_s);
    QVERIFY(read);
    QCOMPARE(read->value(u"NAME"_s).toString(), u"only a name"_s);
    for (const char *field : { "Count", "count", "AT", "NoSuchField" }) {
        const QVariant value = read->value(QString::fromLatin1(field));
        QVERIFY2(value.isNull() && !value.isValid(), field);
    }
    QVERIFY(read->hasField(u"uniqueid"_s));
    QVERIFY(!read->hasField(u"Nothing"_s));
    QCOMPARE(read->fieldType(u"at"_s), FieldType::Date);
    QCOMPARE(read->fieldType(u"count"_s), FieldType::Long);
    QCOMPARE(read->fieldType(u"name"_s), FieldType::Text);
}

void TestDatabase::testAddAndEditRoundTrip_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QVariant>("written");
    QTest::addColumn<QVariant>("read");

    QTest::newRow("text with quotes")
        << u"Name"_s << QVariant(u"it's \"x\" ''"_s) << QVariant(u"it's \"x\" ''"_s);
    QTest::newRow("unicode text") << u"Name"_s << QVariant(u"Säal 3 – 映画"_s)
                                  << QVariant(u"Säal 3 – 映画"_s);
    QTest::newRow("empty text is not null") << u"Name"_s << QVariant(u""_s) << QVariant(u""_s);
    QTest::newRow("number as text") << u"Name"_s << QVariant(42) << QVariant(u"42"_s);
    QTest::newRow("date as text") << u"Name"_s << QVariant(kMay)
                                  << QVariant(u"2026-05-17 14:30:05"_s);
    QTest::newRow("null") << u"Name"_s << QVariant() << QVariant();
    QTest::newRow("long") << u"Count"_s << QVariant(-2147483647 - 1)
                          << QVariant(qlonglong(-2147483648LL));
    QTest::newRow("true") << u"Count"_s << QVariant(true) << QVariant(qlonglong(-1));
    QTest::newRow("false") << u"Count"_s << QVariant(false) << QVariant(qlonglong(0));
    QTest::newRow("fraction") << u"Count"_s << QVariant(2.5) << QVariant(qlonglong(3));
    QTest::newRow("numeric text") << u"Count"_s << QVariant(u"17"_s) << QVariant(qlonglong(17));
    QTest::newRow("date") << u"At"_s << QVariant(kMay) << QVariant(kMay);
    QTest::newRow("date loses milliseconds")
        << u"At"_s << QVariant(kMay.addMSecs(999)) << QVariant(kMay);
    QTest::newRow("day") << u"At"_s << QVariant(QDate(2026, 1, 2))
                         << QVariant(QDateTime(QDate(2026, 1, 2), QTime(0, 0)));
    QTest::newRow("date text") << u"At"_s << QVariant(u"1999-12-31 23:59:59"_s)
                               << QVariant(QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59)));
    QTest::newRow("zero date") << u"At"_s << QVariant(DateText::zeroDate())
                               << QVariant(DateText::zeroDate());
}

void TestDatabase::testAddAndEditRoundTrip()
{
    QFETCH(QString, field);
    QFETCH(QVariant, written);
    QFETCH(QVariant, read);
    addRows({ u"first"_s });

    const std::unique_ptr<Recordset> rs = OpenQuery(u"SELECT * FROM Items WHERE UniqueID = 0"_s);
    QVERIFY(rs);
    QVERIFY(rs->addNew());
    QVERIFY(rs->setValue(field, written));
    QCOMPARE(rs->value(field), read);
    QVERIFY(rs->update());
    QCOMPARE(rs->editMode(), Recordset::EditMode::None);
    QCOMPARE(rs->recordCount(), 1);
    const qlonglong id = rs->value(u"UniqueID"_s).toLongLong();
    QCOMPARE(id, 2LL);
    QCOMPARE(rs->value(field), read);

    std::unique_ptr<Recordset> stored
        = OpenQuery(u"SELECT * FROM Items WHERE UniqueID = ?"_s, { id });
    QVERIFY(stored);
    QCOMPARE(stored->recordCount(), 1);
    QCOMPARE(stored->value(field), read);

    // The same value written over another one by editing.
    const std::unique_ptr<Recordset> first = OpenQuery(u"SELECT * FROM Items WHERE UniqueID = 1"_s);
    QVERIFY(first);
    QVERIFY(first->edit());
    QVERIFY(first->setValue(field, written));
    QVERIFY(first->update());
    QCOMPARE(first->value(field), read);
    stored = OpenQuery(u"SELECT * FROM Items WHERE UniqueID = 1"_s);
    QVERIFY(stored);
    QCOMPARE(stored->value(field), read);
}

void TestDatabase::testEditWritesOnlyChangedFields()
{
    addRows({ u"a"_s, u"b"_s });
    const std::unique_ptr<Recordset> rs = OpenQuery(u"SELECT * FROM Items ORDER BY UniqueID"_s);
    QVERIFY(rs);
    // Another writer changes Count after this cursor read the row.
    QVERIFY(ExecuteStatement(u"UPDATE Items SET Count = 99 WHERE Name = 'b'"_s));

    rs->moveNext();
    QVERIFY(rs->edit());
    QVERIFY(rs->setValue(u"name"_s, u"B"_s));
    QVERIFY(rs->update());
    QCOMPARE(rs->value(u"Count"_s).toLongLong(), 99LL);
    QCOMPARE(names(u"SELECT * FROM Items ORDER BY UniqueID"_s), QStringList({ u"a"_s, u"B"_s }));
    const std::unique_ptr<Recordset> stored
        = OpenQuery(u"SELECT Count FROM Items WHERE UniqueID = 2"_s);
    QVERIFY(stored);
    QCOMPARE(stored->value(u"count"_s).toLongLong(), 99LL);
}

void TestDatabase::testWritesRefused()
{
    addRows({ u"a"_s });
    const std::unique_ptr<Recordset> rs
        = OpenQuery(u"SELECT UniqueID, Name, Count, At, Count * 2 AS Twice FROM Items"_s);
    QVERIFY(rs);
    QVERIFY(rs->isUpdatable());
    QVERIFY2(!rs->setValue(u"Name"_s, u"x"_s), "outside addNew/edit");

    QVERIFY(rs->edit());
    QVERIFY(!rs->setValue(u"UniqueID"_s, 5));
    QVERIFY(!rs->setValue(u"Twice"_s, 5));
    QVERIFY(!rs->setValue(u"NoSuchField"_s, 5));
    QVERIFY(!rs->setValue(u"Count"_s, u"twelve"_s));
    QVERIFY(!rs->setValue(u"Count"_s, qlonglong(1) << 40));
    QVERIFY(!rs->setValue(u"Count"_s, 3e9));
    QVERIFY(!rs->setValue(u"Count"_s, std::numeric_limits<double>::quiet_NaN()));
    QVERIFY(!rs->setValue(u"At"_s, u"17/05/2026"_s));
    QVERIFY(!rs->setValue(u"At"_s, QDateTime()));
    QVERIFY(!rs->setValue(u"At"_s, 12));
    QVERIFY(rs->update());
    const std::unique_ptr<Recordset> stored = OpenQuery(u"SELECT * FROM Items"_s);
    QVERIFY(stored);
    QCOMPARE(stored->value(u"UniqueID"_s).toLongLong(), 1LL);
    QCOMPARE(stored->value(u"Count"_s).toLongLong(), 0LL);
    QCOMPARE(stored->value(u"At"_s), QVariant(kMay));

    // Editing needs UniqueID among the columns; adding does not.
    const std::unique_ptr<Recordset> noKey = OpenQuery(u"SELECT Name FROM Items"_s);
    QVERIFY(noKey);
    QVERIFY(!noKey->edit());
    QVERIFY(noKey->addNew());
    QVERIFY(noKey->setValue(u"Name"_s, u"added"_s));
    QVERIFY(noKey->update());
    QCOMPARE(noKey->value(u"Name"_s).toString(), u"added"_s);
}

void TestDatabase::testPendingRowsAndFailedUpdate()
{
    addRows({ u"a"_s, u"b"_s });
    const std::unique_ptr<Recordset> rs = OpenQuery(u"SELECT * FROM Items ORDER BY UniqueID"_s);
    QVERIFY(rs);

    // A move drops a pending change.
    QVERIFY(rs->edit());
    QVERIFY(rs->setValue(u"Name"_s, u"changed"_s));
    QCOMPARE(rs->value(u"Name"_s).toString(), u"changed"_s);
    rs->moveNext();
    QCOMPARE(rs->editMode(), Recordset::EditMode::None);
    QVERIFY(!rs->update());
    QCOMPARE(names(u"SELECT * FROM Items ORDER BY UniqueID"_s), QStringList({ u"a"_s, u"b"_s }));

    // A row deleted since the cursor read it cannot be stored; the change stays pending.
    QVERIFY(ExecuteStatement(u"DELETE FROM Items WHERE Name = ?"_s, { u"b"_s }));
    QVERIFY(rs->edit());
    QVERIFY(rs->setValue(u"Name"_s, u"revived"_s));
    QVERIFY(!rs->update());
    QCOMPARE(rs->editMode(), Recordset::EditMode::Edit);
    rs->cancelUpdate();
    QCOMPARE(rs->value(u"Name"_s).toString(), u"b"_s);
    QCOMPARE(names(u"SELECT * FROM Items"_s), QStringList { u"a"_s });

    // A new row that the table refuses stays pending as well.
    QVERIFY(ExecuteStatement(
        QStringLiteral("CREATE TRIGGER NoZ BEFORE INSERT ON Items WHEN NEW.Name = 'z' "
                       "BEGIN SELECT RAISE(ABORT, 'refused'); END")));
    QVERIFY(rs->addNew());
    QVERIFY(rs->setValue(u"Name"_s, u"z"_s));
    QVERIFY(!rs->update());
    QCOMPARE(rs->editMode(), Recordset::EditMode::AddNew);
    QCOMPARE(rs->recordCount(), 2);
}

void TestDatabase::testRowsAddedThroughAnEmptyCursor()
{
    const std::unique_ptr<Recordset> rs = OpenQuery(u"SELECT * FROM Items LIMIT 0"_s);
    QVERIFY(rs);
    QVERIFY(rs->eof() && rs->bof());
    const int added = 250;
    for (int i = 0; i < added; ++i) {
        QVERIFY(rs->addNew());
        QVERIFY(rs->setValue(u"Name"_s, u"row %1"_s.arg(i)));
        QVERIFY(rs->setValue(u"At"_s, kMay.addSecs(i)));
        QVERIFY(rs->update());
        QCOMPARE(rs->absolutePosition(), i);
        QCOMPARE(rs->value(u"UniqueID"_s).toLongLong(), qlonglong(i + 1));
    }
    QCOMPARE(rs->recordCount(), added);

    // Added rows read back from the table when the cursor returns to them, and can be edited.
    rs->moveFirst();
    QCOMPARE(rs->value(u"Name"_s).toString(), u"row 0"_s);
    QVERIFY(rs->setBookmark(117));
    QCOMPARE(rs->value(u"At"_s), QVariant(kMay.addSecs(117)));
    QVERIFY(rs->edit());
    QVERIFY(rs->setValue(u"Count"_s, 5));
    QVERIFY(rs->update());
    QCOMPARE(rs->value(u"Count"_s).toLongLong(), 5LL);
    QCOMPARE(rs->value(u"Name"_s).toString(), u"row 117"_s);
    QVERIFY(rs->findFirst([](const Recordset &row) { return row.value(u"Count"_s).toInt() == 5; }));
    QCOMPARE(rs->absolutePosition(), 117);

    const std::unique_ptr<Recordset> stored = OpenQuery(u"SELECT count(*) AS n FROM Items"_s);
    QVERIFY(stored);
    QCOMPARE(stored->value(u"N"_s).toInt(), added);
}

void TestDatabase::testAddingKeepsUpWithFieldsAndConnection()
{
    const std::unique_ptr<Recordset> rs = OpenQuery(u"SELECT * FROM Items LIMIT 0"_s);
    QVERIFY(rs);
    // Rows one after the other write different fields; each stores only its own.
    const auto add = [&rs](const QVariantMap &fields) {
        bool ok = rs->addNew();
        for (auto it = fields.cbegin(); it != fields.cend(); ++it)
            ok = ok && rs->setValue(it.key(), it.value());
        return ok && rs->update();
    };
    QVERIFY(add({ { u"Name"_s, u"a"_s } }));
    QVERIFY(add({ { u"Name"_s, u"b"_s }, { u"Count"_s, 2 } }));
    QVERIFY(add({}));
    QVERIFY(add({ { u"Count"_s, 4 }, { u"At"_s, kMay } }));
    QVERIFY(add({ { u"Name"_s, u"e"_s } }));

    // A database closed and opened again gets the next row, not the connection that is gone.
    const QString file = Database::instance().fileName();
    Database::instance().close();
    QVERIFY(Database::instance().open(file));
    QVERIFY(add({ { u"Name"_s, u"f"_s } }));

    const std::unique_ptr<Recordset> stored = OpenQuery(
        u"SELECT coalesce(Name, '-') || ' ' || coalesce(Count, '-') || ' ' || coalesce(At, '-') "
        "AS Name FROM Items ORDER BY UniqueID"_s);
    QStringList lines;
    for (; stored && !stored->eof(); stored->moveNext())
        lines.append(stored->value(u"Name"_s).toString());
    QCOMPARE(lines,
        QStringList({ u"a - -"_s, u"b 2 -"_s, u"- - -"_s, u"- 4 2026-05-17 14:30:05"_s, u"e - -"_s,
            u"f - -"_s }));
}

void TestDatabase::testUpdatableForms_data()
{
    QTest::addColumn<QString>("sql");
    QTest::addColumn<bool>("updatable");
    QTest::newRow("whole table") << u"select * from items"_s << true;
    QTest::newRow("conditions and order")
        << u"SELECT *\n FROM Items WHERE Name <> 'from x, y' ORDER BY Name, UniqueID;"_s << true;
    QTest::newRow("limit") << u"select * from Items limit 1"_s << true;
    QTest::newRow("quoted table") << u"select * from \"Items\" where Count >= 0"_s << true;
    QTest::newRow("subquery in condition")
        << u"select * from Items where UniqueID in (select ItemRef from Tags, Items where Label = 'x')"_s
        << true;
    QTest::newRow("subquery among columns")
        << u"select (select max(UniqueID) from Tags) as m, * from Items"_s << true;
    QTest::newRow("two tables")
        << u"select * from Tags, Items where Items.UniqueID = Tags.ItemRef"_s << false;
    QTest::newRow("join") << u"select * from Tags join Items on Items.UniqueID = Tags.ItemRef"_s
                          << false;
    QTest::newRow("union behind a condition")
        << u"select UniqueID from Tags where UniqueID > 0 union select UniqueID from Items"_s
        << false;
    QTest::newRow("grouped") << u"select * from Items where Count >= 0 group by Name"_s << false;
    QTest::newRow("aliased table") << u"select * from Items i where i.Count >= 0"_s << false;
    QTest::newRow("subquery as table") << u"select * from (select * from Tags) Items"_s << false;
    QTest::newRow("no table") << u"select 1 as UniqueID"_s << false;
    QTest::newRow("not a table") << u"select * from sqlite_master"_s << false;
}

void TestDatabase::testUpdatableForms()
{
    QFETCH(QString, sql);
    QFETCH(bool, updatable);
    addRows({ u"a"_s });
    QVERIFY(ExecuteStatement(u"INSERT INTO Tags (ItemRef, Label) VALUES (1, 'x')"_s));

    const std::unique_ptr<Recordset> rs = OpenQuery(sql);
    QVERIFY(rs);
    QVERIFY(rs->recordCount() > 0);
    QCOMPARE(rs->isUpdatable(), updatable);
    QCOMPARE(rs->addNew(), updatable);
    if (updatable)
        rs->cancelUpdate();
    else
        QVERIFY(!rs->edit());
}

void TestDatabase::testDateColumnsByName()
{
    addRows({ u"a"_s, u"b"_s });
    QVERIFY(ExecuteStatement(u"INSERT INTO Items (Name, At) VALUES ('odd', 'next tuesday')"_s));

    std::unique_ptr<Recordset> rs
        = OpenQuery(u"SELECT max(At) AS at, max(At) AS latest FROM Items WHERE Name <> 'odd'"_s);
    QVERIFY(rs);
    QCOMPARE(rs->value(u"at"_s), QVariant(kMay.addDays(1)));
    QCOMPARE(rs->value(u"latest"_s), QVariant(DateText::toText(kMay.addDays(1))));

    // Columns of a join read with the types of their fields.
    rs = OpenQuery(u"SELECT Items.At, Tags.Label FROM Items, Tags"_s);
    QVERIFY(rs);
    QVERIFY(!rs->isUpdatable());
    QCOMPARE(rs->fieldType(u"At"_s), FieldType::Date);

    // A date field holding text that is no date hands it out as it is.
    rs = OpenQuery(u"SELECT At FROM Items WHERE Name = 'odd'"_s);
    QVERIFY(rs);
    QCOMPARE(rs->value(u"At"_s), QVariant(u"next tuesday"_s));
}

void TestDatabase::testCompact()
{
    addRows({ u"a"_s, u"b"_s, u"c"_s });
    QVERIFY(ExecuteStatement(u"DELETE FROM Items WHERE Name = 'b'"_s));
    const QString source = Database::instance().fileName();
    Database::instance().close();
    const QByteArray before = readBytes(source);
    const QString target = path(u"Temp.mdb"_s);

    QVERIFY(!Database::compact(source, source));
    QVERIFY(!Database::compact(path(u"missing.mdb"_s), target));
    QVERIFY(!QFileInfo::exists(target));

    QVERIFY(Database::compact(source, target));
    QCOMPARE(readBytes(source), before);
    QVERIFY(!QFileInfo::exists(source + u"-wal"_s));
    QVERIFY(!Database::compact(source, target));

    QVERIFY(Database::instance().open(target));
    QCOMPARE(names(u"SELECT * FROM Items ORDER BY UniqueID"_s), QStringList({ u"a"_s, u"c"_s }));
}

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
