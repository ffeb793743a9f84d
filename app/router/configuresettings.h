#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class ConfigureSettings;
}

/// \brief "Connection Settings": where the router runs and the name this site registers under.
class ConfigureSettings : public QDialog
{
    Q_OBJECT

public:
    explicit ConfigureSettings(QWidget *owner);
    ~ConfigureSettings() override;

    /// Shows the dialog modally with the given values ("localhost" for an empty location); true
    /// when the user accepted, with the trimmed values in RouterLocation() and ClientName().
    bool ShowForm(const QString &routerLocation, const QString &clientName);

    QString RouterLocation() const { return m_routerLocation; }
    QString ClientName() const { return m_clientName; }

private:
    void onAcceptClicked();

    std::unique_ptr<Ui::ConfigureSettings> m_ui;
    bool m_accepted = false;
    QString m_routerLocation;
    QString m_clientName;
};
