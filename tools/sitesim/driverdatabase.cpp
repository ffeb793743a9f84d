#include "driverdatabase.h"

#include <QAtomicInteger>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

QAtomicInteger<int> s_connections;

QVariant timeValue(SiteTime time)
{
    return time.isValid() ? QVariant(time.toText()) : QVariant(QMetaType(QMetaType::QString));
}

const QString kInsertEvent = QStringLiteral(
    "INSERT INTO eventlog (uniqueid, machid, eventdata, logtime, showid, eventtime) "
    "VALUES (?, ?, ?, ?, ?, ?)");

void bindEvent(QSqlQuery &query, const DriverEvent &event)
{
    query.bindValue(0, event.uniqueId);
    query.bindValue(1, event.machId);
    query.bindValue(2, event.eventData);
    query.bindValue(3, timeValue(event.logTime));
    query.bindValue(4, event.showId);
    query.bindValue(5, timeValue(event.eventTime));
}

} // namespace

DriverDatabase::DriverDatabase()
    : m_connectionName(QStringLiteral("sitesim-driver-%1").arg(s_connections.fetchAndAddRelaxed(1)))
{
}

DriverDatabase::~DriverDatabase()
{
    close();
}

bool DriverDatabase::create(const QString &path)
{
    close();
    if (QFileInfo::exists(path))
        return fail(QStringLiteral("Cannot create %1").arg(path),
            QStringLiteral("the file exists already"));
    if (!openConnection(path))
        return false;
    const bool ok = exec(QStringLiteral(
                        "CREATE TABLE eventlog (uniqueid INTEGER PRIMARY KEY, machid INTEGER NOT "
                        "NULL, eventdata BLOB NOT NULL, logtime TEXT NOT NULL, showid INTEGER NOT "
                        "NULL, eventtime TEXT NOT NULL)"))
        && exec(QStringLiteral("CREATE TABLE operators (uniqueid INTEGER PRIMARY KEY, id INTEGER "
                               "NOT NULL, name TEXT NOT NULL, startdate TEXT, enddate TEXT)"));
    if (!ok)
        close();
    return ok;
}

bool DriverDatabase::open(const QString &path)
{
    close();
    if (!QFileInfo(path).isFile())
        return fail(
            QStringLiteral("Cannot open %1").arg(path), QStringLiteral("there is no such file"));
    if (!openConnection(path))
        return false;
    const QStringList tables = connection().tables();
    if (!tables.contains(QStringLiteral("eventlog"))
        || !tables.contains(QStringLiteral("operators"))) {
        close();
        return fail(QStringLiteral("Cannot open %1").arg(path),
            QStringLiteral("it is not a driver database"));
    }
    return true;
}

void DriverDatabase::close()
{
    m_insertEvent.reset();
    m_insertOperator.reset();
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

bool DriverDatabase::isOpen() const
{
    return QSqlDatabase::contains(m_connectionName) && connection().isOpen();
}

QSqlDatabase DriverDatabase::connection() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

bool DriverDatabase::beginLoad()
{
    if (!isOpen())
        return fail(QStringLiteral("Cannot load"), QStringLiteral("no database is open"));
    // A fresh load is all or nothing, so the journal need not survive a crash.
    if (!exec(QStringLiteral("PRAGMA synchronous = OFF"))
        || !exec(QStringLiteral("PRAGMA journal_mode = MEMORY")))
        return false;
    if (!connection().transaction())
        return fail(QStringLiteral("Cannot begin a transaction"), connection().lastError().text());
    m_insertEvent = std::make_unique<QSqlQuery>(connection());
    m_insertOperator = std::make_unique<QSqlQuery>(connection());
    if (!m_insertEvent->prepare(kInsertEvent))
        return fail(
            QStringLiteral("Cannot prepare the event insert"), m_insertEvent->lastError().text());
    if (!m_insertOperator->prepare(
            QStringLiteral("INSERT INTO operators (uniqueid, id, name, startdate, enddate) "
                           "VALUES (?, ?, ?, ?, ?)")))
        return fail(QStringLiteral("Cannot prepare the operator insert"),
            m_insertOperator->lastError().text());
    return true;
}

bool DriverDatabase::addEvent(const DriverEvent &event)
{
    if (!m_insertEvent)
        return fail(QStringLiteral("Cannot add an event"), QStringLiteral("no load is running"));
    bindEvent(*m_insertEvent, event);
    if (!m_insertEvent->exec())
        return fail(QStringLiteral("Cannot add event %1").arg(event.uniqueId),
            m_insertEvent->lastError().text());
    return true;
}

bool DriverDatabase::addOperator(const DriverOperator &op)
{
    if (!m_insertOperator)
        return fail(QStringLiteral("Cannot add an operator"), QStringLiteral("no load is running"));
    m_insertOperator->bindValue(0, op.uniqueId);
    m_insertOperator->bindValue(1, op.id);
    m_insertOperator->bindValue(2, op.name);
    m_insertOperator->bindValue(3, timeValue(op.startDate));
    m_insertOperator->bindValue(4, timeValue(op.endDate));
    if (!m_insertOperator->exec())
        return fail(QStringLiteral("Cannot add operator %1").arg(op.uniqueId),
            m_insertOperator->lastError().text());
    return true;
}

bool DriverDatabase::finishLoad()
{
    if (!m_insertEvent)
        return fail(QStringLiteral("Cannot finish the load"), QStringLiteral("no load is running"));
    m_insertEvent.reset();
    m_insertOperator.reset();
    if (!exec(QStringLiteral(
            "CREATE INDEX IF NOT EXISTS eventlog_eventtime ON eventlog (eventtime)")))
        return false;
    if (!connection().commit())
        return fail(QStringLiteral("Cannot commit"), connection().lastError().text());
    return exec(QStringLiteral("PRAGMA synchronous = FULL"))
        && exec(QStringLiteral("PRAGMA journal_mode = DELETE"));
}

bool DriverDatabase::appendEvents(const QList<DriverEvent> &events)
{
    if (!isOpen())
        return fail(QStringLiteral("Cannot add events"), QStringLiteral("no database is open"));
    if (m_insertEvent)
        return fail(QStringLiteral("Cannot add events"), QStringLiteral("a load is running"));
    QSqlDatabase db = connection();
    if (!db.transaction())
        return fail(QStringLiteral("Cannot begin a transaction"), db.lastError().text());
    QSqlQuery insert(db);
    bool ok = insert.prepare(kInsertEvent);
    for (qsizetype i = 0; ok && i < events.size(); ++i) {
        bindEvent(insert, events[i]);
        ok = insert.exec();
    }
    if (!ok) {
        const QString detail = insert.lastError().text();
        insert.finish();
        db.rollback();
        return fail(QStringLiteral("Cannot add events"), detail);
    }
    insert.finish();
    if (!db.commit())
        return fail(QStringLiteral("Cannot commit"), db.lastError().text());
    return true;
}

QList<DriverOperator> DriverDatabase::operators()
{
    QList<DriverOperator> rows;
    QSqlQuery q(connection());
    if (!q.exec(QStringLiteral(
            "SELECT uniqueid, id, name, startdate, enddate FROM operators ORDER BY uniqueid"))) {
        fail(QStringLiteral("Cannot read the operators"), q.lastError().text());
        return rows;
    }
    while (q.next()) {
        DriverOperator op;
        op.uniqueId = q.value(0).toInt();
        op.id = q.value(1).toInt();
        op.name = q.value(2).toString();
        op.startDate = SiteTime::fromText(q.value(3).toString());
        op.endDate = SiteTime::fromText(q.value(4).toString());
        rows.append(op);
    }
    return rows;
}

qint64 DriverDatabase::eventCount()
{
    QSqlQuery q(connection());
    if (!q.exec(QStringLiteral("SELECT count(*) FROM eventlog")) || !q.next()) {
        fail(QStringLiteral("Cannot count the events"), q.lastError().text());
        return -1;
    }
    return q.value(0).toLongLong();
}

bool DriverDatabase::openConnection(const QString &path)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    db.setDatabaseName(path);
    if (!db.open()) {
        const QString detail = db.lastError().text();
        db = QSqlDatabase();
        close();
        return fail(QStringLiteral("Cannot open %1").arg(path), detail);
    }
    m_error.clear();
    return true;
}

bool DriverDatabase::exec(const QString &sql)
{
    QSqlQuery q(connection());
    if (!q.exec(sql))
        return fail(QStringLiteral("Cannot run \"%1\"").arg(sql), q.lastError().text());
    return true;
}

bool DriverDatabase::fail(const QString &what, const QString &detail)
{
    m_error = what + QStringLiteral(": ") + detail;
    return false;
}
