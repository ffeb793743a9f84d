#pragma once

#include <QString>
#include <QStringView>

/// Checks and forms of values the simulator puts into router messages, which have no escaping.
namespace MessageText {

/// True when \a value can travel as one item: no marker token can begin inside it, not even
/// with the CR that ends the token before it or the item token after it. A lone CR (the hour 13
/// in a raw event record) is fine.
bool fitsItem(QStringView value);

/// \a value made fit for a header field: CR and LF become blanks, colons (which would shift
/// every later field) become semicolons.
QString headerText(QStringView value);

/// True when \a value can serve as a router or client ID in the simulator's own settings:
/// printable ASCII without colons, not blank. Readers upper-case IDs, so compare upper-cased.
bool isId(QStringView value);

/// A whole number as peers write it: non-negative ones with a leading blank.
QString number(qint64 value);

} // namespace MessageText
