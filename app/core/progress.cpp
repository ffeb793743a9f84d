#include "core/progress.h"

namespace {

// Stands in for the window when the core runs without a screen.
class SilentProgress final : public Progress
{
public:
    void Display(const QString &, bool) override { }
    void SetMessage(const QString &, bool) override { }
    void SetProgress(int) override { }
    bool Cancelled() const override { return false; }
    void Close() override { }
};

SilentProgress s_silent;
Progress *s_current = &s_silent;

} // namespace

Progress::~Progress() = default;

Progress &Progress::current()
{
    return *s_current;
}

void Progress::setCurrent(Progress *progress)
{
    s_current = progress ? progress : &s_silent;
}
