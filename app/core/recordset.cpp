#include "core/recordset.h"

#include "core/database.h"
#include "core/datetext.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <limits>

namespace {

const QString kDateDeclaration = QStringLiteral("DATETEXT");
const QString kUniqueId = QStringLiteral("UniqueID");

} // namespace

QString declaredFieldType(FieldType type)
{
    switch (type) {
    case FieldType::Long:
        return QStringLiteral("INTEGER");
    case FieldType::Date:
        return kDateDeclaration;
    case FieldType::Text:
        return QStringLiteral("TEXT");
    case FieldType::Other:
        break;
    }
    return QString();
}

FieldType fieldTypeFromDeclaration(const QString &declaredType)
{
    // The same reading as SQLite's column affinity rules, with the date declaration first.
    const QString type = declaredType.trimmed().toUpper();
    if (type == kDateDeclaration)
        return FieldType::Date;
    if (type.contains(QLatin1String("INT")))
        return FieldType::Long;
    if (type.contains(QLatin1String("CHAR")) || type.contains(QLatin1String("CLOB"))
        || type.contains(QLatin1String("TEXT")))
        return FieldType::Text;
    return FieldType::Other;
}

Recordset::Recordset(
    const QString &connectionName, const QString &table, QList<Column> columns, QList<Row> rows)
    : m_connectionName(connectionName)
    , m_table(table)
    , m_columns(std::move(columns))
    , m_rows(std::move(rows))
{
    for (int i = 0; i < m_columns.size(); ++i) {
        const Column &column = m_columns.at(i);
        m_names.append(column.name);
        // With duplicate names (joins) the first column wins.
        const QString key = column.name.toLower();
        if (!m_index.contains(key)) {
            m_index.insert(key, i);
            m_exactIndex.insert(column.name, i);
        }
        if (m_idColumn < 0 && column.field.compare(kUniqueId, Qt::CaseInsensitive) == 0)
            m_idColumn = i;
    }
    if (m_idColumn >= 0) {
        for (Row &row : m_rows)
            row.id = row.values.at(m_idColumn).toLongLong();
    }
}

Recordset::~Recordset() = default;

bool Recordset::eof() const
{
    return m_rows.isEmpty() || m_position >= m_rows.size();
}

bool Recordset::bof() const
{
    return m_rows.isEmpty() || m_position < 0;
}

void Recordset::setPosition(int position)
{
    cancelUpdate();
    m_position = std::clamp(position, -1, static_cast<int>(m_rows.size()));
}

void Recordset::moveFirst()
{
    setPosition(0);
}

void Recordset::moveLast()
{
    setPosition(static_cast<int>(m_rows.size()) - 1);
}

void Recordset::moveNext()
{
    setPosition(m_position + 1);
}

void Recordset::movePrevious()
{
    setPosition(m_position - 1);
}

int Recordset::absolutePosition() const
{
    return (eof() || bof()) ? -1 : m_position;
}

int Recordset::bookmark() const
{
    return absolutePosition();
}

bool Recordset::setBookmark(int bookmark)
{
    if (bookmark < 0 || bookmark >= m_rows.size())
        return false;
    setPosition(bookmark);
    return true;
}

bool Recordset::findFirst(const Predicate &predicate)
{
    cancelUpdate();
    const int start = m_position;
    for (int row = 0; row < m_rows.size(); ++row) {
        m_position = row;
        if (predicate && predicate(*this)) {
            m_noMatch = false;
            return true;
        }
    }
    m_position = start;
    m_noMatch = true;
    return false;
}

int Recordset::columnIndex(const QString &name) const
{
    // Callers mostly spell names as the table does; that lookup needs no lower-case copy.
    const auto exact = m_exactIndex.constFind(name);
    if (exact != m_exactIndex.cend())
        return exact.value();
    return m_index.value(name.toLower(), -1);
}

bool Recordset::hasField(const QString &name) const
{
    return columnIndex(name) >= 0;
}

FieldType Recordset::fieldType(const QString &name) const
{
    const int column = columnIndex(name);
    return column < 0 ? FieldType::Other : m_columns.at(column).type;
}

QVariant Recordset::value(const QString &name) const
{
    const int column = columnIndex(name);
    if (column < 0)
        return QVariant();
    if (m_editMode != EditMode::None)
        return m_buffer.at(column);
    if (eof() || bof())
        return QVariant();
    return rowValues(m_position).value(column);
}

const QVariantList &Recordset::rowValues(int row) const
{
    const Row &stored = m_rows.at(row);
    if (!stored.values.isEmpty())
        return stored.values;
    if (m_cachedRow != row) {
        m_cachedValues = readStoredRow(stored.id, QVariantList(m_columns.size()));
        m_cachedRow = row;
    }
    return m_cachedValues;
}

QVariantList Recordset::readStoredRow(qint64 id, const QVariantList &base) const
{
    QVariantList values = base;
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    query.setForwardOnly(true);
    const QString sql = QStringLiteral("SELECT * FROM ") + Database::quotedName(m_table)
        + QStringLiteral(" WHERE ") + Database::quotedName(kUniqueId) + QStringLiteral(" = ?");
    if (!Database::run(query, sql, { id }) || !query.next())
        return values;
    const QSqlRecord record = query.record();
    for (int i = 0; i < m_columns.size(); ++i) {
        const Column &column = m_columns.at(i);
        const int field = column.field.isEmpty() ? -1 : record.indexOf(column.field);
        if (field >= 0)
            values[i] = Database::fieldValue(query.value(field), column.type);
    }
    return values;
}

bool Recordset::setValue(const QString &name, const QVariant &value)
{
    const int column = columnIndex(name);
    if (m_editMode == EditMode::None || column < 0 || column == m_idColumn)
        return false;
    const Column &target = m_columns.at(column);
    if (target.field.isEmpty())
        return false;

    QVariant stored;
    if (!value.isNull()) {
        switch (target.type) {
        case FieldType::Long: {
            constexpr qint32 lowest = std::numeric_limits<qint32>::min();
            constexpr qint32 highest = std::numeric_limits<qint32>::max();
            bool ok = true;
            qlonglong number = 0;
            if (value.typeId() == QMetaType::Bool) {
                number = value.toBool() ? -1 : 0;
            } else if (value.typeId() == QMetaType::Double || value.typeId() == QMetaType::Float) {
                const double real = value.toDouble();
                ok = real >= lowest - 0.5 && real < highest + 0.5;
                number = ok ? qRound64(real) : 0;
            } else {
                number = value.toLongLong(&ok);
            }
            if (!ok || number < lowest || number > highest)
                return false;
            stored = number;
            break;
        }
        case FieldType::Date: {
            QDateTime date;
            if (value.typeId() == QMetaType::QDateTime)
                date = value.toDateTime();
            else if (value.typeId() == QMetaType::QDate)
                date = value.toDate().startOfDay();
            else if (value.typeId() == QMetaType::QString)
                date = DateText::fromText(value.toString());
            if (!date.isValid())
                return false;
            // What will be read back: the written date and clock time, to the second.
            const QTime time = date.time();
            stored = time.msec() == 0 && date.timeSpec() == Qt::LocalTime
                ? date
                : QDateTime(date.date(), QTime(time.hour(), time.minute(), time.second()));
            break;
        }
        case FieldType::Text:
            if (value.typeId() == QMetaType::QDateTime)
                stored = DateText::toText(value.toDateTime());
            else if (value.canConvert<QString>())
                stored = value.toString();
            else
                return false;
            break;
        case FieldType::Other:
            stored = value;
            break;
        }
    }
    m_buffer[column] = stored;
    m_written[column] = true;
    return true;
}

bool Recordset::addNew()
{
    if (!isUpdatable())
        return false;
    cancelUpdate();
    m_buffer = QVariantList(m_columns.size());
    m_written = QList<bool>(m_columns.size(), false);
    m_editMode = EditMode::AddNew;
    return true;
}

bool Recordset::edit()
{
    if (!isUpdatable() || m_idColumn < 0 || eof() || bof())
        return false;
    cancelUpdate();
    m_buffer = rowValues(m_position);
    m_written = QList<bool>(m_columns.size(), false);
    m_editMode = EditMode::Edit;
    return true;
}

void Recordset::cancelUpdate()
{
    m_editMode = EditMode::None;
    m_buffer.clear();
    m_written.clear();
}

bool Recordset::update()
{
    bool stored = false;
    if (m_editMode == EditMode::AddNew)
        stored = storeNewRow();
    else if (m_editMode == EditMode::Edit)
        stored = storeEditedRow();
    if (stored)
        cancelUpdate();
    return stored;
}

QSqlQuery *Recordset::insertQuery()
{
    // A query prepared on a connection that was closed since is no use on its successor.
    const QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (m_insert && m_insertFields == m_written && m_insert->driver() == db.driver())
        return m_insert.get();
    m_insert.reset();

    // Named placeholders: QtSql binds a value by name at half the cost of binding by position.
    QStringList fields;
    QStringList placeholders;
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_written.at(i)) {
            fields.append(Database::quotedName(m_columns.at(i).field));
            placeholders.append(QStringLiteral(":v%1").arg(i));
        }
    }
    QString sql = QStringLiteral("INSERT INTO ") + Database::quotedName(m_table);
    if (fields.isEmpty()) {
        sql += QStringLiteral(" DEFAULT VALUES");
    } else {
        sql += QStringLiteral(" (") + fields.join(QStringLiteral(", "))
            + QStringLiteral(") VALUES (") + placeholders.join(QStringLiteral(", "))
            + QStringLiteral(")");
    }
    auto query = std::make_unique<QSqlQuery>(db);
    if (!query->prepare(sql))
        return nullptr;
    m_insert = std::move(query);
    m_insertFields = m_written;
    m_insertPlaceholders = placeholders;
    return m_insert.get();
}

bool Recordset::storeNewRow()
{
    QSqlQuery *query = insertQuery();
    if (!query)
        return false;
    int placeholder = 0;
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_written.at(i)) {
            query->bindValue(
                m_insertPlaceholders.at(placeholder++), Database::storageValue(m_buffer.at(i)));
        }
    }
    if (!query->exec())
        return false;
    const qint64 id = query->lastInsertId().toLongLong();
    m_rows.append(Row { QVariantList(), id });
    m_position = static_cast<int>(m_rows.size()) - 1;
    return true;
}

bool Recordset::storeEditedRow()
{
    Row &row = m_rows[m_position];
    QStringList assignments;
    QVariantList values;
    for (int i = 0; i < m_columns.size(); ++i) {
        if (m_written.at(i)) {
            assignments.append(
                Database::quotedName(m_columns.at(i).field) + QStringLiteral(" = ?"));
            values.append(m_buffer.at(i));
        }
    }
    if (assignments.isEmpty())
        return true;
    values.append(row.id);
    const QString sql = QStringLiteral("UPDATE ") + Database::quotedName(m_table)
        + QStringLiteral(" SET ") + assignments.join(QStringLiteral(", "))
        + QStringLiteral(" WHERE ") + Database::quotedName(kUniqueId) + QStringLiteral(" = ?");
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    // A row deleted since the cursor was opened is not there to change.
    if (!Database::run(query, sql, values) || query.numRowsAffected() != 1)
        return false;
    if (row.values.isEmpty()) {
        m_cachedRow = -1;
    } else {
        row.values = readStoredRow(row.id, row.values);
    }
    return true;
}
