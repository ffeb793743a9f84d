#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

/// \brief The receive buffer of a router connection: cuts the byte stream into whole messages.
///
/// Feed every arrival with append(), then call next() until it stops returning Message. A
/// message is everything up to and including the message end token; an end token with nothing
/// before it is skipped. Work is linear in the bytes received: only new bytes are searched, and
/// consumed bytes are dropped from the front now and then rather than per message.
///
/// The buffer is capped: a message longer than limit() bytes, or unterminated text beyond it,
/// makes next() return Overflow from then on, and the buffer is dropped until clear().
class MessageSplitter
{
public:
    /// Room for any answer a peer sends (a batch of a hundred events is a few tens of KiB).
    static constexpr qsizetype DefaultLimit = 8 * 1024 * 1024;

    enum class Result { Message, Incomplete, Overflow };

    explicit MessageSplitter(qsizetype limit = DefaultLimit);

    /// Adds received bytes; ignored once the buffer has overflowed.
    void append(QByteArrayView bytes);

    /// Takes the next complete message into \a message (Latin-1 text, end token included).
    Result next(QString *message);

    /// Received bytes not yet taken out as messages.
    qsizetype bufferedSize() const { return m_buffer.size() - m_start; }

    bool isOverflowed() const { return m_overflowed; }
    qsizetype limit() const { return m_limit; }

    /// Forgets everything buffered and any overflow, for a new connection.
    void clear();

private:
    QByteArray m_buffer;
    qsizetype m_start = 0; // first byte not yet taken out
    qsizetype m_scan = 0; // no end token begins in [m_start, m_scan)
    qsizetype m_limit;
    bool m_overflowed = false;
};
