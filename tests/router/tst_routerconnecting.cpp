#include "router/routerconnecting.h"
#include "router/serverconnection.h"

#include "modalhelper.h"
#include "siteserver.h"

#include <QLabel>
#include <QPushButton>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace std::chrono_literals;

namespace {

QLabel *label(QDialog *d)
{
    return d->findChild<QLabel *>(u"Label1"_s);
}

// True when nothing listens on \a port of the loopback, so a connection there is refused.
bool portIsFree(quint16 port)
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, port);
}

// The program's connection as the main window sets it up.
void setUp(ServerConnection &connection)
{
    connection.SetType(2, u"Halden"_s);
    connection.AddObject(u"Log On Access"_s, 1);
}

} // namespace

class TestRouterConnecting : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void testOpensWithDefaults();
    void testSetMessage();
    void testClosedByConnectionEvents();
    void testEndedBeforeExec();
    void testCancelEndsAttempt_data();
    void testCancelEndsAttempt();
};

void TestRouterConnecting::testOpensWithDefaults()
{
    QTemporaryDir dir;
    ServerConnection connection(dir.path());
    QWidget owner;
    RouterConnecting dialog(connection, &owner);
    QCOMPARE(dialog.windowTitle(), u"Showpulse"_s);
    QCOMPARE(dialog.parentWidget(), &owner);
    QVERIFY(label(&dialog));
    QCOMPARE(label(&dialog)->text(), u"Attempting to Connect With Halden Router"_s);
    auto *cancel = dialog.findChild<QPushButton *>(u"CancelButton"_s);
    QVERIFY(cancel);
    QCOMPARE(cancel->text(), u"Cancel"_s);
}

void TestRouterConnecting::testSetMessage()
{
    QTemporaryDir dir;
    ServerConnection connection(dir.path());
    RouterConnecting dialog(connection, nullptr);
    dialog.SetMessage(u"Port 2357 not found on host"_s);
    QCOMPARE(label(&dialog)->text(),
        u"Attempting to Connect With Halden Router\nPort 2357 not found on host"_s);
    // Each message replaces the one before.
    dialog.SetMessage(u"Port 2364 not found on host"_s);
    QCOMPARE(label(&dialog)->text(),
        u"Attempting to Connect With Halden Router\nPort 2364 not found on host"_s);
}

// The attempt as start-up runs it: the first port refuses, the router answers on the second,
// and the event handler closes the window while its exec() runs.
void TestRouterConnecting::testClosedByConnectionEvents()
{
    if (!portIsFree(ServerConnection::FirstPort))
        QSKIP("The first port of the router walk is taken");
    ServeOptions options;
    options.port = ServerConnection::FirstPort + ServerConnection::PortStep;
    SiteServer site(options);
    QString error;
    if (!site.start(&error))
        QSKIP(qPrintable(u"The second port of the router walk is taken: "_s + error));

    QTemporaryDir dir;
    ServerConnection connection(dir.path());
    setUp(connection);
    RouterConnecting dialog(connection, nullptr);
    QStringList shown;
    connect(&connection, &ServerConnection::ConnectionEvent, &dialog,
        [&](int code, const QString &text) {
            if (code == 6) {
                dialog.SetMessage(text);
                shown.append(label(&dialog)->text());
            } else if (code >= 2 && code <= 7) {
                dialog.accept();
            }
        });
    // A window that is never closed must fail the test, not hang it.
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, &dialog, &QDialog::reject);
    guard.start(15000);

    QVERIFY(connection.Connect(u"127.0.0.1"_s, u"Booth"_s));
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY(guard.isActive());
    QCOMPARE(shown,
        QStringList { u"Attempting to Connect With Halden Router\nPort 2357 not found on host"_s });
    QVERIFY(connection.Connected());
    QVERIFY(!dialog.isVisible());
}

// An attempt that ends before the window is opened must not leave the window standing.
void TestRouterConnecting::testEndedBeforeExec()
{
    QTemporaryDir dir;
    ServerConnection connection(dir.path());
    RouterConnecting dialog(connection, nullptr);
    dialog.accept();
    QTimer guard;
    guard.setSingleShot(true);
    connect(&guard, &QTimer::timeout, &dialog, &QDialog::reject);
    guard.start(5000);
    QCOMPARE(dialog.exec(), int(QDialog::Accepted));
    QVERIFY(guard.isActive());
    QVERIFY(!dialog.isVisible());
}

void TestRouterConnecting::testCancelEndsAttempt_data()
{
    addDismissalRows();
}

// A host that accepts the connection but never registers the client keeps the attempt
// running; giving up closes the socket and stops the connect timer.
void TestRouterConnecting::testCancelEndsAttempt()
{
    QFETCH(int, how);
    QTcpServer silent;
    if (!silent.listen(QHostAddress::LocalHost, ServerConnection::FirstPort))
        QSKIP("The first port of the router walk is taken");
    QList<QTcpSocket *> accepted;
    connect(&silent, &QTcpServer::newConnection, this, [&] {
        while (QTcpSocket *socket = silent.nextPendingConnection())
            accepted.append(socket);
    });

    QTemporaryDir dir;
    ServerConnection connection(dir.path());
    setUp(connection);
    connection.setConnectionTimeout(300ms);
    QList<int> codes;
    connect(&connection, &ServerConnection::ConnectionEvent, this,
        [&codes](int code, const QString &) { codes.append(code); });

    RouterConnecting dialog(connection, nullptr);
    QVERIFY(connection.Connect(u"127.0.0.1"_s, u"Booth"_s));
    ModalHelper<RouterConnecting> helper([&](RouterConnecting *d) {
        // Give up once the host has taken the connection (checked below).
        const bool taken = QTest::qWaitFor([&] { return !accepted.isEmpty(); }, 5000);
        Q_UNUSED(taken);
        dismissDialog(d, how, d->findChild<QPushButton *>(u"CancelButton"_s));
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QVERIFY(helper.ran());
    QVERIFY(!dialog.isVisible());

    QCOMPARE(accepted.size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(accepted.first()->state(), QAbstractSocket::UnconnectedState, 5000);
    // The connect timer was stopped: no time-out is reported after the attempt was given up.
    QTest::qWait(600);
    QVERIFY(!codes.contains(7));
    QVERIFY(!connection.Connected());
}

QTEST_MAIN(TestRouterConnecting)
#include "tst_routerconnecting.moc"
