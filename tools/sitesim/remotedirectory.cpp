#include "remotedirectory.h"

#include "messagetext.h"
#include "router/serverconnectionheader.h"

#include <QFile>

namespace {

bool isName(QStringView value)
{
    return !value.trimmed().isEmpty() && ServerConnectionHeader::isWireSafe(value);
}

} // namespace

bool RemoteDirectory::load(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        *error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
        return false;
    }
    QList<RemoteRouter> routers;
    QList<RemoteClient> clients;
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    for (int i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        if (line.trimmed().isEmpty() || line.startsWith(u'#'))
            continue;
        const auto bad = [&](const QString &why) {
            *error = QStringLiteral("%1 line %2: %3").arg(path).arg(i + 1).arg(why);
            return false;
        };
        const QStringList f = line.split(QLatin1Char('\t'));
        if (f[0] == QStringLiteral("router")) {
            if (f.size() != 3 || !MessageText::isId(f[1]) || !isName(f[2]))
                return bad(QStringLiteral("expected router, ID and name separated by tabs"));
            routers.append({ f[1].toUpper(), f[2] });
        } else if (f[0] == QStringLiteral("client")) {
            bool ok = false;
            const qint32 type = f.value(4).toInt(&ok);
            if (f.size() != 5 || !MessageText::isId(f[1]) || !MessageText::isId(f[2])
                || !isName(f[3]) || !ok)
                return bad(QStringLiteral("expected client, router ID, client ID, name and type "
                                          "separated by tabs"));
            clients.append({ f[1].toUpper(), f[2].toUpper(), f[3], type });
        } else {
            return bad(QStringLiteral("a line starts with \"router\" or \"client\""));
        }
    }
    m_routers = routers;
    m_clients = clients;
    return true;
}
