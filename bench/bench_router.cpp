// Throughput of the router message layer on the answers a synchronisation run receives: each a
// recordset of one hundred eventlog rows. Prints figures; asserts nothing about time.
#include "core/clock.h"
#include "router/messagesplitter.h"
#include "router/responsedata.h"
#include "router/serverconnectionheader.h"
#include "router/tcpiprecordset.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QRandomGenerator>

#include <cstdio>
#include <functional>

using namespace ServerConnectionHeader;

namespace {

constexpr int kRowsPerAnswer = 100;
constexpr int kAnswers = 200;

// One answer of the driver to "GET RECORDSET" on eventlog, rows from \a firstId on.
QByteArray eventlogAnswer(int firstId, QRandomGenerator &random)
{
    TCPIPRecordSet rows;
    rows.AddField(QStringLiteral("uniqueid"), TCPIPRecordSet::TypeLong);
    rows.AddField(QStringLiteral("machid"), TCPIPRecordSet::TypeInteger);
    rows.AddField(QStringLiteral("eventdata"), TCPIPRecordSet::TypeBinary);
    rows.AddField(QStringLiteral("logtime"), TCPIPRecordSet::TypeDate);
    rows.AddField(QStringLiteral("showid"), TCPIPRecordSet::TypeLong);
    rows.AddField(QStringLiteral("eventtime"), TCPIPRecordSet::TypeDate);
    const QDateTime start(QDate(2026, 3, 7), QTime(10, 0));
    for (int r = 0; r < kRowsPerAnswer; ++r) {
        const int id = firstId + r;
        // 49 raw bytes across the whole byte range; CR is left out because a driver's raw
        // record followed by a token could otherwise read as a different token.
        QByteArray raw(49, Qt::Uninitialized);
        for (char &byte : raw) {
            const int value = int(random.bounded(255u)) + 1;
            byte = char(value == '\r' ? 0 : value);
        }
        const QDateTime when = start.addSecs(id * 17);
        rows.Add();
        rows.AbsRecord(r + 1, QStringLiteral("uniqueid"), QString(u' ' + QString::number(id)));
        rows.AbsRecord(r + 1, QStringLiteral("machid"), QString(u' ' + QString::number(id % 8)));
        rows.AbsRecord(r + 1, QStringLiteral("eventdata"), QString::fromLatin1(raw));
        rows.SetValue(QStringLiteral("logtime"), when.addSecs(2), TCPIPRecordSet::TypeDate);
        rows.AbsRecord(r + 1, QStringLiteral("showid"), QString(u' ' + QString::number(id / 40)));
        rows.SetValue(QStringLiteral("eventtime"), when, TCPIPRecordSet::TypeDate);
    }
    const SenderIdentity driver { QStringLiteral("228001-987"), QStringLiteral("MAINROUTER"),
        QStringLiteral("Tarvik Driver"), QString() };
    const QString message
        = BuildHeader(driver, QStringLiteral("229385-1012"), QStringLiteral("RESPONSE"),
              QStringLiteral("RESPONSE"), 0, 0, QString(), QString())
        + AccessBegin + AccessEnd + DataBegin + rows.toDataText() + DataEnd + MessageEnd;
    return toWire(message);
}

struct Figures
{
    double seconds = 0;
    qint64 bytes = 0;
    qint64 messages = 0;
};

// Runs \a pass over the stream until at least a second has gone by.
Figures measure(const QByteArray &stream, const std::function<qint64(const QByteArray &)> &pass)
{
    Figures figures;
    QElapsedTimer timer;
    timer.start();
    do {
        figures.messages += pass(stream);
        figures.bytes += stream.size();
    } while (timer.elapsed() < 1000);
    figures.seconds = double(timer.nsecsElapsed()) / 1e9;
    return figures;
}

void print(const char *what, const Figures &figures)
{
    std::printf("%-46s %9.1f MB/s %10.0f messages/s %12.0f rows/s\n", what,
        double(figures.bytes) / 1e6 / figures.seconds, double(figures.messages) / figures.seconds,
        double(figures.messages) * kRowsPerAnswer / figures.seconds);
}

qint64 splitOnly(const QByteArray &stream, qsizetype arrival)
{
    MessageSplitter splitter;
    QString message;
    qint64 count = 0;
    for (qsizetype at = 0; at < stream.size(); at += arrival) {
        splitter.append(QByteArrayView(stream).sliced(at, qMin(arrival, stream.size() - at)));
        while (splitter.next(&message) == MessageSplitter::Result::Message)
            ++count;
    }
    return count;
}

// What the connection and the synchronisation do with each answer.
qint64 splitAndRead(const QByteArray &stream, qsizetype arrival)
{
    MessageSplitter splitter;
    QString message;
    qint64 count = 0;
    qint64 checksum = 0;
    for (qsizetype at = 0; at < stream.size(); at += arrival) {
        splitter.append(QByteArrayView(stream).sliced(at, qMin(arrival, stream.size() - at)));
        while (splitter.next(&message) == MessageSplitter::Result::Message) {
            ResponseData response;
            response.LoadFromMessage(GetSection(message, Section::Header),
                GetSection(message, Section::Access), GetSection(message, Section::Data));
            TCPIPRecordSet rows;
            rows.Load(response.Data());
            for (rows.MoveFirst(); !rows.Eof(); rows.MoveNext()) {
                checksum += rows.Field(QStringLiteral("uniqueid")).toInt();
                checksum += rows.Field(QStringLiteral("machid")).toInt();
                checksum += rows.Field(QStringLiteral("eventdata")).toString().size();
                checksum += rows.Field(QStringLiteral("logtime")).toDateTime().time().second();
                checksum += rows.Field(QStringLiteral("showid")).toInt();
                checksum += rows.Field(QStringLiteral("eventtime")).toDateTime().date().day();
            }
            ++count;
        }
    }
    if (checksum == 0)
        std::printf("(no rows read)\n");
    return count;
}

} // namespace

int main()
{
    Clock::settleLocalTimeZone();
    QRandomGenerator random(20260307);
    QByteArray stream;
    for (int a = 0; a < kAnswers; ++a)
        stream += eventlogAnswer(1 + a * kRowsPerAnswer, random);
    std::printf("%d answers of %d eventlog rows, %.1f KiB per answer\n\n", kAnswers, kRowsPerAnswer,
        double(stream.size()) / kAnswers / 1024.0);

    print("split, 1460-byte arrivals",
        measure(stream, [](const QByteArray &s) { return splitOnly(s, 1460); }));
    print("split, 64 KiB arrivals",
        measure(stream, [](const QByteArray &s) { return splitOnly(s, 65536); }));
    print("split + sections + Load + typed reads, 1460 B",
        measure(stream, [](const QByteArray &s) { return splitAndRead(s, 1460); }));
    print("split + sections + Load + typed reads, 64 KiB",
        measure(stream, [](const QByteArray &s) { return splitAndRead(s, 65536); }));
    return 0;
}
