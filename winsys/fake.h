#pragma once

// A scripted machine for unit tests: windows in enumeration order, a console
// whose title the tool sets, a clock that only moves when the tool sleeps or
// a test makes it jump, and a log of every platform call the tool makes.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/core.h"
#include "winsys/winsys.h"

void FakeReset();

// Adds a window below those already open; each is a window of its own, even
// under a handle that an earlier window had. An empty title is an untitled
// window. "answer" is what a close request to it comes to.
void FakeOpenWindow(WindowHandle handle, const std::string& title, CloseOutcome answer = CloseDelivered);

// Adds a window that shows the tool's own console: under the name the tool
// gives its console, or, when given, under a title the window still shows.
void FakeOpenConsole(WindowHandle handle, const std::string& title = "");

// Adds a window of a process the desktop names (FakeOpenWindow's are
// KinOther), or of a system that names none (anonymous): there any window
// may show the tool's terminal until one takes its title.
void FakeOpenWindowOf(WindowHandle handle, const std::string& title, Kin kin, bool anonymous = false);

// The window the terminal names in WINDOWID, 0 for none; and whether the
// console is a tmux pane.
void FakeSetWindowId(WindowHandle handle);
void FakeSetPane(bool pane);

// The window's title changes, as when a terminal takes the tool's title.
void FakeRetitle(WindowHandle handle, const std::string& title);

// The window goes away without the tool's doing.
void FakeDestroyWindow(WindowHandle handle);

// Runs once the clock reaches the given time, so tests can change the
// desktop or the clock during the wait.
void FakeAt(std::uint64_t milliseconds, std::function<void()> action);

// Standard output and standard error are a terminal, or not (the default).
void FakeSetTerminal(bool terminal);

// The machine sleeps: the clock jumps, no timed sleep notices.
void FakeSuspend(std::uint64_t milliseconds);

std::uint64_t FakeClock();

// Every platform call in order: "console-title T", "out BYTES", "err BYTES",
// "enum", "track HANDLE", "read HANDLE", "sleep MS", "await MS" (waiting for
// titles), "close HANDLE" (HANDLE in eight hex digits).
const std::vector<std::string>& FakeEvents();
