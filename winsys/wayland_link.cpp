#include "winsys/wayland_link.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <wayland-client.h>

#include "core/constants.h"
#include "core/core.h"
#include "winsys/unix_socket.h"

namespace {

char handedOver[64]; // "WAYLAND_SOCKET=N", for standard error
wl_display* parked;
const char* parkedWhere;

// libwayland writes its complaints (a protocol error with the compositor's
// own text, among them) straight to standard error; they go through the
// tool instead, one line each, shown safely on a terminal.
void Log(const char* format, va_list arguments)
{
    char text[1024];
    if (std::vsnprintf(text, sizeof text, format, arguments) < 0)
        return;
    std::size_t length = std::strlen(text);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r'))
        text[--length] = '\0';
    for (char* c = text; *c; ++c)
        if (*c == '\n' || *c == '\r')
            *c = ' ';
    PrintError("libwayland: %s", text);
}

// The descriptor a compositor hands to a program it started; -1 for none
// fit to use (never a standard stream: messages would go into it).
int HandedOverSocket(const char* value)
{
    char* end = nullptr;
    errno = 0;
    long fd = std::strtol(value, &end, 10);
    struct stat status;
    if (errno || *end || fd <= STDERR_FILENO || fd > INT_MAX || fstat(static_cast<int>(fd), &status) != 0 ||
        !S_ISSOCK(status.st_mode))
        return -1;
    fcntl(static_cast<int>(fd), F_SETFD, FD_CLOEXEC);
    return static_cast<int>(fd);
}

// The compositor's socket: a path, or a name under XDG_RUNTIME_DIR. False
// when it can't be named.
bool SocketPath(const char* name, char* path, std::size_t size)
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    int length = name[0] == '/'             ? std::snprintf(path, size, "%s", name)
                 : runtime && *runtime ? std::snprintf(path, size, "%s/%s", runtime, name)
                                       : -1;
    return length >= 0 && static_cast<std::size_t>(length) < size;
}

// What the tool would connect to: a socket handed over (the descriptor, or
// -1 for none fit to use), else the name of one.
const char* Chosen(int* handed)
{
    const char* over = std::getenv("WAYLAND_SOCKET");
    if (over && *over) {
        std::snprintf(handedOver, sizeof handedOver, "WAYLAND_SOCKET=%s", over);
        *handed = HandedOverSocket(over);
        return handedOver;
    }
    *handed = -1;
    const char* name = std::getenv("WAYLAND_DISPLAY");
    return name && *name ? name : "wayland-0";
}

void SyncDone(void* data, wl_callback* callback, std::uint32_t)
{
    *static_cast<bool*>(data) = true;
    wl_callback_destroy(callback);
}

const wl_callback_listener kSyncListener = {.done = SyncDone};

// Starts a read with nothing left queued; false once the connection is
// broken, which leaves the queue as it is.
bool PrepareRead(wl_display* display)
{
    while (wl_display_prepare_read(display) != 0)
        if (wl_display_dispatch_pending(display) < 0)
            return false;
    return true;
}

} // namespace

LinkResult LinkConnect(std::uint64_t deadline, wl_display** display, const char** where)
{
    wl_log_set_handler_client(Log);
    *display = nullptr;
    int fd;
    *where = Chosen(&fd);
    char path[sizeof sockaddr_un::sun_path];
    if (*where != handedOver) {
        fd = SocketPath(*where, path, sizeof path) ? SocketConnect(path, deadline) : -1;
        // A compositor that does not take the connection in time: the
        // backlog is full and stays so.
        if (fd < 0 && errno == EAGAIN)
            return LinkMute;
    }
    if (fd < 0)
        return LinkAbsent;
    *display = wl_display_connect_to_fd(fd);
    if (!*display) {
        close(fd);
        return LinkAbsent;
    }
    return LinkAnswered;
}

LinkResult LinkAwait(wl_display* display, std::uint64_t deadline, const bool* enough)
{
    const int fd = wl_display_get_fd(display);
    for (;;) {
        if (wl_display_dispatch_pending(display) < 0)
            return LinkLost;
        if (*enough)
            return LinkAnswered;
        if (wl_display_prepare_read(display) != 0)
            continue;
        // What could not be sent yet is sent once the socket takes it; a
        // compositor that closed its end is told by the read.
        errno = 0;
        bool blocked = wl_display_flush(display) < 0 && errno == EAGAIN;
        if (wl_display_get_error(display)) {
            wl_display_cancel_read(display);
            return LinkLost;
        }
        std::uint64_t left = TimeLeft(deadline);
        pollfd p = {.fd = fd, .events = static_cast<short>(POLLIN | (blocked ? POLLOUT : 0)), .revents = 0};
        int ready = poll(&p, 1, left < INT_MAX ? static_cast<int>(left) : INT_MAX);
        if (ready > 0 && (p.revents & ~POLLOUT)) {
            if (wl_display_read_events(display) < 0)
                return LinkLost;
            continue;
        }
        wl_display_cancel_read(display);
        if (ready == 0 && OsClock() >= deadline)
            return LinkMute;
    }
}

LinkResult LinkRoundtrip(wl_display* display, std::uint64_t deadline)
{
    bool done = false;
    wl_callback* callback = wl_display_sync(display);
    if (!callback)
        return LinkLost;
    wl_callback_add_listener(callback, &kSyncListener, &done);
    LinkResult result = LinkAwait(display, deadline, &done);
    // An answer that comes later finds nobody to tell.
    if (!done)
        wl_callback_destroy(callback);
    return result;
}

void LinkPark(wl_display* display, const char* where)
{
    if (parked)
        wl_display_disconnect(parked);
    parked = display;
    parkedWhere = where;
}

wl_display* LinkUnpark(const char** where)
{
    wl_display* display = parked;
    *where = parked ? parkedWhere : "";
    parked = nullptr;
    return display;
}

void LinkTell(LinkResult result, const char* where)
{
    if (result == LinkMute)
        PrintError("the Wayland compositor at %s did not answer within %d s", where, kAnswerSeconds);
    else
        PrintError("the connection to the Wayland compositor at %s was lost", where);
}

ListOutcome LinkUnlisted(LinkResult result, const char* where)
{
    if (result == LinkMute)
        PrintError("the Wayland compositor at %s did not send its window list within %d s", where, kAnswerSeconds);
    else
        PrintError("the connection to the Wayland compositor at %s was lost", where);
    return ListLost;
}

int LinkWakeHandle(wl_display* display)
{
    // A dead connection would wake the sleep for ever.
    if (wl_display_get_error(display))
        return -1;
    // poll() does not see what libwayland has already read.
    if (!PrepareRead(display))
        return -1;
    wl_display_flush(display);
    wl_display_cancel_read(display);
    return wl_display_get_error(display) ? -1 : wl_display_get_fd(display);
}

void LinkDispatch(wl_display* display)
{
    // The compositor drops a client whose socket it cannot write to, so the
    // connection is read all through the wait: what has arrived, at once.
    const bool never = false;
    if (!wl_display_get_error(display))
        LinkAwait(display, 0, &never);
}

namespace {

// Null when the socket's peer serves the Wayland socket too, or none can be
// reached; else why it is another desktop's.
const char* OtherServer(int ipc, std::uint64_t deadline)
{
    // Asked once: every compositor's IPC is checked against the same one.
    static std::uint32_t server;
    static bool asked;
    static char why[96];
    int fd;
    const char* where = Chosen(&fd);
    if (!asked) {
        asked = true;
        char path[sizeof sockaddr_un::sun_path];
        if (where != handedOver) {
            fd = SocketPath(where, path, sizeof path) ? SocketConnect(path, deadline) : -1;
            server = fd >= 0 ? SocketPeer(fd) : 0;
            if (fd >= 0)
                close(fd);
        } else {
            server = fd >= 0 ? SocketPeer(fd) : 0; // left open: it is the connection itself
        }
    }
    if (server == 0 || SocketPeer(ipc) == server)
        return nullptr;
    std::snprintf(why, sizeof why, "not the compositor at %s", where);
    return why;
}

} // namespace

ConnectResult LinkIpc(const char* peer, const char* path, std::uint64_t deadline, int* fd, const char** where,
                      const void* ask, std::size_t length, SocketResult* asked)
{
    *fd = SocketConnect(path, deadline);
    if (*fd < 0 && errno == EAGAIN) {
        SocketTell(peer, path, SocketMute);
        return ConnectDeclined;
    }
    // A stale variable is common (one left in a tmux session, say).
    if (*fd < 0)
        return ConnectAbsent;
    if (ask)
        *asked = SocketWrite(*fd, ask, length, deadline);
    // A nested compositor's, or another session's, lists windows of no
    // concern to this desktop.
    if (const char* other = OtherServer(*fd, deadline)) {
        *where = other;
        close(*fd);
        *fd = -1;
        return ConnectAbsent;
    }
    return ConnectDone;
}
