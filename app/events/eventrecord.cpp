#include "events/eventrecord.h"

#include "core/datetext.h"

namespace L = EventRecordLayout;

EventRecord EventRecord::decode(QByteArrayView raw)
{
    EventRecord r;
    r.RecVer = readByte(raw, L::RecVer);
    r.DevType = readByte(raw, L::DevType);
    r.EvCode = readWord(raw, L::EvCode);
    r.CodeName = readText(raw, L::CodeName, L::CodeNameLength);
    r.Flag1 = readWord(raw, L::Flag1);
    r.Flag2 = readWord(raw, L::Flag2);
    r.Seq = readWord(raw, L::Seq);
    r.Fut = readByte(raw, L::Fut);
    r.Down = readWord(raw, L::Down);
    r.iLoop = readByte(raw, L::iLoop);
    r.Prog = readByte(raw, L::Prog);
    r.Cue = readByte(raw, L::Cue);
    r.Stat = readByte(raw, L::Stat);
    r.P1 = readWord(raw, L::parameter(1));
    r.P2 = readWord(raw, L::parameter(2));
    r.P3 = readWord(raw, L::parameter(3));
    r.P4 = readWord(raw, L::parameter(4));
    r.P5 = readWord(raw, L::parameter(5));
    r.P6 = readWord(raw, L::parameter(6));
    r.P7 = readWord(raw, L::parameter(7));
    r.P8 = readWord(raw, L::parameter(8));
    r.EventTime
        = composeEventTime(readWord(raw, L::Year), readByte(raw, L::Month), readByte(raw, L::Day),
            readByte(raw, L::Hour), readByte(raw, L::Minute), readByte(raw, L::Second));
    return r;
}

EventRecord EventRecord::decodeText(const QString &latin1)
{
    return decode(QByteArrayView(latin1.toLatin1()));
}

int EventRecord::readByte(QByteArrayView raw, int position)
{
    if (position < 1 || position > raw.size())
        return -1;
    // Through unsigned char: bytes of 128 and above must not come out negative.
    return static_cast<unsigned char>(raw[position - 1]);
}

int EventRecord::readWord(QByteArrayView raw, int position)
{
    if (position < 1 || position > raw.size() - 1)
        return 0;
    return readByte(raw, position) * 256 + readByte(raw, position + 1);
}

QString EventRecord::readText(QByteArrayView raw, int position, int count)
{
    if (position < 1 || count < 0 || position + count > raw.size())
        return QString();
    return QString::fromLatin1(raw.sliced(position - 1, count));
}

QDateTime EventRecord::composeEventTime(
    int year, int month, int day, int hour, int minute, int second)
{
    if (year >= 0 && year < 30)
        year += 2000;
    else if (year >= 30 && year < 100)
        year += 1900;
    // Beyond four digits a year has no text form in the databases, so it is no date either.
    if (year > 9999)
        return DateText::zeroDate();
    const QDate date(year, month, day);
    const QTime time(hour, minute, second);
    if (!date.isValid() || !time.isValid())
        return DateText::zeroDate();
    return QDateTime(date, time);
}
