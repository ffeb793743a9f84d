#pragma once

#include <QString>

class Database;
class EventGenerator;

/// Runs \a generator and copies every event it makes into the EventLog table of \a database, as
/// the synchronisation stores the driver's rows, in one transaction. False with \a error set when
/// the generator or the database fails.
bool LoadSiteEventLog(EventGenerator &generator, Database &database, QString *error);
