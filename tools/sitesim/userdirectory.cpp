#include "userdirectory.h"

#include "messagetext.h"
#include "router/serverconnectionheader.h"
#include "router/valuetext.h"

#include <QFile>
#include <QSaveFile>

namespace {

const QLatin1Char kTab('\t');

bool isFileSafe(QStringView value)
{
    return ServerConnectionHeader::isWireSafe(value) && !value.contains(u'\n')
        && !value.contains(kTab);
}

// The access list of the file ("a,b,c,d;...") as records of items; false when malformed.
bool accessRecords(QStringView text, QString *records)
{
    using namespace ServerConnectionHeader;
    records->clear();
    if (text.trimmed().isEmpty())
        return true;
    for (QStringView record : text.split(u';')) {
        const QList<QStringView> items = record.split(u',');
        if (items.size() != 4)
            return false;
        for (int i = 0; i < 4; ++i) {
            const QStringView item = items[i].trimmed();
            if (item.isEmpty() || !isWireSafe(item) || !MessageText::fitsItem(item))
                return false;
            // Client type and access bits are numbers; router and client IDs are names.
            if ((i == 1 || i == 3) && !ValueText::isNumber(item))
                return false;
            *records += item % ItemToken;
        }
        *records += RecordToken;
    }
    return true;
}

} // namespace

UserDirectory::UserDirectory()
{
    using namespace ServerConnectionHeader;
    RouterUser admin;
    admin.id = 1;
    admin.name = QStringLiteral("admin");
    admin.password = QStringLiteral("admin");
    accessRecords(u"-1,-1,-1,-1", &admin.access);
    m_users.append(admin);
    m_lineOfUser.append(-1);
}

bool UserDirectory::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    if (!lines.isEmpty() && lines.constLast().isEmpty())
        lines.removeLast();
    QList<RouterUser> users;
    QList<int> lineOfUser;
    for (int i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        if (line.trimmed().isEmpty() || line.startsWith(u'#'))
            continue;
        const auto bad = [&](const QString &why) {
            *error = QStringLiteral("%1 line %2: %3").arg(path).arg(i + 1).arg(why);
            return false;
        };
        const QStringList fields = line.split(kTab);
        if (fields.size() != 4)
            return bad(QStringLiteral("expected ID, name, password and access list separated by "
                                      "tabs"));
        RouterUser user;
        bool ok = false;
        user.id = fields[0].trimmed().toInt(&ok);
        if (!ok || user.id < 1)
            return bad(QStringLiteral("the ID must be a whole number of 1 or more"));
        user.name = fields[1];
        if (user.name.trimmed().isEmpty() || !ServerConnectionHeader::isHeaderSafe(user.name))
            return bad(QStringLiteral("the name must not be empty and holds no colon"));
        user.password = fields[2];
        if (user.password.isEmpty() || !isFileSafe(user.password)
            || !MessageText::fitsItem(user.password))
            return bad(QStringLiteral("the password must not be empty"));
        if (!accessRecords(fields[3], &user.access))
            return bad(QStringLiteral("the access list must be records of four items, "
                                      "\"router,type,client,bits\", separated by \";\""));
        for (const RouterUser &other : users)
            if (other.id == user.id || other.name == user.name)
                return bad(QStringLiteral("ID or name used twice"));
        users.append(user);
        lineOfUser.append(i);
    }
    m_path = path;
    m_lines = lines;
    m_users = users;
    m_lineOfUser = lineOfUser;
    return true;
}

qint32 UserDirectory::logOn(const QString &name, const QString &password, RouterUser *user) const
{
    if (name.isEmpty() || password.isEmpty())
        return NameOrPasswordMissing;
    for (const RouterUser &u : m_users) {
        if (u.name != name)
            continue;
        if (u.password != password)
            return InvalidPassword;
        *user = u;
        return 0;
    }
    return InvalidUser;
}

qint32 UserDirectory::changePassword(qint32 id, const QString &password, QString *error)
{
    qsizetype index = -1;
    for (qsizetype i = 0; i < m_users.size(); ++i)
        if (m_users[i].id == id)
            index = i;
    if (index < 0) {
        *error = QStringLiteral("There is no user with ID %1").arg(id);
        return InvalidUser;
    }
    if (password.isEmpty()) {
        *error = QStringLiteral("The new password is empty");
        return NameOrPasswordMissing;
    }
    if (!isFileSafe(password)) {
        *error = QStringLiteral("The new password holds a character that cannot be stored");
        return InvalidPassword;
    }

    const int line = m_lineOfUser[index];
    if (line >= 0) {
        QStringList fields = m_lines[line].split(kTab);
        fields[2] = password;
        QStringList lines = m_lines;
        lines[line] = fields.join(kTab);
        QSaveFile file(m_path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Text)
            || file.write((lines.join(u'\n') + u'\n').toUtf8()) < 0 || !file.commit()) {
            *error = QStringLiteral("Cannot write %1: %2").arg(m_path, file.errorString());
            return InternalError;
        }
        m_lines = lines;
    }
    m_users[index].password = password;
    return 0;
}
