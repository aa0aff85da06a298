#include <cstring>

#include "core/constants.h"
#include "core/core.h"
#include "match/match.h"

namespace {

struct Search {
    const Run* run;
    const WindowSystem* desktop;
    WindowHandle found;
};

bool IsWordByte(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == '-';
}

// The program's name as a word of its own in the title, or null.
const char* FindProgramName(const char* title, const char* name, std::size_t length)
{
    for (const char* at = FindTitleFragment(title, name); at; at = FindTitleFragment(at + 1, name)) {
        bool before = at == title || !IsWordByte(at[-1]);
        if (before && !IsWordByte(at[length]))
            return at;
    }
    return nullptr;
}

// Shells and cmd.exe show a running command in the terminal's title: the
// program's name, then its arguments. Such a title belongs to the terminal
// the tool was started from, and is stale once the tool has renamed it.
bool ShowsOwnCommand(const Run& run, const char* title)
{
    const char* base = run.programName;
    for (const char* p = run.programName; *p; ++p)
        if (*p == '/' || *p == '\\')
            base = p + 1;
    std::size_t length = std::strlen(base);
    if (length > 4 && FindTitleFragment(base + length - 4, ".exe") == base + length - 4)
        length -= 4;
    if (length == 0 || length >= kTitleSize)
        return false;
    char name[kTitleSize];
    std::memcpy(name, base, length);
    name[length] = '\0';

    const char* at = FindProgramName(title, name, length);
    at = at ? FindTitleFragment(at + length, run.fragment) : nullptr;
    return at && FindTitleFragment(at + std::strlen(run.fragment), run.delayText);
}

// The title the window is judged by: a window that shows the tool's own
// console is known by the name the tool gave it, whatever title it still
// had when it was read. Null for a window that doesn't match.
const char* Judge(const Search& s, WindowHandle window, const char* title)
{
    const Run& run = *s.run;
    bool matches = FindTitleFragment(title, run.fragment) != nullptr;
    // Neither the title nor the console's name matches: however the window
    // is judged, it is not the one.
    if (!matches && !FindTitleFragment(run.consoleTitle, run.fragment))
        return nullptr;
    if (ShowsOwnCommand(run, title) || s.desktop->hostsOwnTerminal(window))
        title = run.consoleTitle;
    return FindTitleFragment(title, run.fragment) ? title : nullptr;
}

bool Visit(void* context, WindowHandle window, const char* title)
{
    Search& s = *static_cast<Search*>(context);
    if (!Judge(s, window, title))
        return true;
    // The handle may have passed to a new window between the read and the
    // tracking; only a title read while the window is tracked is trusted.
    s.desktop->trackWindow(window);
    char again[kTitleSize];
    const char* shown = s.desktop->readTitle(window, again, kTitleSize) > 0 ? Judge(s, window, again) : nullptr;
    if (!shown)
        return true;
    s.found = window;
    Print("Located target window: %s\n\n", shown);
    return false;
}

} // namespace

WindowHandle Locate(const Run& run, WindowSystem* desktop)
{
    Search search = {.run = &run, .desktop = desktop, .found = 0};
    const char* ownTitle = run.consoleNamed ? run.consoleTitle : nullptr;
    // A list that could not be had is no empty list: the next window system
    // that can be reached is searched instead.
    while (ConnectDesktop(desktop))
        if (desktop->enumWindows(ownTitle, Visit, &search) == ListDone)
            break;
    return search.found;
}

void RequestClose(const WindowSystem& desktop, WindowHandle window)
{
    // A handle can be given to a new window once the old one is gone; the
    // request is meant for the window that was found, not for its successor.
    switch (desktop.closeTracked(window)) {
    case CloseDelivered:
    case CloseUntold:
        break;
    case CloseGone:
        PrintError("the window has gone; nothing was sent");
        break;
    case CloseRefused:
        PrintError("the request was refused (%s)", desktop.refusal);
        break;
    case CloseTimedOut:
        PrintError("the window did not answer within %d s", kAnswerSeconds);
        break;
    case CloseNoWay:
        PrintError("the window has no close protocol and no window manager runs to ask; nothing was sent");
        break;
    case CloseLost:
        PrintError("the connection to the desktop was lost; nothing was sent");
        break;
    case CloseLostUnsure:
        PrintError("the connection to the desktop was lost; the request may not have arrived");
        break;
    case CloseMute:
        PrintError("the desktop did not answer within %d s; nothing was sent", kAnswerSeconds);
        break;
    case CloseUnsure:
        PrintError("the desktop did not answer within %d s; the request may not have arrived", kAnswerSeconds);
        break;
    }
}
