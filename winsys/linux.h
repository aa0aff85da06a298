#pragma once

// The window systems the Linux program can serve, each with a connect step
// that fills Desktop or declines. "where" names what was tried, for the
// line on standard error when nothing can be reached.

#include "winsys/winsys.h"

enum ConnectResult {
    ConnectUnreachable,
    ConnectDone,
    ConnectNoWindowList, // reached, but it lists no windows to ordinary programs
};

// Whether the process is one of the tool's ancestors: the terminal it runs
// in is one of them (os_posix.cpp).
bool OsIsAncestorProcess(std::uint32_t process);

ConnectResult ConnectWayland(WindowSystem* desktop, const char** where);
ConnectResult ConnectKwin(WindowSystem* desktop, const char** where);
ConnectResult ConnectX11(WindowSystem* desktop, const char** where);
