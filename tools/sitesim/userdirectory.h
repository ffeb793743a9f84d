#pragma once

#include <QList>
#include <QString>
#include <QStringList>

/// One user the router knows.
struct RouterUser
{
    qint32 id = 0;
    QString name; // case sensitive
    QString password;
    QString access; // access list as records of items: router ID, client type, client ID, bits
};

/// \brief The router's users: who may log on, with which password and access list.
///
/// Without a file there is one user, "admin" with the password "admin" and full access. A users
/// file has one user a line, four fields separated by tabs: ID, name, password, access list.
/// The access list is records separated by ";", each four items separated by ",": router ID,
/// client type, client ID, access bits ("-1" means any). Blank lines and lines starting with
/// "#" are kept as they are. A changed password is written back to the file, which keeps
/// everything else.
class UserDirectory
{
public:
    /// Error codes of the router's user directory.
    static constexpr qint32 InternalError = 50;
    static constexpr qint32 AccessDenied = 103;
    static constexpr qint32 InvalidUser = 301;
    static constexpr qint32 NameOrPasswordMissing = 304;
    static constexpr qint32 InvalidPassword = 305;

    UserDirectory();

    /// Reads a users file; on failure the text names the line and the directory is unchanged.
    bool load(const QString &path, QString *error);

    /// 0 with \a user filled when name and password match; otherwise an error code.
    qint32 logOn(const QString &name, const QString &password, RouterUser *user) const;

    /// Changes the password of user \a id and writes the file (when there is one). 0 on
    /// success; otherwise an error code with \a error saying why.
    qint32 changePassword(qint32 id, const QString &password, QString *error);

    const QList<RouterUser> &users() const { return m_users; }

private:
    QString m_path;
    QStringList m_lines;
    QList<RouterUser> m_users;
    QList<int> m_lineOfUser; // index into m_lines, -1 for the default user
};
