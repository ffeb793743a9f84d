#pragma once

#include "core/recordset.h"

#include <QHash>
#include <QString>
#include <QVariant>

#include <memory>

class QSqlQuery;

/// \brief A local database file, held open through one named SQLite connection.
///
/// instance() is the program's database, which OpenQuery() and ExecuteStatement() use; tests and
/// tools may open further Database objects on files in any folder.
///
/// Statements are SQLite's own SQL with positional `?` placeholders; outside values always travel
/// as \a values, never pasted into the text. Bound values are stored as the tables hold them:
/// QDateTime and QDate as date text (a QDate at midnight), booleans as -1 and 0. Failures are
/// results only; nothing is reported.
class Database
{
public:
    Database();
    ~Database();
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    static Database &instance();

    /// Opens an existing database file for reading and writing; a missing or unreadable file, or
    /// one that is not a database, fails without creating anything. Closes what was open before.
    bool open(const QString &fileName);
    /// Creates a new, empty database file and opens it; fails when the file exists.
    bool create(const QString &fileName);
    void close();
    bool isOpen() const { return m_open; }
    QString fileName() const { return m_fileName; }

    /// Runs a SELECT statement and returns its rows as a cursor (see Recordset); nullptr on any
    /// error, for a statement that is not a SELECT, or when no database is open.
    std::unique_ptr<Recordset> openQuery(const QString &sql, const QVariantList &values = {});
    /// Runs one statement; false on any error or when no database is open.
    bool executeStatement(const QString &sql, const QVariantList &values = {});

    bool transaction();
    bool commit();
    bool rollback();

    /// Writes a compacted copy of the database file \a sourceFile to \a targetFile, which must not
    /// exist. The source must not be open in this process; it is left unchanged, and it has no
    /// write-ahead log beside it afterwards, so it may then be replaced by the copy.
    static bool compact(const QString &sourceFile, const QString &targetFile);

private:
    friend class Recordset;
    friend class BulkInsert;

    struct TableInfo
    {
        QString name;
        QList<QPair<QString, FieldType>> fields;
    };

    explicit Database(const QString &connectionName);

    bool openConnection(const QString &fileName);
    bool refreshSchema();

    static bool run(QSqlQuery &query, const QString &sql, const QVariantList &values);
    static QVariant storageValue(const QVariant &value);
    static QVariant fieldValue(const QVariant &stored, FieldType type);
    static QString quotedName(const QString &name);

    QString m_connectionName;
    QString m_fileName;
    bool m_open = false;

    // What the cursors need to know of the tables, kept until the schema version changes.
    qint64 m_schemaVersion = -1;
    QHash<QString, TableInfo> m_tables;
    QHash<QString, FieldType> m_fieldTypesByName;
};

/// Opens a cursor on the program's database; see Database::openQuery().
std::unique_ptr<Recordset> OpenQuery(const QString &sql, const QVariantList &values = {});

/// Runs a statement on the program's database; see Database::executeStatement().
bool ExecuteStatement(const QString &sql, const QVariantList &values = {});
