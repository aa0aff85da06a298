// niri: the window-system operations through its IPC socket (NIRI_SOCKET):
// a JSON request on a line, the reply on a line, a connection of its own
// for each (niri 25.02 and earlier close it after one reply).
//
// niri lists its windows in no order (a hash map); since 25.11 each says
// when it last had the focus. It answers "Handled" to a close for an id
// that is gone, and closes the focused window when the id is missing: the
// window is listed again just before the close, which always names it.

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/constants.h"
#include "core/core.h"
#include "winsys/json_stream.h"
#include "winsys/linux.h"
#include "winsys/unix_socket.h"
#include "winsys/wayland_link.h"
#include "winsys/window_list.h"

namespace {

const char* socketPath;
SocketInput in; // the last reply

// What is known of the reply, and of the window being read, as it is read.
struct Reading {
    bool ok, inList, listed; // in "Ok", in its "Windows", which was there
    bool inStamp, full;
    std::uint64_t id, stamp;
    std::uint32_t pid;
    bool focused, stampKey, stamped;
    char title[kTitleSize];
};

// One request on a connection of its own; its reply line in `in`. *sent:
// the whole request went out.
SocketResult Exchange(const char* request, bool* sent)
{
    const std::uint64_t deadline = OsClock() + kAnswerMs;
    *sent = false;
    in.length = 0;
    int fd = SocketConnect(socketPath, deadline);
    if (fd < 0)
        return errno == EAGAIN ? SocketMute : SocketLost;
    SocketResult r = SocketWrite(fd, request, std::strlen(request), deadline);
    *sent = r == SocketDone;
    if (r == SocketDone)
        r = SocketRead(fd, &in, 0, deadline);
    close(fd);
    return r;
}

// The reply's line, without its end.
std::size_t LineLength()
{
    return static_cast<std::size_t>(static_cast<const char*>(std::memchr(in.bytes, '\n', in.length)) - in.bytes);
}

void Member(Reading& r, const JsonItem& item)
{
    if (JsonIs(item.key, item.keyLength, "id"))
        r.id = JsonUnsigned(item);
    else if (JsonIs(item.key, item.keyLength, "pid"))
        r.pid = JsonUnsigned(item) <= UINT32_MAX ? static_cast<std::uint32_t>(JsonUnsigned(item)) : 0;
    else if (JsonIs(item.key, item.keyLength, "is_focused"))
        r.focused = item.kind == JsonBool && item.integer;
    else if (JsonIs(item.key, item.keyLength, "title"))
        JsonText(item, r.title, sizeof r.title);
    // Null until the window first had the focus; absent before 25.11.
    r.stampKey |= JsonIs(item.key, item.keyLength, "focus_timestamp");
    r.inStamp = item.kind == JsonObject && JsonIs(item.key, item.keyLength, "focus_timestamp");
}

// {"Ok":{"Windows":[{"id":…,"title":…,"pid":…,"is_focused":…,
// "focus_timestamp":{"secs":…,"nanos":…}|null, …}, …]}}
bool Visit(void* context, const JsonItem& item)
{
    Reading& r = *static_cast<Reading*>(context);
    bool opens = item.kind == JsonObject || item.kind == JsonArray;
    if (item.depth == 1 && opens) {
        r.ok = JsonIs(item.key, item.keyLength, "Ok");
    } else if (item.depth == 2 && opens) {
        r.inList = r.ok && item.kind == JsonArray && JsonIs(item.key, item.keyLength, "Windows");
        r.listed |= r.inList;
    } else if (item.depth <= 2) {
        r.inList = false;
    } else if (!r.inList) {
        return true;
    } else if (item.depth == 3 && item.kind == JsonObject) {
        r.id = r.stamp = r.pid = 0;
        r.focused = r.stampKey = r.stamped = false;
        r.title[0] = '\0';
    } else if (item.depth == 3 && item.kind == JsonObjectEnd) {
        // Before 25.11 only the focused window is known.
        r.full |= r.id && !ListedAddFocused(r.title, r.id, r.pid, r.stampKey ? r.stamped : r.focused, r.stamp);
    } else if (item.depth == 4) {
        Member(r, item);
    } else if (item.depth == 5 && r.inStamp && item.kind == JsonInteger) {
        r.stamped = true;
        r.stamp += JsonIs(item.key, item.keyLength, "secs") ? JsonUnsigned(item) * 1000000000u : JsonUnsigned(item);
    }
    return !r.full;
}

// Lists niri's windows anew.
SocketResult List()
{
    ListedClear();
    bool sent;
    SocketResult result = Exchange("\"Windows\"\n", &sent);
    if (result != SocketDone)
        return result;
    static Reading r;
    r = {};
    bool read = JsonRead(in.bytes, LineLength(), Visit, &r) && r.listed;
    if (r.full || !read)
        return r.full ? SocketFull : SocketUnread;
    ListedRankFocused();
    return SocketDone;
}

// As List, saying on standard error why there is no list.
bool ListTold()
{
    SocketResult result = List();
    SocketTell("niri", socketPath, result);
    return result == SocketDone;
}

CloseOutcome CloseTracked(WindowHandle window)
{
    SocketResult result = List();
    if (result != SocketDone)
        return SocketCloseFailed("niri", socketPath, result, false);
    if (!ListedStillTracked(window))
        return CloseGone;
    char request[96];
    std::snprintf(request, sizeof request, "{\"Action\":{\"CloseWindow\":{\"id\":%llu}}}\n",
                  static_cast<unsigned long long>(ListedFind(window)->number));
    bool sent;
    result = Exchange(request, &sent);
    if (result != SocketDone)
        return SocketCloseFailed("niri", socketPath, result, sent);
    return JsonHolds(in.bytes, LineLength(), 1, "Ok", "Handled") ? CloseDelivered : CloseUnknown;
}

} // namespace

ConnectResult ConnectNiri(WindowSystem* desktop, const char** where)
{
    const char* path = std::getenv("NIRI_SOCKET");
    *where = path && *path ? path : "NIRI_SOCKET is not set";
    if (!path || !*path)
        return ConnectAbsent;
    socketPath = path;
    int fd;
    if (ConnectResult r = LinkIpc("niri", path, OsClock() + kAnswerMs, &fd, where); r != ConnectDone)
        return r;
    close(fd); // each request has a connection of its own
    if (!ListTold())
        return ConnectDeclined;
    ListedServe(desktop, ListTold, ListedTrack, CloseTracked);
    return ConnectDone;
}
