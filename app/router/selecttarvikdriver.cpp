#include "router/selecttarvikdriver.h"
#include "ui_selecttarvikdriver.h"

#include "core/database.h"
#include "core/progress.h"
#include "core/settingsfile.h"
#include "core/settingskeys.h"
#include "router/responsedata.h"
#include "router/serverconnection.h"
#include "router/serverconnectionheader.h"
#include "router/valuetext.h"
#include "ui/messages.h"

#include <QGuiApplication>
#include <QPainter>
#include <QPixmap>
#include <QtMath>

#include <limits>

using ServerConnectionHeader::GetItem;

namespace {

const QString kLocalKey = QStringLiteral("LOCAL");
const QString kNetworkKey = QStringLiteral("NETWORK");
const QString kDriverTag = QStringLiteral("DRIVER");
constexpr double kTarvikClientType = 3;
constexpr int kWorldImage = 1;
constexpr int kNetworkImage = 2;
constexpr int kTarvikImage = 3;
// Key suffixes: record number plus these, four digits while the lists keep to their limits.
constexpr int kLocalSuffixBase = 2000;
constexpr int kRemoteSuffixBase = 1000;
constexpr int kSuffixLength = 4;
// The smallest outer size of the window, in twips: the three buttons side by side without
// touching, and a few rows of the tree.
constexpr int kMinWidth = 5400;
constexpr int kMinHeight = 3000;

const QString kDeleteQuestion = QStringLiteral(
    "Selecting a new Tarvik Driver will cause all event data in the Event Log database to be "
    "deleted.  Are you sure you want to select a new Tarvik Driver?");

// Walks the records of \a data up to the first empty one, at most \a limit of them, and moves
// the progress bar from \a progressFrom over \a progressSpan as the data is read.
template <typename Visit>
void forEachRecord(const QString &data, int limit, int progressFrom, int progressSpan, Visit visit)
{
    const QList<QStringView> records
        = ServerConnectionHeader::splitFields(data, ServerConnectionHeader::RecordToken);
    qsizetype count = 0;
    for (int r = 1; r <= records.size() && r <= limit; ++r) {
        const QStringView record = records.at(r - 1);
        if (record.isEmpty())
            break;
        visit(record, r);
        count += record.size();
        Progress::current().SetProgress(
            progressFrom + qRound(double(count) / double(data.size()) * progressSpan));
    }
}

bool isTarvik(QStringView typeItem)
{
    return ValueText::numericValue(typeItem) == kTarvikClientType;
}

// The three pictures of the tree, 32 by 16, drawn at the screen's pixel ratio.
QIcon picture(void (*draw)(QPainter &))
{
    const qreal ratio = qApp ? qApp->devicePixelRatio() : 1.0;
    QPixmap pixmap(qCeil(32 * ratio), qCeil(16 * ratio));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    draw(painter);
    painter.end();
    return QIcon(pixmap);
}

// The whole network: a globe.
void drawWorld(QPainter &p)
{
    const QRectF globe(9.5, 1.5, 13, 13);
    QRadialGradient sea(globe.center() - QPointF(2, 2), 8);
    sea.setColorAt(0, QColor(140, 200, 255));
    sea.setColorAt(1, QColor(30, 100, 200));
    p.setPen(QPen(QColor(20, 60, 130), 1));
    p.setBrush(sea);
    p.drawEllipse(globe);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(60, 160, 70));
    p.drawEllipse(QRectF(11.5, 4, 5, 4));
    p.drawEllipse(QRectF(15, 8.5, 5, 4.5));
    p.drawEllipse(QRectF(18, 3.5, 2.5, 2.5));
    p.setPen(QPen(QColor(255, 255, 255, 110), 0.8));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QRectF(13, 1.5, 6, 13));
    p.drawLine(QPointF(9.5, 8), QPointF(22.5, 8));
}

// A router: a box with its lights and two aerials.
void drawNetwork(QPainter &p)
{
    p.setPen(QPen(QColor(40, 40, 50), 1.2));
    p.drawLine(QPointF(9, 6), QPointF(7, 1));
    p.drawLine(QPointF(23, 6), QPointF(25, 1));
    QLinearGradient face(0, 6, 0, 14);
    face.setColorAt(0, QColor(110, 120, 140));
    face.setColorAt(1, QColor(55, 60, 75));
    p.setPen(QPen(QColor(30, 30, 40), 1));
    p.setBrush(face);
    p.drawRoundedRect(QRectF(3.5, 6.5, 25, 8), 2, 2);
    p.setPen(Qt::NoPen);
    for (int i = 0; i < 4; ++i) {
        p.setBrush(i == 3 ? QColor(255, 190, 40) : QColor(90, 230, 90));
        p.drawEllipse(QRectF(7 + 4 * i, 9.5, 2.5, 2.5));
    }
}

// A Tarvik driver: an automation unit with a film reel and its display.
void drawTarvik(QPainter &p)
{
    QLinearGradient face(0, 2, 0, 15);
    face.setColorAt(0, QColor(70, 70, 78));
    face.setColorAt(1, QColor(25, 25, 30));
    p.setPen(QPen(QColor(10, 10, 12), 1));
    p.setBrush(face);
    p.drawRoundedRect(QRectF(1.5, 2.5, 29, 12), 2, 2);
    p.setPen(QPen(QColor(200, 200, 210), 1));
    p.setBrush(QColor(150, 150, 160));
    p.drawEllipse(QRectF(3.5, 3.5, 10, 10));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 40, 48));
    for (const QPointF &hole : { QPointF(8.5, 5.8), QPointF(6.2, 9.8), QPointF(10.8, 9.8) })
        p.drawEllipse(hole, 1.4, 1.4);
    p.setBrush(QColor(60, 220, 120));
    p.drawRect(QRectF(16, 5, 12, 4));
    p.setBrush(QColor(230, 60, 50));
    p.drawEllipse(QRectF(16, 10.5, 2.5, 2.5));
}

} // namespace

SelectTarvikDriver::SelectTarvikDriver(ServerConnection &router, QWidget *owner)
    : QDialog(owner)
    , m_router(router)
    , m_ui(std::make_unique<Ui::SelectTarvikDriver>())
    , m_wideImageList { QIcon(), picture(drawWorld), picture(drawNetwork), picture(drawTarvik) }
{
    m_ui->setupUi(this);
    m_ui->DriverList->setIconSize(QSize(32, 16));
    connect(m_ui->DriverList, &QTreeWidget::itemSelectionChanged, this,
        &SelectTarvikDriver::updateAcceptButton);
    connect(m_ui->DriverList, &QTreeWidget::itemDoubleClicked, this,
        &SelectTarvikDriver::onAcceptClicked);
    connect(m_ui->AcceptButton, &QPushButton::clicked, this, &SelectTarvikDriver::onAcceptClicked);
    connect(m_ui->CancelButton, &QPushButton::clicked, this, &SelectTarvikDriver::reject);
}

SelectTarvikDriver::~SelectTarvikDriver() = default;

bool SelectTarvikDriver::ShowForm()
{
    m_selected = false;
    Progress &progress = Progress::current();
    progress.Display(QStringLiteral("Getting Halden Tarvik Driver Information"), false);
    FillLocalDrivers(
        m_router.SendRequest(kLocalKey, QStringLiteral("ENUMERATE ACTIVE CLIENTS"), QString()));
    GetRemoteDrivers();
    progress.Close();

    int width = 0;
    int height = 0;
    FormResize::RecordLayout(this, width, height, m_layout);
    m_ui->DriverList->expandAll();
    m_ui->DriverList->setFocus();
    updateAcceptButton();
    exec();
    return m_selected;
}

void SelectTarvikDriver::FillLocalDrivers(const ResponseData &clients)
{
    if (clients.ErrorCode() != 0) {
        Messages::warning(this,
            QStringLiteral("Could not get Tarvik driver information.") + QStringLiteral("\r\n")
                + clients.ErrorText());
        return;
    }
    if (clients.Data().isEmpty())
        return;
    m_ui->DriverList->clear();
    m_nodes.clear();
    m_routerNodes.clear();
    QTreeWidgetItem *local = addNode(
        nullptr, kLocalKey, clients.FromRouterName() + QStringLiteral(" (Local)"), kNetworkImage);
    forEachRecord(clients.Data(), MaxLocalDrivers, 0, 25, [&](QStringView record, int r) {
        if (!isTarvik(GetItem(record, 3)))
            return;
        const QString id = GetItem(record, 1);
        if (!id.isEmpty())
            addNode(local, id + QString::number(r + kLocalSuffixBase), GetItem(record, 2),
                kTarvikImage, kDriverTag);
    });
}

void SelectTarvikDriver::GetRemoteDrivers()
{
    const ResponseData routers = m_router.SendRequest(
        QStringLiteral("REMOTE"), QStringLiteral("ENUMERATE ALL ROUTERS"), QString());
    if (routers.ErrorCode() == 102) {
        addNode(nullptr, kNetworkKey,
            QStringLiteral("Entire Network - Halden Location Server not found"), kWorldImage);
        return;
    }
    if (routers.ErrorCode() != 0) {
        addNode(nullptr, kNetworkKey, QStringLiteral("Entire Network - ") + routers.ErrorText(),
            kWorldImage);
        return;
    }
    QTreeWidgetItem *network
        = addNode(nullptr, kNetworkKey, QStringLiteral("Entire Network"), kWorldImage);
    // Without its root the network part cannot be shown (another root took the key).
    if (!network)
        return;
    const QString ownRouter = m_router.RouterID();
    forEachRecord(
        routers.Data(), std::numeric_limits<int>::max(), 25, 25, [&](QStringView record, int) {
            const QString id = GetItem(record, 1);
            if (id == ownRouter)
                return;
            if (QTreeWidgetItem *node = addNode(network, id, GetItem(record, 2), kNetworkImage))
                m_routerNodes.insert(id, node);
        });

    const QString any = QStringLiteral("-1") + ServerConnectionHeader::ItemToken;
    const ResponseData clients = m_router.SendRequest(QStringLiteral("REMOTE"),
        QStringLiteral("ENUMERATE ALL CLIENTS"), any + any + ServerConnectionHeader::RecordToken);
    if (clients.ErrorCode() != 0)
        return;
    forEachRecord(clients.Data(), MaxRemoteClients, 50, 50, [&](QStringView record, int r) {
        const QString routerId = GetItem(record, 1);
        if (!isTarvik(GetItem(record, 4)) || routerId == ownRouter)
            return;
        QTreeWidgetItem *parent = m_routerNodes.value(routerId);
        const QString id = GetItem(record, 2);
        if (parent && !id.isEmpty())
            addNode(parent, id + QString::number(r + kRemoteSuffixBase), GetItem(record, 3),
                kTarvikImage, kDriverTag);
    });
}

QTreeWidgetItem *SelectTarvikDriver::addNode(
    QTreeWidgetItem *parent, const QString &key, const QString &text, int image, const QString &tag)
{
    if (key.isEmpty() || m_nodes.contains(key))
        return nullptr;
    auto *node = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(m_ui->DriverList);
    node->setText(0, text);
    node->setIcon(0, m_wideImageList.value(image));
    node->setData(0, KeyRole, key);
    if (!tag.isEmpty())
        node->setData(0, TagRole, tag);
    m_nodes.insert(key, node);
    return node;
}

QTreeWidgetItem *SelectTarvikDriver::selectedDriver() const
{
    const QList<QTreeWidgetItem *> selected = m_ui->DriverList->selectedItems();
    if (selected.isEmpty() || selected.first()->data(0, TagRole).toString() != kDriverTag)
        return nullptr;
    return selected.first();
}

void SelectTarvikDriver::updateAcceptButton()
{
    m_ui->AcceptButton->setEnabled(selectedDriver() != nullptr);
}

void SelectTarvikDriver::onAcceptClicked()
{
    const QTreeWidgetItem *driver = selectedDriver();
    if (!driver || m_selected)
        return;
    m_driverClientId = driver->data(0, KeyRole).toString().chopped(kSuffixLength);
    m_driverName = driver->text(0);
    m_routerName = driver->parent() ? driver->parent()->text(0) : QString();
    m_selected = true;
    accept();
}

void SelectTarvikDriver::resizeEvent(QResizeEvent *event)
{
    QDialog::resizeEvent(event);
    FormResize::ResizeForm(this, kMinWidth, kMinHeight, m_layout);
}

bool SelectTarvikDriver::RunSelectDriverCommand(
    QWidget *owner, ServerConnection &router, const std::function<bool()> &saveSettings)
{
    SettingsFile &settings = SettingsFile::instance();
    // Giving up the stored driver throws its events away: the user must mean it. No is the
    // default, so a hurried Enter keeps the data.
    if (!settings.GetFileValue(SettingsKeys::TarvikDriverID).isEmpty()
        && Messages::question(owner, kDeleteQuestion, Messages::YesNoCancel, QMessageBox::No)
            != QMessageBox::Yes)
        return false;

    QString driverId;
    QString driverName;
    {
        SelectTarvikDriver dialog(router, owner);
        if (!dialog.ShowForm())
            return false;
        driverId = dialog.DriverClientID();
        driverName = dialog.DriverName();
    }
    // A driver that the settings file cannot hold would leave the old one stored over emptied
    // tables; refuse it before anything is deleted.
    SettingsFile probe;
    if (!probe.SetFileValue(SettingsKeys::TarvikDriverID, driverId)
        || !probe.SetFileValue(SettingsKeys::TarvikDriverName, driverName)) {
        Messages::warning(owner,
            QStringLiteral("The ID or name of the selected Tarvik driver cannot be stored in the "
                           "settings. The Tarvik driver was not changed."));
        return false;
    }

    // All three tables or none: a failure must not leave the old driver over half its data.
    Progress &progress = Progress::current();
    progress.Display(QStringLiteral("Deleting Event Log"), true);
    Database &database = Database::instance();
    const bool began = database.transaction();
    bool ok = began && ExecuteStatement(QStringLiteral("DELETE FROM EventLog"));
    if (ok) {
        progress.SetMessage(QStringLiteral("Deleting Show Summaries"), true);
        progress.SetProgress(50);
        ok = ExecuteStatement(QStringLiteral("DELETE FROM ShowSummary"));
    }
    if (ok) {
        progress.SetMessage(QStringLiteral("Deletings Daily Summaries"), true);
        progress.SetProgress(80);
        ok = ExecuteStatement(QStringLiteral("DELETE FROM DailySummary"));
    }
    ok = ok && database.commit();
    if (!ok) {
        if (began)
            database.rollback();
        progress.Close();
        Messages::warning(owner,
            QStringLiteral("The event data of the local database could not be deleted. The "
                           "Tarvik driver was not changed."));
        return false;
    }
    progress.SetProgress(100);
    settings.SetFileValue(SettingsKeys::TarvikDriverID, driverId);
    settings.SetFileValue(SettingsKeys::TarvikDriverName, driverName);
    const bool saved = !saveSettings || saveSettings();
    progress.Close();
    if (!saved)
        Messages::warning(owner,
            QStringLiteral("The new Tarvik driver is selected, but the settings file could not "
                           "be written."));
    return true;
}
