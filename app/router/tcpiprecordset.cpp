#include "router/tcpiprecordset.h"

#include "core/datetext.h"
#include "router/serverconnectionheader.h"
#include "router/valuetext.h"

#include <cfloat>
#include <cmath>

namespace {

// Columns grow by this many rows at a time.
constexpr int kStep = 100;

int nextStepAbove(int count)
{
    return (count / kStep + 1) * kStep;
}

bool inRange(double value, double min, double max)
{
    return value >= min && value <= max; // false for NaN
}

QString invalidRecordIndex()
{
    return QStringLiteral("ERROR - Invalid Record Index");
}

QString invalidFieldName()
{
    return QStringLiteral("Invalid field name");
}

QString invalidFieldNameOf(const QString &name)
{
    return QStringLiteral("ERROR - Invalid Field Name (") + name + u')';
}

// The value as a date for a Date or Time field; invalid when it is not one.
QDateTime dateOf(const QVariant &value)
{
    switch (value.metaType().id()) {
    case QMetaType::QDateTime:
        return value.toDateTime();
    case QMetaType::QDate:
        return value.toDate().startOfDay();
    case QMetaType::QTime:
        return QDateTime(DateText::zeroDate().date(), value.toTime());
    case QMetaType::QString:
        return ValueText::parseDateTime(value.toString());
    default:
        return {};
    }
}

} // namespace

TCPIPRecordSet::TCPIPRecordSet()
    : m_capacity(kStep)
{
}

void TCPIPRecordSet::Load(QStringView data)
{
    using namespace ServerConnectionHeader;
    clearError();
    m_fields.clear();
    m_recordCount = 0;
    m_capacity = kStep;

    const QList<QStringView> records = splitFields(data, RecordToken);
    if (!records.isEmpty()) {
        const QList<QStringView> description = splitFields(records.first(), ItemToken);
        for (qsizetype i = 0; i < description.size() && !description[i].isEmpty(); i += 2) {
            const qint32 type
                = i + 1 < description.size() ? ValueText::int32Value(description[i + 1]) : 0;
            Column column { description[i].toString(), type, {} };
            column.values.resize(m_capacity);
            m_fields.append(std::move(column));
        }
    }

    for (qsizetype r = 1; r < records.size() && !records[r].isEmpty(); ++r) {
        const int row = int(r);
        if (row % kStep == 0)
            grow(nextStepAbove(row));
        const QList<QStringView> items = splitFields(records[r], ItemToken);
        for (qsizetype f = 0; f < m_fields.size(); ++f)
            m_fields[f].values[row - 1] = f < items.size() ? items[f].toString() : QString();
        m_recordCount = row;
    }

    m_position = 1;
    updateEofBof();
}

QString TCPIPRecordSet::toDataText() const
{
    using namespace ServerConnectionHeader;
    QString text;
    for (const Column &column : m_fields)
        text += column.name % ItemToken % QString::number(column.type) % ItemToken;
    text += RecordToken;
    for (int row = 0; row < m_recordCount; ++row) {
        for (const Column &column : m_fields)
            text += column.values[row] % ItemToken;
        text += RecordToken;
    }
    return text;
}

void TCPIPRecordSet::MoveNext()
{
    ++m_position;
    updateEofBof();
}

void TCPIPRecordSet::MovePrevious()
{
    --m_position;
    updateEofBof();
}

void TCPIPRecordSet::MoveAbs(int n)
{
    m_position = n;
    updateEofBof();
}

void TCPIPRecordSet::MoveFirst()
{
    m_position = 1;
    updateEofBof();
}

void TCPIPRecordSet::MoveLast()
{
    m_position = m_recordCount;
    updateEofBof();
}

qint32 TCPIPRecordSet::FieldType(const QString &name) const
{
    const Column *column = findColumn(name);
    return column ? column->type : 0;
}

void TCPIPRecordSet::FieldType(const QString &name, qint32 type)
{
    if (Column *column = findColumn(name))
        column->type = type;
}

bool TCPIPRecordSet::AbsPosition(int n)
{
    clearError();
    if (!isRow(n)) {
        setError(InvalidArgument, "TCPIPDatabase.AbsPosition", invalidRecordIndex());
        return false;
    }
    m_position = n;
    // The flags follow the position; a valid row is neither end.
    m_eof = m_bof = false;
    return true;
}

QString TCPIPRecordSet::FieldName(int index)
{
    clearError();
    if (index < 1 || index > FieldCount()) {
        setError(InvalidArgument, "TCPIPDatabase.FieldName",
            QStringLiteral("ERROR - Invalid Field Index"));
        return {};
    }
    return m_fields[index - 1].name;
}

int TCPIPRecordSet::FieldIndex(const QString &name) const
{
    for (qsizetype i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i + 1);
    }
    return 0;
}

QVariant TCPIPRecordSet::Field(const QString &name)
{
    return AbsRecord(m_position, name);
}

bool TCPIPRecordSet::Field(const QString &name, const QVariant &value)
{
    return AbsRecord(m_position, name, value);
}

QVariant TCPIPRecordSet::AbsRecord(int row, const QString &name)
{
    clearError();
    if (!isRow(row)) {
        setError(InvalidArgument, "TCPIPDatabase.AbsRecord", invalidRecordIndex());
        return {};
    }
    const Column *column = findColumn(name);
    if (!column) {
        setError(InvalidArgument, "TCPIPRecordset.GetValue", invalidFieldNameOf(name));
        return {};
    }
    return typedValue(*column, column->values[row - 1]);
}

bool TCPIPRecordSet::AbsRecord(int row, const QString &name, const QVariant &value)
{
    return storeText(
        row, name, ValueText::generalText(value), "TCPIPDatabase.AbsRecord", invalidFieldName());
}

bool TCPIPRecordSet::SetValue(const QString &name, const QVariant &value, qint32 type)
{
    clearError();
    if (m_recordCount == 0)
        Add();

    QString text;
    if (type == TypeDate || type == TypeTime) {
        const QDateTime date = value.isNull() ? QDateTime() : dateOf(value);
        if (date.isValid())
            text = ValueText::dateText(date);
    } else if (type == TypeText || type == TypeMemo) {
        text = ValueText::generalText(value);
    } else {
        text = ValueText::trimBlanks(ValueText::generalText(value)).toString();
    }

    // The cursor may stand before the first or after the last row; there is no row to write.
    if (!isRow(m_position)) {
        setError(InvalidArgument, "TCPIPDatabase.SetValue", invalidRecordIndex());
        return false;
    }
    Column *column = findColumn(name);
    if (!column) {
        if (type == 0) {
            setError(InvalidArgument, "TCPIPDatabase.SetValue", invalidFieldName());
            return false;
        }
        AddField(name, type);
        column = &m_fields.last();
    }
    column->values[m_position - 1] = text;
    return true;
}

void TCPIPRecordSet::Add()
{
    const int old = m_recordCount++;
    if (old % kStep == 0 || m_recordCount > m_capacity)
        grow(qMax(m_capacity, nextStepAbove(m_recordCount)));
    m_position = m_recordCount;
    m_eof = m_bof = false;
}

void TCPIPRecordSet::AddField(const QString &name, qint32 type)
{
    grow(qMax(m_capacity, nextStepAbove(m_recordCount)));
    Column column { name, type, {} };
    column.values.resize(m_capacity);
    m_fields.append(std::move(column));
}

QString TCPIPRecordSet::FormatValue(const QString &name, const QVariant &value) const
{
    const Column *column = findColumn(name);
    if (!column)
        return {};
    QString text = ValueText::generalText(value);
    switch (column->type) {
    case TypeText:
    case TypeMemo:
    case TypeChar:
        return u'\'' + text.replace(u'\'', QLatin1StringView("''")) + u'\'';
    case TypeDate:
    case TypeTime:
    case TypeTimeStamp:
        if (text.contains(u'#'))
            return {};
        return u'#' + text + u'#';
    case TypeBoolean: {
        const QStringView word = ValueText::trimBlanks(text);
        if (word.compare(u"True", Qt::CaseInsensitive) == 0
            || word.compare(u"False", Qt::CaseInsensitive) == 0)
            return text;
        break;
    }
    default:
        break;
    }
    // Anything else goes into the statement bare, so it must be a number.
    return ValueText::isNumber(text) ? text : QString();
}

QString TCPIPRecordSet::AsString(int row, const QString &name)
{
    clearError();
    if (!isRow(row)) {
        setError(InvalidArgument, "TCPIPDatabase.AsString", invalidRecordIndex());
        return {};
    }
    const Column *column = findColumn(name);
    if (!column) {
        setError(InvalidArgument, "TCPIPDatabase.AsString", invalidFieldNameOf(name));
        return {};
    }
    return column->values[row - 1];
}

void TCPIPRecordSet::updateEofBof()
{
    if (m_position > m_recordCount || m_recordCount == 0) {
        m_eof = true;
        m_position = m_recordCount + 1;
    } else {
        m_eof = false;
    }
    if (m_position >= 1 && m_recordCount != 0) {
        m_bof = false;
    } else {
        m_bof = true;
        m_position = 0;
    }
}

void TCPIPRecordSet::grow(int capacity)
{
    m_capacity = capacity;
    for (Column &column : m_fields)
        column.values.resize(capacity);
}

TCPIPRecordSet::Column *TCPIPRecordSet::findColumn(const QString &name)
{
    const int index = FieldIndex(name);
    return index > 0 ? &m_fields[index - 1] : nullptr;
}

const TCPIPRecordSet::Column *TCPIPRecordSet::findColumn(const QString &name) const
{
    const int index = FieldIndex(name);
    return index > 0 ? &m_fields[index - 1] : nullptr;
}

bool TCPIPRecordSet::storeText(int row, const QString &name, const QString &text,
    const char *source, const QString &noFieldDescription)
{
    clearError();
    if (!isRow(row)) {
        setError(InvalidArgument, source, invalidRecordIndex());
        return false;
    }
    Column *column = findColumn(name);
    if (!column) {
        setError(InvalidArgument, source, noFieldDescription);
        return false;
    }
    column->values[row - 1] = text;
    return true;
}

QVariant TCPIPRecordSet::typedValue(const Column &column, const QString &text)
{
    switch (column.type) {
    case TypeText:
    case TypeMemo:
    case TypeChar:
        return text;
    default:
        break;
    }
    const QStringView trimmed = ValueText::trimBlanks(text);
    if (trimmed.isEmpty())
        return QVariant::fromValue(nullptr);

    const auto overflow = [this] {
        setError(Overflow, "TCPIPRecordset.GetValue", QStringLiteral("Overflow"));
        return QVariant();
    };
    switch (column.type) {
    case TypeBoolean:
        if (trimmed.compare(u"True", Qt::CaseInsensitive) == 0)
            return true;
        if (trimmed.compare(u"False", Qt::CaseInsensitive) == 0)
            return false;
        if (ValueText::isNumber(trimmed))
            return ValueText::numericValue(trimmed) != 0;
        setError(TypeMismatch, "TCPIPRecordset.GetValue", QStringLiteral("Type mismatch"));
        return {};
    case TypeByte: {
        const double value = ValueText::roundHalfEven(ValueText::numericValue(text));
        return inRange(value, 0, 255) ? QVariant::fromValue(quint8(value)) : overflow();
    }
    case TypeInteger: {
        const double value = ValueText::roundHalfEven(ValueText::numericValue(text));
        return inRange(value, -32768, 32767) ? QVariant::fromValue(qint16(value)) : overflow();
    }
    case TypeLong: {
        const double value = ValueText::roundHalfEven(ValueText::numericValue(text));
        return inRange(value, -2147483648.0, 2147483647.0) ? QVariant::fromValue(qint32(value))
                                                           : overflow();
    }
    case TypeCurrency: {
        // Fixed point with four decimals.
        const double value
            = ValueText::roundHalfEven(ValueText::numericValue(text) * 10000.0) / 10000.0;
        return inRange(value, -922337203685477.5808, 922337203685477.5807) ? QVariant(value)
                                                                           : overflow();
    }
    case TypeSingle: {
        const double value = ValueText::numericValue(text);
        return inRange(value, -FLT_MAX, FLT_MAX) ? QVariant::fromValue(float(value)) : overflow();
    }
    case TypeDouble:
    case TypeFloat: {
        const double value = ValueText::numericValue(text);
        return std::isfinite(value) ? QVariant(value) : overflow();
    }
    case TypeNumeric:
    case TypeDecimal: {
        // The range of a 96-bit decimal; kept as a double.
        const double value = ValueText::numericValue(text);
        return inRange(value, -7.9228162514264337593543950335e28, 7.9228162514264337593543950335e28)
            ? QVariant(value)
            : overflow();
    }
    case TypeDate:
    case TypeTimeStamp:
        return ValueText::dateTimeValue(text);
    case TypeTime:
        return ValueText::timeValue(text);
    case TypeBinary:
    case TypeLongBinary:
    case TypeGUID:
    case TypeBigInt:
    case TypeVarBinary:
        return text;
    default:
        return {};
    }
}

void TCPIPRecordSet::clearError()
{
    m_errorNumber = 0;
    m_errorSource.clear();
    m_errorDescription.clear();
}

void TCPIPRecordSet::setError(qint32 number, const char *source, const QString &description)
{
    m_errorNumber = number;
    m_errorSource = QLatin1StringView(source);
    m_errorDescription = description;
}
