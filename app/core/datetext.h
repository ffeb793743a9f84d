#pragma once

#include <QDateTime>
#include <QString>

/// \brief The program's one date-to-text conversion and the zero date.
///
/// Dates kept in the settings file and in the local database are text of the form
/// "yyyy-MM-dd HH:mm:ss", local time, and read back to the same value.
namespace DateText {

/// 30 December 1899, 00:00:00: the value of a date that was never set or could not be read.
QDateTime zeroDate();

QString toText(const QDateTime &dateTime);

/// Reads text written by toText(); an invalid QDateTime when the text is not of that form.
QDateTime fromText(const QString &text);

} // namespace DateText
