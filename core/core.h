#pragma once

// The rules every platform shares: which window counts, the own-terminal
// rule, the guard around the close, the wait and the messages.

#include <cstdint>

#include "winsys/winsys.h"

// One run of the tool, from the command line and the console's naming.
struct Run {
    const char* programName;  // argv[0] as given, possibly empty
    const char* fragment;     // the command-line arguments themselves
    const char* delayText;
    std::int32_t delayMinutes;
    const char* consoleTitle; // what the tool named its own console
    bool consoleNamed;        // and the name was given
    bool paneNamed;           // to a multiplexer's pane, which any window attached to it may show
    std::uint64_t namedAt;    // then, on OsClock()
};

// A window's process as a window system that names processes knows it.
enum Kin {
    KinUnknown,  // the system does not say
    KinAncestor, // one of the tool's ancestors: its terminal may run there
    KinOther,
};

// How such a window stands to the tool's terminal. named: the terminal id
// the tool inherited (WINDOWID) names it; inherited from another terminal,
// or stale, it may name the wrong window, so it only ever adds protection.
TerminalHint TerminalByProcess(bool named, Kin kin);

// Connects to the window system and searches it; reports the window found
// and returns it, or 0.
WindowHandle Locate(const Run& run, WindowSystem* desktop);

// Milliseconds from now to a deadline on OsClock(), 0 once it has passed.
std::uint64_t TimeLeft(std::uint64_t deadline);

// Blocks for the whole time on a clock that goes on while the machine
// sleeps, keeping the window system's connection served meanwhile.
void Wait(const WindowSystem& desktop, std::uint64_t milliseconds);

// Asks the located window to close unless it has gone; says on standard
// error when nothing went out or the request was not taken.
void RequestClose(const WindowSystem& desktop, WindowHandle window);

// Writes one message to standard output at once. Understands %s (bytes as
// they are; on a terminal, controls and stray bytes shown as '?'), %d
// (std::int32_t), %p (WindowHandle, as eight upper-case hex digits) and %%;
// each \n becomes the platform's line end.
void Print(const char* format, ...);

// "vantrel: " and the text on standard error, as one line.
void PrintError(const char* format, ...);
