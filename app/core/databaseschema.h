#pragma once

#include "core/database.h"

#include <QDateTime>
#include <QString>

// The layout of the local database: creating a new file, the one upgrade step and the default
// user codes.

/// The database file's name in the program folder when the settings name none.
inline const QString DefaultDatabaseFileName = QStringLiteral("Showpulse.mdb");

/// Creates a new database file with the nine tables and sets DatabaseVersion "1" in the settings
/// (in memory). Fails when the file exists (leaving it alone) or when any step fails (leaving no
/// file behind). The new database is not opened.
bool CreateNewDatabase(const QString &fileName);

/// Brings an open version-0 database to version 1 by adding AttemptsMade and NextSendTime to
/// ReportSpooler, both or neither. False, changing nothing, on any failure (also when the fields
/// are there already).
bool UpgradeDatabase(Database &database = Database::instance());

/// Creates the secondary indexes that the statistics, the synchronisation and the reports read
/// through, where they are missing; tables and fields stay as they are. Run after opening a
/// database. False when one could not be created.
bool EnsureIndexes(Database &database = Database::instance());

/// Fills an empty EventCodes table with the 70 default user codes, all or none; a table that holds
/// rows is left alone. False when the table could not be read or written.
bool AddDefaultUserCodes(Database &database = Database::instance());

/// Appends one EventCodes row through \a recordset, an updatable cursor on that table.
bool AddUserCode(int codeId, int indexNu, const QString &eventText, Recordset &recordset);

/// Reads date text ("yyyy-MM-dd HH:mm:ss"): its date part plus its time part, where a part that
/// cannot be read counts as zero, so unreadable text gives the zero date.
QDateTime ParseDateTime(const QString &text);
