#include "clicommand.h"

#include <QCoreApplication>

namespace {

const QString kProgram = QStringLiteral("showpulse-cli");
constexpr qsizetype kHelpWidth = 100;
constexpr qsizetype kOptionColumn = 28;

const QCommandLineOption kFolder(QStringLiteral("folder"),
    QStringLiteral("The program folder: the folder holding Showpulse.dat (default: the folder of "
                   "this executable)."),
    QStringLiteral("dir"));
const QCommandLineOption kHelp(
    { QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Shows this help."));

// \a text wrapped to the help width, every line after the first indented by \a indent.
QString wrapped(const QString &text, qsizetype indent, qsizetype firstColumn)
{
    QString result;
    qsizetype column = firstColumn;
    const QStringList words = text.split(u' ', Qt::SkipEmptyParts);
    for (const QString &word : words) {
        if (column > indent && column + 1 + word.size() > kHelpWidth) {
            result += u'\n' + QString(indent, u' ');
            column = indent;
        } else if (column > indent) {
            result += u' ';
            ++column;
        }
        result += word;
        column += word.size();
    }
    return result;
}

QString optionHelp(const QList<QCommandLineOption> &options)
{
    QString text;
    for (const QCommandLineOption &option : options) {
        QStringList names;
        for (const QString &name : option.names())
            names.append((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name);
        QString left = QStringLiteral("  ") + names.join(QStringLiteral(", "));
        if (!option.valueName().isEmpty())
            left += QStringLiteral(" <") + option.valueName() + u'>';
        left += u' ';
        if (left.size() < kOptionColumn)
            left = left.leftJustified(kOptionColumn);
        else
            left += u'\n' + QString(kOptionColumn, u' ');
        text += left + wrapped(option.description(), kOptionColumn, kOptionColumn) + u'\n';
    }
    return text;
}

QString usageLine(const CliCommand &command)
{
    QString line = QStringLiteral("Usage: %1 [--folder DIR] %2").arg(kProgram, command.name);
    if (!command.arguments.isEmpty())
        line += u' ' + command.arguments;
    if (!command.options.isEmpty())
        line += QStringLiteral(" [options]");
    return line;
}

QString commandHelp(const CliCommand &command)
{
    QString text = usageLine(command) + u'\n' + wrapped(command.description, 0, 0) + u'\n';
    if (!command.options.isEmpty())
        text += QStringLiteral("\nOptions:\n") + optionHelp(command.options);
    return text;
}

QString overallHelp(const QList<CliCommand> &commands)
{
    QString text
        = QStringLiteral("Usage: %1 [--folder DIR] <command> [arguments] [options]\n").arg(kProgram)
        + wrapped(QStringLiteral("The headless companion of Showpulse for servers and scheduled "
                                 "jobs. It works on a program folder: the settings file "
                                 "Showpulse.dat and the database it names, exactly as the "
                                 "program keeps them; it never sets up a folder unasked."),
            0, 0)
        + QStringLiteral("\n\nGlobal options (also accepted after the command):\n")
        + optionHelp({ kFolder, kHelp }) + QStringLiteral("\nCommands:\n");
    for (const CliCommand &command : commands) {
        const QString left = QStringLiteral("  ") + command.name;
        text += left.leftJustified(12) + wrapped(command.brief, 12, 12) + u'\n';
    }
    text += QStringLiteral("\nExit codes: 0 success; 1 failure, with the reason on standard "
                           "error; 2 usage error.\n");
    for (const CliCommand &command : commands)
        text += u'\n' + commandHelp(command);
    return text;
}

} // namespace

int cliError(CliStreams &streams, const QString &command, const QString &text, int code)
{
    streams.err << kProgram;
    if (!command.isEmpty())
        streams.err << ' ' << command;
    streams.err << ": " << text << '\n';
    streams.err.flush();
    return code;
}

int runCli(const QStringList &arguments, const QList<CliCommand> &commands, CliStreams &streams)
{
    QCommandLineParser global;
    global.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    // What follows the command belongs to the command.
    global.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    global.addOptions({ kFolder, kHelp });
    if (!global.parse(arguments))
        return cliError(
            streams, {}, global.errorText() + QStringLiteral("; see --help."), ExitUsage);

    const QStringList positional = global.positionalArguments();
    const QString name = positional.value(0);
    if (global.isSet(kHelp) || name == QStringLiteral("help")) {
        for (const CliCommand &command : commands) {
            if (positional.value(1) == command.name) {
                streams.out << commandHelp(command);
                return ExitSuccess;
            }
        }
        streams.out << overallHelp(commands);
        return ExitSuccess;
    }
    if (name.isEmpty())
        return cliError(streams, {}, QStringLiteral("name a command; see --help."), ExitUsage);

    for (const CliCommand &command : commands) {
        if (command.name != name)
            continue;
        QCommandLineParser parser;
        parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
        parser.addOptions(command.options);
        parser.addOptions({ kFolder, kHelp });
        if (!parser.parse(QStringList { arguments.value(0, kProgram) } + positional.mid(1)))
            return cliError(streams, name, parser.errorText(), ExitUsage);
        if (parser.isSet(kHelp)) {
            streams.out << commandHelp(command);
            return ExitSuccess;
        }
        if (command.arguments.isEmpty() && !parser.positionalArguments().isEmpty())
            return cliError(streams, name,
                QStringLiteral("unexpected argument %1.")
                    .arg(parser.positionalArguments().constFirst()),
                ExitUsage);

        QString folder = QCoreApplication::applicationDirPath();
        if (parser.isSet(kFolder))
            folder = parser.value(kFolder);
        else if (global.isSet(kFolder))
            folder = global.value(kFolder);
        if (folder.isEmpty())
            return cliError(streams, name, QStringLiteral("--folder needs a folder."), ExitUsage);
        return command.run(parser, folder, streams);
    }
    return cliError(
        streams, {}, QStringLiteral("unknown command %1; see --help.").arg(name), ExitUsage);
}
