#pragma once

#include "ui/formresize.h"

#include <QDialog>
#include <QHash>
#include <QIcon>
#include <QList>

#include <functional>
#include <memory>

class QTreeWidgetItem;
class ResponseData;
class ServerConnection;

namespace Ui {
class SelectTarvikDriver;
}

/// \brief "Select Tarvik Driver": lists the drivers on this router and on every router the
/// location server knows, as a tree, and lets the user pick one.
class SelectTarvikDriver : public QDialog
{
    Q_OBJECT

public:
    /// Item data of the tree's nodes (column 0).
    enum NodeRole { KeyRole = Qt::UserRole, TagRole };

    /// Lists are cut here: the four-digit suffix of a driver's key must stay four digits.
    static constexpr int MaxLocalDrivers = 7999;
    static constexpr int MaxRemoteClients = 8999;

    SelectTarvikDriver(ServerConnection &router, QWidget *owner);
    ~SelectTarvikDriver() override;

    /// Asks the router for its clients and the network's, fills the tree and shows the dialog
    /// modally; true when the user accepted a driver, whose details are then kept.
    bool ShowForm();

    QString DriverClientID() const { return m_driverClientId; }
    QString DriverName() const { return m_driverName; }
    QString RouterName() const { return m_routerName; }

    /// Puts the drivers of an "ENUMERATE ACTIVE CLIENTS" answer under the "LOCAL" root. A failed
    /// answer is reported and adds nothing; an empty one adds nothing.
    void FillLocalDrivers(const ResponseData &clients);

    /// The main window's "Select Tarvik Driver" command: after the user confirms giving up the
    /// stored driver (when there is one) and picks a new one, empties the local event tables,
    /// stores the new driver in the settings and calls \a saveSettings. True when a new driver
    /// was stored; on any failure the old driver and all local data stay.
    static bool RunSelectDriverCommand(
        QWidget *owner, ServerConnection &router, const std::function<bool()> &saveSettings);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void GetRemoteDrivers();
    // Adds a node unless its key is empty or taken; the new node or nullptr.
    QTreeWidgetItem *addNode(QTreeWidgetItem *parent, const QString &key, const QString &text,
        int image, const QString &tag = QString());
    QTreeWidgetItem *selectedDriver() const;
    void updateAcceptButton();
    void onAcceptClicked();

    ServerConnection &m_router;
    std::unique_ptr<Ui::SelectTarvikDriver> m_ui;
    // Pictures 1 to 3: the network, a router, a driver (index 0 unused).
    QList<QIcon> m_wideImageList;
    QHash<QString, QTreeWidgetItem *> m_nodes; // by key
    QHash<QString, QTreeWidgetItem *> m_routerNodes; // routers under "NETWORK", by router ID
    FormResize::LayoutRecord m_layout;
    QString m_driverClientId;
    QString m_driverName;
    QString m_routerName;
    bool m_selected = false;
};
