#pragma once

#include <QString>

/// \brief The main window's status line as the core sees it.
///
/// The main window installs itself with setCurrent(); until then, and whenever none is installed,
/// current() is a silent line that shows nothing, so the core also runs without a screen.
class StatusLine
{
public:
    virtual ~StatusLine();

    /// Remembers the text shown now (one slot: a second call overwrites it) and shows \a text.
    virtual void SetStatus(const QString &text) = 0;
    /// Puts the remembered text back.
    virtual void RestoreStatus() = 0;

    /// The installed line, or the silent one.
    static StatusLine &current();
    /// Installs \a line (not owned); nullptr goes back to the silent one.
    static void setCurrent(StatusLine *line);
};
