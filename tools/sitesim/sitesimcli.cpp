#include "sitesimcli.h"

namespace {

const QString kProgram = QStringLiteral("sitesim");

void addCommandOptions(const SitesimCommand &command, QCommandLineParser &parser)
{
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addHelpOption();
    command.addOptions(parser);
}

QString commandHelp(const SitesimCommand &command)
{
    QCommandLineParser parser;
    addCommandOptions(command, parser);
    // The parser's own usage line knows nothing of commands; keep only its option list.
    const QString text = parser.helpText();
    const qsizetype options = text.indexOf(QStringLiteral("Options:"));
    return QStringLiteral("Usage: %1 %2 [options]\n%3\n\n")
               .arg(kProgram, command.name, command.summary)
        + (options >= 0 ? text.mid(options) : QString());
}

QString overallHelp(const QList<SitesimCommand> &commands)
{
    QString text
        = QStringLiteral("Usage: %1 <command> [options]\n"
                         "The site's router and driver, simulated for tests and demonstrations.\n\n"
                         "Commands:\n")
              .arg(kProgram);
    for (const SitesimCommand &c : commands)
        text += QStringLiteral("  %1  %2\n").arg(c.name.leftJustified(10), c.summary);
    text += QStringLiteral("\n%1 <command> --help describes one command.\n").arg(kProgram);
    for (const SitesimCommand &c : commands)
        text += QStringLiteral("\n") + commandHelp(c);
    return text;
}

} // namespace

int runSitesim(const QStringList &arguments, const QList<SitesimCommand> &commands,
    QTextStream &out, QTextStream &err)
{
    const QString first = arguments.value(1);
    if (first == QStringLiteral("--help") || first == QStringLiteral("-h")
        || first == QStringLiteral("help")) {
        out << overallHelp(commands);
        return 0;
    }
    if (first.isEmpty()) {
        err << overallHelp(commands);
        return 2;
    }
    for (const SitesimCommand &command : commands) {
        if (command.name != first)
            continue;
        QCommandLineParser parser;
        addCommandOptions(command, parser);
        QStringList rest = arguments.mid(2);
        rest.prepend(arguments.value(0, kProgram));
        if (!parser.parse(rest)) {
            err << kProgram << " " << command.name << ": " << parser.errorText() << "\n";
            return 2;
        }
        if (parser.isSet(QStringLiteral("help"))) {
            out << commandHelp(command);
            return 0;
        }
        if (!parser.positionalArguments().isEmpty()) {
            err << kProgram << " " << command.name << ": unexpected argument "
                << parser.positionalArguments().constFirst() << "\n";
            return 2;
        }
        return command.run(parser, out, err);
    }
    err << kProgram << ": unknown command " << first << "; " << kProgram
        << " --help lists the commands.\n";
    return 2;
}
