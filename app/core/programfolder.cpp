#include "core/programfolder.h"

#include "core/clock.h"
#include "core/database.h"
#include "core/databaseschema.h"
#include "core/datetext.h"
#include "core/settingsfile.h"
#include "core/settingskeys.h"

#include <QDir>
#include <QFileInfo>

namespace {

// What a first run writes before the user has chosen anything.
const QString kDefaultDeleteDays = QStringLiteral("30");
const QString kCurrentDatabaseVersion = QStringLiteral("1");

QString databasePathIn(const QString &folder)
{
    return folder + u'/' + DefaultDatabaseFileName;
}

} // namespace

QString ProgramFolder::settingsFileName()
{
    return QStringLiteral("Showpulse.dat");
}

ProgramFolder::ProgramFolder(const QString &path)
    : m_path(QDir(path).absolutePath())
{
}

QString ProgramFolder::settingsFilePath() const
{
    return m_path + u'/' + settingsFileName();
}

bool ProgramFolder::open(QString *error)
{
    if (!QFileInfo(m_path).isDir()) {
        *error = QStringLiteral("The program folder %1 does not exist.").arg(m_path);
        return false;
    }
    const QString settingsPath = settingsFilePath();
    if (!QFileInfo(settingsPath).isFile()) {
        *error = QStringLiteral("There is no settings file %1 in %2: it is not a program folder "
                                "yet (see showpulse-cli init).")
                     .arg(settingsFileName(), m_path);
        return false;
    }
    if (!loadSettings()) {
        *error = QStringLiteral("The settings file %1 cannot be read.").arg(settingsPath);
        return false;
    }
    return openDatabase(error) && checkDatabaseVersion(error);
}

bool ProgramFolder::loadSettings()
{
    SettingsFile &settings = SettingsFile::instance();
    settings = SettingsFile();
    if (!settings.LoadSettingsFile(settingsFilePath())) {
        settings = SettingsFile();
        return false;
    }
    m_savedContent = settings.content();
    return true;
}

QString ProgramFolder::databasePath() const
{
    SettingsFile &settings = SettingsFile::instance();
    QString fileName = settings.GetFileValue(SettingsKeys::DatabaseFileName);
    if (fileName.isEmpty()) {
        fileName = databasePathIn(m_path);
        settings.SetFileValue(SettingsKeys::DatabaseFileName, fileName);
    }
    // A name without a folder is taken to be in the program folder, not wherever the program runs.
    return QDir(m_path).absoluteFilePath(fileName);
}

bool ProgramFolder::openDatabase(QString *error)
{
    const QString path = databasePath();
    if (!QFileInfo::exists(path)) {
        *error = QStringLiteral("The database %1 named by the settings does not exist.").arg(path);
        return false;
    }
    if (!Database::instance().open(path)) {
        *error = QStringLiteral("The database %1 cannot be opened.").arg(path);
        return false;
    }
    return true;
}

bool ProgramFolder::createDatabase(QString *error)
{
    const QString path = databasePath();
    if (QFileInfo::exists(path)) {
        *error = QStringLiteral("%1 exists but cannot be opened as a database; move it away first.")
                     .arg(path);
        return false;
    }
    if (!CreateNewDatabase(path) || !Database::instance().open(path)) {
        *error = QStringLiteral("The database %1 cannot be created.").arg(path);
        return false;
    }
    return true;
}

void ProgramFolder::writeFirstRunDefaults()
{
    SettingsFile &settings = SettingsFile::instance();
    settings.SetFileValue(SettingsKeys::DatabaseFileName, databasePathIn(m_path));
    settings.SetFileValue(SettingsKeys::DatabasePackTime,
        DateText::toText(QDateTime(Clock::currentDate().addDays(1), QTime(6, 0))));
    settings.SetFileValue(SettingsKeys::DeleteDays, kDefaultDeleteDays);
}

bool ProgramFolder::checkDatabaseVersion(QString *error)
{
    SettingsFile &settings = SettingsFile::instance();
    if (settings.GetFileValue(SettingsKeys::DatabaseVersion).toDouble() == 0
        && UpgradeDatabase(Database::instance())) {
        settings.SetFileValue(SettingsKeys::DatabaseVersion, kCurrentDatabaseVersion);
        if (!saveSettings(error))
            return false;
    }
    // Only speed depends on the indexes; a database that cannot take them still serves.
    EnsureIndexes(Database::instance());
    return true;
}

bool ProgramFolder::initialise(
    const FirstRun &values, bool replace, QString *error, QString *summary)
{
    // Every value is tried on a scratch copy first, so a refused one leaves the folder untouched.
    const struct
    {
        const QString &key;
        const QString &value;
        bool scramble;
        const char *option;
    } entries[] = {
        { SettingsKeys::RouterIP, values.routerIP, false, "--router" },
        { SettingsKeys::ClientName, values.clientName, false, "--client" },
        { SettingsKeys::LocationName, values.locationName, false, "--location" },
        { SettingsKeys::UserName, values.userName, true, "--user" },
        { SettingsKeys::UserPassword, values.userPassword, true, "--password" },
        { SettingsKeys::TarvikDriverID, values.driverId, false, "--driver" },
        { SettingsKeys::TarvikDriverName, values.driverName, false, "--driver-name" },
    };
    SettingsFile scratch;
    for (const auto &entry : entries) {
        if (!scratch.SetFileValue(entry.key, entry.value, entry.scramble)) {
            *error = QStringLiteral("%1: the settings file cannot hold this value (line breaks, "
                                    "characters outside Latin-1 or text framed by asterisks).")
                         .arg(QLatin1StringView(entry.option));
            return false;
        }
    }

    if (!QDir().mkpath(m_path)) {
        *error = QStringLiteral("The program folder %1 cannot be created.").arg(m_path);
        return false;
    }
    if (QFileInfo::exists(settingsFilePath()) && !replace) {
        *error = QStringLiteral("%1 already has a settings file; --force replaces it.").arg(m_path);
        return false;
    }

    SettingsFile &settings = SettingsFile::instance();
    settings = SettingsFile();
    m_savedContent.clear();

    writeFirstRunDefaults();
    QString openError;
    const bool created = !openDatabase(&openError);
    if (created && !createDatabase(error))
        return false;
    const QString database = databasePath();
    if (!checkDatabaseVersion(error))
        return false;
    if (created && !AddDefaultUserCodes(Database::instance())) {
        *error = QStringLiteral("The default user codes cannot be added to %1.").arg(database);
        return false;
    }

    for (const auto &entry : entries) {
        if (!entry.value.isEmpty())
            settings.SetFileValue(entry.key, entry.value, entry.scramble);
        // The stored credentials are used for every connection, as the log-on box's "remember"
        // would have it.
        if (entry.key == SettingsKeys::UserPassword)
            settings.SetFileValue(SettingsKeys::AutoLogOn, QStringLiteral("True"));
    }
    if (!saveSettings(error))
        return false;

    *summary = QStringLiteral("Program folder %1 is ready: settings %2, %3 database %4.")
                   .arg(m_path, settingsFileName(), created ? u"new" : u"existing", database);
    return true;
}

bool ProgramFolder::saveChangedSettings(QString *error)
{
    if (SettingsFile::instance().content() == m_savedContent)
        return true;
    return saveSettings(error);
}

bool ProgramFolder::saveSettings(QString *error)
{
    if (m_beforeSave)
        m_beforeSave();
    const QString path = settingsFilePath();
    if (!SettingsFile::instance().SaveSettingsFile(path)) {
        *error = QStringLiteral("The settings file %1 cannot be written.").arg(path);
        return false;
    }
    m_savedContent = SettingsFile::instance().content();
    return true;
}
