// Connecting to an X server within a deadline. Local displays (":N",
// ":N.S", "unix:N") are dialled here as libxcb would, on a socket that never
// waits; other forms (a host over TCP, a protocol or a socket path) are left
// to libxcb, without a deadline.

#include <X11/Xauth.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/core.h"
#include "winsys/x11_connect.h"

namespace {

// A stream socket connected to the path, or to the abstract name made of
// it; -1 with errno set, ETIMEDOUT once the deadline has passed.
int Dial(const char* path, bool abstract, std::uint64_t deadline)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::size_t length = std::strlen(path);
    std::memcpy(address.sun_path + (abstract ? 1 : 0), path, length); // abstract: after a zero byte
    socklen_t size = static_cast<socklen_t>(abstract ? offsetof(sockaddr_un, sun_path) + 1 + length : sizeof address);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    while (fd >= 0 && connect(fd, reinterpret_cast<const sockaddr*>(&address), size) < 0) {
        // A server that takes no connections fills its queue, and then a
        // socket that doesn't wait is turned away at once: try again.
        int error = errno;
        std::uint64_t left = TimeLeft(deadline);
        if (error != EAGAIN || left == 0) {
            close(fd);
            errno = error == EAGAIN ? ETIMEDOUT : error;
            return -1;
        }
        poll(nullptr, 0, left < 10 ? static_cast<int>(left) : 10);
    }
    return fd;
}

// The local display's socket: on Linux servers listen on an abstract name
// as well as on the file, and libxcb tries the name first.
int OpenLocal(int display, std::uint64_t deadline)
{
    char path[32];
    std::snprintf(path, sizeof path, "/tmp/.X11-unix/X%d", display);
    int fd = Dial(path, true, deadline);
    if (fd < 0 && (errno == ENOENT || errno == ECONNREFUSED))
        fd = Dial(path, false, deadline);
    return fd;
}

// The cookie for this machine's display in XAUTHORITY, found as libxcb
// finds it for a local socket.
Xauth* LocalAuth(int display)
{
    char host[256] = {};
    char number[16];
    if (gethostname(host, sizeof host - 1) != 0)
        return nullptr;
    std::snprintf(number, sizeof number, "%d", display);
    char cookie[] = "MIT-MAGIC-COOKIE-1";
    char* names[] = {cookie};
    const int lengths[] = {sizeof cookie - 1};
    return XauGetBestAuthByAddr(FamilyLocal, static_cast<unsigned short>(std::strlen(host)), host,
                                static_cast<unsigned short>(std::strlen(number)), number, 1, names, lengths);
}

// Watches a set-up from a thread of its own: a signal could be blocked or
// ignored by what the tool inherits, a thread can't be stopped that way.
struct Watch {
    int fd;
    int cancel; // readable once the set-up has ended
    std::uint64_t deadline;
    bool expired;
};

void* WatchSetUp(void* data)
{
    Watch& w = *static_cast<Watch*>(data);
    pollfd ended = {.fd = w.cancel, .events = POLLIN, .revents = 0};
    for (std::uint64_t left = TimeLeft(w.deadline); left > 0; left = TimeLeft(w.deadline))
        if (poll(&ended, 1, left < 1000 ? static_cast<int>(left) : 1000) > 0)
            return nullptr;
    w.expired = true;
    shutdown(w.fd, SHUT_RDWR);
    return nullptr;
}

// xcb_connect_to_fd sends the set-up request and reads the answer without a
// time limit. Shutting the socket down at the deadline ends that read, and
// the connection comes back broken.
xcb_connection_t* SetUp(int fd, int display, std::uint64_t deadline, bool* mute)
{
    Xauth* entry = LocalAuth(display);
    xcb_auth_info_t auth = {};
    if (entry)
        auth = {entry->name_length, entry->name, entry->data_length, entry->data};

    int ends[2];
    pthread_t watcher;
    Watch watch = {.fd = fd, .cancel = -1, .deadline = deadline, .expired = false};
    bool watched = pipe2(ends, O_CLOEXEC) == 0;
    if (watched) {
        watch.cancel = ends[0];
        watched = pthread_create(&watcher, nullptr, WatchSetUp, &watch) == 0;
        if (!watched) {
            close(ends[0]);
            close(ends[1]);
        }
    }
    // Without a watcher there is no deadline to keep: no connection.
    xcb_connection_t* connection = watched ? xcb_connect_to_fd(fd, entry ? &auth : nullptr) : nullptr;
    if (watched) {
        close(ends[1]);
        pthread_join(watcher, nullptr);
        close(ends[0]);
    } else {
        close(fd);
    }
    XauDisposeAuth(entry);
    *mute = watch.expired;
    return connection;
}

} // namespace

xcb_connection_t* X11Connect(const char* display, int* screen, std::uint64_t deadline, bool* mute)
{
    *mute = false;
    char* host = nullptr;
    int number = 0;
    if (!xcb_parse_display(display, &host, &number, screen))
        return nullptr;
    bool local = !std::strchr(display, '/') && (!*host || std::strcmp(host, "unix") == 0);
    std::free(host);
    int fd = local ? OpenLocal(number, deadline) : -1;
    if (local && fd < 0 && errno == ETIMEDOUT) {
        *mute = true;
        return nullptr;
    }
    // Without a local socket libxcb goes on to TCP, as it does for a host.
    xcb_connection_t* connection = fd >= 0 ? SetUp(fd, number, deadline, mute) : xcb_connect(display, nullptr);
    if (connection && !*mute && !xcb_connection_has_error(connection))
        return connection;
    xcb_disconnect(connection);
    return nullptr;
}
