#pragma once

#include <QString>

#include <functional>

/// \brief A program folder: the settings file and the local database of the program that lives
/// there, loaded into the process-wide settings and opened as the process-wide database. The
/// program's start-up and the headless tools share it.
class ProgramFolder
{
public:
    /// The settings file's name in a program folder.
    static QString settingsFileName();

    explicit ProgramFolder(const QString &path);

    QString path() const { return m_path; }
    QString settingsFilePath() const;

    /// Loads the settings and opens the database they name, upgrading its layout when the
    /// settings call for it. Nothing is created: a missing folder, settings file or database
    /// fails with \a error set.
    bool open(QString *error);

    /// What the first start of the program in a new folder sets up, without its dialogs.
    struct FirstRun
    {
        QString routerIP;
        QString clientName;
        QString userName;
        QString userPassword;
        QString driverId;
        QString driverName;
        QString locationName;
    };

    /// Writes a settings file with \a values and the first-run defaults, and creates the database
    /// with the default user codes (an existing Showpulse.mdb that opens is kept). Refuses a
    /// folder that has a settings file unless \a replace. \a summary tells what was done.
    bool initialise(const FirstRun &values, bool replace, QString *error, QString *summary);

    /// Writes the settings back if they changed since they were loaded or last written, as the
    /// program does when it ends.
    bool saveChangedSettings(QString *error);

    /// Loads the settings file into the process-wide settings; false (settings left empty) when
    /// it is missing or unreadable.
    bool loadSettings();
    /// Writes the settings file; \a beforeSave (see setBeforeSave) runs first.
    bool saveSettings(QString *error);
    /// Runs before every save: the program records its window geometry there.
    void setBeforeSave(std::function<void()> beforeSave) { m_beforeSave = std::move(beforeSave); }

    /// The database file the settings name, "Showpulse.mdb" in this folder when they name none
    /// (which is then stored); a name without a folder is taken to be in this folder.
    QString databasePath() const;
    /// Opens the database the settings name as the process-wide database. False, with the reason
    /// in \a error, when the file is missing or cannot be opened.
    bool openDatabase(QString *error);
    /// Creates a new, empty database at databasePath() and opens it. An existing file is never
    /// replaced: one that does not open as a database fails with \a error set.
    bool createDatabase(QString *error);
    /// Upgrades the database layout when the settings' version asks for it (storing the new
    /// version and saving the settings) and adds the indexes the program's queries need.
    bool checkDatabaseVersion(QString *error);
    /// What a first run stores before the user has chosen anything: the database in this folder,
    /// the daily compaction tomorrow at 06:00, events kept 30 days.
    void writeFirstRunDefaults();

private:
    QString m_path;
    QString m_savedContent;
    std::function<void()> m_beforeSave;
};
