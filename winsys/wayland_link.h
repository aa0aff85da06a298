#pragma once

// The connection to a Wayland compositor, every exchange with a deadline:
// libwayland itself would wait for ever on a compositor that is stopped or
// never answers.

#include <cstdint>

#include "winsys/connect.h"
#include "winsys/unix_socket.h"
#include "winsys/winsys.h"

struct wl_display;

enum LinkResult {
    LinkAnswered, // connected; what was awaited has come
    LinkAbsent,   // nobody there: no socket, refused, not a socket
    LinkLost,     // the connection broke
    LinkMute,     // no answer by the deadline
};

// Connects to the compositor the environment names: the socket handed over
// in WAYLAND_SOCKET, else WAYLAND_DISPLAY (default wayland-0), a path or a
// name under XDG_RUNTIME_DIR. *where names it for standard error. Routes
// libwayland's log to standard error, a line per message.
LinkResult LinkConnect(std::uint64_t deadline, wl_display** display, const char** where);

// Sends what is queued and takes in events until *enough, the deadline
// (OsClock) or a broken connection. A deadline already past takes in only
// what has arrived.
LinkResult LinkAwait(wl_display* display, std::uint64_t deadline, const bool* enough);

// Until the compositor has handled every request sent before.
LinkResult LinkRoundtrip(wl_display* display, std::uint64_t deadline);

// Connects to a compositor's own IPC socket at `path`, if that compositor
// serves the Wayland socket LinkConnect would use, or no Wayland socket can
// be reached at all: ConnectDone with *fd; ConnectAbsent when nobody is
// there, or it is another desktop's (*where then says so); ConnectDeclined
// when it did not take the connection in time (standard error says so).
// `ask`, when given, is written at once, so that the compositor answers it
// while the Wayland socket is asked who serves it; *asked says how that went.
ConnectResult LinkIpc(const char* peer, const char* path, std::uint64_t deadline, int* fd, const char** where,
                      const void* ask = nullptr, std::size_t length = 0, SocketResult* asked = nullptr);

// Keeps a connection that the step that made it has no use for, for the
// next step, which asks the same compositor in another protocol.
void LinkPark(wl_display* display, const char* where);
// Takes the connection parked, and its name; null when none is.
wl_display* LinkUnpark(const char** where);

// Says on standard error that the compositor did not answer in time, or
// that the connection broke; while it listed its windows, the list is lost.
void LinkTell(LinkResult result, const char* where);
ListOutcome LinkUnlisted(LinkResult result, const char* where);

// As WindowSystem's wakeHandle and dispatch.
int LinkWakeHandle(wl_display* display);
void LinkDispatch(wl_display* display);
