#include <cstring>

#include "match/match.h"
#include "winsys/winsys.h"

const char*  ProgramName = "";
const char*  TitleFragment = nullptr;
const char*  DelayText = "";
std::int32_t DelayMinutes = 0;
const char*  ConsoleTitle = "";
WindowHandle TargetWindow = 0;
WindowSystem Desktop;

namespace {

const int kTitleSize = 512;

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
bool ShowsOwnCommand(const char* title)
{
    const char* base = ProgramName;
    for (const char* p = ProgramName; *p; ++p)
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
    at = at ? FindTitleFragment(at + length, TitleFragment) : nullptr;
    return at && FindTitleFragment(at + std::strlen(TitleFragment), DelayText);
}

// Reads the window's title as the tool judges it: a window that shows the
// tool's own console is known by the name the tool gave it, whatever title it
// still had when it was read. False for a window that doesn't match.
bool ReadMatchingTitle(WindowHandle window, char* title)
{
    if (Desktop.getWindowTitle(window, title, kTitleSize) <= 0)
        return false;
    title[kTitleSize - 1] = '\0';
    bool matches = FindTitleFragment(title, TitleFragment) != nullptr;
    // Neither the title nor the console's name matches: however the window
    // is judged, it is not the one.
    if (!matches && !FindTitleFragment(ConsoleTitle, TitleFragment))
        return false;
    if (ShowsOwnCommand(title) || Desktop.hostsOwnTerminal(window)) {
        std::strncpy(title, ConsoleTitle, kTitleSize - 1);
        matches = FindTitleFragment(title, TitleFragment) != nullptr;
    }
    return matches;
}

} // namespace

void NameConsole(const char* title)
{
    ConsoleTitle = title;
    OsSetConsoleTitle(title);
}

int LocateTargetProc(WindowHandle window, std::intptr_t)
{
    char title[kTitleSize];
    if (!ReadMatchingTitle(window, title))
        return 1;
    // The handle may have passed to a new window between the read and the
    // tracking; only a title read while the window is tracked is trusted.
    Desktop.trackWindow(window);
    if (!ReadMatchingTitle(window, title))
        return 1;
    TargetWindow = window;
    Print("Located target window: %s\n\n", title);
    return 0;
}

void Locate()
{
    if (ConnectDesktop())
        Desktop.enumWindows();
}

void RequestClose()
{
    // A handle can be given to a new window once the old one is gone; the
    // request is meant for the window that was found, not for its successor.
    CloseOutcome outcome = Desktop.holdTrackedWindow(TargetWindow) ? Desktop.sendClose(TargetWindow) : CloseGone;
    switch (outcome) {
    case CloseDelivered:
        break;
    case CloseGone:
        PrintError("the window has gone; nothing was sent");
        break;
    case CloseRefused:
        PrintError("the request was refused (access denied: the window belongs to an elevated program)");
        break;
    case CloseTimedOut:
        PrintError("the window did not answer within 5 s");
        break;
    case CloseNoWay:
        PrintError("the window has no close protocol and no window manager runs to ask; nothing was sent");
        break;
    }
}
