#include "core/clock.h"
#include "sitesimcli.h"

#include <QCoreApplication>

int main(int argc, char *argv[])
{
    Clock::settleLocalTimeZone();
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("sitesim"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    const QList<SitesimCommand> commands = { generateCommand(), serveCommand() };
    return runSitesim(QCoreApplication::arguments(), commands, out, err);
}
