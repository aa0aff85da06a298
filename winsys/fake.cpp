#include "winsys/fake.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

struct Window {
    WindowHandle handle;
    std::string title;
    unsigned owner;
    CloseOutcome answer;
    bool console;
    unsigned serial; // tells apart windows that had the same handle
};

struct Timed {
    std::uint64_t at;
    std::function<void()> action;
};

std::vector<Window> windows;
std::vector<std::string> events;
std::vector<Timed> timed;
std::uint64_t clock;
unsigned serials;
unsigned trackedSerial;

std::string Hex(WindowHandle handle)
{
    char text[9];
    std::snprintf(text, sizeof text, "%08X", handle);
    return text;
}

Window* Find(WindowHandle handle)
{
    for (Window& w : windows)
        if (w.handle == handle)
            return &w;
    return nullptr;
}

void Enumerate()
{
    events.push_back("enum");
    // A copy: a real enumeration is not disturbed by windows that come or go
    // while it runs.
    std::vector<WindowHandle> order;
    for (const Window& w : windows)
        order.push_back(w.handle);
    for (WindowHandle h : order)
        if (LocateTargetProc(h, 0) == 0)
            return;
}

int GetTitle(WindowHandle handle, char* buffer, int size)
{
    events.push_back("read " + Hex(handle));
    const Window* w = Find(handle);
    if (!w || size <= 0)
        return 0;
    const std::string title = w->console && w->title.empty() ? ConsoleTitle : w->title;
    std::size_t n = std::min(title.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, title.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

bool HostsOwnTerminal(WindowHandle handle)
{
    const Window* w = Find(handle);
    return w && w->console;
}

void Track(WindowHandle handle)
{
    events.push_back("track " + Hex(handle));
    const Window* w = Find(handle);
    trackedSerial = w ? w->serial : 0;
}

bool Hold(WindowHandle handle)
{
    const Window* w = Find(handle);
    return w && w->serial == trackedSerial;
}

CloseOutcome Close(WindowHandle handle)
{
    events.push_back("close " + Hex(handle));
    const Window* w = Find(handle);
    CloseOutcome answer = w ? w->answer : CloseGone;
    if (answer == CloseDelivered)
        FakeDestroyWindow(handle);
    return answer;
}

int WakeHandle()
{
    return -1;
}

void Dispatch()
{
}

} // namespace

void FakeReset()
{
    windows.clear();
    events.clear();
    timed.clear();
    clock = 1000000;
    trackedSerial = 0;
}

void FakeOpenWindow(WindowHandle handle, const std::string& title, unsigned owner, CloseOutcome answer)
{
    windows.push_back({handle, title, owner, answer, false, ++serials});
}

void FakeOpenConsole(WindowHandle handle, const std::string& title)
{
    windows.push_back({handle, title, 0, CloseDelivered, true, ++serials});
}

void FakeDestroyWindow(WindowHandle handle)
{
    windows.erase(std::remove_if(windows.begin(), windows.end(),
                                 [&](const Window& w) { return w.handle == handle; }),
                  windows.end());
}

void FakeAt(std::uint64_t milliseconds, std::function<void()> action)
{
    timed.push_back({milliseconds, std::move(action)});
}

void FakeSuspend(std::uint64_t milliseconds)
{
    clock += milliseconds;
}

std::uint64_t FakeClock()
{
    return clock;
}

const std::vector<std::string>& FakeEvents()
{
    return events;
}

bool ConnectDesktop()
{
    Desktop = {Enumerate, GetTitle, HostsOwnTerminal, Track, Hold, Close, WakeHandle, Dispatch};
    return true;
}

void OsStart()
{
}

void OsSetConsoleTitle(const char* title)
{
    events.push_back(std::string("console-title ") + title);
}

bool OsOutputIsTerminal()
{
    return false;
}

void OsWrite(const char* bytes, std::size_t length)
{
    events.push_back("out " + std::string(bytes, length));
}

void OsWriteError(const char* bytes, std::size_t length)
{
    events.push_back("err " + std::string(bytes, length));
}

const char* OsLineEnd()
{
    return "\r\n";
}

std::uint64_t OsClock()
{
    return clock;
}

void OsSleep(std::uint32_t milliseconds, int)
{
    events.push_back("sleep " + std::to_string(milliseconds));
    // What a test scheduled happens at its time. A timed sleep does not count
    // time the machine spends suspended: what is left of it is still slept.
    std::uint64_t left = milliseconds;
    for (;;) {
        auto next = std::min_element(timed.begin(), timed.end(),
                                     [](const Timed& a, const Timed& b) { return a.at < b.at; });
        if (next == timed.end() || next->at > clock + left)
            break;
        std::uint64_t step = next->at > clock ? next->at - clock : 0;
        clock += step;
        left -= step;
        auto action = std::move(next->action);
        timed.erase(next);
        action();
    }
    clock += left;
}
