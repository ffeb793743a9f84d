#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>

/// Exit codes of showpulse-cli.
enum CliExit : int { ExitSuccess = 0, ExitFailure = 1, ExitUsage = 2 };

/// Where a command writes: standard output and standard error.
struct CliStreams
{
    QTextStream &out;
    QTextStream &err;
};

/// One command of showpulse-cli ("showpulse-cli [--folder DIR] <name> [arguments] [options]").
struct CliCommand
{
    QString name;
    QString arguments; ///< positional arguments for the usage line, e.g. "daily|weekly"
    QString brief; ///< one line for the list of commands
    QString description; ///< what it does, a few sentences for its help
    QList<QCommandLineOption> options;
    /// Runs the command on the program folder \a folder with its parsed options; the result is
    /// the exit code.
    std::function<int(const QCommandLineParser &, const QString &folder, CliStreams &)> run;
};

CliCommand initCommand();
CliCommand reportCommand();
CliCommand syncCommand();

/// Reads the command line (program name first) and runs the command it names.
int runCli(const QStringList &arguments, const QList<CliCommand> &commands, CliStreams &streams);

/// Writes "showpulse-cli <command>: <text>" to standard error and returns \a code.
int cliError(CliStreams &streams, const QString &command, const QString &text, int code);
