#include "winsys/fake.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

struct Window {
    WindowHandle handle;
    std::string title;
    unsigned owner;
    bool console;
};

std::vector<Window> windows;
std::vector<std::string> events;
std::function<void()> duringWait;
std::string consoleTitle;
struct {
    WindowHandle handle;
    unsigned owner;
} tracked;

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

} // namespace

void FakeReset()
{
    windows.clear();
    events.clear();
    duringWait = nullptr;
    consoleTitle.clear();
    tracked = {0, 0};
}

void FakeOpenWindow(WindowHandle handle, const std::string& title, unsigned owner)
{
    windows.push_back({handle, title, owner, false});
}

void FakeOpenConsole(WindowHandle handle)
{
    windows.push_back({handle, "", 0, true});
}

void FakeDestroyWindow(WindowHandle handle)
{
    windows.erase(std::remove_if(windows.begin(), windows.end(),
                                 [&](const Window& w) { return w.handle == handle; }),
                  windows.end());
}

void FakeDuringWait(std::function<void()> action)
{
    duringWait = std::move(action);
}

const std::vector<std::string>& FakeEvents()
{
    return events;
}

std::string FakeOutput()
{
    std::string out;
    for (const std::string& e : events)
        if (e.compare(0, 4, "out ") == 0)
            out += e.substr(4);
    return out;
}

void PlatformSetConsoleTitle(const char* title)
{
    consoleTitle = title;
    events.push_back("console-title " + consoleTitle);
}

void PlatformEnumWindows()
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

int PlatformGetWindowTitle(WindowHandle handle, char* buffer, int size)
{
    events.push_back("read " + Hex(handle));
    const Window* w = Find(handle);
    if (!w || size <= 0)
        return 0;
    const std::string& title = w->console ? consoleTitle : w->title;
    std::size_t n = std::min(title.size(), static_cast<std::size_t>(size - 1));
    std::memcpy(buffer, title.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

void PlatformTrackWindow(WindowHandle handle)
{
    events.push_back("track " + Hex(handle));
    const Window* w = Find(handle);
    tracked = {handle, w ? w->owner : 0};
}

bool PlatformIsTrackedWindow(WindowHandle handle)
{
    const Window* w = Find(handle);
    return w && handle == tracked.handle && w->owner == tracked.owner;
}

void PlatformSendClose(WindowHandle handle)
{
    events.push_back("close " + Hex(handle));
    FakeDestroyWindow(handle);
}

void PlatformWait(std::uint64_t milliseconds)
{
    events.push_back("wait " + std::to_string(milliseconds));
    if (duringWait)
        duringWait();
}

void PlatformWrite(const char* bytes, std::size_t length)
{
    events.push_back("out " + std::string(bytes, length));
}

const char* PlatformLineEnd()
{
    return "\r\n";
}
