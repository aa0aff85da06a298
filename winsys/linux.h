#pragma once

// The window systems the Linux program can serve, each with a connect step
// that fills the desktop or declines. "where" names what was tried, for the
// lines on standard error.

#include "winsys/winsys.h"

enum ConnectResult {
    ConnectDone,
    ConnectAbsent,       // nothing there to ask
    ConnectDeclined,     // reached but of no use; the step said why on standard error
    ConnectNoWindowList, // a compositor that lists no windows to ordinary programs
    ConnectNoClose,      // one that lists them, but offers ordinary programs no way to close them
};

ConnectResult ConnectWayland(WindowSystem* desktop, const char** where);
ConnectResult ConnectCosmic(WindowSystem* desktop, const char** where);
ConnectResult ConnectKwin(WindowSystem* desktop, const char** where);
ConnectResult ConnectGnome(WindowSystem* desktop, const char** where);
ConnectResult ConnectX11(WindowSystem* desktop, const char** where);
