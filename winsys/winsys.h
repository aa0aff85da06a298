#pragma once

// Everything the tool asks of the desktop. The core (cli/, match/ and
// locate.cpp) uses only what is declared here; exactly one backend file
// (win32.cpp, x11.cpp or, for unit tests, fake.cpp) provides the Platform
// functions.

#include <cstddef>
#include <cstdint>

// A top-level window as the platform names it: an HWND on Windows, a window
// id on X11. 0 names no window.
using WindowHandle = std::uint32_t;

// Run state. The enumeration hands its callback no context of ours, so the
// callback and the driver meet here.
extern const char*  TitleFragment;  // the command-line argument itself
extern std::int32_t DelayMinutes;
extern WindowHandle TargetWindow;   // the located window, or 0

// Called once per top-level window, topmost first. Records the first window
// whose title contains TitleFragment, reports it, and returns 0 to end the
// enumeration; returns 1 to go on.
int LocateTargetProc(WindowHandle window, std::intptr_t context);

// Runs the enumeration; afterwards TargetWindow is the located window or 0.
void Locate();

// Asks TargetWindow to close, unless the handle has since come to name some
// other window.
void RequestClose();

// Writes one message to standard output at once. Understands %s (bytes as
// they are), %d (std::int32_t), %p (WindowHandle, as eight upper-case hex
// digits) and %%; each \n becomes the platform's line end.
void Print(const char* format, ...);

// --- Provided by the backend ---

void PlatformSetConsoleTitle(const char* title);

// Calls LocateTargetProc(window, 0) for each top-level window in the
// platform's order until it returns 0.
void PlatformEnumWindows();

// Copies the window's title into buffer, cut to size - 1 bytes and ended by a
// zero byte; returns its length, 0 for a window without a title or one that
// can't be read.
int PlatformGetWindowTitle(WindowHandle window, char* buffer, int size);

// Remembers which window the handle names now, so that a later
// PlatformIsTrackedWindow can tell whether it still names the same one.
void PlatformTrackWindow(WindowHandle window);
bool PlatformIsTrackedWindow(WindowHandle window);

// The platform's polite close request: the window may refuse or ask first.
// Returns once it has been delivered or has timed out.
void PlatformSendClose(WindowHandle window);

// Blocks the calling thread for the whole time; 0 does not wait.
void PlatformWait(std::uint64_t milliseconds);

// Writes bytes to standard output unbuffered, ignoring failure.
void PlatformWrite(const char* bytes, std::size_t length);

// "\r\n" on Windows, "\n" elsewhere.
const char* PlatformLineEnd();
