// Router messages from the network: splitting the byte stream, then sections, header fields,
// items and records, and the response record built from them.
#include "router/messagesplitter.h"
#include "router/responsedata.h"
#include "router/serverconnectionheader.h"

#include <QStringList>

#include <cstdint>
#include <cstdlib>

using namespace ServerConnectionHeader;

namespace {

// Small enough that the fuzzer reaches the overflow path.
constexpr qsizetype kLimit = 2048;

void check(bool condition)
{
    if (!condition)
        std::abort();
}

bool drain(MessageSplitter &splitter, QStringList *messages)
{
    QString text;
    for (;;) {
        switch (splitter.next(&text)) {
        case MessageSplitter::Result::Message:
            messages->append(text);
            break;
        case MessageSplitter::Result::Incomplete:
            return false;
        case MessageSplitter::Result::Overflow:
            return true;
        }
    }
}

void readValues(const QString &text, QLatin1StringView separator)
{
    const QList<QStringView> values = splitFields(text, separator);
    for (int n = 0; n <= 4; ++n) {
        const QString value = GetField(text, separator, n);
        if (n >= 1 && n <= values.size())
            check(value == values[n - 1]);
        else
            check(value.isEmpty());
    }
}

void readMessage(const QString &message)
{
    check(message.size() > MessageEnd.size());
    check(message.indexOf(MessageEnd) == message.size() - MessageEnd.size());

    const QLatin1StringView begins[] = { HeadBegin, AccessBegin, DataBegin };
    for (int section = 0; section <= 4; ++section) {
        const QString text = GetSection(message, section);
        if (section >= 1 && section <= 3)
            check(!text.contains(begins[section - 1]));
        else
            check(text.isEmpty());
    }

    const QString header = GetSection(message, Section::Header);
    for (int field = 0; field <= 12; ++field) {
        const QString value = GetHeaderField(header, field);
        check(!value.contains(u':'));
    }

    const QString data = GetSection(message, Section::Data);
    readValues(data, ItemToken);
    readValues(data, RecordToken);
    readValues(GetRecord(data, 1), ItemToken);

    ResponseData response;
    response.LoadFromMessage(header, GetSection(message, Section::Access), data);
    check(response.ErrorCode() == 0 || !response.ErrorText().isEmpty());

    check(fromWire(toWire(message)) == message);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    // The first byte chooses the arrival size; the same bytes must give the same messages
    // however they are cut.
    const qsizetype step = data[0] % 64 + 1;
    const QByteArrayView input(reinterpret_cast<const char *>(data) + 1, qsizetype(size) - 1);

    MessageSplitter whole(kLimit);
    whole.append(input);
    QStringList wholeMessages;
    const bool wholeOverflow = drain(whole, &wholeMessages);

    MessageSplitter pieces(kLimit);
    QStringList pieceMessages;
    bool pieceOverflow = false;
    for (qsizetype at = 0; at < input.size() && !pieceOverflow; at += step) {
        pieces.append(input.sliced(at, qMin(step, input.size() - at)));
        pieceOverflow = drain(pieces, &pieceMessages);
    }

    check(wholeOverflow == pieceOverflow);
    check(wholeMessages == pieceMessages);
    check(whole.bufferedSize() == pieces.bufferedSize());
    check(whole.bufferedSize() <= kLimit);

    for (const QString &message : std::as_const(wholeMessages)) {
        check(message.size() <= kLimit);
        readMessage(message);
    }
    return 0;
}
