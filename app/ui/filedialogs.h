#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class QWidget;

/// \brief The program's open and save file dialogs; both start in the folder of the last file
/// chosen, at first in the start folder.
///
/// Filters are written as pairs "name|pattern|name|pattern||" (patterns joined by ';'), for
/// example "HTML Reports *.htm|*.htm||"; the first filter is selected.
///
/// Tests script the answers instead of clicking: once setNextPath() or setScripted(true) was
/// called, no dialog opens; each dialog takes the next queued path, or "" (cancelled) when the
/// queue is empty, and is recorded for shown().
class FileDialogs
{
public:
    /// One dialog as it was asked for.
    struct Shown
    {
        QString title;
        QString folder;
        QString initialName;
        QStringList nameFilters;
        bool save = false;
        QString answer;
    };

    /// "Select File to Open": returns the chosen file's full path, or "" when cancelled.
    static QString ShowOpenFileDialog(
        QWidget *parent, const QString &initialName, const QString &filter);
    /// "Select Name to save file", asking before an existing file is overwritten: returns the
    /// chosen path, or "" when cancelled.
    static QString ShowSaveFileDialog(
        QWidget *parent, const QString &initialName, const QString &filter);

    /// The folder the next dialog starts in: the program's folder until a file was chosen.
    static QString folder();
    /// Sets the folder the next dialog starts in.
    static void setFolder(const QString &folder);

    /// Qt name filters for a filter text of "name|pattern" pairs; the name loses a trailing copy
    /// of its pattern ("HTML Reports *.htm" becomes "HTML Reports (*.htm)").
    static QStringList nameFilters(const QString &filter);

    /// Queues the path the next dialog returns ("" for Cancel) and turns scripting on.
    static void setNextPath(const QString &path);
    /// With \a on, dialogs are answered from the queue and recorded instead of opened.
    static void setScripted(bool on);
    /// The dialogs answered by script since the last reset, oldest first.
    static QList<Shown> shown();
    /// Turns scripting off and forgets queued paths and recorded dialogs.
    static void resetScript();
};
