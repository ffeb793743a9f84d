#include "ui/filedialogs.h"

#include <QCoreApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QQueue>

namespace {

struct Script
{
    bool scripted = false;
    QQueue<QString> paths;
    QList<FileDialogs::Shown> shown;
};

Script &script()
{
    static Script s;
    return s;
}

QString &rememberedFolder()
{
    static QString folder;
    return folder;
}

QString runDialog(QWidget *parent, bool save, const QString &initialName, const QString &filter)
{
    const QString title
        = save ? QStringLiteral("Select Name to save file") : QStringLiteral("Select File to Open");
    const QString startFolder = FileDialogs::folder();
    const QStringList filters = FileDialogs::nameFilters(filter);

    QString answer;
    Script &s = script();
    if (s.scripted) {
        if (!s.paths.isEmpty())
            answer = s.paths.dequeue();
        s.shown.append(
            FileDialogs::Shown { title, startFolder, initialName, filters, save, answer });
    } else {
        QFileDialog dialog(parent, title, startFolder);
        dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        if (!filters.isEmpty()) {
            dialog.setNameFilters(filters);
            dialog.selectNameFilter(filters.first());
        }
        if (!initialName.isEmpty())
            dialog.selectFile(initialName);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            answer = dialog.selectedFiles().constFirst();
    }

    if (!answer.isEmpty())
        rememberedFolder() = QFileInfo(answer).absolutePath();
    return answer;
}

} // namespace

QString FileDialogs::ShowOpenFileDialog(
    QWidget *parent, const QString &initialName, const QString &filter)
{
    return runDialog(parent, false, initialName, filter);
}

QString FileDialogs::ShowSaveFileDialog(
    QWidget *parent, const QString &initialName, const QString &filter)
{
    return runDialog(parent, true, initialName, filter);
}

QString FileDialogs::folder()
{
    if (rememberedFolder().isEmpty())
        return QCoreApplication::applicationDirPath();
    return rememberedFolder();
}

void FileDialogs::setFolder(const QString &folder)
{
    rememberedFolder() = folder;
}

QStringList FileDialogs::nameFilters(const QString &filter)
{
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString name = parts.at(i).trimmed();
        const QString pattern = parts.at(i + 1).trimmed();
        if (name.isEmpty() && pattern.isEmpty())
            break;
        if (pattern.isEmpty())
            continue;
        if (name.endsWith(pattern))
            name = name.chopped(pattern.size()).trimmed();
        const QString patterns = QString(pattern).replace(QLatin1Char(';'), QLatin1Char(' '));
        result.append(
            name.isEmpty() ? patterns : name + QLatin1String(" (") + patterns + QLatin1Char(')'));
    }
    return result;
}

void FileDialogs::setNextPath(const QString &path)
{
    script().scripted = true;
    script().paths.enqueue(path);
}

void FileDialogs::setScripted(bool on)
{
    script().scripted = on;
}

QList<FileDialogs::Shown> FileDialogs::shown()
{
    return script().shown;
}

void FileDialogs::resetScript()
{
    script() = Script();
}
