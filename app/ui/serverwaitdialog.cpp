#include "ui/serverwaitdialog.h"
#include "ui_serverwaitdialog.h"

#include "ui/formresize.h"

#include <QCloseEvent>

namespace {

// In twips: the label stands 150 from the top left corner, the window is 300 wider than it and
// the button stands 240 below it with 240 to spare underneath.
constexpr double kLabelInset = 150;
constexpr double kLabelToButton = 240;
constexpr double kBottomMargin = 240;

} // namespace

ServerWaitDialog::ServerWaitDialog(QWidget *owner)
    : QDialog(owner)
    , m_ui(std::make_unique<Ui::ServerWaitDialog>())
{
    m_ui->setupUi(this);
    connect(m_ui->CancelButton, &QPushButton::clicked, this, &ServerWaitDialog::onCancelClicked);
    fitToMessage();
}

ServerWaitDialog::~ServerWaitDialog() = default;

void ServerWaitDialog::show(const QString &message, std::function<void()> cancel)
{
    QString text = message;
    // The connection breaks lines with CR; the label breaks them at LF.
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    m_ui->Label1->setText(text);
    m_cancel = std::move(cancel);
    fitToMessage();
    QDialog::show();
}

void ServerWaitDialog::close()
{
    m_cancel = nullptr;
    hide();
}

void ServerWaitDialog::reject()
{
    onCancelClicked();
}

void ServerWaitDialog::closeEvent(QCloseEvent *event)
{
    // The request ends the window; the close box is the user giving up the wait.
    event->ignore();
    onCancelClicked();
}

void ServerWaitDialog::onCancelClicked()
{
    // The callback may end the wait and close this window; it runs once.
    const std::function<void()> cancel = std::exchange(m_cancel, nullptr);
    hide();
    if (cancel)
        cancel();
}

void ServerWaitDialog::fitToMessage()
{
    QLabel *label = m_ui->Label1;
    QPushButton *button = m_ui->CancelButton;
    label->adjustSize();
    const double px = FormResize::twipsPerPixelX(this);
    const double py = FormResize::twipsPerPixelY(this);
    const int insetX = qRound(kLabelInset / px);
    const int insetY = qRound(kLabelInset / py);
    const int width = qMax(label->width(), button->width()) + 2 * insetX;
    const int buttonTop = insetY + label->height() + qRound(kLabelToButton / py);
    label->setGeometry(insetX, insetY, width - 2 * insetX, label->height());
    button->move((width - button->width()) / 2, buttonTop);
    setFixedSize(width, buttonTop + button->height() + qRound(kBottomMargin / py));
}
