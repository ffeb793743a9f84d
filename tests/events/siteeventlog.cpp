#include "siteeventlog.h"

#include "core/database.h"
#include "eventgenerator.h"
#include "events/eventrecord.h"

#include <QStringList>

namespace {

const QStringList kColumns { QStringLiteral("Evid"), QStringLiteral("ShowID"),
    QStringLiteral("NetID"), QStringLiteral("RecVer"), QStringLiteral("DevType"),
    QStringLiteral("EvCode"), QStringLiteral("CodeName"), QStringLiteral("Flag1"),
    QStringLiteral("Flag2"), QStringLiteral("Seq"), QStringLiteral("Fut"), QStringLiteral("Down"),
    QStringLiteral("iLoop"), QStringLiteral("Prog"), QStringLiteral("Cue"), QStringLiteral("Stat"),
    QStringLiteral("P1"), QStringLiteral("P2"), QStringLiteral("P3"), QStringLiteral("P4"),
    QStringLiteral("P5"), QStringLiteral("P6"), QStringLiteral("P7"), QStringLiteral("P8"),
    QStringLiteral("EventTime"), QStringLiteral("LogTime") };

QString insertStatement()
{
    return QStringLiteral("INSERT INTO EventLog (") + kColumns.join(QStringLiteral(", "))
        + QStringLiteral(") VALUES (")
        + QStringList(kColumns.size(), QStringLiteral("?")).join(u',') + u')';
}

QVariantList rowValues(const DriverEvent &event)
{
    const EventRecord r = EventRecord::decode(event.eventData);
    return QVariantList { event.uniqueId, event.showId, event.machId, r.RecVer, r.DevType, r.EvCode,
        r.CodeName, r.Flag1, r.Flag2, r.Seq, r.Fut, r.Down, r.iLoop, r.Prog, r.Cue, r.Stat, r.P1,
        r.P2, r.P3, r.P4, r.P5, r.P6, r.P7, r.P8, r.EventTime, event.logTime.toDateTime() };
}

} // namespace

bool LoadSiteEventLog(EventGenerator &generator, Database &database, QString *error)
{
    if (!database.transaction()) {
        *error = QStringLiteral("cannot begin a transaction");
        return false;
    }
    const QString sql = insertStatement();
    const bool generated = generator.generate(
        [&](const DriverEvent &event) { return database.executeStatement(sql, rowValues(event)); });
    if (!generated || !database.commit()) {
        *error = generator.errorString().isEmpty() ? QStringLiteral("cannot store the events")
                                                   : generator.errorString();
        database.rollback();
        return false;
    }
    return true;
}
