#include <cstring>

#include "core/constants.h"
#include "core/core.h"
#include "match/match.h"

namespace {

// How long after the tool named its terminal the window system is watched
// for the name to show there.
const std::uint64_t kOwnTitleMs = 250;

struct Search {
    const Run* run;
    const WindowSystem* desktop;
    WindowHandle found;
    WindowHandle pending;  // a match that may be the terminal, whose new title has not shown yet
    bool paneWait;         // and it is a window a multiplexer's pane may show
    bool settled;          // the terminal's new title has shown, or no longer will be waited for
    WindowHandle terminal; // of its process's windows, the one that shows the tool's title; 0 for none or several
};

bool ShowsOwnTitle(const Run& run, const char* title)
{
    return std::strstr(title, run.consoleTitle) != nullptr;
}

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

// Whether the window could match however it is judged.
bool MayMatch(const Run& run, const char* title)
{
    return FindTitleFragment(title, run.fragment) || FindTitleFragment(run.consoleTitle, run.fragment);
}

// The title the window is judged by: a window that shows the tool's own
// console is known by the name the tool gave it, whatever title it still
// had when it was read. Of a terminal process's windows that is the one
// that shows the name, or all of them when none or several do. Null for a
// window that doesn't match.
const char* Judge(const Search& s, WindowHandle window, const char* title, TerminalHint hint)
{
    const Run& run = *s.run;
    bool own = hint == TerminalIs || (hint == TerminalShared && (!s.terminal || s.terminal == window));
    // Every terminal window attached to the pane's session shows its name.
    own |= run.paneNamed && ShowsOwnTitle(run, title);
    if (own || ShowsOwnCommand(run, title))
        title = run.consoleTitle;
    return FindTitleFragment(title, run.fragment) ? title : nullptr;
}

bool Visit(void* context, WindowHandle window, const char* title)
{
    Search& s = *static_cast<Search*>(context);
    if (!MayMatch(*s.run, title))
        return true;
    TerminalHint hint = s.desktop->hostsOwnTerminal(window);
    // This may be the terminal, known only once its new title shows.
    if (!s.settled && (hint == TerminalShared || hint == TerminalUnknown)) {
        s.pending = window;
        return false;
    }
    // Inside a multiplexer the terminal window is no ancestor's, and may be
    // any window: each match is given the time to show the pane's name.
    if (s.run->paneNamed && !ShowsOwnTitle(*s.run, title) && TimeLeft(s.run->namedAt + kOwnTitleMs) > 0) {
        s.pending = window;
        s.paneWait = true;
        return false;
    }
    if (!Judge(s, window, title, hint))
        return true;
    // The handle may have passed to a new window between the read and the
    // tracking; only a title read while the window is tracked is trusted.
    s.desktop->trackWindow(window, s.run->fragment);
    char again[kTitleSize];
    const char* shown =
        s.desktop->readTitle(window, again, kTitleSize) > 0 ? Judge(s, window, again, hint) : nullptr;
    if (!shown)
        return true;
    s.found = window;
    Print("Located target window: %s\n\n", shown);
    return false;
}

// The windows of the terminal's process that show the tool's title.
struct Showing {
    const Search* search;
    int count;
    WindowHandle first;
    bool pendingShows;
};

bool CountShowing(void* context, WindowHandle window, const char* title)
{
    Showing& sh = *static_cast<Showing*>(context);
    const Search& s = *sh.search;
    if (!ShowsOwnTitle(*s.run, title))
        return true;
    sh.pendingShows |= window == s.pending;
    if (s.desktop->hostsOwnTerminal(window) == TerminalShared)
        sh.first = sh.count++ ? sh.first : window;
    return true;
}

// Waits, at most until the deadline, until it is known whether the pending
// match is the terminal: it shows the tool's title, or, of a terminal
// process's windows, several do (another run waits in one), or the system
// has seen the title arrive. A pane's name may show in any window, and in
// several: there only the match's own title tells. False when the list was
// lost meanwhile.
bool Settle(Search& s, const char* ownTitle, std::uint64_t deadline)
{
    for (;;) {
        Showing sh = {.search = &s, .count = 0, .first = 0, .pendingShows = false};
        if (s.desktop->enumWindows(ownTitle, CountShowing, &sh) != ListDone)
            return false;
        bool known = sh.pendingShows;
        if (!s.paneWait && !known) {
            TerminalHint hint = s.desktop->hostsOwnTerminal(s.pending);
            known = (hint != TerminalShared && hint != TerminalUnknown) || sh.count > 1;
        }
        if (known || TimeLeft(deadline) == 0) {
            if (!s.paneWait) {
                s.terminal = sh.count == 1 ? sh.first : 0;
                s.settled = true;
            }
            return true;
        }
        s.desktop->awaitTitles(deadline);
    }
}

} // namespace

TerminalHint TerminalByProcess(bool named, Kin kin)
{
    // A terminal that leaves WINDOWID alone passes on its parent's, so the
    // window it names is the terminal only where it may be: its process is
    // an ancestor or unknown. The terminal the tool really runs in is among
    // the ancestors' windows all the same.
    if (named && kin != KinOther)
        return TerminalIs;
    return kin == KinAncestor ? TerminalShared : TerminalNot;
}

WindowHandle Locate(const Run& run, WindowSystem* desktop)
{
    Search search = {
        .run = &run, .desktop = desktop, .found = 0, .pending = 0, .paneWait = false, .settled = false, .terminal = 0};
    const char* ownTitle = run.consoleNamed ? run.consoleTitle : nullptr;
    // A list that could not be had is no empty list: the next window system
    // that can be reached is searched instead.
    while (ConnectDesktop(desktop)) {
        // Nothing to wait for when the terminal was not named.
        search.settled = !run.consoleNamed;
        search.terminal = 0;
        ListOutcome listed;
        while ((listed = desktop->enumWindows(ownTitle, Visit, &search)) == ListDone && search.pending) {
            bool kept = Settle(search, ownTitle, run.namedAt + kOwnTitleMs);
            search.pending = 0;
            search.paneWait = false;
            if (!kept) {
                listed = ListLost;
                break;
            }
        }
        if (listed == ListDone)
            break;
    }
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
    case CloseUnknown:
        PrintError("the desktop gave an answer the tool does not know; the request may have arrived");
        break;
    }
}
