#pragma once

// The window systems the Linux program can serve, each with a connect step
// that fills the desktop or declines. "where" names what was tried, for the
// lines on standard error.

#include "winsys/connect.h"
#include "winsys/winsys.h"

ConnectResult ConnectSway(WindowSystem* desktop, const char** where);
ConnectResult ConnectNiri(WindowSystem* desktop, const char** where);
ConnectResult ConnectWayfire(WindowSystem* desktop, const char** where);
ConnectResult ConnectWayland(WindowSystem* desktop, const char** where);
ConnectResult ConnectCosmic(WindowSystem* desktop, const char** where);
ConnectResult ConnectKwin(WindowSystem* desktop, const char** where);
ConnectResult ConnectGnome(WindowSystem* desktop, const char** where);
ConnectResult ConnectX11(WindowSystem* desktop, const char** where);
