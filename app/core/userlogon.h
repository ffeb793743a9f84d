#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class UserLogOn;
}

/// \brief "User Log On": asks for the name and password the router checks, and whether to log
/// on with them automatically next time.
class UserLogOn : public QDialog
{
    Q_OBJECT

public:
    explicit UserLogOn(QWidget *owner);
    ~UserLogOn() override;

    /// Shows the dialog modally with \a userName filled in, the password empty and the check box
    /// set from \a autoLogOn; true when the user accepted.
    bool ShowForm(const QString &userName, bool autoLogOn);

    /// The name and password as typed (blanks kept) and the check box, kept at Accept.
    QString GetUserName() const { return m_userName; }
    QString GetUserPassword() const { return m_userPassword; }
    bool GetAutoLogOn() const { return m_autoLogOn; }

private:
    void updateAcceptButton();
    void onAcceptClicked();

    std::unique_ptr<Ui::UserLogOn> m_ui;
    QString m_userName;
    QString m_userPassword;
    bool m_autoLogOn = false;
    bool m_accepted = false;
};
