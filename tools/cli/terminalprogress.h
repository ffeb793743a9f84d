#pragma once

#include "core/progress.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdio>

/// \brief The progress window of the headless tools: one line on a terminal, redrawn in place
/// with the message and the percentage; silent when the stream is not a terminal.
class TerminalProgress final : public Progress
{
public:
    /// Draws on \a stream (standard error by default) when it is a terminal.
    explicit TerminalProgress(std::FILE *stream = stderr);
    ~TerminalProgress() override;
    TerminalProgress(const TerminalProgress &) = delete;
    TerminalProgress &operator=(const TerminalProgress &) = delete;

    bool isShown() const { return m_enabled; }

    void Display(const QString &message, bool animate = false) override;
    void SetMessage(const QString &message, bool keepSize = false) override;
    void SetProgress(int value) override;
    bool Cancelled() const override { return false; }
    void Close() override;

private:
    void draw(bool force);
    int columns() const;

    std::FILE *m_stream;
    bool m_enabled = false;
    bool m_open = false;
    bool m_showPercent = true;
    QString m_message;
    int m_value = 0;
    QString m_drawn;
    int m_drawnValue = -1;
    QElapsedTimer m_sinceDraw;
};
