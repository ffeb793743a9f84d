#include "events/eventconstants.h"

#include "core/database.h"

#include <optional>

namespace EventConstants {

namespace {

constexpr int kEventCodeCount = 55;
const QChar kLineBreak = QChar(13);

// Down at the last event that printed a down time; see EventDetailText.
int LastDownValue = 0;

std::array<QString, 8> resetLabels()
{
    return { QStringLiteral("CPU Down: Year "), QStringLiteral("CPU Down: Month"),
        QStringLiteral("CPU Down: Day"), QStringLiteral("CPU Down: Hour"),
        QStringLiteral("CPU Down: Minute"), QStringLiteral("CPU Down: Second"),
        QStringLiteral("Version"), QStringLiteral("Checksum") };
}

std::array<QString, 8> clockSetLabels()
{
    return { QStringLiteral("Old Year "), QStringLiteral("Old Month"), QStringLiteral("Old Day"),
        QStringLiteral("Old Hour"), QStringLiteral("Old Minute"), QStringLiteral("Old Second"), {},
        {} };
}

std::array<QString, 8> receivedFromLabels()
{
    return { QStringLiteral("Received From ID"), {}, {}, {}, {}, {}, {}, {} };
}

std::array<EventDefinition, kEventCodeCount> buildDefinitions()
{
    std::array<EventDefinition, kEventCodeCount> table;
    const auto set = [&table](int code, const QString &name, std::array<QString, 8> labels = {}) {
        table[code] = EventDefinition { name, std::move(labels) };
    };
    set(1, QStringLiteral("Start - Manual"));
    set(2, QStringLiteral("Start - Timed"));
    set(3, QStringLiteral("Start - Clock"));
    set(4, QStringLiteral("End of Show"));
    set(5, QStringLiteral("Intermission Start"));
    set(6, QStringLiteral("Intermission End"));
    set(7, QStringLiteral("Stop - Manual"));
    set(8, QStringLiteral("Show Resumed"));
    set(9, QStringLiteral("Ready To Run"));
    set(10, QStringLiteral("Fault - Film Presence/Tension"));
    set(11, QStringLiteral("Fault - Film Motion"));
    set(12, QStringLiteral("Fault - Supervisory Memory"));
    set(13, QStringLiteral("Fault - Start Time Memory"));
    set(14, QStringLiteral("Fault - Program Memory"),
        { QStringLiteral("Program Number"), QStringLiteral("Step Number"), {}, {}, {}, {}, {},
            {} });
    set(15, QStringLiteral("Fault - Learn Time Memory"));
    set(16, QStringLiteral("Fault - Xenon Lamp Failure"));
    set(17, QStringLiteral("Fault - Local I/O Network"), receivedFromLabels());
    set(18, QStringLiteral("Fault - Sync Interlock"), receivedFromLabels());
    set(19, QStringLiteral("Fault - Sync Communications Timeout"), receivedFromLabels());
    set(20, QStringLiteral("Fault - Sync Not Ready To Run"), receivedFromLabels());
    set(21, QStringLiteral("Fault - Sync Not Ready To Resume"), receivedFromLabels());
    set(22, QStringLiteral("Fault - Sync Need Master To Resume"));
    set(23, QStringLiteral("Stop - Fire"));
    set(24, QStringLiteral("Stop - Remote"));
    set(25, QStringLiteral("Ready To Resume"));
    set(26, QStringLiteral("Low Battery"));
    set(27, QStringLiteral("Maintenance Schedule A"));
    set(28, QStringLiteral("Maintenance Schedule B"));
    set(29, QStringLiteral("Maintenance Schedule C"));
    set(30, QStringLiteral("Maintenance Scheduel D"));
    set(31, QStringLiteral("Missed Cue"));
    set(32, QStringLiteral("Check Cue Learn Times"));
    set(33, QStringLiteral("Reset - External"), resetLabels());
    set(34, QStringLiteral("Reset - Power Up"), resetLabels());
    set(35, QStringLiteral("Reset - Watchdog"), resetLabels());
    set(36, QStringLiteral("Reset - Halt Monitor"), resetLabels());
    set(37, QStringLiteral("Reset - CPU Clock"), resetLabels());
    set(38, QStringLiteral("Reset - Test Module"), resetLabels());
    set(39, QStringLiteral("Cue - In Learned Window"));
    set(40, QStringLiteral("Cue - Automation Inserted"));
    set(41, QStringLiteral("End Of Show Failsafe Shutdown - Learned Mode"));
    set(42, QStringLiteral("Cue - Film Cue"));
    set(43, QStringLiteral("Cue - End Of Show Failsafe Shutdown - Learn Mode"));
    set(44, QStringLiteral("Cue - Automatic Cue 0"));
    set(45, QStringLiteral("Cue - Keypad Inserted"));
    set(46, QStringLiteral("Manual Show Abort"));
    std::array<QString, 8> userCodeLabels { QStringLiteral("Operator Number") };
    for (const UserCodeCategoryEntry &category : UserCodeCategory())
        userCodeLabels[category.parameter - 1] = category.label.chopped(2);
    set(47, QStringLiteral("User Code"), userCodeLabels);
    set(48, QStringLiteral("Event Buffer Cleared at ZMU"));
    set(49, QStringLiteral("Event Buffer Cleared from Host"));
    set(50, QStringLiteral("Show Number Reset at ZMU"));
    set(51, QStringLiteral("Show Number Reset at Host"));
    set(52, QStringLiteral("Clock Set From ZMU Keypad"), clockSetLabels());
    set(53, QStringLiteral("Clock Set From Host - ZMU Request"), clockSetLabels());
    set(54, QStringLiteral("Clock Set From Host - Forced From Host"), clockSetLabels());
    return table;
}

std::array<QString, 32> buildFlagNames()
{
    std::array<QString, 32> names;
    for (int bit = 0; bit < 32; ++bit) {
        names[bit] = QStringLiteral("Undefined H")
            + QStringLiteral("%1").arg(quint32(1) << bit, 8, 16, QLatin1Char('0')).toUpper();
    }
    names[0] = QStringLiteral("In Learn Mode");
    names[1] = QStringLiteral("In Progress");
    names[2] = QStringLiteral("In Sync");
    names[3] = QStringLiteral("Running");
    names[16] = QStringLiteral("Any Event");
    names[18] = QStringLiteral("Ready to Resume");
    names[19] = QStringLiteral("Ready to Run");
    names[20] = QStringLiteral("User Code");
    names[21] = QStringLiteral("Resume");
    names[22] = QStringLiteral("Cue");
    names[23] = QStringLiteral("Show End");
    names[24] = QStringLiteral("Show Start");
    names[25] = QStringLiteral("Minor Fault");
    names[27] = QStringLiteral("Major Fault");
    names[28] = QStringLiteral("Computer");
    names[29] = QStringLiteral("Unscheduled Shut Down");
    names[30] = QStringLiteral("Scheduled Event");
    names[31] = QStringLiteral("Buffer Overflow - Lost Data");
    return names;
}

QString twoDigits(qint64 value)
{
    return QStringLiteral("%1").arg(value, 2, 10, QLatin1Char('0'));
}

// Durations print as a sign and the size; this way even the smallest qint64 has one.
quint64 magnitudeOf(qint64 seconds)
{
    return seconds < 0 ? 0 - quint64(seconds) : quint64(seconds);
}

// The text of a keypad code; nothing when the lookup could not be run at all.
std::optional<QString> codeText(int codeId, int number)
{
    const auto rows = OpenQuery(
        QStringLiteral("select EventText from eventcodes where codeid = ? and indexnu = ? "
                       "order by UniqueID"),
        { codeId, number });
    if (!rows)
        return std::nullopt;
    if (rows->eof())
        return QStringLiteral("Invalid Code:") + QString::number(number);
    return rows->value(QStringLiteral("EventText")).toString();
}

// A date field that was never written, or holds no readable date, is not set.
std::optional<QDateTime> dateField(const Recordset &row, const QString &name)
{
    const QVariant value = row.value(name);
    if (value.isNull())
        return std::nullopt;
    const QDateTime date = value.toDateTime();
    return date.isValid() ? std::optional<QDateTime>(date) : std::nullopt;
}

QString userCodeLines(int P1, const std::array<int, 8> &parameters, const QDateTime &eventTime)
{
    QString text;
    if (P1 >= 0)
        text += QStringLiteral("Operator: ") + LookupOperatorName(P1, eventTime) + kLineBreak;
    for (const UserCodeCategoryEntry &category : UserCodeCategory()) {
        const int value = parameters[category.parameter - 1];
        if (!category.isEntered(value))
            continue;
        // A lookup that cannot run leaves its line out; the others are still printed.
        if (const std::optional<QString> code = codeText(category.codeId, value))
            text += category.label + *code + kLineBreak;
    }
    return text;
}

} // namespace

const std::array<EventDefinition, 55> &EventDefinitions()
{
    static const std::array<EventDefinition, kEventCodeCount> table = buildDefinitions();
    return table;
}

const std::array<QString, 32> &EventFlagNames()
{
    static const std::array<QString, 32> names = buildFlagNames();
    return names;
}

const std::array<UserCodeCategoryEntry, 6> &UserCodeCategory()
{
    // Problem and damage code 0 means "nothing entered"; in the other lists 0 is a real code.
    static const std::array<UserCodeCategoryEntry, 6> table {
        UserCodeCategoryEntry { 1, QStringLiteral("Problem: "), 2, 0 },
        UserCodeCategoryEntry { 2, QStringLiteral("Damage: "), 3, 0 },
        UserCodeCategoryEntry { 3, QStringLiteral("Film: "), 4, -1 },
        UserCodeCategoryEntry { 4, QStringLiteral("Test: "), 5, -1 },
        UserCodeCategoryEntry { 5, QStringLiteral("Equipment: "), 6, -1 },
        UserCodeCategoryEntry { 0, QStringLiteral("Presentation: "), 7, -1 },
    };
    return table;
}

QString EventName(int code)
{
    if (code < 0 || code >= kEventCodeCount)
        return QStringLiteral("Unknown Event ") + QString::number(code);
    return EventDefinitions()[code].name;
}

QString EventDetailText(int EvCode, int Down, int P1, int P2, int P3, int P4, int P5, int P6,
    int P7, int P8, const QDateTime &EventTime)
{
    if (EvCode >= 1 && EvCode <= 3)
        LastDownValue = 0;

    switch (EvCode) {
    case 14:
        return QStringLiteral("Program: ") + QString::number(P1) + QStringLiteral(" Step: ")
            + QString::number(P2);
    case 17:
    case 18:
    case 19:
        return QStringLiteral("Id: ") + QString::number(P1);
    case 20:
    case 21:
        return QStringLiteral("Sync Id: ") + QString::number(P1);
    case 33:
    case 34:
    case 35:
    case 36:
    case 37:
    case 38:
    case 53:
    case 54:
        return QStringLiteral("Date/Time: ") + QString::number(P2) + u'/' + QString::number(P3)
            + u'/' + QString::number(P1) + u' ' + twoDigits(P4) + u':' + twoDigits(P5) + u':'
            + twoDigits(P6);
    case 47:
        return userCodeLines(P1, { P1, P2, P3, P4, P5, P6, P7, P8 }, EventTime);
    default:
        break;
    }

    if (Down == LastDownValue || Down <= 0)
        return {};
    const qint64 grown = qint64(Down) - LastDownValue;
    LastDownValue = Down;
    return QStringLiteral("Down time: ") + FormatDuration(grown);
}

void ResetLastDownValue()
{
    LastDownValue = 0;
}

QString LookupCodeText(int codeId, int number)
{
    return codeText(codeId, number).value_or(QString());
}

QString LookupOperatorName(int number, const QDateTime &eventTime)
{
    const auto rows = OpenQuery(
        QStringLiteral("select * from operators where proid = ? order by UniqueID"), { number });
    if (!rows)
        return QStringLiteral("No Operators have been entered");

    const QString invalid = QStringLiteral("Invalid User ID: ") + QString::number(number);
    if (rows->recordCount() <= 1) {
        const QString name
            = rows->eof() ? QString() : rows->value(QStringLiteral("ProName")).toString();
        return name.trimmed().isEmpty() ? invalid : name;
    }

    // A reused operator number: the row whose period holds the event's time names the operator.
    QString name;
    for (rows->moveFirst(); !rows->eof(); rows->moveNext()) {
        const std::optional<QDateTime> start = dateField(*rows, QStringLiteral("StartDate"));
        const std::optional<QDateTime> end = dateField(*rows, QStringLiteral("EndDate"));
        if (start && end && *start < eventTime && eventTime < *end)
            name = rows->value(QStringLiteral("ProName")).toString();
    }
    return name;
}

QString FormatDuration(qint64 seconds)
{
    const QString sign = seconds < 0 ? QStringLiteral("-") : QString();
    const quint64 magnitude = magnitudeOf(seconds);
    const quint64 hours = magnitude / 3600;
    const QString minutesAndSeconds
        = twoDigits(qint64(magnitude % 3600 / 60)) + u':' + twoDigits(qint64(magnitude % 60));
    return sign
        + (hours < 1 ? minutesAndSeconds : twoDigits(qint64(hours)) + u':' + minutesAndSeconds);
}

QString FormatDurationWords(qint64 seconds)
{
    const quint64 magnitude = magnitudeOf(seconds);
    const quint64 hours = magnitude / 3600;
    const quint64 minutes = magnitude % 3600 / 60;
    QString text = seconds < 0 ? QStringLiteral("-") : QString();
    if (hours > 0)
        text += QString::number(hours)
            + (hours == 1 ? QStringLiteral(" hour, ") : QStringLiteral(" hours, "));
    if (minutes > 0)
        text += QString::number(minutes)
            + (minutes == 1 ? QStringLiteral(" minute, ") : QStringLiteral(" minutes, "));
    return text + QString::number(magnitude % 60) + u" seconds";
}

} // namespace EventConstants
