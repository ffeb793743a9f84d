#include "eventencoder.h"

namespace L = EventRecordLayout;

namespace {

bool putByte(QByteArray &raw, int position, int value)
{
    if (value < 0 || value > 0xFF)
        return false;
    raw[position - 1] = static_cast<char>(value);
    return true;
}

bool putWord(QByteArray &raw, int position, int value)
{
    if (value < 0 || value > 0xFFFF)
        return false;
    raw[position - 1] = static_cast<char>(value >> 8);
    raw[position] = static_cast<char>(value & 0xFF);
    return true;
}

bool putName(QByteArray &raw, const QString &name)
{
    if (name.size() > L::CodeNameLength)
        return false;
    for (int i = 0; i < L::CodeNameLength; ++i) {
        const char16_t c = i < name.size() ? name[i].unicode() : u' ';
        if (c > 0xFF)
            return false;
        raw[L::CodeName - 1 + i] = static_cast<char>(c);
    }
    return true;
}

bool putTime(QByteArray &raw, const QDateTime &time)
{
    if (!time.isValid())
        return false;
    int y = 0, m = 0, d = 0;
    time.date().getDate(&y, &m, &d);
    // Years below 100 would come back as two-digit years.
    if (y < 100 || y > 9999)
        return false;
    const QTime t = time.time();
    return putWord(raw, L::Year, y) && putByte(raw, L::Month, m) && putByte(raw, L::Day, d)
        && putByte(raw, L::Hour, t.hour()) && putByte(raw, L::Minute, t.minute())
        && putByte(raw, L::Second, t.second());
}

} // namespace

namespace EventEncoder {

QByteArray encode(const EventRecord &r)
{
    QByteArray raw(L::RecordLength, '\0');
    const bool ok = putByte(raw, L::Length, L::RecordLength) && putByte(raw, L::RecVer, r.RecVer)
        && putByte(raw, L::DevType, r.DevType) && putWord(raw, L::EvCode, r.EvCode)
        && putName(raw, r.CodeName) && putWord(raw, L::Flag1, r.Flag1)
        && putWord(raw, L::Flag2, r.Flag2) && putWord(raw, L::Seq, r.Seq)
        && putTime(raw, r.EventTime) && putByte(raw, L::Fut, r.Fut) && putWord(raw, L::Down, r.Down)
        && putByte(raw, L::iLoop, r.iLoop) && putByte(raw, L::Prog, r.Prog)
        && putByte(raw, L::Cue, r.Cue) && putByte(raw, L::Stat, r.Stat)
        && putWord(raw, L::parameter(1), r.P1) && putWord(raw, L::parameter(2), r.P2)
        && putWord(raw, L::parameter(3), r.P3) && putWord(raw, L::parameter(4), r.P4)
        && putWord(raw, L::parameter(5), r.P5) && putWord(raw, L::parameter(6), r.P6)
        && putWord(raw, L::parameter(7), r.P7) && putWord(raw, L::parameter(8), r.P8);
    return ok ? raw : QByteArray();
}

} // namespace EventEncoder
