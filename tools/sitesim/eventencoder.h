#pragma once

#include "events/eventrecord.h"

#include <QByteArray>

/// Writes event records in the raw layout a unit reports, the inverse of EventRecord::decode().
namespace EventEncoder {

/// The 49-byte record of \a record, or an empty array when a value does not fit its field:
/// bytes 0..255, words 0..65535, a name of at most 8 Latin-1 characters (blank-padded), an
/// event time with a year from 100 to 9999.
QByteArray encode(const EventRecord &record);

} // namespace EventEncoder
