#pragma once

#include <QString>

/// \brief The names of every entry of the settings file, matched case-sensitively.
///
/// Secrets (user names and passwords) are stored scrambled; see the note on each group.
namespace SettingsKeys {

// Router connection and log-on. UserName and UserPassword are scrambled.
inline const QString RouterIP = QStringLiteral("RouterIP");
inline const QString ClientName = QStringLiteral("ClientName");
inline const QString UserName = QStringLiteral("UserName");
inline const QString UserPassword = QStringLiteral("UserPassword");
inline const QString AutoLogOn = QStringLiteral("AutoLogOn");
inline const QString TarvikDriverID = QStringLiteral("TarvikDriverID");
inline const QString TarvikDriverName = QStringLiteral("TarvikDriverName");

// Local database and its maintenance.
inline const QString DatabaseFileName = QStringLiteral("DatabaseFileName");
inline const QString DatabasePackTime = QStringLiteral("DatabasePackTime");
inline const QString DeleteDays = QStringLiteral("DeleteDays");
inline const QString DatabaseVersion = QStringLiteral("DatabaseVersion");

// Main window geometry (twips) and state.
inline const QString Top = QStringLiteral("Top");
inline const QString Left = QStringLiteral("Left");
inline const QString Width = QStringLiteral("Width");
inline const QString Height = QStringLiteral("Height");
inline const QString WindowState = QStringLiteral("WindowState");

// "1" means running, "0" disabled.
inline const QString ScheduleDisable = QStringLiteral("ScheduleDisable");
inline const QString SpoolerDisable = QStringLiteral("SpoolerDisable");

// Location details for report headers and mail.
inline const QString LocationName = QStringLiteral("LocationName");
inline const QString LocationAddress = QStringLiteral("LocationAddress");
inline const QString LocationCity = QStringLiteral("LocationCity");
inline const QString LocationState = QStringLiteral("LocationState");
inline const QString LocationCountry = QStringLiteral("LocationCountry");
inline const QString LocationZip = QStringLiteral("LocationZip");
inline const QString LocationPhone = QStringLiteral("LocationPhone");
inline const QString LocationExt = QStringLiteral("LocationExt");
inline const QString LocationFax = QStringLiteral("LocationFax");
inline const QString LocationContact = QStringLiteral("LocationContact");
inline const QString LocationParent = QStringLiteral("LocationParent");
inline const QString LocationLogo = QStringLiteral("LocationLogo");
inline const QString ReportTime = QStringLiteral("ReportTime");

// E-mail. emailUserName and emailUserPassword are scrambled.
inline const QString emailServer = QStringLiteral("emailServer");
inline const QString emailFromName = QStringLiteral("emailFromName");
inline const QString emailFromAddress = QStringLiteral("emailFromAddress");
inline const QString POP3Server = QStringLiteral("POP3Server");
inline const QString emailUserName = QStringLiteral("emailUserName");
inline const QString emailUserPassword = QStringLiteral("emailUserPassword");
inline const QString emailAuthType = QStringLiteral("emailAuthType");

// Dial-up before sending mail. ISPLogOnName and ISPPassword are scrambled.
inline const QString UseISP = QStringLiteral("Use ISP");
inline const QString ISP = QStringLiteral("ISP");
inline const QString ISPLogOnName = QStringLiteral("ISPLogOnName");
inline const QString ISPPassword = QStringLiteral("ISPPassword");

} // namespace SettingsKeys
