#include "router/configuresettings.h"
#include "ui_configuresettings.h"

#include "router/serverconnectionheader.h"
#include "router/valuetext.h"
#include "ui/messages.h"

ConfigureSettings::ConfigureSettings(QWidget *owner)
    : QDialog(owner)
    , m_ui(std::make_unique<Ui::ConfigureSettings>())
{
    m_ui->setupUi(this);
    connect(m_ui->AcceptButton, &QPushButton::clicked, this, &ConfigureSettings::onAcceptClicked);
    connect(m_ui->CancelButton, &QPushButton::clicked, this, &ConfigureSettings::reject);
}

ConfigureSettings::~ConfigureSettings() = default;

bool ConfigureSettings::ShowForm(const QString &routerLocation, const QString &clientName)
{
    m_accepted = false;
    m_ui->ServerHostBox->setText(routerLocation);
    m_ui->ClientNameBox->setText(clientName);
    if (m_ui->ServerHostBox->text().isEmpty())
        m_ui->ServerHostBox->setText(QStringLiteral("localhost"));
    m_ui->ServerHostBox->setFocus();
    m_ui->ServerHostBox->selectAll();
    exec();
    return m_accepted;
}

void ConfigureSettings::onAcceptClicked()
{
    const QString location = ValueText::trimBlanks(m_ui->ServerHostBox->text()).toString();
    const QString client = ValueText::trimBlanks(m_ui->ClientNameBox->text()).toString();
    if (location.isEmpty()) {
        Messages::warning(this, QStringLiteral("A server location must be entered"));
        m_ui->ServerHostBox->setFocus();
        return;
    }
    if (client.isEmpty()) {
        Messages::warning(this, QStringLiteral("A client name must be entered"));
        m_ui->ClientNameBox->setFocus();
        return;
    }
    // The name travels in the header of every message, where a colon would shift the fields;
    // the connection refuses such a name, so it is refused here where the user can mend it.
    if (!ServerConnectionHeader::isHeaderSafe(client)) {
        Messages::warning(this,
            QStringLiteral("A client name must not contain a colon or characters outside the "
                           "Latin-1 set"));
        m_ui->ClientNameBox->setFocus();
        return;
    }
    m_routerLocation = location;
    m_clientName = client;
    m_accepted = true;
    accept();
}
