#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>

class QSqlQuery;

/// The kinds of field the program's tables hold.
enum class FieldType { Other, Long, Date, Text };

/// How a field of \a type is declared in a table: INTEGER, DATETEXT (date text, text affinity,
/// sorts and compares in time order) or TEXT.
QString declaredFieldType(FieldType type);

/// The field type of a declared column type; Other for anything this program does not declare.
FieldType fieldTypeFromDeclaration(const QString &declaredType);

/// \brief A cursor over the rows of one query, held in memory, through which rows are added and
/// changed.
///
/// Made by Database::openQuery(). The rows the statement returns are read when it is opened, so a
/// cursor opened only for adding selects no rows ("select * from eventlog limit 0").
///
/// Values read: null fields (never written) as a null QVariant, Long fields as qlonglong, Text
/// fields as QString, Date fields as QDateTime (stored as date text; a stored text that is not
/// date text is handed out as it stands). Other result columns (joins, aggregates, aliases) are
/// typed by their name when that name is a field of one type throughout the database
/// ("max(date) as maxdate" comes as stored, "max(date) as Date" reads as a date).
///
/// Updating: a cursor is updatable when its statement reads one table, written as
/// "select <columns> from <table> [where ...] [order by ...] [limit ...]". Joins, a list of
/// several tables, subqueries or aliases in the from part, unions and grouping give read-only
/// cursors. Result columns are matched to that table's fields by name; only those can be written,
/// and never UniqueID. Editing a row needs UniqueID among the result columns; adding does not.
///
/// A row added through the cursor joins its result at the end and becomes the current row, so its
/// new UniqueID can be read. Only its UniqueID is kept in memory: its values are read back from the
/// table when the cursor stands on it, so long adding runs stay small.
class Recordset
{
public:
    enum class EditMode { None, Edit, AddNew };

    /// Called with the cursor standing on the row to test.
    using Predicate = std::function<bool(const Recordset &row)>;

    ~Recordset();
    Recordset(const Recordset &) = delete;
    Recordset &operator=(const Recordset &) = delete;

    int recordCount() const { return static_cast<int>(m_rows.size()); }

    /// True when there is no current row after the last row (always so for an empty result).
    bool eof() const;
    /// True when there is no current row before the first row (always so for an empty result).
    bool bof() const;

    // Moves cancel a pending addNew() or edit(). Moving past either end stops there.
    void moveFirst();
    void moveLast();
    void moveNext();
    void movePrevious();

    /// The current row, counted from 0; -1 when there is none.
    int absolutePosition() const;

    /// A mark for the current row of this cursor; -1 when there is none.
    int bookmark() const;
    /// Goes back to a row marked by bookmark(); false for a mark this cursor does not have.
    bool setBookmark(int bookmark);

    /// Moves to the first row, in result order, for which \a predicate is true. Without one the
    /// cursor stays where it was and noMatch() is true.
    bool findFirst(const Predicate &predicate);
    bool noMatch() const { return m_noMatch; }

    QStringList fieldNames() const { return m_names; }
    bool hasField(const QString &name) const;
    FieldType fieldType(const QString &name) const;

    /// The named field (any case) of the current row, or of the row being added or edited.
    /// A null QVariant for a null field, an unknown name or no current row.
    QVariant value(const QString &name) const;

    /// Writes a field of the row being added or edited. False, changing nothing, outside
    /// addNew()/edit(), for a field that cannot be written, or for a value the field's type cannot
    /// hold (Long: whole numbers in 32 bits, fractions rounded, booleans as -1 and 0; Date:
    /// QDateTime, QDate and date text, to the second; Text: anything with a text form, dates as
    /// date text).
    bool setValue(const QString &name, const QVariant &value);

    bool isUpdatable() const { return !m_table.isEmpty(); }
    EditMode editMode() const { return m_editMode; }

    /// Starts a new row with every field null.
    bool addNew();
    /// Starts changing the current row.
    bool edit();
    /// Stores the row being added (INSERT) or edited (UPDATE by UniqueID); only the fields written
    /// are stored. On failure the row stays pending so it can be stored again or cancelled.
    bool update();
    void cancelUpdate();

private:
    friend class Database;

    struct Column
    {
        QString name;
        FieldType type = FieldType::Other;
        // The field of the cursor's table this column shows; empty when it shows none.
        QString field;
    };

    // An empty values list marks a row added through this cursor, read back when needed.
    struct Row
    {
        QVariantList values;
        qint64 id = 0;
    };

    Recordset(const QString &connectionName, const QString &table, QList<Column> columns,
        QList<Row> rows);

    int columnIndex(const QString &name) const;
    const QVariantList &rowValues(int row) const;
    QVariantList readStoredRow(qint64 id, const QVariantList &base) const;
    bool storeNewRow();
    QSqlQuery *insertQuery();
    bool storeEditedRow();
    void setPosition(int position);

    QString m_connectionName;
    QString m_table;
    QList<Column> m_columns;
    QStringList m_names;
    QHash<QString, int> m_index; // by lower-case name
    QHash<QString, int> m_exactIndex; // by name as the result spells it
    int m_idColumn = -1;

    QList<Row> m_rows;
    int m_position = 0;
    bool m_noMatch = false;

    mutable int m_cachedRow = -1;
    mutable QVariantList m_cachedValues;

    EditMode m_editMode = EditMode::None;
    QVariantList m_buffer;
    QList<bool> m_written;

    // The INSERT of the fields written last, kept prepared: a long adding run writes the same
    // fields row after row.
    std::unique_ptr<QSqlQuery> m_insert;
    QList<bool> m_insertFields;
    QStringList m_insertPlaceholders;
};
