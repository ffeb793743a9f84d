#include "core/clock.h"
#include "core/startup.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>

#include <cstdio>

int main(int argc, char *argv[])
{
    Clock::settleLocalTimeZone();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Showpulse"));
    QApplication::setApplicationVersion(QStringLiteral(SHOWPULSE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Copies a cinema site's show events from its Tarvik driver and reports on them."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption folderOption(QStringLiteral("folder"),
        QStringLiteral("The program folder: settings, database and reports. Without it, the "
                       "folder the program is installed in."),
        QStringLiteral("path"));
    parser.addOption(folderOption);
    parser.process(app);

    const QString folder = parser.isSet(folderOption)
        ? QDir(parser.value(folderOption)).absolutePath()
        : QCoreApplication::applicationDirPath();
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "Showpulse: the program folder %s cannot be created.\n",
            qPrintable(QDir::toNativeSeparators(folder)));
        return 1;
    }

    Startup startup(folder);
    if (!startup.Main())
        return 0;
    return QApplication::exec();
}
