#include "core/userlogon.h"
#include "ui_userlogon.h"

#include "router/valuetext.h"

#include <QCoreApplication>

namespace {

// "Version " and the program's major, minor and patch numbers; missing parts read 0.
QString versionText()
{
    const QStringList parts = QCoreApplication::applicationVersion().split(QLatin1Char('.'));
    QStringList numbers;
    for (int i = 0; i < 3; ++i)
        numbers.append(QString::number(parts.value(i).toInt()));
    return QStringLiteral("Version ") + numbers.join(QLatin1Char('.'));
}

bool hasText(const QString &text)
{
    return !ValueText::trimBlanks(text).isEmpty();
}

} // namespace

UserLogOn::UserLogOn(QWidget *owner)
    : QDialog(owner)
    , m_ui(std::make_unique<Ui::UserLogOn>())
{
    m_ui->setupUi(this);
    m_ui->lblVersion->setText(versionText());
    m_ui->AcceptButton->setEnabled(false);
    connect(m_ui->UserNameBox, &QLineEdit::textChanged, this, &UserLogOn::updateAcceptButton);
    connect(m_ui->UserPasswordBox, &QLineEdit::textChanged, this, &UserLogOn::updateAcceptButton);
    connect(m_ui->AutoLogOn, &QCheckBox::clicked, this, &UserLogOn::updateAcceptButton);
    connect(m_ui->AcceptButton, &QPushButton::clicked, this, &UserLogOn::onAcceptClicked);
    connect(m_ui->CancelButton, &QPushButton::clicked, this, &UserLogOn::reject);
}

UserLogOn::~UserLogOn() = default;

bool UserLogOn::ShowForm(const QString &userName, bool autoLogOn)
{
    m_ui->UserNameBox->setText(userName);
    m_ui->UserPasswordBox->clear();
    m_ui->AutoLogOn->setChecked(autoLogOn);
    m_accepted = false;
    updateAcceptButton();
    // A known name needs only its password.
    if (userName.isEmpty())
        m_ui->UserNameBox->setFocus();
    else
        m_ui->UserPasswordBox->setFocus();
    exec();
    return m_accepted;
}

void UserLogOn::updateAcceptButton()
{
    m_ui->AcceptButton->setEnabled(
        hasText(m_ui->UserNameBox->text()) && hasText(m_ui->UserPasswordBox->text()));
}

void UserLogOn::onAcceptClicked()
{
    // Accept is enabled only while both texts hold more than blanks.
    m_userName = m_ui->UserNameBox->text();
    m_userPassword = m_ui->UserPasswordBox->text();
    m_autoLogOn = m_ui->AutoLogOn->isChecked();
    m_accepted = true;
    accept();
}
