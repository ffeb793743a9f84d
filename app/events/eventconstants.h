#pragma once

#include <QDateTime>
#include <QString>

#include <array>

/// \brief What the numbers of an event row mean, and the texts the reports print for them.
///
/// Code and operator lookups read the program's open local database.
namespace EventConstants {

/// Name of one event code and the meaning of its parameters P1..P8 (empty where unused).
struct EventDefinition
{
    QString name;
    std::array<QString, 8> parameterLabels;
};

/// Indexed by event code 0..54; entry 0 is empty.
const std::array<EventDefinition, 55> &EventDefinitions();

/// Index n names bit n of the flag word: bits 0..15 are Flag2, bits 16..31 are Flag1.
const std::array<QString, 32> &EventFlagNames();

/// One category of the codes typed at a unit's keypad (event code 47).
struct UserCodeCategoryEntry
{
    int codeId; ///< CodeID of the eventcodes rows of this category
    QString label; ///< printed before the code's text
    int parameter; ///< which of P1..P8 carries the code
    int enteredAbove; ///< the parameter counts as entered when greater than this

    bool isEntered(int value) const { return value > enteredAbove; }
};

/// The six categories in the order their lines are printed.
const std::array<UserCodeCategoryEntry, 6> &UserCodeCategory();

/// The event's name; empty for code 0, "Unknown Event " + code outside 0..54.
QString EventName(int code);

/// The parameter text of one event, lines separated by a carriage return.
///
/// Down times are printed as the growth since the previous call (LastDownValue), which a show
/// start (codes 1, 2, 3) resets: call it for a show's events in order, beginning with its start.
QString EventDetailText(int EvCode, int Down, int P1, int P2, int P3, int P4, int P5, int P6,
    int P7, int P8, const QDateTime &EventTime);

/// Forgets the down time remembered by EventDetailText, as at the start of the run.
void ResetLastDownValue();

/// EventText of code \a number in list \a codeId; "Invalid Code:" + number when there is none.
QString LookupCodeText(int codeId, int number);

/// Name of operator \a number at \a eventTime; operator numbers that were reused over time are
/// told apart by their StartDate and EndDate.
QString LookupOperatorName(int number, const QDateTime &eventTime);

/// "MM:SS" below an hour, "HH:MM:SS" from an hour on; a negative duration gets a leading '-'.
QString FormatDuration(qint64 seconds);

/// "1 hour, 2 minutes, 5 seconds"; hours and minutes only when not zero.
QString FormatDurationWords(qint64 seconds);

} // namespace EventConstants
