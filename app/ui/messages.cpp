#include "ui/messages.h"

#include <QQueue>

namespace {

struct Script
{
    bool scripted = false;
    QQueue<QMessageBox::StandardButton> answers;
    QList<Messages::Shown> shown;
};

Script &script()
{
    static Script s;
    return s;
}

QMessageBox::StandardButton escapeAnswer(QMessageBox::StandardButtons offered)
{
    if (offered.testFlag(QMessageBox::Cancel))
        return QMessageBox::Cancel;
    if (offered.testFlag(QMessageBox::No))
        return QMessageBox::No;
    return QMessageBox::Ok;
}

QMessageBox::StandardButton firstButton(Messages::Buttons buttons)
{
    return (buttons == Messages::YesNo || buttons == Messages::YesNoCancel) ? QMessageBox::Yes
                                                                            : QMessageBox::Ok;
}

// Texts are built with CR LF line ends; the label breaks lines at LF only.
QString displayText(const QString &text)
{
    QString shown = text;
    shown.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

} // namespace

QMessageBox::StandardButton Messages::show(QWidget *parent, QMessageBox::Icon icon,
    const QString &text, Buttons buttons, QMessageBox::StandardButton defaultButton,
    const QString &title)
{
    const QMessageBox::StandardButtons offered = standardButtons(buttons);
    if (defaultButton == QMessageBox::NoButton || !offered.testFlag(defaultButton))
        defaultButton = firstButton(buttons);
    const QString caption = title.isEmpty() ? programTitle() : title;

    Script &s = script();
    if (s.scripted) {
        QMessageBox::StandardButton answer = escapeAnswer(offered);
        if (!s.answers.isEmpty()) {
            const QMessageBox::StandardButton next = s.answers.dequeue();
            if (offered.testFlag(next))
                answer = next;
            else
                qWarning("Messages: scripted answer %d is not offered by \"%s\"", int(next),
                    qUtf8Printable(text));
        }
        s.shown.append(Shown { icon, caption, text, buttons, defaultButton, answer });
        return answer;
    }

    QMessageBox box(icon, caption, displayText(text), offered, parent);
    box.setDefaultButton(defaultButton);
    box.setEscapeButton(escapeAnswer(offered));
    box.exec();
    const QMessageBox::StandardButton answer = box.standardButton(box.clickedButton());
    return answer == QMessageBox::NoButton ? escapeAnswer(offered) : answer;
}

void Messages::information(QWidget *parent, const QString &text)
{
    show(parent, QMessageBox::Information, text);
}

void Messages::warning(QWidget *parent, const QString &text)
{
    show(parent, QMessageBox::Warning, text);
}

void Messages::critical(QWidget *parent, const QString &text)
{
    show(parent, QMessageBox::Critical, text);
}

QMessageBox::StandardButton Messages::question(QWidget *parent, const QString &text,
    Buttons buttons, QMessageBox::StandardButton defaultButton, const QString &title)
{
    return show(parent, QMessageBox::Question, text, buttons, defaultButton, title);
}

QString Messages::programTitle()
{
    return QStringLiteral("Showpulse");
}

QMessageBox::StandardButtons Messages::standardButtons(Buttons buttons)
{
    switch (buttons) {
    case OkOnly:
        return QMessageBox::Ok;
    case YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

void Messages::setNextAnswer(QMessageBox::StandardButton answer)
{
    script().scripted = true;
    script().answers.enqueue(answer);
}

void Messages::setScripted(bool on)
{
    script().scripted = on;
}

bool Messages::isScripted()
{
    return script().scripted;
}

QList<Messages::Shown> Messages::shown()
{
    return script().shown;
}

void Messages::resetScript()
{
    script() = Script();
}
