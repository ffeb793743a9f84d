#include "core/database.h"

#include "core/datetext.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QUrl>

#include <atomic>

namespace {

const QString kDriver = QStringLiteral("QSQLITE");

QString newConnectionName()
{
    static std::atomic<int> counter { 0 };
    return QStringLiteral("showpulse-%1").arg(++counter);
}

// The statement with quoted strings and everything inside parentheses blanked out, so that only
// its top level is left to read. Double-quoted identifiers stay.
QString topLevelText(const QString &sql)
{
    QString text;
    text.reserve(sql.size());
    int depth = 0;
    QChar quote;
    for (const QChar c : sql) {
        if (!quote.isNull()) {
            const bool identifier = quote == u'"';
            if (c == quote)
                quote = QChar();
            text += (depth == 0 && identifier) ? c : u' ';
        } else if (c == u'\'' || c == u'"') {
            quote = c;
            text += (depth == 0 && c == u'"') ? c : u' ';
        } else if (c == u'(') {
            text += depth++ == 0 ? c : u' ';
        } else if (c == u')') {
            depth = std::max(0, depth - 1);
            text += depth == 0 ? c : u' ';
        } else {
            text += depth == 0 ? c : u' ';
        }
    }
    return text;
}

// The table a statement "select <columns> from <table> [where|order by|limit ...]" reads; empty
// for any other form (joins, several tables, subqueries or aliases in the from part, unions,
// grouping), whose rows cannot be written back to one table.
QString singleTableOf(const QString &sql)
{
    static const QRegularExpression form(
        QStringLiteral(R"(^\s*select\s.*?\bfrom\s+("[^"]+"|[A-Za-z_][A-Za-z0-9_]*)\s*)"
                       R"(((?:where|order|limit)\b.*)?;?\s*$)"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression moreTables(
        QStringLiteral(R"(\b(?:from|join|union|intersect|except|group|having|window)\b)"),
        QRegularExpression::CaseInsensitiveOption);

    const QRegularExpressionMatch match = form.match(topLevelText(sql));
    if (!match.hasMatch() || match.captured(2).contains(moreTables))
        return QString();
    QString table = match.captured(1);
    if (table.startsWith(u'"'))
        table = table.mid(1, table.size() - 2);
    return table;
}

} // namespace

Database::Database()
    : Database(newConnectionName())
{
}

Database::Database(const QString &connectionName)
    : m_connectionName(connectionName)
{
}

Database::~Database()
{
    close();
}

Database &Database::instance()
{
    // Never destroyed: QtSql's own connection registry may already be gone at exit.
    static Database *const database = new Database(QStringLiteral("showpulse"));
    return *database;
}

bool Database::open(const QString &fileName)
{
    close();
    const QFileInfo file(fileName);
    if (fileName.isEmpty() || !file.isFile() || !file.isReadable() || !file.isWritable())
        return false;
    return openConnection(file.absoluteFilePath());
}

bool Database::create(const QString &fileName)
{
    close();
    if (fileName.isEmpty())
        return false;
    // An empty file is an empty SQLite database; creating it exclusively refuses an existing one.
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    file.close();
    const QString path = QFileInfo(fileName).absoluteFilePath();
    if (!openConnection(path)) {
        QFile::remove(path);
        return false;
    }
    return true;
}

bool Database::openConnection(const QString &path)
{
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(kDriver, m_connectionName);
        // mode=rw opens an existing file only; SQLite would otherwise create a missing one.
        db.setDatabaseName(
            QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded) + QStringLiteral("?mode=rw"));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=2000"));
        if (db.open()) {
            // The write-ahead log keeps the file whole across a crash; the first statement also
            // proves the file is a database at all.
            QSqlQuery query(db);
            ok = query.exec(QStringLiteral("PRAGMA journal_mode = WAL")) && query.next()
                && query.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0
                && query.exec(QStringLiteral("PRAGMA synchronous = NORMAL"))
                && query.exec(QStringLiteral("PRAGMA foreign_keys = OFF"));
        }
        if (!ok)
            db.close();
    }
    if (!ok) {
        QSqlDatabase::removeDatabase(m_connectionName);
        return false;
    }
    m_open = true;
    m_fileName = path;
    return true;
}

void Database::close()
{
    if (!QSqlDatabase::contains(m_connectionName))
        return;
    QSqlDatabase::database(m_connectionName, false).close();
    QSqlDatabase::removeDatabase(m_connectionName);
    m_open = false;
    m_fileName.clear();
    m_schemaVersion = -1;
    m_tables.clear();
    m_fieldTypesByName.clear();
}

std::unique_ptr<Recordset> Database::openQuery(const QString &sql, const QVariantList &values)
{
    static const QRegularExpression select(
        QStringLiteral(R"(^\s*select\b)"), QRegularExpression::CaseInsensitiveOption);
    if (!m_open || !select.match(sql).hasMatch() || !refreshSchema())
        return nullptr;

    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    if (!run(query, sql, values) || !query.isSelect())
        return nullptr;

    const TableInfo table = m_tables.value(singleTableOf(sql).toLower());
    const QSqlRecord record = query.record();
    QList<Recordset::Column> columns;
    for (int i = 0; i < record.count(); ++i) {
        Recordset::Column column;
        column.name = record.fieldName(i);
        column.type = m_fieldTypesByName.value(column.name.toLower(), FieldType::Other);
        for (const auto &[field, type] : table.fields) {
            if (field.compare(column.name, Qt::CaseInsensitive) == 0) {
                column.field = field;
                column.type = type;
                break;
            }
        }
        columns.append(column);
    }

    QList<Recordset::Row> rows;
    while (query.next()) {
        QVariantList row(columns.size());
        for (int i = 0; i < columns.size(); ++i)
            row[i] = fieldValue(query.value(i), columns.at(i).type);
        rows.append(Recordset::Row { row, 0 });
    }
    if (query.lastError().isValid())
        return nullptr;

    return std::unique_ptr<Recordset>(
        new Recordset(m_connectionName, table.name, std::move(columns), std::move(rows)));
}

bool Database::executeStatement(const QString &sql, const QVariantList &values)
{
    if (!m_open)
        return false;
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    return run(query, sql, values);
}

bool Database::transaction()
{
    return m_open && QSqlDatabase::database(m_connectionName, false).transaction();
}

bool Database::commit()
{
    return m_open && QSqlDatabase::database(m_connectionName, false).commit();
}

bool Database::rollback()
{
    return m_open && QSqlDatabase::database(m_connectionName, false).rollback();
}

bool Database::compact(const QString &sourceFile, const QString &targetFile)
{
    if (targetFile.isEmpty() || QFileInfo::exists(targetFile))
        return false;
    bool ok = false;
    {
        // Closing this last connection folds the write-ahead log back into the source.
        Database source;
        ok = source.open(sourceFile)
            && source.executeStatement(
                QStringLiteral("VACUUM INTO ?"), { QFileInfo(targetFile).absoluteFilePath() });
    }
    if (!ok)
        QFile::remove(targetFile);
    return ok;
}

bool Database::refreshSchema()
{
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA schema_version")) || !query.next())
        return false;
    const qint64 version = query.value(0).toLongLong();
    if (version == m_schemaVersion)
        return true;

    m_tables.clear();
    m_fieldTypesByName.clear();
    if (!query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' "
                                   "AND name NOT LIKE 'sqlite\\_%' ESCAPE '\\'")))
        return false;
    QStringList names;
    while (query.next())
        names.append(query.value(0).toString());

    // A result column named like a field reads with that field's type, unless tables disagree.
    QSet<QString> ambiguous;
    for (const QString &name : names) {
        TableInfo table { name, {} };
        if (!run(query, QStringLiteral("SELECT name, type FROM pragma_table_info(?)"), { name }))
            return false;
        while (query.next()) {
            const QString field = query.value(0).toString();
            const FieldType type = fieldTypeFromDeclaration(query.value(1).toString());
            table.fields.append({ field, type });
            const QString key = field.toLower();
            if (ambiguous.contains(key))
                continue;
            if (m_fieldTypesByName.contains(key) && m_fieldTypesByName.value(key) != type) {
                m_fieldTypesByName.remove(key);
                ambiguous.insert(key);
            } else {
                m_fieldTypesByName.insert(key, type);
            }
        }
        m_tables.insert(name.toLower(), table);
    }
    m_schemaVersion = version;
    return true;
}

bool Database::run(QSqlQuery &query, const QString &sql, const QVariantList &values)
{
    if (!query.prepare(sql))
        return false;
    for (const QVariant &value : values)
        query.addBindValue(storageValue(value));
    return query.exec();
}

QVariant Database::storageValue(const QVariant &value)
{
    if (value.isNull())
        return QVariant();
    switch (value.typeId()) {
    case QMetaType::QDateTime: {
        const QDateTime date = value.toDateTime();
        return date.isValid() ? QVariant(DateText::toText(date)) : QVariant();
    }
    case QMetaType::QDate: {
        const QDate date = value.toDate();
        return date.isValid() ? QVariant(DateText::toText(date.startOfDay())) : QVariant();
    }
    case QMetaType::Bool:
        return value.toBool() ? -1 : 0;
    default:
        return value;
    }
}

QVariant Database::fieldValue(const QVariant &stored, FieldType type)
{
    if (stored.isNull())
        return QVariant();
    if (type == FieldType::Date && stored.typeId() == QMetaType::QString) {
        const QDateTime date = DateText::fromText(stored.toString());
        if (date.isValid())
            return date;
    }
    return stored;
}

QString Database::quotedName(const QString &name)
{
    QString quoted = name;
    quoted.replace(u'"', QLatin1String("\"\""));
    return u'"' + quoted + u'"';
}

std::unique_ptr<Recordset> OpenQuery(const QString &sql, const QVariantList &values)
{
    return Database::instance().openQuery(sql, values);
}

bool ExecuteStatement(const QString &sql, const QVariantList &values)
{
    return Database::instance().executeStatement(sql, values);
}
