#pragma once

// Everything the tool asks of the machine, in two halves: the operating
// system (console, output, clock) and the window system (the windows
// themselves). cli/ and core/ use only what is declared here.

#include <cstddef>
#include <cstdint>

// A top-level window as the window system names it: an HWND on Windows, a
// window id on X11, an object id on Wayland. 0 names no window.
using WindowHandle = std::uint32_t;

// --- Operating-system half: os_win32.cpp, os_linux.cpp (fake.cpp in tests) ---

enum Stream { StandardOutput, StandardError };

// Runs before anything else is opened.
void OsStart();
// Names the console or terminal the tool runs in; true once the name was
// given (on Linux: written to the terminal, which may pass it on later).
bool OsSetConsoleTitle(const char* title);
// Whether that name goes to a multiplexer's pane (tmux), which passes it on
// to every terminal window attached to it, if at all.
bool OsConsoleIsPane();
bool OsIsTerminal(Stream stream);
// Whether text is UTF-8, so that bytes outside its sequences can be told.
bool OsTextIsUtf8();
// Unbuffered, ignoring failure.
void OsWrite(Stream stream, const char* bytes, std::size_t length);
// "\r\n" on Windows, "\n" elsewhere.
const char* OsLineEnd();
// Milliseconds on a clock that goes on while the machine sleeps.
std::uint64_t OsClock();
// Sleeps up to the time given, or less once wake is ready: a descriptor on
// Linux, any value >= 0 for the thread's message queue on Windows.
void OsSleep(std::uint32_t milliseconds, int wake);

// --- Window-system half: ws_*.cpp (fake.cpp in tests) ---

enum CloseOutcome {
    CloseDelivered, // handed to the window, or to the one who manages it
    CloseGone,      // the window is no longer there: nothing was sent
    CloseRefused,   // the system would not pass the request on
    CloseTimedOut,  // sent, but the window did not answer in time
    CloseNoWay,     // the window offers no polite way, nobody else to ask
    CloseLost,      // the connection to the desktop broke: nothing was sent
    CloseLostUnsure, // it broke after the request went out: it may be lost
    CloseMute,      // the desktop did not answer: nothing was sent
    CloseUnsure,    // the desktop did not answer: the request may be lost
    CloseUntold,    // nothing was sent; the system has said why
    CloseUnknown,   // the desktop's answer is not one the tool knows
};

// How a window stands to the console or terminal the tool writes to.
enum TerminalHint {
    TerminalNot,     // another window
    TerminalIs,      // that window, or one the terminal names (WINDOWID)
    TerminalShared,  // a window of the process the terminal runs in, which
                     // may show other windows too
    TerminalUnknown, // the system names no processes: any window may be it
                     // until the tool's title has shown
};

enum ListOutcome {
    ListDone, // every window was offered, or the visitor stopped
    ListLost, // the list could not be had; standard error says why
};

// One window and its title as the window system holds it, cut to
// kTitleSize - 1 bytes at a character boundary, never empty. Returns false
// to end the enumeration.
using WindowVisitor = bool (*)(void* context, WindowHandle window, const char* title);

struct WindowSystem {
    // Offers each titled top-level window, topmost first. ownTitle, when
    // set, is the name just given to the tool's terminal: a system that
    // names no processes watches for the window that takes it.
    ListOutcome (*enumWindows)(const char* ownTitle, WindowVisitor visit, void* context);
    // The title as it is now, as above; 0 for none or a window gone.
    int (*readTitle)(WindowHandle window, char* buffer, int size);
    TerminalHint (*hostsOwnTerminal)(WindowHandle window);
    // Waits until titles may have changed, or the deadline has passed; the
    // next enumWindows offers them as they are then.
    void (*awaitTitles)(std::uint64_t deadline);
    // From now on, notices the window's end, so that a newcomer given the
    // same handle is not taken for it. A system that can't tell that
    // checks before the close that the window still has the same process
    // and a title that holds the fragment.
    void (*trackWindow)(WindowHandle window, const char* fragment);
    // The polite close request to the tracked window, if the handle still
    // names it; the window may refuse or ask first.
    CloseOutcome (*closeTracked)(WindowHandle window);
    // What to wake for while waiting (see OsSleep), or -1; then take it in.
    int (*wakeHandle)();
    void (*dispatch)();
    // Why this system refuses a close request, for standard error.
    const char* refusal;
};

// Connects the next window system that can be reached and fills desktop:
// first the preferred one, after a lost list the one to fall back on.
// False when none is left; standard error says why where that is news.
bool ConnectDesktop(WindowSystem* desktop);
