#include "winsys/unix_socket.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/constants.h"
#include "core/core.h"

namespace {

// Until the socket is ready for `events`, or the deadline.
SocketResult Await(int fd, short events, std::uint64_t deadline)
{
    for (;;) {
        std::uint64_t left = TimeLeft(deadline);
        if (left == 0)
            return SocketMute;
        pollfd p = {.fd = fd, .events = events, .revents = 0};
        int ready = poll(&p, 1, left < INT_MAX ? static_cast<int>(left) : INT_MAX);
        if (ready > 0)
            return SocketDone;
        if (ready < 0 && errno != EINTR)
            return SocketLost;
    }
}

// Whether `in` holds what is wanted; a line's end is looked for from `seen`.
bool Complete(const SocketInput& in, std::size_t until, std::size_t seen)
{
    return until ? in.length >= until : in.length > seen && std::memchr(in.bytes + seen, '\n', in.length - seen);
}

} // namespace

int SocketConnect(const char* path, std::uint64_t deadline)
{
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    std::strcpy(address.sun_path, path);
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    // A non-blocking connect can't wait for room in a full backlog, and a
    // blocking one waits for ever: the send time-out bounds that wait.
    std::uint64_t left = TimeLeft(deadline);
    left += left == 0; // a zero time-out would mean none
    timeval limit = {.tv_sec = static_cast<time_t>(left / 1000),
                     .tv_usec = static_cast<suseconds_t>(left % 1000 * 1000)};
    timeval none = {};
    if (setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0 ||
        connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &none, sizeof none) != 0 ||
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK) != 0) {
        int error = errno;
        close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

std::uint32_t SocketPeer(int fd)
{
    ucred peer = {};
    socklen_t size = sizeof peer;
    return getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.pid > 0
               ? static_cast<std::uint32_t>(peer.pid)
               : 0;
}

SocketResult SocketWrite(int fd, const void* bytes, std::size_t length, std::uint64_t deadline)
{
    const char* at = static_cast<const char*>(bytes);
    while (length > 0) {
        ssize_t sent = send(fd, at, length, MSG_NOSIGNAL);
        if (sent > 0) {
            at += sent;
            length -= static_cast<std::size_t>(sent);
        } else if (sent < 0 && (errno == EAGAIN || errno == EINTR)) {
            if (SocketResult r = Await(fd, POLLOUT, deadline); r != SocketDone)
                return r;
        } else {
            return SocketLost;
        }
    }
    return SocketDone;
}

SocketResult SocketRead(int fd, SocketInput* in, std::size_t until, std::uint64_t deadline)
{
    for (std::size_t seen = 0; !Complete(*in, until, seen);) {
        // Framed replies are read to their end and no further: what follows
        // belongs to the next one.
        std::size_t want = until ? until : in->length + 4096;
        if (want + 1 > in->room) {
            std::size_t room = want + 1 > 2 * in->room ? want + 1 : 2 * in->room;
            void* grown = std::realloc(in->bytes, room);
            if (!grown)
                return SocketFull;
            in->bytes = static_cast<char*>(grown);
            in->room = room;
        }
        seen = in->length;
        ssize_t got = recv(fd, in->bytes + in->length, want - in->length, 0);
        if (got > 0)
            in->length += static_cast<std::size_t>(got);
        else if (got == 0)
            return SocketLost;
        else if (errno != EAGAIN && errno != EINTR)
            return SocketLost;
        else if (SocketResult r = Await(fd, POLLIN, deadline); r != SocketDone)
            return r;
    }
    return SocketDone;
}

void SocketTell(const char* peer, const char* path, SocketResult result)
{
    switch (result) {
    case SocketDone:
        break;
    case SocketLost:
        PrintError("the connection to %s at %s was lost", peer, path);
        break;
    case SocketMute:
        PrintError("%s at %s did not answer within %d s", peer, path, kAnswerSeconds);
        break;
    case SocketUnread:
        PrintError("%s's answer to the window list request could not be read", peer);
        break;
    case SocketFull:
        PrintError("the window list of %s at %s did not fit in memory", peer, path);
        break;
    }
}

CloseOutcome SocketCloseFailed(const char* peer, const char* path, SocketResult result, bool sent)
{
    if (result == SocketLost)
        return sent ? CloseLostUnsure : CloseLost;
    if (result == SocketMute)
        return sent ? CloseUnsure : CloseMute;
    if (sent)
        return CloseUnknown;
    SocketTell(peer, path, result);
    return CloseUntold;
}
