#include "core/startup.h"

#include "core/clock.h"
#include "core/database.h"
#include "core/databaseschema.h"
#include "core/datetext.h"
#include "core/logon.h"
#include "core/mainform.h"
#include "core/settingsfile.h"
#include "core/settingskeys.h"
#include "router/configuresettings.h"
#include "router/routerconnecting.h"
#include "router/selecttarvikdriver.h"
#include "router/serverconnection.h"
#include "ui/formresize.h"
#include "ui/messages.h"
#include "ui/progressdialog.h"
#include "ui/serverwaitdialog.h"

#include <QAction>
#include <QApplication>
#include <QLoggingCategory>
#include <QScreen>

namespace {

Q_LOGGING_CATEGORY(lcStartup, "showpulse.startup")

const QString kProductName = QStringLiteral("Showpulse");
const QString kAutoLogOnOn = QStringLiteral("True");
const QString kInvalidSettings = QStringLiteral("Invalid router connection settings.");
const QString kSelectDriver
    = QStringLiteral("A Tarvik Driver must be selected to get ZMU events and e-mail reports.");

// Window states as the settings keep them.
constexpr int kStateNormal = 0;
constexpr int kStateMinimised = 1;
constexpr int kStateMaximised = 2;

QString setting(const QString &key)
{
    return SettingsFile::instance().GetFileValue(key);
}

// A stored number rounded to a whole one; 0 when absent or not a number.
int storedNumber(const QString &key)
{
    return qRound(setting(key).toDouble());
}

// What the window frame adds around the client area, where the window system tells.
QMargins frameMargins(const QWidget *window)
{
    const QRect frame = window->frameGeometry();
    const QRect client = window->geometry();
    return { client.left() - frame.left(), client.top() - frame.top(),
        frame.right() - client.right(), frame.bottom() - client.bottom() };
}

} // namespace

Startup::Startup(const QString &programFolder, QObject *parent)
    : QObject(parent)
    , m_folder(programFolder)
    , m_nextReconnectTime(DateText::zeroDate())
{
    m_mainTimer.setInterval(MainTimerInterval);
    connect(&m_mainTimer, &QTimer::timeout, this, &Startup::MainTimerTick);
    m_folder.setBeforeSave([this] {
        if (!m_mainForm)
            return;
        // The normal-state geometry is kept, whatever state the window is in now.
        MainForm *form = m_mainForm.get();
        const Qt::WindowStates states = form->windowState();
        const int state = states.testFlag(Qt::WindowMinimized) ? kStateMinimised
            : states.testFlag(Qt::WindowMaximized)             ? kStateMaximised
                                                               : kStateNormal;
        SettingsFile &settings = SettingsFile::instance();
        settings.SetFileValue(SettingsKeys::WindowState, QString::number(state));
        // Top and Left place the frame, as move() does; Width and Height are the client area's,
        // as resize() takes them, so the window comes back exactly as it was.
        const QRect normal = state == kStateNormal || !form->normalGeometry().isValid()
            ? form->geometry()
            : form->normalGeometry();
        const QMargins frame = frameMargins(form);
        const double px = FormResize::twipsPerPixelX(form);
        const double py = FormResize::twipsPerPixelY(form);
        settings.SetFileValue(
            SettingsKeys::Top, QString::number(qRound((normal.top() - frame.top()) * py)));
        settings.SetFileValue(
            SettingsKeys::Left, QString::number(qRound((normal.left() - frame.left()) * px)));
        settings.SetFileValue(SettingsKeys::Width, QString::number(qRound(normal.width() * px)));
        settings.SetFileValue(SettingsKeys::Height, QString::number(qRound(normal.height() * py)));
    });
}

Startup::~Startup()
{
    // The windows go before the connection they serve.
    m_mainTimer.stop();
    if (m_mainForm)
        m_mainForm->Router().setWaitingWindow(nullptr);
    m_serverWait.reset();
    m_progress.reset();
    m_mainForm.reset();
}

bool Startup::LoadSettings()
{
    const bool loaded = m_folder.loadSettings();
    // The window's loading reads the settings, so it comes after them.
    if (!m_mainForm) {
        m_mainForm = std::make_unique<MainForm>(m_folder.path());
        MainForm *form = m_mainForm.get();
        m_progress = std::make_unique<ProgressDialog>(form);
        m_serverWait = std::make_unique<ServerWaitDialog>(form);
        ServerConnection &router = form->Router();
        router.setWaitingWindow(m_serverWait.get());
        connect(
            &router, &ServerConnection::ConnectionEvent, this, &Startup::Router_ConnectionEvent);
        connect(form->Reconnect, &QAction::triggered, this, [this] { ConnectToRouter(true); });
        connect(form->RouterConnectionSetup, &QAction::triggered, this,
            &Startup::onRouterConnectionSetup);
        connect(form->SelectDriver, &QAction::triggered, this, &Startup::onSelectDriver);
        connect(form->LogOnMenu, &QAction::triggered, this,
            [this] { LogOnWithDialog(m_mainForm.get(), m_mainForm->Router()); });
        form->setShutdownHandler([this] { shutdown(); });
    }
    if (!loaded)
        return false;

    MainForm *form = m_mainForm.get();
    const double px = FormResize::twipsPerPixelX(form);
    const double py = FormResize::twipsPerPixelY(form);
    QPoint place = form->pos();
    QSize size = form->size();
    // 0 keeps the window's own value on that axis.
    if (const int top = storedNumber(SettingsKeys::Top))
        place.setY(qRound(top / py));
    if (const int left = storedNumber(SettingsKeys::Left))
        place.setX(qRound(left / px));
    if (const int width = storedNumber(SettingsKeys::Width))
        size.setWidth(qRound(width / px));
    if (const int height = storedNumber(SettingsKeys::Height))
        size.setHeight(qRound(height / py));
    form->move(place);
    form->resize(size);
    // A window closed while minimised opens normal.
    if (storedNumber(SettingsKeys::WindowState) == kStateMaximised)
        form->setWindowState(Qt::WindowMaximized);
    return true;
}

bool Startup::SaveSettings()
{
    QString error;
    if (m_folder.saveSettings(&error))
        return true;
    Messages::warning(m_mainForm.get(), error);
    return false;
}

void Startup::placeFirstRunWindow()
{
    // Half the screen, centred.
    const QScreen *screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
    MainForm *form = m_mainForm.get();
    const QMargins frame = frameMargins(form);
    form->move(area.left() + area.width() / 4, area.top() + area.height() / 4);
    form->resize(area.width() / 2 - frame.left() - frame.right(),
        area.height() / 2 - frame.top() - frame.bottom());
}

bool Startup::openOrCreateDatabase(bool *created)
{
    QString openError;
    if (m_folder.openDatabase(&openError))
        return true;
    QString createError;
    if (m_folder.createDatabase(&createError)) {
        *created = true;
        return true;
    }
    Messages::critical(m_mainForm.get(),
        QStringLiteral("The local database cannot be opened or created.\r\n%1\r\n%2\r\n"
                       "Showpulse cannot work without it and ends now.")
            .arg(openError, createError));
    return false;
}

bool Startup::Main()
{
    const bool loaded = LoadSettings();
    MainForm *form = m_mainForm.get();
    bool created = false;
    if (!loaded)
        placeFirstRunWindow();
    form->show();
    if (!loaded)
        m_folder.writeFirstRunDefaults();

    if (!openOrCreateDatabase(&created)) {
        // Closing the window runs the shutdown, which keeps the settings.
        form->close();
        return false;
    }

    QString error;
    if (!m_folder.checkDatabaseVersion(&error))
        Messages::warning(form, error);
    if (created && !AddDefaultUserCodes(Database::instance()))
        Messages::warning(form, QStringLiteral("The default problem codes could not be added."));

    if (!loaded) {
        SettingsFile &settings = SettingsFile::instance();
        settings.SetFileValue(SettingsKeys::RouterIP, QStringLiteral("localhost"));
        ConfigureSettings dialog(form);
        if (!dialog.ShowForm(setting(SettingsKeys::RouterIP), setting(SettingsKeys::ClientName))) {
            // The next start is a first run again: nothing is saved.
            m_shutDown = true;
            form->close();
            return false;
        }
        settings.SetFileValue(SettingsKeys::RouterIP, dialog.RouterLocation());
        settings.SetFileValue(SettingsKeys::ClientName, dialog.ClientName());
        SaveSettings();
    }

    ConnectToRouter(true);
    m_mainTimer.start();
    return true;
}

bool Startup::ConnectToRouter(bool showLogOn)
{
    MainForm *form = m_mainForm.get();
    ServerConnection &router = form->Router();
    router.SetType(2, QStringLiteral("Halden"));
    router.ClearObjects();
    router.AddObject(QStringLiteral("Log On Access"), 1);

    bool retry = true;
    for (;;) {
        const bool started = router.Connect(setting(SettingsKeys::RouterIP),
            setting(SettingsKeys::ClientName) + u' ' + kProductName);
        if (started || !retry)
            break;
        Messages::warning(form, kInvalidSettings);
        ConfigureSettings dialog(form);
        retry = dialog.ShowForm(setting(SettingsKeys::RouterIP), setting(SettingsKeys::ClientName));
        if (retry) {
            SettingsFile &settings = SettingsFile::instance();
            settings.SetFileValue(SettingsKeys::RouterIP, dialog.RouterLocation());
            settings.SetFileValue(SettingsKeys::ClientName, dialog.ClientName());
            SaveSettings();
        }
    }
    if (!retry)
        return false;

    // The window stays until a connection event ends the attempt.
    RouterConnecting connecting(router, form);
    m_connecting = &connecting;
    if (router.GetState() == ServerConnection::Connecting)
        connecting.exec();
    m_connecting = nullptr;
    if (!router.Connected())
        return true;

    if (setting(SettingsKeys::AutoLogOn) == kAutoLogOnOn || !showLogOn) {
        LogOnSilently(router);
    } else if (LogOnWithDialog(form, router) && setting(SettingsKeys::TarvikDriverID).isEmpty()) {
        Messages::information(form, kSelectDriver);
        onSelectDriver();
    }
    if (router.CheckUserAccess(QStringLiteral("SELF CHECK"), 1))
        qCInfo(lcStartup).noquote() << "logged on as" << router.GetUserName();
    return true;
}

void Startup::Router_ConnectionEvent(int code, const QString &text)
{
    switch (code) {
    case 2:
    case 4:
    case 5:
    case 7:
        if (m_connecting)
            m_connecting->accept();
        setReconnectVisible(true);
        break;
    case 3:
        if (m_connecting)
            m_connecting->accept();
        setReconnectVisible(false);
        break;
    case 6:
        if (m_connecting)
            m_connecting->SetMessage(text);
        break;
    default:
        return;
    }
    m_mainForm->setStatusText(QStringLiteral("Status: ") + text);
    qCInfo(lcStartup).noquote() << "router:" << text;
}

void Startup::setReconnectVisible(bool visible)
{
    m_mainForm->Reconnect->setVisible(visible);
    m_mainForm->ReconnectSep->setVisible(visible);
}

void Startup::MainTimerTick()
{
    // A long tick is never entered twice, and nothing periodic runs under a modal window.
    m_mainTimer.stop();
    if (!QApplication::activeModalWidget()) {
        if (m_mainForm->Router().Connected()) {
            Q_EMIT connectedTick();
        } else if (Clock::currentDateTime() > m_nextReconnectTime) {
            ConnectToRouter(false);
            m_nextReconnectTime = Clock::currentDateTime().addSecs(ReconnectSeconds);
        }
    }
    if (!m_shutDown)
        m_mainTimer.start();
}

void Startup::onRouterConnectionSetup()
{
    ConfigureSettings dialog(m_mainForm.get());
    if (!dialog.ShowForm(setting(SettingsKeys::RouterIP), setting(SettingsKeys::ClientName)))
        return;
    SettingsFile &settings = SettingsFile::instance();
    settings.SetFileValue(SettingsKeys::RouterIP, dialog.RouterLocation());
    settings.SetFileValue(SettingsKeys::ClientName, dialog.ClientName());
    ConnectToRouter(true);
}

void Startup::onSelectDriver()
{
    SelectTarvikDriver::RunSelectDriverCommand(
        m_mainForm.get(), m_mainForm->Router(), [this] { return SaveSettings(); });
}

void Startup::shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    m_mainTimer.stop();
    m_mainForm->Router().CloseConnection();
    SaveSettings();
}
