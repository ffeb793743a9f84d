#include "terminalprogress.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// A message line is redrawn at most this often while only its text changes (a count of rows).
constexpr qint64 kRedrawMs = 100;

QString oneLine(const QString &message)
{
    return message.isEmpty() ? QStringLiteral("Getting Data.") : message.simplified();
}

} // namespace

TerminalProgress::TerminalProgress(std::FILE *stream)
    : m_stream(stream)
    , m_enabled(stream && isatty(fileno(stream)) == 1)
{
}

TerminalProgress::~TerminalProgress()
{
    Close();
}

void TerminalProgress::Display(const QString &message, bool animate)
{
    m_open = true;
    m_message = oneLine(message);
    m_value = 0;
    // An animated bar says nothing about how far the work is.
    m_showPercent = !animate;
    draw(true);
}

void TerminalProgress::SetMessage(const QString &message, bool)
{
    m_message = oneLine(message);
    if (m_open)
        draw(false);
}

void TerminalProgress::SetProgress(int value)
{
    if (value < 0 || value > 100)
        return;
    m_value = value;
    m_showPercent = true;
    if (m_open)
        draw(false);
}

void TerminalProgress::Close()
{
    if (!m_open)
        return;
    m_open = false;
    m_drawn.clear();
    m_drawnValue = -1;
    if (m_enabled) {
        std::fputs("\r\x1b[K", m_stream);
        std::fflush(m_stream);
    }
}

void TerminalProgress::draw(bool force)
{
    if (!m_enabled)
        return;
    const int value = m_showPercent ? m_value : -1;
    if (m_message == m_drawn && value == m_drawnValue)
        return;
    // A new percentage always shows; a message that counts rows is thinned out.
    if (!force && value == m_drawnValue && m_sinceDraw.isValid()
        && m_sinceDraw.elapsed() < kRedrawMs)
        return;

    const QString percent = value >= 0 ? QStringLiteral(" %1%").arg(value, 3) : QString();
    // One character short of the width, so the line never wraps and \r returns to its start.
    const qsizetype room = qMax<qsizetype>(1, columns() - 1 - percent.size());
    QString line = m_message.size() > room ? m_message.left(room) : m_message;
    line += percent;
    std::fputs("\r\x1b[K", m_stream);
    std::fputs(line.toLocal8Bit().constData(), m_stream);
    std::fflush(m_stream);

    m_drawn = m_message;
    m_drawnValue = value;
    m_sinceDraw.start();
}

int TerminalProgress::columns() const
{
    winsize size {};
    if (ioctl(fileno(m_stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}
