#pragma once

#include <QString>

/// \brief A program folder as the headless tools use it: the settings file and the local
/// database of the program that lives there, loaded into the process-wide settings and opened
/// as the process-wide database, exactly as the program does at start-up.
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

private:
    bool openDatabase(QString *error);
    bool checkDatabaseVersion(QString *error);
    bool saveSettings(QString *error);

    QString m_path;
    QString m_savedContent;
};
