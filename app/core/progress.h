#pragma once

#include <QString>

/// \brief The progress window as long operations of the core see it.
///
/// One window serves the whole program. The user interface installs it with setCurrent(); until
/// then, and whenever none is installed, current() is a silent window that shows nothing and is
/// never cancelled, so the core also runs without a screen.
///
/// Operations run on the user-interface thread: they move the bar, let pending events run
/// (QCoreApplication::processEvents()) so the window paints and its Cancel button works, and then
/// read Cancelled().
class Progress
{
public:
    virtual ~Progress();

    /// Shows the window for a new operation: Cancelled() false again, \a message shown, the bar
    /// at 0 of 0..100; \a animate lets the bar creep on by itself while nothing else moves it.
    virtual void Display(const QString &message, bool animate = false) = 0;
    /// Changes the message; an empty message reads "Getting Data.". With \a keepSize the window
    /// keeps its size instead of fitting the new text.
    virtual void SetMessage(const QString &message, bool keepSize = false) = 0;
    /// Moves the bar; a value outside 0..100 leaves it where it is.
    virtual void SetProgress(int value) = 0;
    /// True when the user pressed Cancel since the window was last shown.
    virtual bool Cancelled() const = 0;
    /// Ends the operation: hides the window, stops the bar and clears Cancelled().
    virtual void Close() = 0;

    /// The installed window, or the silent one.
    static Progress &current();
    /// Installs \a progress (not owned) as the program's window; nullptr goes back to the silent
    /// one.
    static void setCurrent(Progress *progress);
};
