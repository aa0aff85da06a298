#pragma once

// Everything the tool asks of the machine, in two halves: the operating
// system (console, output, clock) and the window system (the windows
// themselves). The core (cli/, match/, and the shared files here) uses only
// what is declared in this file.

#include <cstddef>
#include <cstdint>

// A top-level window as the window system names it: an HWND on Windows, a
// window id on X11, an object id on Wayland. 0 names no window.
using WindowHandle = std::uint32_t;

// Run state. The enumeration hands its callback no context of ours, so the
// callback and the driver meet here.
extern const char*  ProgramName;    // argv[0] as given, possibly empty
extern const char*  TitleFragment;  // the command-line arguments themselves
extern const char*  DelayText;
extern std::int32_t DelayMinutes;
extern const char*  ConsoleTitle;   // what the tool named its own console
extern WindowHandle TargetWindow;   // the located window, or 0

// --- Shared: locate.cpp, wait.cpp, print.cpp ---

void NameConsole(const char* title);

// Called once per top-level window, topmost first. Records the first window
// whose title contains TitleFragment, reports it, and returns 0 to end the
// enumeration; returns 1 to go on.
int LocateTargetProc(WindowHandle window, std::intptr_t context);

// Connects to the window system and runs the enumeration; afterwards
// TargetWindow is the located window or 0.
void Locate();

// Blocks for the whole time on a clock that goes on while the machine
// sleeps, keeping the window system's connection served meanwhile.
void Wait(std::uint64_t milliseconds);

// Asks TargetWindow to close unless it has gone; says on standard error when
// nothing went out or the request was refused.
void RequestClose();

// Writes one message to standard output at once. Understands %s (bytes as
// they are; control bytes shown as '?' on a terminal), %d (std::int32_t),
// %p (WindowHandle, as eight upper-case hex digits) and %%; each \n becomes
// the platform's line end.
void Print(const char* format, ...);

// "vantrel: " and the text on standard error, as one line.
void PrintError(const char* format, ...);

// --- Operating-system half: os_win32.cpp, os_posix.cpp (fake.cpp in tests) ---

// Runs before anything else is opened.
void OsStart();
void OsSetConsoleTitle(const char* title);
bool OsOutputIsTerminal();
// Unbuffered, ignoring failure.
void OsWrite(const char* bytes, std::size_t length);
void OsWriteError(const char* bytes, std::size_t length);
// "\r\n" on Windows, "\n" elsewhere.
const char* OsLineEnd();
// Milliseconds on a clock that goes on while the machine sleeps.
std::uint64_t OsClock();
// Sleeps up to the time given, or less once wake is ready: a descriptor on
// POSIX systems, any value >= 0 for the thread's message queue on Windows.
void OsSleep(std::uint32_t milliseconds, int wake);

// --- Window-system half: ws_win32.cpp, ws_x11.cpp, ws_wayland.cpp ---

enum CloseOutcome {
    CloseDelivered,  // handed to the window, or to the one who manages it
    CloseGone,       // the window is no longer there: nothing was sent
    CloseRefused,    // the system would not pass the request on
    CloseTimedOut,   // sent, but the window did not answer in time
    CloseNoWay,      // the window offers no polite way, nobody else to ask
};

struct WindowSystem {
    // Calls LocateTargetProc(window, 0) for each top-level window, topmost
    // first, until it returns 0.
    void (*enumWindows)();
    // Copies the title into buffer, cut to size - 1 bytes and ended by a
    // zero byte; returns its length, 0 for no title or one that can't be read.
    int (*getWindowTitle)(WindowHandle window, char* buffer, int size);
    // Whether the window shows the console or terminal the tool writes to.
    bool (*hostsOwnTerminal)(WindowHandle window);
    // From now on, notices the window's end, so that a newcomer given the
    // same handle is not taken for it.
    void (*trackWindow)(WindowHandle window);
    // Whether the handle still names the tracked window. When true, it keeps
    // naming it until sendClose has returned.
    bool (*holdTrackedWindow)(WindowHandle window);
    // The polite close request; the window may refuse or ask first. Returns
    // once the request has been handed over.
    CloseOutcome (*sendClose)(WindowHandle window);
    // What to wake for while waiting (see OsSleep), or -1; then take it in.
    int (*wakeHandle)();
    void (*dispatch)();
};

extern WindowSystem Desktop;

// Picks the window system for this run and fills Desktop; false when none
// can be reached, after a line on standard error says what was tried.
bool ConnectDesktop();
