// sway: the window-system operations through its IPC socket (SWAYSOCK).
// Unlike the Wayland window list, the IPC says which window the user used
// last and which process shows each one.
//
// i3-ipc framing: "i3-ipc", the payload's length and the message's type,
// 32 bits each in the machine's order, then the payload; a reply has the
// same header and type. sway never gives a container's id to another
// window while it runs, and says so when asked to close a gone one.

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/constants.h"
#include "core/core.h"
#include "winsys/json_stream.h"
#include "winsys/linux.h"
#include "winsys/sway_tree.h"
#include "winsys/unix_socket.h"
#include "winsys/wayland_link.h"
#include "winsys/window_list.h"

namespace {

const char kMagic[6] = {'i', '3', '-', 'i', 'p', 'c'};
const std::size_t kHeader = 14;
const std::uint32_t kRunCommand = 0, kGetTree = 4, kGetVersion = 7;
const std::uint32_t kMostReply = 256u << 20; // no tree of sway's is larger

const char* socketPath;
int fd = -1;
SocketInput in;     // the last reply, header first
WindowHandle tracked;

void Header(std::uint32_t type, std::uint32_t size, char* header)
{
    std::memcpy(header, kMagic, sizeof kMagic);
    std::memcpy(header + 6, &size, 4);
    std::memcpy(header + 10, &type, 4);
}

SocketResult Ask(std::uint32_t type, const char* payload, std::uint64_t deadline)
{
    std::uint32_t size = static_cast<std::uint32_t>(std::strlen(payload));
    char header[kHeader];
    Header(type, size, header);
    SocketResult r = SocketWrite(fd, header, kHeader, deadline);
    return r == SocketDone ? SocketWrite(fd, payload, size, deadline) : r;
}

// The reply's payload into in, after the header; *length 0 for a reply
// that is not one to the message.
SocketResult Answer(std::uint32_t type, std::uint64_t deadline, std::uint32_t* length)
{
    in.length = 0;
    *length = 0;
    SocketResult r = SocketRead(fd, &in, kHeader, deadline);
    if (r != SocketDone)
        return r;
    std::uint32_t size, replyType;
    std::memcpy(&size, in.bytes + 6, 4);
    std::memcpy(&replyType, in.bytes + 10, 4);
    if (std::memcmp(in.bytes, kMagic, sizeof kMagic) != 0 || replyType != type || size > kMostReply)
        return SocketDone;
    *length = size;
    return SocketRead(fd, &in, kHeader + size, deadline);
}

// Takes the list asked for (`asked`: how the asking went); false, with the
// line said, when it can't be had.
bool Take(SocketResult r, std::uint64_t deadline)
{
    std::uint32_t length = 0;
    if (r == SocketDone)
        r = Answer(kGetTree, deadline, &length);
    TreeRead tree = r != SocketDone ? TreeDone : length ? SwayReadTree(in.bytes + kHeader, length) : TreeUnreadable;
    if (tree != TreeDone)
        r = tree == TreeTooLarge ? SocketFull : SocketUnread;
    SocketTell("sway", socketPath, r);
    return r == SocketDone;
}

// The windows as they are now.
bool List()
{
    const std::uint64_t deadline = OsClock() + kAnswerMs;
    return Take(Ask(kGetTree, "", deadline), deadline);
}

void TrackWindow(WindowHandle window, const char*)
{
    tracked = ListedFind(window) ? window : 0;
}

CloseOutcome CloseTracked(WindowHandle window)
{
    const ListedWindow* w = ListedFind(window);
    if (!w || window != tracked)
        return CloseGone;
    // sway takes a command in while it is stopped and carries it out when it
    // goes on: it must answer a question first.
    std::uint64_t deadline = OsClock() + kAnswerMs;
    std::uint32_t length;
    SocketResult r = Ask(kGetVersion, "", deadline);
    if (r == SocketDone)
        r = Answer(kGetVersion, deadline, &length);
    char command[64];
    std::snprintf(command, sizeof command, "[con_id=%llu] kill", static_cast<unsigned long long>(w->number));
    deadline = OsClock() + kAnswerMs;
    if (r == SocketDone)
        r = Ask(kRunCommand, command, deadline);
    if (r != SocketDone)
        return SocketCloseFailed("sway", socketPath, r, false);
    r = Answer(kRunCommand, deadline, &length);
    if (r != SocketDone)
        return SocketCloseFailed("sway", socketPath, r, true);
    // [{"success":true}]; for a container that is gone, false.
    const char* reply = in.bytes + kHeader;
    return JsonHolds(reply, length, 2, "success", "true")    ? CloseDelivered
           : JsonHolds(reply, length, 2, "success", "false") ? CloseGone
                                                              : CloseUnknown;
}

} // namespace

ConnectResult ConnectSway(WindowSystem* desktop, const char** where)
{
    const char* path = std::getenv("SWAYSOCK");
    *where = path && *path ? path : "SWAYSOCK is not set";
    if (!path || !*path)
        return ConnectAbsent;
    socketPath = path;
    // sway builds its tree while the Wayland socket is asked who serves it.
    const std::uint64_t deadline = OsClock() + kAnswerMs;
    char ask[kHeader];
    Header(kGetTree, 0, ask);
    SocketResult asked = SocketDone;
    if (ConnectResult r = LinkIpc("sway", path, deadline, &fd, where, ask, kHeader, &asked); r != ConnectDone)
        return r;
    if (!Take(asked, deadline))
        return ConnectDeclined;
    ListedServe(desktop, List, TrackWindow, CloseTracked);
    return ConnectDone;
}
