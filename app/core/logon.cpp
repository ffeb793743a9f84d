#include "core/logon.h"

#include "core/progress.h"
#include "core/settingsfile.h"
#include "core/settingskeys.h"
#include "core/userlogon.h"
#include "router/serverconnection.h"
#include "ui/messages.h"

#include <QPointer>
#include <QWidget>

namespace {

// The access list "SELF CHECK" stands for the logged-on user's own; bit 1 is "Log On Access".
const QString kSelfCheck = QStringLiteral("SELF CHECK");
constexpr qint32 kLogOnAccess = 1;

// Stores a credential scrambled. One the settings cannot hold is stored empty rather than
// leaving an earlier user's value behind for the next automatic log-on.
void storeCredential(SettingsFile &settings, const QString &key, const QString &value)
{
    if (!settings.SetFileValue(key, value, true))
        settings.SetFileValue(key, QString(), true);
}

} // namespace

bool LogOnWithDialog(QWidget *owner, ServerConnection &router)
{
    SettingsFile &settings = SettingsFile::instance();
    const QPointer<QWidget> window(owner);
    QString userName = settings.GetFileValue(SettingsKeys::UserName);
    bool retry = true;
    bool loggedOn = false;
    while (retry && !loggedOn) {
        UserLogOn dialog(window);
        retry = dialog.ShowForm(
            userName, settings.GetFileValue(SettingsKeys::AutoLogOn) == QStringLiteral("True"));
        if (retry) {
            // The name as typed comes back after a rejection; the stored form loses the blanks
            // around it.
            userName = dialog.GetUserName();
            storeCredential(settings, SettingsKeys::UserName, dialog.GetUserName());
            storeCredential(settings, SettingsKeys::UserPassword, dialog.GetUserPassword());
            settings.SetFileValue(SettingsKeys::AutoLogOn,
                dialog.GetAutoLogOn() ? QStringLiteral("True") : QStringLiteral("False"));

            Progress &progress = Progress::current();
            progress.Display(QStringLiteral("Verifying User Log On Name and Password"));
            // Sent as typed: the stored copies may differ (surrounding blanks, characters the
            // settings file cannot scramble).
            const ResponseData answer
                = router.RegisterUser(dialog.GetUserName(), dialog.GetUserPassword());
            progress.Close();

            if (answer.ErrorCode() != 0)
                Messages::warning(window,
                    QStringLiteral("User Log on rejected. ") + QStringLiteral("\r\n")
                        + answer.ErrorText());
            else if (router.CheckUserAccess(kSelfCheck, kLogOnAccess))
                loggedOn = true;
            else
                Messages::warning(window, QStringLiteral("User name or password invalid"));
        }
        if (window)
            window->repaint();
    }
    return loggedOn;
}

void LogOnSilently(ServerConnection &router)
{
    const SettingsFile &settings = SettingsFile::instance();
    // The router keeps the user and the access list; whether the list grants this program
    // matters to nobody here, so it is not checked.
    router.RegisterUser(settings.GetFileValue(SettingsKeys::UserName),
        settings.GetFileValue(SettingsKeys::UserPassword));
}
