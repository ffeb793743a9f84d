#pragma once

#include <QList>
#include <QString>
#include <QStringView>
#include <QVariant>

#include <optional>

/// How the driver stores a column and writes its values into a recordset answer.
enum class DriverValueKind {
    Integer, // INTEGER; decimal text, non-negative with a leading blank
    Text, // TEXT; unchanged
    Bytes, // BLOB; one character per byte
    Time, // TEXT "yyyy-MM-dd HH:mm:ss"; written as M/d/yyyy H:mm:ss
};

/// One field of a recordset answer.
struct DriverField
{
    QString name;
    qint32 typeCode = 0; // recordset type code
    DriverValueKind kind = DriverValueKind::Integer;
};

/// A client's statement, checked and translated into SQLite.
struct DriverStatement
{
    QString sql; // every value from the client is a ? placeholder
    QVariantList bindings;
    QList<DriverField> fields;
};

/// \brief The driver's SQL front: reads the statements clients send and writes SQLite for them.
///
/// Only a whitelist is understood, enough for every statement the program sends and a little
/// more:
///
///     select [top N] (* | column [as name], ... | count(*) [as name])
///       from eventlog | operators
///       [where condition] [order by column [asc | desc], ...]
///
/// A condition is a comparison (=, <>, !=, <, <=, >, >=) of a column with a number, a 'text'
/// or a #date#, "column is [not] null", joined with and, or, not and parentheses. Keywords
/// ignore case. Tables and columns are checked against the driver's own; numbers are parsed
/// and bound, dates are converted into the stored text form (a number compared with a date
/// column counts days from 30 December 1899, so "enddate = 0" means the zero date). The SQL
/// text written holds only names from the driver's own list; everything from the client is
/// bound.
namespace DriverQuery {

/// The translated statement, with at most \a rowLimit + 1 rows (so a caller can tell that the
/// limit was passed); nullopt with \a error set when the statement is not understood.
std::optional<DriverStatement> translate(QStringView text, int rowLimit, QString *error);

} // namespace DriverQuery
