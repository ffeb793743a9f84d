#include "core/bulkinsert.h"

#include "core/database.h"

#include <QSqlDatabase>
#include <QSqlDriver>

#include <sqlite3.h>

BulkInsert::BulkInsert(Database &database, const QString &table, const QStringList &fields)
{
    if (!database.isOpen() || fields.isEmpty())
        return;
    const QVariant handle
        = QSqlDatabase::database(database.m_connectionName, false).driver()->handle();
    if (qstrcmp(handle.typeName(), "sqlite3*") != 0)
        return;
    m_handle = *static_cast<sqlite3 *const *>(handle.data());
    QStringList quoted;
    for (const QString &field : fields)
        quoted.append(Database::quotedName(field));
    const QString sql = QStringLiteral("INSERT INTO ") + Database::quotedName(table)
        + QStringLiteral(" (") + quoted.join(QStringLiteral(", ")) + QStringLiteral(") VALUES (")
        + QStringList(fields.size(), QStringLiteral("?")).join(QStringLiteral(", "))
        + QStringLiteral(")");
    if (!m_handle
        || sqlite3_prepare16_v2(m_handle, sql.utf16(), -1, &m_statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(m_statement);
        m_statement = nullptr;
    }
}

BulkInsert::~BulkInsert()
{
    sqlite3_finalize(m_statement);
}

void BulkInsert::bind(int index, qint64 value)
{
    sqlite3_bind_int64(m_statement, index + 1, value);
}

void BulkInsert::bind(int index, const QString &text)
{
    sqlite3_bind_text16(m_statement, index + 1, text.utf16(), int(text.size() * sizeof(char16_t)),
        SQLITE_TRANSIENT);
}

void BulkInsert::bindNull(int index)
{
    sqlite3_bind_null(m_statement, index + 1);
}

bool BulkInsert::exec()
{
    if (!m_statement)
        return false;
    const bool done = sqlite3_step(m_statement) == SQLITE_DONE;
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
    return done;
}
