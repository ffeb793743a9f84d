#include "router/messagesplitter.h"

#include "router/serverconnectionheader.h"

namespace {
constexpr QByteArrayView kEndToken(
    ServerConnectionHeader::MessageEnd.data(), ServerConnectionHeader::MessageEnd.size());
}

MessageSplitter::MessageSplitter(qsizetype limit)
    : m_limit(qMax(limit, kEndToken.size()))
{
}

void MessageSplitter::append(QByteArrayView bytes)
{
    if (m_overflowed || bytes.isEmpty())
        return;
    // Drop taken-out bytes only once they are at least half the buffer, so each byte is moved
    // at most about once.
    if (m_start > 0 && m_start >= m_buffer.size() / 2) {
        m_buffer.remove(0, m_start);
        m_scan -= m_start;
        m_start = 0;
    }
    m_buffer.append(bytes);
}

MessageSplitter::Result MessageSplitter::next(QString *message)
{
    if (m_overflowed)
        return Result::Overflow;
    for (;;) {
        const qsizetype at = m_buffer.indexOf(kEndToken, m_scan);
        if (at < 0) {
            // A token may straddle this arrival and the next one.
            m_scan = qMax(m_start, m_buffer.size() - (kEndToken.size() - 1));
            if (bufferedSize() <= m_limit)
                return Result::Incomplete;
            break;
        }
        const qsizetype end = at + kEndToken.size();
        if (at == m_start) {
            m_start = m_scan = end;
            continue;
        }
        if (end - m_start > m_limit)
            break;
        *message = QString::fromLatin1(m_buffer.constData() + m_start, end - m_start);
        m_start = m_scan = end;
        return Result::Message;
    }
    clear();
    m_overflowed = true;
    return Result::Overflow;
}

void MessageSplitter::clear()
{
    m_buffer = QByteArray();
    m_start = m_scan = 0;
    m_overflowed = false;
}
