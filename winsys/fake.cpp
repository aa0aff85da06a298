#include "winsys/fake.h"

#include "core/constants.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

struct Window {
    WindowHandle handle;
    std::string title;
    CloseOutcome answer;
    bool console;
    Kin kin;
    bool anonymous;
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
std::string consoleTitle;
bool ownShown; // an anonymous window has taken the console's title
WindowHandle windowId;
bool pane;
bool terminal;
bool connected;

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

std::string TitleOf(const Window& w)
{
    return w.console && w.title.empty() ? consoleTitle : w.title;
}

ListOutcome Enumerate(const char*, WindowVisitor visit, void* context)
{
    events.push_back("enum");
    // A copy: a real enumeration is not disturbed by windows that come or go
    // while it runs.
    std::vector<std::pair<WindowHandle, std::string>> listed;
    for (const Window& w : windows)
        if (!TitleOf(w).empty())
            listed.emplace_back(w.handle, TitleOf(w).substr(0, kTitleSize - 1));
    for (const auto& [handle, title] : listed)
        if (!visit(context, handle, title.c_str()))
            break;
    return ListDone;
}

int ReadTitle(WindowHandle handle, char* buffer, int size)
{
    events.push_back("read " + Hex(handle));
    const Window* w = Find(handle);
    if (!w || size <= 0)
        return 0;
    const std::string title = TitleOf(*w);
    std::size_t n = std::min(title.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, title.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

// The clock moves on; what a test scheduled happens at its time. A timed
// sleep does not count time the machine spends suspended: what is left of
// it is still slept.
void Advance(std::uint64_t milliseconds)
{
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

TerminalHint HostsOwnTerminal(WindowHandle handle)
{
    const Window* w = Find(handle);
    if (!w)
        return TerminalNot;
    if (w->console)
        return TerminalIs;
    if (w->anonymous)
        return ownShown ? TerminalNot : TerminalUnknown;
    return TerminalByProcess(windowId != 0 && windowId == handle, w->kin);
}

void AwaitTitles(std::uint64_t deadline)
{
    std::uint64_t step = std::min<std::uint64_t>(deadline > clock ? deadline - clock : 0, 10);
    events.push_back("await " + std::to_string(step));
    Advance(step);
}

void Track(WindowHandle handle, const char*)
{
    events.push_back("track " + Hex(handle));
    const Window* w = Find(handle);
    trackedSerial = w ? w->serial : 0;
}

CloseOutcome CloseTracked(WindowHandle handle)
{
    const Window* w = Find(handle);
    if (!w || w->serial != trackedSerial)
        return CloseGone;
    events.push_back("close " + Hex(handle));
    CloseOutcome answer = w->answer;
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
    consoleTitle.clear();
    ownShown = false;
    windowId = 0;
    pane = false;
    terminal = false;
    connected = false;
}

void FakeOpenWindow(WindowHandle handle, const std::string& title, CloseOutcome answer)
{
    windows.push_back({.handle = handle, .title = title, .answer = answer, .console = false, .kin = KinOther,
                       .anonymous = false, .serial = ++serials});
}

void FakeOpenConsole(WindowHandle handle, const std::string& title)
{
    windows.push_back({.handle = handle, .title = title, .answer = CloseDelivered, .console = true,
                       .kin = KinUnknown, .anonymous = false, .serial = ++serials});
}

void FakeOpenWindowOf(WindowHandle handle, const std::string& title, Kin kin, bool anonymous)
{
    windows.push_back({.handle = handle, .title = title, .answer = CloseDelivered, .console = false, .kin = kin,
                       .anonymous = anonymous, .serial = ++serials});
}

void FakeSetWindowId(WindowHandle handle)
{
    windowId = handle;
}

void FakeSetPane(bool isPane)
{
    pane = isPane;
}

void FakeRetitle(WindowHandle handle, const std::string& title)
{
    if (Window* w = Find(handle)) {
        w->title = title;
        ownShown |= w->anonymous && title.find(consoleTitle) != std::string::npos;
    }
}

void FakeSetTerminal(bool isTerminal)
{
    terminal = isTerminal;
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

bool ConnectDesktop(WindowSystem* desktop)
{
    if (connected)
        return false;
    connected = true;
    *desktop = {
        .enumWindows = Enumerate,
        .readTitle = ReadTitle,
        .hostsOwnTerminal = HostsOwnTerminal,
        .awaitTitles = AwaitTitles,
        .trackWindow = Track,
        .closeTracked = CloseTracked,
        .wakeHandle = WakeHandle,
        .dispatch = Dispatch,
        .refusal = "access denied",
    };
    return true;
}

void OsStart()
{
}

bool OsSetConsoleTitle(const char* title)
{
    events.push_back(std::string("console-title ") + title);
    consoleTitle = title;
    return true;
}

bool OsConsoleIsPane()
{
    return pane;
}

bool OsIsTerminal(Stream)
{
    return terminal;
}

bool OsTextIsUtf8()
{
    return true;
}

void OsWrite(Stream stream, const char* bytes, std::size_t length)
{
    events.push_back((stream == StandardError ? "err " : "out ") + std::string(bytes, length));
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
    Advance(milliseconds);
}
