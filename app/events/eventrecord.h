#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QString>

/// Positions (1-based) of the fields in the raw event record a ZMU unit reports through the driver.
/// Bytes are one character each; words are two, the first one high.
namespace EventRecordLayout {
inline constexpr int RecordLength = 49;
inline constexpr int Length = 1; // not copied; our units put the record length here
inline constexpr int RecVer = 2;
inline constexpr int DevType = 3;
inline constexpr int EvCode = 4;
inline constexpr int CodeName = 6;
inline constexpr int CodeNameLength = 8;
inline constexpr int Flag1 = 14;
inline constexpr int Flag2 = 16;
inline constexpr int Seq = 18;
inline constexpr int Year = 20;
inline constexpr int Month = 22;
inline constexpr int Day = 23;
inline constexpr int Hour = 24;
inline constexpr int Minute = 25;
inline constexpr int Second = 26;
inline constexpr int Fut = 27;
inline constexpr int Down = 28;
inline constexpr int iLoop = 30;
inline constexpr int Prog = 31;
inline constexpr int Cue = 32;
inline constexpr int Stat = 33;
inline constexpr int P1 = 34; // P2 .. P8 follow, one word each

/// Position of parameter \a n (1..8).
constexpr int parameter(int n)
{
    return P1 + 2 * (n - 1);
}
} // namespace EventRecordLayout

/// \brief The columns decoded from one raw event record (`eventdata`).
///
/// decode() never fails: fields beyond the end of a short record take the reader defaults
/// (−1 for a byte, 0 for a word, empty for the name, the zero date for the time).
struct EventRecord
{
    int RecVer = -1;
    int DevType = -1;
    int EvCode = 0;
    QString CodeName;
    int Flag1 = 0;
    int Flag2 = 0;
    int Seq = 0;
    int Fut = -1;
    int Down = 0;
    int iLoop = -1;
    int Prog = -1;
    int Cue = -1;
    int Stat = -1;
    int P1 = 0;
    int P2 = 0;
    int P3 = 0;
    int P4 = 0;
    int P5 = 0;
    int P6 = 0;
    int P7 = 0;
    int P8 = 0;
    QDateTime EventTime;

    bool operator==(const EventRecord &other) const = default;

    static EventRecord decode(QByteArrayView raw);
    /// The record as the driver's recordsets carry it: one Latin-1 character per byte.
    static EventRecord decodeText(const QString &latin1);

    /// The character code (0..255) at \a position, or −1 when the record is shorter.
    static int readByte(QByteArrayView raw, int position);
    /// First byte × 256 + second byte; 0 unless \a position lies in 1 .. length − 1.
    static int readWord(QByteArrayView raw, int position);
    /// \a count characters from \a position, or empty unless position + count ≤ length.
    static QString readText(QByteArrayView raw, int position, int count);

    /// The date-time the record's date and time fields form, or the zero date when they form
    /// none. Years below 100 are two-digit years: 0–29 lie in 2000–2029, 30–99 in 1930–1999.
    static QDateTime composeEventTime(
        int year, int month, int day, int hour, int minute, int second);
};
