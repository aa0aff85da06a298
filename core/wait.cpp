#include "core/core.h"

namespace {

// Timed sleeps stop counting while the machine sleeps (Windows) or is
// suspended (Linux). Sleeping in pieces against a clock that goes on
// counting bounds how late the request goes out after a resume.
const std::uint32_t kPieceMs = 60000;

} // namespace

std::uint64_t TimeLeft(std::uint64_t deadline)
{
    std::uint64_t now = OsClock();
    return now < deadline ? deadline - now : 0;
}

void Wait(const WindowSystem& desktop, std::uint64_t milliseconds)
{
    const std::uint64_t deadline = OsClock() + milliseconds;
    for (std::uint64_t now = OsClock(); now < deadline; now = OsClock()) {
        std::uint64_t left = deadline - now;
        OsSleep(left < kPieceMs ? static_cast<std::uint32_t>(left) : kPieceMs, desktop.wakeHandle());
        desktop.dispatch();
    }
}
