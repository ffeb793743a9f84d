#include "events/eventlog.h"

#include "core/bulkinsert.h"
#include "core/clock.h"
#include "core/datetext.h"
#include "core/progress.h"
#include "core/settingskeys.h"
#include "core/statusline.h"
#include "events/dailystats.h"
#include "events/eventrecord.h"
#include "router/serverconnection.h"
#include "router/tcpiprecordset.h"
#include "router/valuetext.h"

#include <QPointer>
#include <QScopeGuard>

#include <cmath>
#include <limits>
#include <optional>

namespace EventLog {

namespace {

const QString kStatusText = QStringLiteral("Synchronizing Event Log Database");
const QString kOperatorsMessage = QStringLiteral("Synchronizing Operator Information");

const QString kNoDriver = QStringLiteral("Tarvik Driver has not been selected.");
const QString kOperatorsFailed = QStringLiteral("Could not synchronize Operators");
const QString kAlreadyRunning = QStringLiteral("The event log is being synchronized already.");
const QString kRouterGone = QStringLiteral("The connection to the router was closed.");
const QString kRequestFailed = QStringLiteral("The Tarvik driver's answer was error %1.");
const QString kNoEventNumbers
    = QStringLiteral("The Tarvik driver's events came without their uniqueid.");
const QString kBadEventNumber
    = QStringLiteral("The Tarvik driver sent event number '%1' where one above %2 was due.");
const QString kLocalReadFailed = QStringLiteral("Could not read the local event log.");
const QString kLocalStoreFailed
    = QStringLiteral("Could not store the events in the local event log.");
const QString kStatisticsFailed = QStringLiteral("Could not update the show statistics.");

const QString kUniqueId = QStringLiteral("uniqueid");

QString s_lastFailure;
QDateTime s_lastSyncTime;
bool s_running = false;

// Numbers in statements for the driver: decimal, non-negative ones with a leading blank.
QString numberText(qint64 number)
{
    return number < 0 ? QString::number(number) : u' ' + QString::number(number);
}

// A driver record number: a whole number that fits the local 32-bit `EVID` and `ID` fields.
std::optional<qint64> recordNumber(const QString &text)
{
    if (!ValueText::isNumber(text))
        return std::nullopt;
    const double value = ValueText::numericValue(text);
    if (value < 0 || value > std::numeric_limits<qint32>::max() || value != std::trunc(value))
        return std::nullopt;
    return static_cast<qint64>(value);
}

// A date column of the driver: null when blank, the zero date when it does not parse.
QVariant dateValue(TCPIPRecordSet &rows, int row, const QString &field)
{
    const QString text = rows.AsString(row, field);
    if (ValueText::trimBlanks(text).isEmpty())
        return QVariant();
    return ValueText::dateTimeValue(text);
}

bool storeOperator(TCPIPRecordSet &rows, int row, Database &database)
{
    const std::optional<qint64> id = recordNumber(rows.AsString(row, kUniqueId));
    if (!id)
        return false;
    const std::unique_ptr<Recordset> local
        = database.openQuery(QStringLiteral("SELECT * FROM operators WHERE id = ?"), { *id });
    if (!local || !(local->eof() ? local->addNew() : local->edit()))
        return false;
    // A null or zero end date leaves the local one as it was.
    const QVariant endDate = dateValue(rows, row, QStringLiteral("enddate"));
    if (!endDate.isNull() && endDate.toDateTime() != DateText::zeroDate()
        && !local->setValue(QStringLiteral("EndDate"), endDate))
        return false;
    return local->setValue(
               QStringLiteral("StartDate"), dateValue(rows, row, QStringLiteral("startdate")))
        && local->setValue(QStringLiteral("ProID"),
            ValueText::int32Value(rows.AsString(row, QStringLiteral("id"))))
        && local->setValue(QStringLiteral("ProName"), rows.AsString(row, QStringLiteral("name")))
        && local->setValue(QStringLiteral("ID"), *id) && local->update();
}

// The local columns of an event, in the order addEvent() binds them.
const QStringList kEventColumns = { QStringLiteral("Evid"), QStringLiteral("ShowID"),
    QStringLiteral("NetID"), QStringLiteral("LogTime"), QStringLiteral("CodeName"),
    QStringLiteral("EventTime"), QStringLiteral("RecVer"), QStringLiteral("DevType"),
    QStringLiteral("EvCode"), QStringLiteral("Flag1"), QStringLiteral("Flag2"),
    QStringLiteral("Seq"), QStringLiteral("Fut"), QStringLiteral("Down"), QStringLiteral("iLoop"),
    QStringLiteral("Prog"), QStringLiteral("Cue"), QStringLiteral("Stat"), QStringLiteral("P1"),
    QStringLiteral("P2"), QStringLiteral("P3"), QStringLiteral("P4"), QStringLiteral("P5"),
    QStringLiteral("P6"), QStringLiteral("P7"), QStringLiteral("P8") };

void bindDate(BulkInsert &insert, int index, const QDateTime &date)
{
    if (date.isValid())
        insert.bind(index, DateText::toText(date));
    else
        insert.bindNull(index);
}

// Adds driver row \a row with event number \a evid through \a insert.
bool addEvent(BulkInsert &insert, TCPIPRecordSet &batch, int row, qint64 evid)
{
    static const QString eventData = QStringLiteral("eventdata");
    static const QString showId = QStringLiteral("showid");
    static const QString machId = QStringLiteral("machid");
    static const QString logTime = QStringLiteral("logtime");

    const EventRecord r = EventRecord::decodeText(batch.AsString(row, eventData));
    insert.bind(0, evid);
    insert.bind(1, ValueText::int32Value(batch.AsString(row, showId)));
    insert.bind(2, ValueText::int32Value(batch.AsString(row, machId)));
    bindDate(insert, 3, ValueText::dateTimeValue(batch.AsString(row, logTime)));
    // A record too short for the name has an empty one, not none.
    insert.bind(4, r.CodeName.isNull() ? QStringLiteral("") : r.CodeName);
    bindDate(insert, 5, r.EventTime);
    const int decoded[] = { r.RecVer, r.DevType, r.EvCode, r.Flag1, r.Flag2, r.Seq, r.Fut, r.Down,
        r.iLoop, r.Prog, r.Cue, r.Stat, r.P1, r.P2, r.P3, r.P4, r.P5, r.P6, r.P7, r.P8 };
    int index = 6;
    for (const int value : decoded)
        insert.bind(index++, value);
    return insert.exec();
}

// One run of SyncEventLog after the operators: fills m_failure when it returns false.
class EventCopy
{
public:
    EventCopy(ServerConnection &router, const QString &driverID, Database &database)
        : m_router(&router)
        , m_driverID(driverID)
        , m_database(database)
    {
    }

    bool run();
    QString failure() const { return m_failure; }

private:
    std::optional<TCPIPRecordSet> query(const QString &sql);
    bool readWatermark();
    bool findFirstRunStart();
    bool countNewEvents();
    bool takeBatch(TCPIPRecordSet &batch);
    bool storePending();
    bool fail(const QString &text);
    void showReceived(const QString &greeting, const QString &total);

    QPointer<ServerConnection> m_router;
    QString m_driverID;
    Database &m_database;
    QString m_failure;
    // The last driver event received; the next batch starts after it.
    qint64 m_watermark = 0;
    qint64 m_total = 1;
    qint64 m_received = 0;
    // Whole batches received but not stored yet, with their event numbers.
    struct PendingBatch
    {
        TCPIPRecordSet rows;
        QList<qint64> numbers;
    };
    std::vector<PendingBatch> m_pending;
    qsizetype m_pendingRows = 0;
    // Storing this many events in one transaction instead of one batch at a time writes each
    // index page once instead of once a batch, which is most of the cost of a long copy.
    static constexpr int StoreRows = 2000;
};

bool EventCopy::fail(const QString &text)
{
    m_failure = text;
    return false;
}

std::optional<TCPIPRecordSet> EventCopy::query(const QString &sql)
{
    if (!m_router) {
        fail(kRouterGone);
        return std::nullopt;
    }
    std::optional<TCPIPRecordSet> rows = m_router->GetRecordset(m_driverID, sql);
    // Events run while the request waits; the connection may have been destroyed meanwhile.
    if (!m_router) {
        fail(kRouterGone);
        return std::nullopt;
    }
    if (!rows) {
        const QString text = m_router->GetLastErrorDescription();
        fail(text.isEmpty() ? kRequestFailed.arg(m_router->GetLastErrorCode()) : text);
    }
    return rows;
}

void EventCopy::showReceived(const QString &greeting, const QString &total)
{
    Progress::current().SetMessage(greeting + QStringLiteral("\r\nReceived ")
        + QString::number(m_received) + QStringLiteral(" of ") + total
        + QStringLiteral(" new events."));
}

bool EventCopy::readWatermark()
{
    const std::unique_ptr<Recordset> last
        = m_database.openQuery(QStringLiteral("SELECT MAX(evid) AS EventID FROM eventlog"));
    if (!last || last->eof())
        return fail(kLocalReadFailed);
    m_watermark = last->value(QStringLiteral("eventid")).toLongLong();
    return true;
}

bool EventCopy::findFirstRunStart()
{
    // Ordered, so that "top 1" is the first event on or after the cut-off whatever the driver's
    // own row order.
    const QDateTime cutOff = Clock::currentDateTime().addDays(-FirstRunDays);
    std::optional<TCPIPRecordSet> start
        = query(QStringLiteral("select top 1 uniqueid from eventlog where eventtime >= #")
            + ValueText::dateText(cutOff) + QStringLiteral("# order by uniqueid"));
    if (!start)
        return false;
    if (start->RecordCount() == 0)
        return true;
    if (start->FieldIndex(kUniqueId) == 0)
        return fail(kNoEventNumbers);
    const QString text = start->AsString(1, kUniqueId);
    const std::optional<qint64> first = recordNumber(text);
    if (!first)
        return fail(kBadEventNumber.arg(text, QString::number(m_watermark)));
    m_watermark = *first;
    return true;
}

bool EventCopy::countNewEvents()
{
    std::optional<TCPIPRecordSet> count
        = query(QStringLiteral("select count(*) as Qty from eventlog where uniqueid > ")
            + numberText(m_watermark));
    if (!count)
        return false;
    // The total only divides the progress.
    const qint64 total = count->RecordCount() > 0
        ? ValueText::int32Value(count->AsString(1, QStringLiteral("qty")))
        : 0;
    m_total = total > 0 ? total : 1;
    return true;
}

bool EventCopy::takeBatch(TCPIPRecordSet &batch)
{
    // Every row must take the watermark on, or the same batch would come back for ever; none may
    // be one already held.
    if (batch.FieldIndex(kUniqueId) == 0)
        return fail(kNoEventNumbers);
    QList<qint64> numbers;
    numbers.reserve(batch.RecordCount());
    qint64 last = m_watermark;
    for (int row = 1; row <= batch.RecordCount(); ++row) {
        const QString text = batch.AsString(row, kUniqueId);
        const std::optional<qint64> number = recordNumber(text);
        if (!number || *number <= last)
            return fail(kBadEventNumber.arg(text, QString::number(last)));
        numbers.append(*number);
        last = *number;
    }

    const QString total = QString::number(m_total);
    for (int row = 1; row <= batch.RecordCount(); ++row) {
        ++m_received;
        showReceived(QStringLiteral("Sychronizing Event Log Database... "), total);
        Progress::current().SetProgress(static_cast<int>(
            std::min<qint64>(m_received * 100 / m_total, std::numeric_limits<int>::max())));
    }
    m_watermark = last;
    m_pendingRows += numbers.size();
    m_pending.push_back({ std::move(batch), std::move(numbers) });
    return m_pendingRows < StoreRows || storePending();
}

// Stores the pending batches in one transaction: all of them or, on failure, none. No events
// are processed meanwhile, so nothing else writes into the transaction.
bool EventCopy::storePending()
{
    if (m_pending.empty())
        return true;
    BulkInsert insert(m_database, QStringLiteral("EventLog"), kEventColumns);
    if (!insert.isValid() || !m_database.transaction())
        return fail(kLocalStoreFailed);
    for (PendingBatch &batch : m_pending) {
        for (int row = 1; row <= batch.rows.RecordCount(); ++row) {
            if (!addEvent(insert, batch.rows, row, batch.numbers.at(row - 1))) {
                m_database.rollback();
                return fail(kLocalStoreFailed);
            }
        }
    }
    if (!m_database.commit()) {
        m_database.rollback();
        return fail(kLocalStoreFailed);
    }
    m_pending.clear();
    m_pendingRows = 0;
    return true;
}

bool EventCopy::run()
{
    showReceived(QStringLiteral("Synchronizing Event Log Database... "), QStringLiteral("?"));
    if (!readWatermark())
        return false;
    if (m_watermark == 0 && !findFirstRunStart())
        return false;
    if (!countNewEvents())
        return false;
    for (;;) {
        std::optional<TCPIPRecordSet> batch = query(QStringLiteral("select top %1 * from eventlog "
                                                                   "where uniqueid > ")
                                                        .arg(BatchSize)
            + numberText(m_watermark) + QStringLiteral(" order by uniqueid"));
        if (batch && batch->RecordCount() == 0)
            return storePending();
        if (!batch || !takeBatch(*batch)) {
            // The whole batches received before the failure are still kept; the failure stays
            // the reason given.
            const QString reason = m_failure;
            storePending();
            m_failure = reason;
            return false;
        }
    }
}

} // namespace

bool SyncOperators(ServerConnection &router, const QString &driverID, Database &database)
{
    std::optional<TCPIPRecordSet> rows
        = router.GetRecordset(driverID, QStringLiteral("select * from operators"));
    if (!rows)
        return false;
    if (rows->RecordCount() > 0 && rows->FieldIndex(kUniqueId) == 0)
        return false;
    if (!database.transaction())
        return false;
    for (int row = 1; row <= rows->RecordCount(); ++row) {
        if (!storeOperator(*rows, row, database)) {
            database.rollback();
            return false;
        }
    }
    if (!database.commit()) {
        database.rollback();
        return false;
    }
    return true;
}

bool SyncEventLog(ServerConnection &router, Database &database, const SettingsFile &settings)
{
    // Events run while the driver is asked; a second run started from one of them is refused.
    if (s_running) {
        s_lastFailure = kAlreadyRunning;
        return false;
    }
    s_running = true;
    const auto notRunning = qScopeGuard([] { s_running = false; });

    s_lastFailure.clear();
    const QString driverID = settings.GetFileValue(SettingsKeys::TarvikDriverID);
    if (driverID.isEmpty()) {
        s_lastFailure = kNoDriver;
        return false;
    }

    StatusLine::current().SetStatus(kStatusText);
    Progress::current().Display(kOperatorsMessage);
    QPointer<ServerConnection> guard(&router);
    QString failure;
    if (!SyncOperators(router, driverID, database)) {
        failure = kOperatorsFailed;
    } else if (!guard) {
        failure = kRouterGone;
    } else {
        EventCopy copy(router, driverID, database);
        if (!copy.run())
            failure = copy.failure();
        else if (DailyStats::UpdateShowStatistics(database) == DailyStats::UpdateResult::Failed)
            failure = kStatisticsFailed;
        else
            s_lastSyncTime = Clock::currentDateTime();
    }
    s_lastFailure = failure;
    StatusLine::current().RestoreStatus();
    Progress::current().Close();
    return failure.isEmpty();
}

QString GetLastFailure()
{
    return s_lastFailure;
}

QDateTime GetLastSyncTime()
{
    return s_lastSyncTime;
}

} // namespace EventLog
