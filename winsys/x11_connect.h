#pragma once

// The connection to an X server, made within a deadline: libxcb's own
// xcb_connect waits without limit for a server that has stopped.

#include <xcb/xcb.h>

#include <cstdint>

// Connects to the server the display names by the deadline (OsClock()) and
// says which screen it names. Null when there is none to reach (*mute
// false), or when one took the connection but did not answer in time
// (*mute true).
xcb_connection_t* X11Connect(const char* display, int* screen, std::uint64_t deadline, bool* mute);
