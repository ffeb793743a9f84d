#pragma once

#include <QList>
#include <QMessageBox>
#include <QString>

class QWidget;

/// \brief Every message box of the program: titled "Showpulse", with one of the program's button
/// sets.
///
/// Tests script the answers instead of clicking: once setNextAnswer() or setScripted(true) was
/// called, no box opens; each box takes the next queued answer, or its escape answer (Cancel,
/// else No, else OK) when the queue is empty, and is recorded for shown().
class Messages
{
public:
    enum Buttons { OkOnly, YesNo, OkCancel, YesNoCancel };

    /// One box as it was asked for.
    struct Shown
    {
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QString title;
        QString text;
        Buttons buttons = OkOnly;
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
        QMessageBox::StandardButton answer = QMessageBox::NoButton;
    };

    /// Shows a modal box owned by \a parent and returns the button pressed. Closing the box by
    /// Esc or its close box answers Cancel, else No, else OK. \a defaultButton must belong to
    /// \a buttons (else the first button is the default); an empty \a title means "Showpulse".
    static QMessageBox::StandardButton show(QWidget *parent, QMessageBox::Icon icon,
        const QString &text, Buttons buttons = OkOnly,
        QMessageBox::StandardButton defaultButton = QMessageBox::NoButton,
        const QString &title = QString());

    /// A notice with OK.
    static void information(QWidget *parent, const QString &text);
    /// A failure the user should know about, with OK.
    static void warning(QWidget *parent, const QString &text);
    /// A failure that leaves the program crippled, with OK.
    static void critical(QWidget *parent, const QString &text);
    /// A question; returns the button pressed.
    static QMessageBox::StandardButton question(QWidget *parent, const QString &text,
        Buttons buttons = YesNo, QMessageBox::StandardButton defaultButton = QMessageBox::NoButton,
        const QString &title = QString());

    /// The title of every box that does not name its own.
    static QString programTitle();
    /// The buttons of \a buttons, in the order they are offered.
    static QMessageBox::StandardButtons standardButtons(Buttons buttons);

    /// Queues the answer of the next box and turns scripting on.
    static void setNextAnswer(QMessageBox::StandardButton answer);
    /// With \a on, boxes are answered from the queue and recorded instead of opened.
    static void setScripted(bool on);
    static bool isScripted();
    /// The boxes answered by script since the last reset, oldest first.
    static QList<Shown> shown();
    /// Turns scripting off and forgets queued answers and recorded boxes.
    static void resetScript();
};
