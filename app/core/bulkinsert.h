#pragma once

#include <QString>
#include <QStringList>

class Database;
struct sqlite3;
struct sqlite3_stmt;

/// \brief One prepared INSERT for copying many rows into a table of a Database: values are bound
/// by position straight into SQLite, without the QVariant round trips of a Recordset.
///
/// Values are bound as the tables hold them: whole numbers, text, and dates as the program's
/// date text (DateText). Run the rows inside a transaction of the same database. The statement
/// belongs to the database's connection: destroy it before the database is closed.
class BulkInsert
{
public:
    /// Prepares "INSERT INTO table (fields...) VALUES (?, ...)"; isValid() tells whether it could.
    BulkInsert(Database &database, const QString &table, const QStringList &fields);
    ~BulkInsert();
    BulkInsert(const BulkInsert &) = delete;
    BulkInsert &operator=(const BulkInsert &) = delete;

    bool isValid() const { return m_statement != nullptr; }

    /// Binds the value of field \a index (0-based, in the order given) for the next exec().
    void bind(int index, qint64 value);
    void bind(int index, const QString &text);
    void bindNull(int index);

    /// Inserts one row with the bound values and clears them; false when SQLite refused it.
    bool exec();

private:
    sqlite3 *m_handle = nullptr;
    sqlite3_stmt *m_statement = nullptr;
};
