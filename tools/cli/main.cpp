#include "clicommand.h"
#include "core/clock.h"
#include "terminalprogress.h"

#include <QCoreApplication>

#include <cstdio>

int main(int argc, char *argv[])
{
    Clock::settleLocalTimeZone();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("showpulse-cli"));

    TerminalProgress progress(stderr);
    Progress::setCurrent(&progress);

    QTextStream out(stdout);
    QTextStream err(stderr);
    CliStreams streams { out, err };
    const int code = runCli(
        QCoreApplication::arguments(), { initCommand(), syncCommand(), reportCommand() }, streams);
    out.flush();
    err.flush();
    Progress::setCurrent(nullptr);
    return code;
}
