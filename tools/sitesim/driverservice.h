#pragma once

#include "localclient.h"

#include <QHash>
#include <QString>

class DriverDatabase;
struct sqlite3;
struct sqlite3_stmt;

/// \brief The driver's answers: recordsets from its database and changes to its operator list.
///
/// "GET RECORDSET" runs a statement that DriverQuery understands; "SAVE OPERATOR" adds an
/// operator; "DELETE OPERATOR" ends the operator's time at the site (the row stays, with today
/// as its `enddate`, so the history of who held a number is kept). Anything else, and any
/// statement it does not understand, gets a driver error; nothing from the client reaches SQL
/// except as a bound value.
///
/// Recordsets are read through SQLite's own interface on the database's connection: batches
/// of events are what the driver serves most, and reading them as QVariants cost three times
/// the query itself.
class DriverService
{
public:
    /// The built-in driver's client identity on the router.
    static constexpr QLatin1StringView DefaultId { "1-3" };
    static constexpr QLatin1StringView DefaultName { "Tarvik Driver" };
    static constexpr qint32 ClientType = 3;
    static constexpr QLatin1StringView TypeName { "Tarvik" };

    /// "Command Error": a request or statement the driver refuses.
    static constexpr qint32 CommandError = 2002;
    /// "Internal Tarvik Driver Database Error!!!": the database failed.
    static constexpr qint32 DatabaseError = 9001;
    /// Rows one answer may hold; a statement that gives more is refused (ask with "top N").
    static constexpr int MaxRows = 10000;

    explicit DriverService(DriverDatabase &database);
    ~DriverService();
    DriverService(const DriverService &) = delete;
    DriverService &operator=(const DriverService &) = delete;

    /// The answer to \a function with its data section \a data.
    LocalAnswer answer(const QString &function, const QString &data);

    LocalAnswer getRecordset(const QString &statement);
    LocalAnswer saveOperator(const QString &name, const QString &idText);
    LocalAnswer deleteOperator(const QString &idText);

    /// This service as a client of the router, under \a id and \a name.
    LocalClient localClient(const QString &id, const QString &name);

private:
    sqlite3 *handle() const;
    sqlite3_stmt *prepared(const QString &sql, QString *error);
    void finalizeAll();

    DriverDatabase &m_database;
    QHash<QString, sqlite3_stmt *> m_prepared; // by SQL text
};
