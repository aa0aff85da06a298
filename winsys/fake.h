#pragma once

// A scripted desktop for unit tests: windows in enumeration order, a console
// whose title the tool sets, and a log of every platform call the tool makes.

#include <functional>
#include <string>
#include <vector>

#include "winsys/winsys.h"

void FakeReset();

// Adds a window below those already open. Windows of one owner share a
// thread and process; an empty title is an untitled window.
void FakeOpenWindow(WindowHandle handle, const std::string& title, unsigned owner = 1);

// Adds the tool's own console window; its title is whatever the tool sets.
void FakeOpenConsole(WindowHandle handle);

// The window goes away without the tool's doing.
void FakeDestroyWindow(WindowHandle handle);

// Runs in place of the real wait, so tests can change the desktop meanwhile.
void FakeDuringWait(std::function<void()> action);

// Every platform call in order: "console-title T", "out BYTES", "enum",
// "read HANDLE", "track HANDLE", "wait MS", "close HANDLE" (HANDLE in
// eight hex digits).
const std::vector<std::string>& FakeEvents();

// All bytes written to standard output.
std::string FakeOutput();
