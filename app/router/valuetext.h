#pragma once

#include <QDateTime>
#include <QString>
#include <QStringView>
#include <QVariant>

/// \brief Reading numbers and dates out of router message text, and writing values back as text.
///
/// Router peers send numbers as decimal text (non-negative ones with a leading blank) and dates
/// as month/day/year with the time. These readers never fail: what cannot be read gives 0 or the
/// zero date, as the message format expects.
namespace ValueText {

/// The numeric value of the text: leading blanks (spaces, tabs) are skipped, reading stops at the
/// first character that cannot continue a decimal number (point as separator, optional exponent),
/// and text without a number reads as 0. A number too large for a double reads as +/- infinity.
double numericValue(QStringView text);

/// True when the whole text, apart from blanks around it, is one decimal number.
bool isNumber(QStringView text);

/// Rounds to the nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);

/// numericValue() rounded half to even and held to the 32-bit range.
qint32 int32Value(QStringView text);

/// Date part plus time part of the text; a missing date part is the zero date, a missing time
/// part is midnight. Text that is not a date gives DateText::zeroDate().
QDateTime dateTimeValue(QStringView text);

/// The time part of the text on the zero date; DateText::zeroDate() when the text is not a date.
QDateTime timeValue(QStringView text);

/// Reads "M/d/yyyy H:mm:ss" and the other forms dateTimeValue() accepts; an invalid QDateTime
/// when the text is not a date.
QDateTime parseDateTime(QStringView text);

/// The date form peers read: "M/d/yyyy H:mm:ss", independent of the locale.
QString dateText(const QDateTime &dateTime);

/// A value in the general text form: "True"/"False", decimal numbers with a point, dates as
/// dateText(), text unchanged; empty for a null value.
QString generalText(const QVariant &value);

/// The text without leading and trailing blanks (spaces and tabs; other characters are data).
QStringView trimBlanks(QStringView text);

} // namespace ValueText
