#include "core/datetext.h"

namespace {
const QString kFormat = QStringLiteral("yyyy-MM-dd HH:mm:ss");
}

namespace DateText {

QDateTime zeroDate()
{
    return QDateTime(QDate(1899, 12, 30), QTime(0, 0, 0));
}

QString toText(const QDateTime &dateTime)
{
    return dateTime.toString(kFormat);
}

QDateTime fromText(const QString &text)
{
    return QDateTime::fromString(text.trimmed(), kFormat);
}

} // namespace DateText
