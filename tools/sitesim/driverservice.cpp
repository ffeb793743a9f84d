#include "driverservice.h"

#include "core/clock.h"
#include "core/datetext.h"
#include "driverdatabase.h"
#include "driverquery.h"
#include "messagetext.h"
#include "router/serverconnectionheader.h"
#include "router/valuetext.h"
#include "sitetime.h"

#include <QScopeGuard>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <sqlite3.h>

#include <cmath>

namespace {

constexpr int kMaxPrepared = 32;

LocalAnswer refusal(qint32 code, const QString &text)
{
    return { code, text, QString() };
}

LocalAnswer commandError(const QString &text)
{
    return refusal(DriverService::CommandError, text);
}

LocalAnswer databaseError(const QString &detail)
{
    return refusal(
        DriverService::DatabaseError, QStringLiteral("Driver database error: ") + detail);
}

// Stored "yyyy-MM-dd HH:mm:ss" as M/d/yyyy H:mm:ss, straight from the digits: this runs for
// two columns of every event sent. Anything else (NULL included) is written as nothing.
void appendTime(QString &out, const unsigned char *stored, int size)
{
    if (!stored || size != 19 || stored[4] != '-' || stored[7] != '-' || stored[10] != ' '
        || stored[13] != ':' || stored[16] != ':')
        return;
    for (int i : { 0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18 })
        if (stored[i] < '0' || stored[i] > '9')
            return;
    char text[19];
    int n = 0;
    const auto unpadded = [&](int at) {
        if (stored[at] != '0')
            text[n++] = char(stored[at]);
        text[n++] = char(stored[at + 1]);
    };
    const auto copy = [&](int at, int count) {
        for (int i = 0; i < count; ++i)
            text[n++] = char(stored[at + i]);
    };
    unpadded(5);
    text[n++] = '/';
    unpadded(8);
    text[n++] = '/';
    copy(0, 4);
    text[n++] = ' ';
    unpadded(11);
    text[n++] = ':';
    copy(14, 2);
    text[n++] = ':';
    copy(17, 2);
    out += QLatin1StringView(text, n);
}

bool bind(sqlite3_stmt *statement, int index, const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::LongLong:
        return sqlite3_bind_int64(statement, index, value.toLongLong()) == SQLITE_OK;
    case QMetaType::Double:
        return sqlite3_bind_double(statement, index, value.toDouble()) == SQLITE_OK;
    default: {
        const QByteArray text = value.toString().toUtf8();
        return sqlite3_bind_text(
                   statement, index, text.constData(), int(text.size()), SQLITE_TRANSIENT)
            == SQLITE_OK;
    }
    }
}

QString sqliteError(sqlite3 *db)
{
    return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("the database is not open");
}

// The operator ID a client sent: a whole number of 0 or more.
bool operatorId(const QString &text, qint32 *id)
{
    if (!ValueText::isNumber(text))
        return false;
    const double value = ValueText::numericValue(text);
    if (value < 0 || value > 2147483647.0 || value != std::trunc(value))
        return false;
    *id = static_cast<qint32>(value);
    return true;
}

QString zeroDateText()
{
    return SiteTime::fromDateTime(DateText::zeroDate()).toText();
}

QString nowText()
{
    return SiteTime::fromDateTime(Clock::currentDateTime()).toText();
}

} // namespace

DriverService::DriverService(DriverDatabase &database)
    : m_database(database)
{
    // Batches walk the whole event log; mapped pages spare a read call per page.
    QSqlQuery(m_database.connection()).exec(QStringLiteral("PRAGMA mmap_size = 268435456"));
}

// Statements must be gone before the database connection closes.
DriverService::~DriverService()
{
    finalizeAll();
}

LocalAnswer DriverService::answer(const QString &function, const QString &data)
{
    using ServerConnectionHeader::GetItem;
    if (function == QStringLiteral("GET RECORDSET"))
        return getRecordset(GetItem(data, 1));
    if (function == QStringLiteral("SAVE OPERATOR"))
        return saveOperator(GetItem(data, 1), GetItem(data, 2));
    if (function == QStringLiteral("DELETE OPERATOR"))
        return deleteOperator(GetItem(data, 1));
    return commandError(QStringLiteral("The driver does not answer \"%1\"").arg(function));
}

LocalAnswer DriverService::getRecordset(const QString &statement)
{
    using ServerConnectionHeader::ItemToken;
    using ServerConnectionHeader::RecordToken;
    if (ValueText::trimBlanks(statement).isEmpty())
        return commandError(QStringLiteral("No statement was sent"));
    QString why;
    const std::optional<DriverStatement> translated
        = DriverQuery::translate(statement, MaxRows, &why);
    if (!translated)
        return commandError(QStringLiteral("Statement not supported: ") + why);

    sqlite3_stmt *query = prepared(translated->sql, &why);
    if (!query)
        return databaseError(why);
    // Leaves the statement ready for its next use, whatever way this ends.
    const auto done = qScopeGuard([query] {
        sqlite3_reset(query);
        sqlite3_clear_bindings(query);
    });
    for (int i = 0; i < translated->bindings.size(); ++i)
        if (!bind(query, i + 1, translated->bindings[i]))
            return databaseError(sqliteError(handle()));

    const QList<DriverField> &fields = translated->fields;
    QString data;
    for (const DriverField &f : fields)
        data += f.name % ItemToken % QString::number(f.typeCode) % ItemToken;
    data += RecordToken;
    int rows = 0;
    int step = SQLITE_ROW;
    while ((step = sqlite3_step(query)) == SQLITE_ROW) {
        if (++rows > MaxRows)
            return commandError(
                QStringLiteral("The statement gives more than %1 rows; ask with \"top N\"")
                    .arg(MaxRows));
        for (int i = 0; i < fields.size(); ++i) {
            const bool null = sqlite3_column_type(query, i) == SQLITE_NULL;
            switch (fields[i].kind) {
            case DriverValueKind::Integer:
                if (!null)
                    data += MessageText::number(sqlite3_column_int64(query, i));
                break;
            case DriverValueKind::Time:
                if (!null)
                    appendTime(data, sqlite3_column_text(query, i), sqlite3_column_bytes(query, i));
                break;
            case DriverValueKind::Text:
            case DriverValueKind::Bytes: {
                if (null)
                    break;
                const QString text = fields[i].kind == DriverValueKind::Bytes
                    ? QString::fromLatin1(static_cast<const char *>(sqlite3_column_blob(query, i)),
                        sqlite3_column_bytes(query, i))
                    : QString::fromUtf8(
                        reinterpret_cast<const char *>(sqlite3_column_text(query, i)),
                        sqlite3_column_bytes(query, i));
                if (!MessageText::fitsItem(text))
                    return databaseError(QStringLiteral("row %1 holds a %2 that cannot be sent")
                                             .arg(rows)
                                             .arg(fields[i].name));
                data += text;
                break;
            }
            }
            data += ItemToken;
        }
        data += RecordToken;
    }
    if (step != SQLITE_DONE)
        return databaseError(sqliteError(handle()));
    return { 0, QString(), data };
}

LocalAnswer DriverService::saveOperator(const QString &name, const QString &idText)
{
    qint32 id = 0;
    if (ValueText::trimBlanks(name).isEmpty())
        return commandError(QStringLiteral("The operator needs a name"));
    if (!operatorId(idText, &id))
        return commandError(QStringLiteral("The operator ID must be a whole number of 0 or more"));

    QSqlQuery q(m_database.connection());
    q.prepare(QStringLiteral("SELECT count(*) FROM operators WHERE id = ? AND (enddate IS NULL "
                             "OR enddate = ?)"));
    q.addBindValue(id);
    q.addBindValue(zeroDateText());
    if (!q.exec() || !q.next())
        return databaseError(q.lastError().text());
    if (q.value(0).toLongLong() > 0)
        return commandError(QStringLiteral("An operator with ID %1 already exists").arg(id));
    q.finish();

    q.prepare(QStringLiteral(
        "INSERT INTO operators (id, name, startdate, enddate) VALUES (?, ?, ?, NULL)"));
    q.addBindValue(id);
    q.addBindValue(name);
    q.addBindValue(nowText());
    if (!q.exec())
        return databaseError(q.lastError().text());
    return { 0, QString(), MessageText::number(id) + ServerConnectionHeader::ItemToken };
}

LocalAnswer DriverService::deleteOperator(const QString &idText)
{
    qint32 id = 0;
    if (!operatorId(idText, &id))
        return commandError(QStringLiteral("The operator ID must be a whole number of 0 or more"));
    QSqlQuery q(m_database.connection());
    q.prepare(QStringLiteral(
        "UPDATE operators SET enddate = ? WHERE id = ? AND (enddate IS NULL OR enddate = ?)"));
    q.addBindValue(nowText());
    q.addBindValue(id);
    q.addBindValue(zeroDateText());
    if (!q.exec())
        return databaseError(q.lastError().text());
    if (q.numRowsAffected() < 1)
        return commandError(QStringLiteral("There is no operator with ID %1").arg(id));
    return { 0, QString(), MessageText::number(id) + ServerConnectionHeader::ItemToken };
}

LocalClient DriverService::localClient(const QString &id, const QString &name)
{
    return { id, name, ClientType, TypeName.toString(),
        [this](const QString &function, const QString &data) { return answer(function, data); } };
}

sqlite3 *DriverService::handle() const
{
    // QSQLITE hands out its sqlite3 connection as a QVariant of type "sqlite3*".
    const QVariant v = m_database.connection().driver()->handle();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0)
        return nullptr;
    return *static_cast<sqlite3 *const *>(v.constData());
}

sqlite3_stmt *DriverService::prepared(const QString &sql, QString *error)
{
    if (sqlite3_stmt *statement = m_prepared.value(sql))
        return statement;
    sqlite3 *db = handle();
    if (!db) {
        *error = sqliteError(db);
        return nullptr;
    }
    if (m_prepared.size() >= kMaxPrepared)
        finalizeAll();
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt *statement = nullptr;
    if (sqlite3_prepare_v2(db, text.constData(), int(text.size()), &statement, nullptr)
        != SQLITE_OK) {
        *error = sqliteError(db);
        sqlite3_finalize(statement);
        return nullptr;
    }
    m_prepared.insert(sql, statement);
    return statement;
}

void DriverService::finalizeAll()
{
    for (sqlite3_stmt *statement : std::as_const(m_prepared))
        sqlite3_finalize(statement);
    m_prepared.clear();
}
