#pragma once

#include "sitetime.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>

#include <memory>

/// One row of the driver's `eventlog` table.
struct DriverEvent
{
    qint64 uniqueId = 0;
    int machId = 0; // the unit's network number, which is the house number
    int showId = 0; // 0 outside a show
    QByteArray eventData; // the raw event record
    SiteTime logTime;
    SiteTime eventTime;

    bool operator==(const DriverEvent &) const = default;
};

/// One row of the driver's `operators` table.
struct DriverOperator
{
    int uniqueId = 0;
    int id = 0; // the operator number typed at the keypad
    QString name;
    SiteTime startDate;
    SiteTime endDate; // invalid while the operator still works at the site

    bool operator==(const DriverOperator &) const = default;
};

class QSqlQuery;

/// \brief The driver's own SQLite database: the `eventlog` and `operators` tables.
///
/// Times are stored as SiteTime text ("yyyy-MM-dd HH:mm:ss"), which sorts and compares in time
/// order; an operator who still works has a NULL `enddate`. `eventdata` is a BLOB of the raw
/// record. An index on `eventtime` serves the driver's date-bounded queries.
class DriverDatabase
{
public:
    DriverDatabase();
    ~DriverDatabase();
    DriverDatabase(const DriverDatabase &) = delete;
    DriverDatabase &operator=(const DriverDatabase &) = delete;

    /// Creates the file with empty tables and opens it; refuses when \a path exists.
    bool create(const QString &path);
    /// Opens an existing driver database; refuses a file without the two tables.
    bool open(const QString &path);
    void close();
    bool isOpen() const;

    /// The open connection, for queries of its own.
    QSqlDatabase connection() const;
    QString lastError() const { return m_error; }

    /// Bulk loading: begin, add rows, finish (builds the index and commits). Rows can only be
    /// added between the two.
    bool beginLoad();
    bool addEvent(const DriverEvent &event);
    bool addOperator(const DriverOperator &op);
    bool finishLoad();

    /// Adds events to an open database outside a load, all or none, in one transaction.
    bool appendEvents(const QList<DriverEvent> &events);

    /// Every operator row, in `uniqueid` order; empty on failure.
    QList<DriverOperator> operators();
    qint64 eventCount();

private:
    bool openConnection(const QString &path);
    bool exec(const QString &sql);
    bool fail(const QString &what, const QString &detail);

    QString m_connectionName;
    QString m_error;
    std::unique_ptr<QSqlQuery> m_insertEvent;
    std::unique_ptr<QSqlQuery> m_insertOperator;
};
