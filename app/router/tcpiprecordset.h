#pragma once

#include <QList>
#include <QString>
#include <QStringView>
#include <QVariant>

/// \brief A small in-memory table of named, typed fields whose values travel as text.
///
/// Built from the data section of a recordset answer (Load) or locally (AddField, Add,
/// SetValue), walked with a cursor and read with typed values. Values are kept exactly as the
/// text received or set; types apply only when a value is read. Field names match without regard
/// to letter case.
///
/// Nothing here throws. An operation that can fail clears the last error when it starts and, on
/// failure, records number, source and description (lastErrorNumber() and friends) and returns
/// false, an empty text or an invalid QVariant.
class TCPIPRecordSet
{
public:
    /// Field type codes (the DAO field type numbers).
    enum TypeCode : qint32 {
        TypeBoolean = 1,
        TypeByte = 2,
        TypeInteger = 3,
        TypeLong = 4,
        TypeCurrency = 5,
        TypeSingle = 6,
        TypeDouble = 7,
        TypeDate = 8,
        TypeBinary = 9,
        TypeText = 10,
        TypeLongBinary = 11,
        TypeMemo = 12,
        TypeGUID = 15,
        TypeBigInt = 16,
        TypeVarBinary = 17,
        TypeChar = 18,
        TypeNumeric = 19,
        TypeDecimal = 20,
        TypeFloat = 21,
        TypeTime = 22,
        TypeTimeStamp = 23
    };

    /// Error number of invalid arguments (bad row, field or index).
    static constexpr qint32 InvalidArgument = -1;
    /// Error number of a typed read whose value lies outside its type's range.
    static constexpr qint32 Overflow = 6;
    /// Error number of a Boolean read whose text is neither True/False nor a number.
    static constexpr qint32 TypeMismatch = 13;

    TCPIPRecordSet();

    /// Replaces everything with the recordset in \a data: record 1 holds name and type code of
    /// each field, every further record one row. Reading stops at the first empty record.
    void Load(QStringView data);

    /// The recordset in the form Load() reads (the data section of a recordset answer).
    QString toDataText() const;

    void MoveNext();
    void MovePrevious();
    void MoveAbs(int n);
    void MoveFirst();
    void MoveLast();
    // EOF itself is a C library macro, so the end flag is read as Eof().
    bool Eof() const { return m_eof; }
    bool BOF() const { return m_bof; }

    /// The field's type code; 0 when there is no such field.
    qint32 FieldType(const QString &name) const;
    /// Changes the type of an existing field; does nothing when there is none.
    void FieldType(const QString &name, qint32 type);

    int AbsPosition() const { return m_position; }
    /// Makes row \a n (1 to RecordCount) current.
    bool AbsPosition(int n);

    int RecordCount() const { return m_recordCount; }
    int FieldCount() const { return int(m_fields.size()); }
    /// Name of field \a index (1-based).
    QString FieldName(int index);
    /// 1-based index of the field; 0 when there is none.
    int FieldIndex(const QString &name) const;

    /// Typed value of the field in the current row (see AbsRecord).
    QVariant Field(const QString &name);
    /// Stores the value's text in the current row.
    bool Field(const QString &name, const QVariant &value);

    /// Typed value of the field in \a row: the text for Text, Memo and Char; null for other types
    /// when the text is empty or blank; otherwise converted by the field's type.
    QVariant AbsRecord(int row, const QString &name);
    /// Stores the value's text form unchanged in \a row.
    bool AbsRecord(int row, const QString &name, const QVariant &value);

    /// Stores a value converted for \a type in the current row, adding a row to an empty
    /// recordset and the field when it is missing (unless \a type is 0).
    bool SetValue(const QString &name, const QVariant &value, qint32 type);

    /// Appends an empty row and makes it current.
    void Add();
    /// Appends a field with empty values in every row.
    void AddField(const QString &name, qint32 type);

    /// The value as an SQL literal for the field's type: quoted text (quotes doubled), a
    /// #-delimited date, or a number. Empty for an unknown field or a value that cannot be
    /// written safely as a literal of that type.
    QString FormatValue(const QString &name, const QVariant &value) const;

    /// The stored text of the field in \a row, unconverted.
    QString AsString(int row, const QString &name);

    /// Rows of room in every column: a multiple of 100, at least RecordCount.
    int capacity() const { return m_capacity; }

    qint32 lastErrorNumber() const { return m_errorNumber; }
    const QString &lastErrorSource() const { return m_errorSource; }
    const QString &lastErrorDescription() const { return m_errorDescription; }

private:
    struct Column
    {
        QString name;
        qint32 type = 0;
        QList<QString> values; // index 0 is row 1
    };

    void updateEofBof();
    void grow(int capacity);
    Column *findColumn(const QString &name);
    const Column *findColumn(const QString &name) const;
    bool isRow(int row) const { return row >= 1 && row <= m_recordCount; }
    bool storeText(int row, const QString &name, const QString &text, const char *source,
        const QString &noFieldDescription);
    QVariant typedValue(const Column &column, const QString &text);
    void clearError();
    void setError(qint32 number, const char *source, const QString &description);

    QList<Column> m_fields;
    int m_recordCount = 0;
    int m_position = 0;
    int m_capacity;
    bool m_eof = true;
    bool m_bof = true;
    qint32 m_errorNumber = 0;
    QString m_errorSource;
    QString m_errorDescription;
};
