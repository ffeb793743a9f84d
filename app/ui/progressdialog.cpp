#include "ui/progressdialog.h"
#include "ui_progressdialog.h"

#include "ui/formresize.h"

#include <QCloseEvent>

namespace {

const QString kPleaseWait = QStringLiteral("Please Wait...");
// Margins of the fitted window, in twips: the label is 300 narrower than the window, the bar
// 500; message, bar and button stand 300 and 240 apart with 240 and 260 above and below.
constexpr double kLabelMargin = 300;
constexpr double kBarMargin = 500;
constexpr double kTopMargin = 240;
constexpr double kLabelToBar = 300;
constexpr double kBarToButton = 240;
constexpr double kBottomMargin = 260;

} // namespace

ProgressDialog::ProgressDialog(QWidget *owner)
    : QDialog(owner)
    , m_ui(std::make_unique<Ui::ProgressDialog>())
    , m_timer1(this)
{
    m_ui->setupUi(this);
    setObjectName(QStringLiteral("Progress"));
    m_timer1.setObjectName(QStringLiteral("Timer1"));
    m_timer1.setInterval(500);
    connect(&m_timer1, &QTimer::timeout, this, &ProgressDialog::onTimer1Timeout);
    connect(m_ui->CancelButton, &QPushButton::clicked, this, &ProgressDialog::onCancelClicked);
    Progress::setCurrent(this);
}

ProgressDialog::~ProgressDialog()
{
    if (&Progress::current() == this)
        Progress::setCurrent(nullptr);
}

void ProgressDialog::Display(const QString &message, bool animate)
{
    m_cancelled = false;
    SetMessage(message, false);
    m_ui->ProgressBar->setRange(0, 100);
    m_ui->ProgressBar->setValue(0);
    if (animate)
        m_timer1.start();
    else
        m_timer1.stop();
    show();
    // The operation keeps the event loop busy; let the window paint once before it starts.
    QCoreApplication::processEvents();
}

void ProgressDialog::SetMessage(const QString &message, bool keepSize)
{
    QString text = message.isEmpty() ? QStringLiteral("Getting Data.") : message;
    // Callers build lines with CR LF; the label breaks lines at LF.
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_ui->Message->setText(text + QLatin1Char('\n') + kPleaseWait);
    m_ui->Message->adjustSize();

    QLabel *label = m_ui->Message;
    QProgressBar *bar = m_ui->ProgressBar;
    QPushButton *button = m_ui->CancelButton;
    const double px = FormResize::twipsPerPixelX(this);
    const double py = FormResize::twipsPerPixelY(this);
    const auto toX = [px](double twips) { return qRound(twips / px); };
    const auto toY = [py](double twips) { return qRound(twips / py); };

    if (!keepSize) {
        const int width = qMax(label->width() + toX(kLabelMargin), bar->width() + toX(kBarMargin));
        const int labelTop = toY(kTopMargin);
        const int barTop = labelTop + label->height() + toY(kLabelToBar);
        const int buttonTop = barTop + bar->height() + toY(kBarToButton);
        const int height = buttonTop + button->height() + toY(kBottomMargin);
        setFixedSize(width, height);
        label->move(label->x(), labelTop);
        bar->move((width - bar->width()) / 2, barTop);
        button->move((width - button->width()) / 2, buttonTop);
    }
    label->move((width() - label->width()) / 2, label->y());
    if (isVisible())
        repaint();
}

void ProgressDialog::SetProgress(int value)
{
    QProgressBar *bar = m_ui->ProgressBar;
    if (value >= bar->minimum() && value <= bar->maximum())
        bar->setValue(value);
}

bool ProgressDialog::Cancelled() const
{
    return m_cancelled;
}

void ProgressDialog::Close()
{
    m_timer1.stop();
    m_cancelled = false;
    hide();
}

void ProgressDialog::reject()
{
    onCancelClicked();
}

void ProgressDialog::closeEvent(QCloseEvent *event)
{
    // Only the operation ends the window (Close()); the close box is the user asking to cancel.
    event->ignore();
    onCancelClicked();
}

void ProgressDialog::onTimer1Timeout()
{
    QProgressBar *bar = m_ui->ProgressBar;
    if (bar->value() < bar->maximum())
        bar->setValue(bar->value() + 1);
}

void ProgressDialog::onCancelClicked()
{
    m_cancelled = true;
}
