#include "core/databaseschema.h"

#include "core/datetext.h"
#include "core/settingsfile.h"
#include "core/settingskeys.h"

#include <QFile>
#include <QStringList>

namespace {

struct FieldDefinition
{
    const char *name;
    FieldType type;
};

struct TableDefinition
{
    const char *name;
    QList<FieldDefinition> fields;
};

constexpr FieldType Long = FieldType::Long;
constexpr FieldType Date = FieldType::Date;
constexpr FieldType Text = FieldType::Text;

// Every table starts with UniqueID, which is not listed here.
const TableDefinition kTables[] = {
    { "EMailAddress", { { "Name", Text }, { "emailAddress", Text } } },
    { "EventCodes", { { "CodeID", Long }, { "EventText", Text }, { "IndexNu", Long } } },
    { "EventLog",
        { { "Evid", Long }, { "ShowID", Long }, { "NetID", Long }, { "RecVer", Long },
            { "DevType", Long }, { "EvCode", Long }, { "CodeName", Text }, { "Flag1", Long },
            { "Flag2", Long }, { "Seq", Long }, { "Fut", Long }, { "Down", Long },
            { "iLoop", Long }, { "Prog", Long }, { "Cue", Long }, { "Stat", Long }, { "P1", Long },
            { "P2", Long }, { "P3", Long }, { "P4", Long }, { "P5", Long }, { "P6", Long },
            { "P7", Long }, { "P8", Long }, { "EventTime", Date }, { "LogTime", Date },
            { "LocID", Text } } },
    { "DailySummary",
        { { "Date", Date }, { "ShowCount", Long }, { "MajorProblem", Long },
            { "MinorProblem", Long }, { "DownTime", Long }, { "LastShowID", Long },
            { "NonMajorDownTime", Long } } },
    { "Operators",
        { { "ID", Long }, { "ProName", Text }, { "ProID", Long }, { "StartDate", Date },
            { "EndDate", Date } } },
    { "Recipients", { { "EmailAddressRef", Long }, { "ScheduleRef", Long } } },
    { "ReportSpooler",
        { { "Date", Date }, { "EMailAddressRef", Long }, { "Disable", Long },
            { "ReportType", Long }, { "ReportName", Text }, { "Status", Text },
            { "AttemptsMade", Long }, { "NextSendTime", Date } } },
    { "Schedules",
        { { "Time", Date }, { "Name", Text }, { "ReportType", Long }, { "SaveToHD", Long },
            { "SendToPrinter", Long }, { "StartDate", Date }, { "NextSendDate", Date },
            { "Disable", Long } } },
    { "ShowSummary",
        { { "ShowID", Long }, { "NetID", Long }, { "Date", Date }, { "Critical", Long },
            { "Down", Long }, { "UserCodeEntered", Long }, { "Problem", Long } } },
};

// The fields that version 1 added to ReportSpooler, in the order they are added.
const FieldDefinition kUpgradeFields[] = { { "AttemptsMade", Long }, { "NextSendTime", Date } };

struct UserCode
{
    int codeId;
    int indexNu;
    const char *text;
};

// In insertion order: list by list, each list in its screen order. The texts are the ones the
// sites have always seen, spelling included.
const UserCode kDefaultUserCodes[] = {
    { 0, 0, "Normal Show" },
    { 0, 100, "Show canceled" },
    { 0, 101, "Show canceled - No tickets sold" },
    { 0, 102, "Show canceled - Tickets refunded/free passes issued" },
    { 0, 200, "Show delayed" },
    { 0, 201, "Show delayed - Tickets refunded/free passes issued" },

    { 1, 0, "No problem" },
    { 1, 100, "Platter problem" },
    { 1, 101, "Static wrap" },
    { 1, 102, "Threaded incorrectly" },
    { 1, 200, "Film problem" },
    { 1, 201, "Extra cue(s) on film" },
    { 1, 202, "Cue missing" },
    { 1, 203, "Film split" },
    { 1, 204, "Film break" },
    { 1, 300, "Projector problem" },
    { 1, 301, "Threaded incorrently" },
    { 1, 302, "Wrong lens" },
    { 1, 303, "Incorrect framing" },
    { 1, 304, "Out of focus" },
    { 1, 400, "Lamp console problem" },
    { 1, 401, "Xenon failure" },
    { 1, 402, "Ignitor failure" },
    { 1, 403, "Xenon power supply failure" },
    { 1, 500, "Sound system problem" },
    { 1, 501, "Surround channel problem" },
    { 1, 502, "Stage channel problem" },
    { 1, 510, "Amplifer problem" },
    { 1, 520, "Processor problem" },
    { 1, 521, "Digital sound drop out" },
    { 1, 530, "Speaker problem" },
    { 1, 600, "Auditorium light dimmer problem" },
    { 1, 601, "Lights flickering" },
    { 1, 602, "Light level changed" },

    { 2, 0, "Nothing was damaged" },
    { 2, 100, "Platter damaged" },
    { 2, 200, "Film damaged" },
    { 2, 201, "Film jammed in projector" },
    { 2, 202, "Film was broken" },
    { 2, 203, "Perforation damage" },
    { 2, 204, "Film was scratched" },
    { 2, 300, "Projector damaged" },
    { 2, 400, "Lamp console damaged" },
    { 2, 401, "Reflector damaged" },
    { 2, 402, "Xenon bulb damaged" },

    { 3, 0, "N/A" },

    { 4, 0, "Normal show" },
    { 4, 100, "Test show" },
    { 4, 101, "Screening" },
    { 4, 102, "Equipment test" },

    { 5, 0, "Nothing was serviced" },
    { 5, 100, "Serviced platter" },
    { 5, 101, "Serviced wrap detector" },
    { 5, 102, "Replaced motor" },
    { 5, 103, "Repaired motor controller" },
    { 5, 300, "Serviced projector" },
    { 5, 301, "Changed projector oil" },
    { 5, 302, "Replaced intermitted spocket" },
    { 5, 303, "Replaced feed socket" },
    { 5, 304, "Replaced timing belt" },
    { 5, 305, "Replaced film gate components" },
    { 5, 400, "Serviced lamp console" },
    { 5, 401, "Rotated xenon bulb" },
    { 5, 402, "Replaced xenon bulb" },
    { 5, 403, "Replaced ignitor" },
    { 5, 404, "Repaired xenon power supply" },
    { 5, 405, "Replaced xenon power supply" },
    { 5, 500, "Serviced sound system" },
    { 5, 501, "A-chain alignment" },
    { 5, 502, "B-chain alignment" },
};

QString quoted(const char *name)
{
    return u'"' + QString::fromLatin1(name) + u'"';
}

QString columnDefinition(const FieldDefinition &field)
{
    QString definition = quoted(field.name) + u' ' + declaredFieldType(field.type);
    // Text compares and sorts without regard to case, as the general sort order does.
    if (field.type == FieldType::Text)
        definition += QStringLiteral(" COLLATE NOCASE");
    return definition;
}

QString createTableStatement(const TableDefinition &table)
{
    QStringList columns { QStringLiteral("\"UniqueID\" INTEGER PRIMARY KEY AUTOINCREMENT") };
    for (const FieldDefinition &field : table.fields)
        columns.append(columnDefinition(field));
    return QStringLiteral("CREATE TABLE ") + quoted(table.name) + QStringLiteral(" (")
        + columns.join(QStringLiteral(", ")) + u')';
}

bool createTables(Database &database)
{
    if (!database.transaction())
        return false;
    for (const TableDefinition &table : kTables) {
        if (!database.executeStatement(createTableStatement(table))) {
            database.rollback();
            return false;
        }
    }
    return database.commit();
}

} // namespace

bool CreateNewDatabase(const QString &fileName)
{
    bool created = false;
    {
        Database database;
        if (!database.create(fileName))
            return false;
        created = createTables(database) && EnsureIndexes(database);
    }
    if (!created) {
        QFile::remove(fileName);
        return false;
    }
    SettingsFile::instance().SetFileValue(SettingsKeys::DatabaseVersion, QStringLiteral("1"));
    return true;
}

bool UpgradeDatabase(Database &database)
{
    if (!database.transaction())
        return false;
    for (const FieldDefinition &field : kUpgradeFields) {
        if (!database.executeStatement(QStringLiteral("ALTER TABLE \"ReportSpooler\" ADD COLUMN ")
                + columnDefinition(field))) {
            database.rollback();
            return false;
        }
    }
    return database.commit();
}

bool EnsureIndexes(Database &database)
{
    // Name, table and fields of each index.
    static const char *const indexes[][3] = {
        { "EventLogShowID", "EventLog", "ShowID, Evid" },
        { "EventLogEvid", "EventLog", "Evid" },
        { "EventLogEventTime", "EventLog", "EventTime" },
        { "EventLogEvCode", "EventLog", "EvCode, EventTime" },
        { "DailySummaryDate", "DailySummary", "Date" },
        { "ShowSummaryShowID", "ShowSummary", "ShowID" },
        { "ShowSummaryDate", "ShowSummary", "Date" },
    };
    for (const auto &[name, table, fields] : indexes) {
        if (!database.executeStatement(QStringLiteral("CREATE INDEX IF NOT EXISTS ") + quoted(name)
                + QStringLiteral(" ON ") + quoted(table) + QStringLiteral(" (")
                + QString::fromLatin1(fields) + u')'))
            return false;
    }
    return true;
}

bool AddDefaultUserCodes(Database &database)
{
    const std::unique_ptr<Recordset> existing
        = database.openQuery(QStringLiteral("SELECT * FROM eventcodes LIMIT 1"));
    if (!existing)
        return false;
    if (existing->recordCount() > 0)
        return true;

    const std::unique_ptr<Recordset> codes
        = database.openQuery(QStringLiteral("SELECT * FROM eventcodes LIMIT 0"));
    if (!codes || !database.transaction())
        return false;
    for (const UserCode &code : kDefaultUserCodes) {
        if (!AddUserCode(code.codeId, code.indexNu, QString::fromLatin1(code.text), *codes)) {
            database.rollback();
            return false;
        }
    }
    return database.commit();
}

bool AddUserCode(int codeId, int indexNu, const QString &eventText, Recordset &recordset)
{
    return recordset.addNew() && recordset.setValue(QStringLiteral("codeid"), codeId)
        && recordset.setValue(QStringLiteral("indexnu"), indexNu)
        && recordset.setValue(QStringLiteral("EventText"), eventText) && recordset.update();
}

QDateTime ParseDateTime(const QString &text)
{
    // "date time"; a lone part is a time when it has colons, else a date. A part that is missing
    // or unreadable counts as zero.
    QStringList parts = text.simplified().split(u' ');
    if (parts.size() == 1 && parts.first().contains(u':'))
        parts.prepend(QString());
    QDate date = QDate::fromString(parts.first(), QStringLiteral("yyyy-MM-dd"));
    QTime time = QTime::fromString(parts.mid(1).join(u' '), QStringLiteral("HH:mm:ss"));
    if (!date.isValid())
        date = DateText::zeroDate().date();
    if (!time.isValid())
        time = QTime(0, 0);
    return QDateTime(date, time);
}
