#pragma once

// A Unix socket of the tool's own to another program (a compositor's IPC,
// a Wayland compositor), every step bounded by a deadline on OsClock(): the
// connection, each write and each read. Whoever listens there may have
// stopped, or never answer.

#include <cstddef>
#include <cstdint>

#include "winsys/winsys.h"

enum SocketResult {
    SocketDone,
    SocketLost,   // closed or broken
    SocketMute,   // nothing by the deadline
    SocketUnread, // an answer, but not the one asked for
    SocketFull,   // an answer too large for the memory there is
};

// Connected, non-blocking and close-on-exec; else -1 with errno set, EAGAIN
// when the listener's backlog stayed full until the deadline.
int SocketConnect(const char* path, std::uint64_t deadline);

// The process that listens at the other end, 0 when it can't be told.
std::uint32_t SocketPeer(int fd);

SocketResult SocketWrite(int fd, const void* bytes, std::size_t length, std::uint64_t deadline);

// What has come in so far, grown as it comes.
struct SocketInput {
    char* bytes;
    std::size_t length, room;
};

// Reads on until `in` holds `until` bytes, or, with `until` 0, a line end;
// Full when `in` can't grow.
SocketResult SocketRead(int fd, SocketInput* in, std::size_t until, std::uint64_t deadline);

// The line for standard error when asking `peer` at `path` for its window
// list failed; none for SocketDone.
void SocketTell(const char* peer, const char* path, SocketResult result);

// What a close request comes to when an exchange for it with `peer` failed,
// before the request went out or after; saying on standard error what the
// lines for the close leave unsaid.
CloseOutcome SocketCloseFailed(const char* peer, const char* path, SocketResult result, bool sent);
