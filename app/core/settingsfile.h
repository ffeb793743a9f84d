#pragma once

#include <QString>

/// \brief The program's settings: the whole settings file held as one text, read and written by key.
///
/// Entries are `*Key*` + marker + value + CR LF; marker ' ' is a plain value, '#' a scrambled one.
/// There is one instance for the process (instance()); tests may create their own.
class SettingsFile
{
public:
    SettingsFile() = default;

    static SettingsFile &instance();

    /// The stored value, unscrambled when it was stored scrambled; empty when the key is absent.
    QString GetFileValue(const QString &key) const;

    /// Stores \a value under \a key in memory. Returns false, changing nothing, for a value the
    /// file format cannot hold.
    bool SetFileValue(const QString &key, const QString &value, bool scramble = false);

    bool LoadSettingsFile(const QString &fileName);
    bool SaveSettingsFile(const QString &fileName);

    /// The complete file text.
    const QString &content() const { return Content; }

private:
    static QString EncodeValue(const QString &value);
    static QString DecodeValue(const QString &text);

    QString Content;
};
