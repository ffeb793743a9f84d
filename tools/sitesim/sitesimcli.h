#pragma once

#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <functional>

/// One command of the sitesim program ("sitesim <name> [options]").
struct SitesimCommand
{
    QString name;
    QString summary; // one sentence for the help
    std::function<void(QCommandLineParser &)> addOptions;
    /// Runs the command with its parsed options; the result is the exit code.
    std::function<int(const QCommandLineParser &, QTextStream &out, QTextStream &err)> run;
};

SitesimCommand generateCommand();
SitesimCommand serveCommand();

/// Dispatches \a arguments (program name first) to one of \a commands; "--help" or "help"
/// describes every command, "<name> --help" one. Usage errors give exit code 2.
int runSitesim(const QStringList &arguments, const QList<SitesimCommand> &commands,
    QTextStream &out, QTextStream &err);
