#include "router/routerconnecting.h"
#include "ui_routerconnecting.h"

#include "router/serverconnection.h"

namespace {

const QString kAttempting = QStringLiteral("Attempting to Connect With Halden Router");

} // namespace

RouterConnecting::RouterConnecting(ServerConnection &router, QWidget *owner)
    : QDialog(owner)
    , m_router(router)
    , m_ui(std::make_unique<Ui::RouterConnecting>())
{
    m_ui->setupUi(this);
    // Room for the progress line from the start, so the window does not grow under the mouse.
    m_ui->Label1->setMinimumHeight(2 * m_ui->Label1->fontMetrics().lineSpacing());
    connect(m_ui->CancelButton, &QPushButton::clicked, this, &RouterConnecting::reject);
}

RouterConnecting::~RouterConnecting() = default;

void RouterConnecting::SetMessage(const QString &text)
{
    m_ui->Label1->setText(kAttempting + QLatin1Char('\n') + text);
}

int RouterConnecting::exec()
{
    if (m_finished)
        return result();
    return QDialog::exec();
}

void RouterConnecting::done(int result)
{
    // The attempt may end (and close this window) while its Cancel is still being handled.
    if (m_finished)
        return;
    m_finished = true;
    QDialog::done(result);
}

void RouterConnecting::reject()
{
    if (m_finished)
        return;
    // An empty host closes the socket and stops the connect timer: the attempt is over.
    m_router.Connect(QString(), QString());
    done(Rejected);
}
