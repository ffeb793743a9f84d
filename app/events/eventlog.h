#pragma once

#include "core/database.h"
#include "core/settingsfile.h"

#include <QDateTime>
#include <QString>

class ServerConnection;

/// \brief Copies the Tarvik driver's operators and event log into the local database, and keeps
/// the outcome of the last run for the main window.
///
/// Events come in batches of 100 after the highest local `EVID`. Whole batches are stored, up to
/// 2000 events in one transaction, so an interrupted run never leaves part of a batch behind and
/// the next run goes on after the last stored event. Runs report through Progress::current() and
/// StatusLine::current().
namespace EventLog {

/// Events asked of the driver at a time.
inline constexpr int BatchSize = 100;
/// A first run starts with the events of this many days before now.
inline constexpr int FirstRunDays = 30;

/// Adds or updates the local `Operators` rows from the driver's operator list, all in one
/// transaction; operators are never deleted. False when the driver's list cannot be read or the
/// rows cannot be stored (nothing is changed then).
bool SyncOperators(
    ServerConnection &router, const QString &driverID, Database &database = Database::instance());

/// One complete synchronisation: the operators, then every new driver event, then the show
/// statistics. True when it reached the end of the driver's event log; otherwise
/// GetLastFailure() says why.
bool SyncEventLog(ServerConnection &router, Database &database = Database::instance(),
    const SettingsFile &settings = SettingsFile::instance());

/// Why the last run failed; empty after a run that reached the end.
QString GetLastFailure();

/// When the last complete run ended; invalid before the first one.
QDateTime GetLastSyncTime();

} // namespace EventLog
