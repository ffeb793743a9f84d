#include "delivery/printingreport.h"
#include "ui_printingreport.h"

#include <QPointer>

namespace {

PrintingReport *s_active = nullptr;

} // namespace

PrintingReport::PrintingReport(QWidget *owner)
    : QDialog(owner)
    , m_ui(std::make_unique<Ui::PrintingReport>())
{
    m_ui->setupUi(this);
    m_timer.setObjectName(QStringLiteral("Timer"));
    m_timer.setParent(this);
    m_timer.setInterval(5000);
    connect(&m_timer, &QTimer::timeout, this, &PrintingReport::onTimerTimeout);
}

PrintingReport::~PrintingReport()
{
    if (s_active == this)
        s_active = nullptr;
}

bool PrintingReport::ShowForm(const QString &caption)
{
    QString text = caption;
    // Callers break lines with CR LF; the label breaks them at LF.
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_ui->label->setText(text);
    m_result = false;
    m_timer.start();

    PrintingReport *const outer = s_active;
    s_active = this;
    const QPointer<PrintingReport> self(this);
    exec();
    s_active = outer;
    // The owner may have gone (and this dialog with it) while the wait ran.
    return self && m_result;
}

void PrintingReport::UnloadSuccessful()
{
    m_result = true;
    accept();
}

void PrintingReport::UnloadFailed()
{
    m_result = false;
    reject();
}

PrintingReport *PrintingReport::active()
{
    return s_active;
}

void PrintingReport::done(int result)
{
    // Every way of closing ends the time-out.
    m_timer.stop();
    QDialog::done(result);
}

void PrintingReport::onTimerTimeout()
{
    m_timer.stop();
    m_result = false;
    reject();
}
