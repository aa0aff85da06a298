#pragma once

// What the Linux operating-system half offers the Linux window systems
// beyond the seam.

#include <cstdint>

// Whether the process is one of the tool's ancestors: the terminal it runs
// in is one of them.
bool OsIsAncestorProcess(std::uint32_t process);

// The X11 window that the terminal emulator names in WINDOWID, 0 for none.
std::uint32_t OsTerminalWindowId();

// From now until called again with nulls, a signal that ends the tool
// removes this file and then its folder first.
void OsRemoveOnSignal(const char* file, const char* folder);
