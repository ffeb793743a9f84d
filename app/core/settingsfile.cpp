#include "core/settingsfile.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSaveFile>

namespace {

const QString kLineEnd = QStringLiteral("\r\n");
constexpr QChar kFrame = u'*';
constexpr QChar kPlainMarker = u' ';
constexpr QChar kScrambledMarker = u'#';
const QString kTempCopyName = QStringLiteral("tempfile.tmp");

QString framedKey(const QString &key)
{
    return kFrame + key + kFrame;
}

bool isLatin1(const QString &text)
{
    for (const QChar c : text) {
        if (c.unicode() > 0xFF)
            return false;
    }
    return true;
}

// Only blanks, as the scrambled form has always been trimmed; tabs and other white space stay.
QString trimBlanks(const QString &text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == u' ')
        ++first;
    while (last > first && text.at(last - 1) == u' ')
        --last;
    return text.sliced(first, last - first);
}

// The character offset added at 1-based position i of a scrambled value.
int positionOffset(qsizetype position)
{
    return 32 + int(position % 16);
}

// A key can be found again only if its frame cannot turn up anywhere else in the text. A key that
// begins with a marker character would match the frame's closing '*' plus a value's first '*'.
bool isStorableKey(const QString &key)
{
    if (key.isEmpty() || !isLatin1(key))
        return false;
    if (key.front() == kPlainMarker || key.front() == kScrambledMarker)
        return false;
    return !key.contains(kFrame) && !key.contains(u'\r') && !key.contains(u'\n');
}

// Single asterisks are harmless; two with text between them frame a key that a later lookup
// would find inside this value instead of in its own entry.
bool containsFramedText(const QString &value)
{
    qsizetype previous = -1;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value.at(i) != kFrame)
            continue;
        if (previous >= 0 && i > previous + 1)
            return true;
        previous = i;
    }
    return false;
}

bool isStorablePlainValue(const QString &value)
{
    return isLatin1(value) && !value.contains(u'\r') && !value.contains(u'\n')
        && !containsFramedText(value);
}

bool isScramblable(const QString &value)
{
    const QString trimmed = trimBlanks(value);
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        if (trimmed.at(i).unicode() + positionOffset(i + 1) > 0xFF)
            return false;
    }
    return true;
}

int hexDigit(QChar c)
{
    if (c >= u'0' && c <= u'9')
        return c.unicode() - u'0';
    if (c >= u'A' && c <= u'F')
        return c.unicode() - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c.unicode() - u'a' + 10;
    return -1;
}

} // namespace

SettingsFile &SettingsFile::instance()
{
    static SettingsFile settings;
    return settings;
}

QString SettingsFile::GetFileValue(const QString &key) const
{
    if (!isStorableKey(key))
        return {};
    const QString frame = framedKey(key);
    const qsizetype start = Content.indexOf(frame);
    if (start < 0)
        return {};
    const qsizetype markerAt = start + frame.size();
    if (markerAt >= Content.size())
        return {};
    // A last entry without its CR LF runs to the end of the text.
    qsizetype end = Content.indexOf(kLineEnd, markerAt);
    if (end < 0)
        end = Content.size();
    const QString text = Content.sliced(markerAt + 1, end - markerAt - 1);
    return Content.at(markerAt) == kScrambledMarker ? DecodeValue(text) : text;
}

bool SettingsFile::SetFileValue(const QString &key, const QString &value, bool scramble)
{
    if (!isStorableKey(key))
        return false;
    if (scramble ? !isLatin1(value) || !isScramblable(value) : !isStorablePlainValue(value))
        return false;

    const QString frame = framedKey(key);
    const QString entry = frame + (scramble ? kScrambledMarker : kPlainMarker)
        + (scramble ? EncodeValue(value) : value) + kLineEnd;

    const qsizetype start = Content.indexOf(frame);
    if (start >= 0) {
        const qsizetype end = Content.indexOf(kLineEnd, start + frame.size());
        const qsizetype removed = (end < 0 ? Content.size() : end + kLineEnd.size()) - start;
        Content.replace(start, removed, entry);
        return true;
    }
    // Keep an unterminated last entry (a file written elsewhere) from swallowing the new one.
    if (!Content.isEmpty() && !Content.endsWith(kLineEnd))
        Content += kLineEnd;
    Content += entry;
    return true;
}

bool SettingsFile::LoadSettingsFile(const QString &fileName)
{
    const QFileInfo source(fileName);
    const QString copyPath = source.absolutePath() + u'/' + kTempCopyName;
    if (!source.isFile() || source.absoluteFilePath() == QFileInfo(copyPath).absoluteFilePath())
        return false;

    // Read through a copy so that the settings file itself is held open for the least time.
    if (QFile::exists(copyPath) && !QFile::remove(copyPath))
        return false;
    if (!QFile::copy(fileName, copyPath)) {
        QFile::remove(copyPath);
        return false;
    }

    QFile copy(copyPath);
    bool ok = copy.open(QIODevice::ReadOnly);
    QByteArray bytes;
    if (ok) {
        bytes = copy.readAll();
        ok = copy.error() == QFileDevice::NoError;
        copy.close();
    }
    QFile::remove(copyPath);
    if (!ok)
        return false;

    Content = QString::fromLatin1(bytes);
    return true;
}

bool SettingsFile::SaveSettingsFile(const QString &fileName)
{
    // Written beside the old file and renamed over it, so a failure at any point leaves the old
    // file whole. Owner-only, as the file holds credentials.
    // Unbuffered: a buffered write that the disk cuts short is still committed as a success.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return false;
    if (!file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return false;
    const QByteArray bytes = Content.toLatin1();
    if (file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}

QString SettingsFile::EncodeValue(const QString &value)
{
    const QString trimmed = trimBlanks(value);
    QString text;
    text.reserve(trimmed.size() * 4);
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        const int code = trimmed.at(i).unicode() + positionOffset(i + 1);
        // The filler only hides the pattern; readers skip it.
        const int filler = int(QRandomGenerator::global()->bounded(16, 256));
        text += QString::number(code, 16).toUpper() + QString::number(filler, 16).toUpper();
    }
    return text;
}

QString SettingsFile::DecodeValue(const QString &text)
{
    const QString trimmed = trimBlanks(text);
    if (trimmed.size() % 4 != 0)
        return {};
    QString value;
    value.reserve(trimmed.size() / 4);
    for (qsizetype i = 0; i < trimmed.size(); i += 4) {
        int digits[4];
        for (int d = 0; d < 4; ++d) {
            digits[d] = hexDigit(trimmed.at(i + d));
            if (digits[d] < 0)
                return {};
        }
        const int code = digits[0] * 16 + digits[1] - positionOffset(i / 4 + 1);
        if (code < 0)
            return {};
        value += QChar(code);
    }
    return value;
}
