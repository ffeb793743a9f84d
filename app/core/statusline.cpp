#include "core/statusline.h"

namespace {

// Stands in for the main window when the core runs without a screen.
class SilentStatusLine final : public StatusLine
{
public:
    void SetStatus(const QString &) override { }
    void RestoreStatus() override { }
};

SilentStatusLine s_silent;
StatusLine *s_current = &s_silent;

} // namespace

StatusLine::~StatusLine() = default;

StatusLine &StatusLine::current()
{
    return *s_current;
}

void StatusLine::setCurrent(StatusLine *line)
{
    s_current = line ? line : &s_silent;
}
