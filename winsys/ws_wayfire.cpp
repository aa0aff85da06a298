// Wayfire with its ipc and ipc-rules plugins: the window-system operations
// through its IPC socket (WAYFIRE_SOCKET, else the plugin's socket under
// XDG_RUNTIME_DIR). Each message is a 32-bit length in the machine's order,
// then JSON: {"method": …, "data": {…}}; the reply is framed the same way.
//
// list-views gives every view in the order they were made, each with the
// time it last had the focus. Nothing promises that a view's id is never
// given to another, so the window is listed again just before the close.

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

const std::uint32_t kMostReply = 256u << 20;

char socketPath[4096];
int fd = -1;
SocketInput in; // the last reply, its length first

// The view being read.
struct Reading {
    std::uint64_t id, stamp;
    std::uint32_t pid;
    bool toplevel, nilAppId, full;
    char title[kTitleSize];
};

// One call; its reply in `in` after the length, *length 0 when too long to
// be one. *sent: the whole call went out.
SocketResult Call(const char* method, std::uint64_t id, bool* sent, std::uint32_t* length)
{
    const std::uint64_t deadline = OsClock() + kAnswerMs;
    char message[4 + 160];
    int size = std::snprintf(message + 4, sizeof message - 4, "{\"method\":\"%s\",\"data\":{\"id\":%llu}}", method,
                             static_cast<unsigned long long>(id));
    std::uint32_t framed = static_cast<std::uint32_t>(size);
    std::memcpy(message, &framed, 4);
    SocketResult r = SocketWrite(fd, message, 4 + framed, deadline);
    *sent = r == SocketDone;
    in.length = 0;
    *length = 0;
    if (r == SocketDone)
        r = SocketRead(fd, &in, 4, deadline);
    if (r != SocketDone)
        return r;
    std::memcpy(length, in.bytes, 4);
    if (*length > kMostReply) {
        *length = 0;
        return SocketDone;
    }
    return SocketRead(fd, &in, 4 + *length, deadline);
}

void Member(Reading& r, const JsonItem& item)
{
    if (JsonIs(item.key, item.keyLength, "id"))
        r.id = JsonUnsigned(item);
    else if (JsonIs(item.key, item.keyLength, "pid"))
        r.pid = JsonUnsigned(item) <= UINT32_MAX ? static_cast<std::uint32_t>(JsonUnsigned(item)) : 0;
    else if (JsonIs(item.key, item.keyLength, "last-focus-timestamp"))
        r.stamp = JsonUnsigned(item);
    else if (JsonIs(item.key, item.keyLength, "role"))
        r.toplevel = item.kind == JsonString && JsonIs(item.text, item.length, "toplevel");
    else if (JsonIs(item.key, item.keyLength, "app-id"))
        r.nilAppId = item.kind == JsonString && JsonIs(item.text, item.length, "nil");
    else if (JsonIs(item.key, item.keyLength, "title"))
        JsonText(item, r.title, sizeof r.title);
}

// [{"id":…,"pid":…,"title":…,"app-id":…,"role":…,"last-focus-timestamp":…, …}, …]
bool Visit(void* context, const JsonItem& item)
{
    Reading& r = *static_cast<Reading*>(context);
    if (item.depth == 0)
        return item.kind == JsonArray || item.kind == JsonArrayEnd; // else an error, no list
    if (item.depth == 1 && item.kind == JsonObject) {
        r = {};
    } else if (item.depth == 1 && item.kind == JsonObjectEnd) {
        // Panels, backgrounds and the like are no windows. Wayfire names a
        // window that has neither title nor app id "nil", its app id too.
        bool titled = !(r.nilAppId && std::strcmp(r.title, "nil") == 0);
        r.full = r.toplevel && r.id && titled && !ListedAddFocused(r.title, r.id, r.pid, true, r.stamp);
    } else if (item.depth == 2) {
        Member(r, item);
    }
    return !r.full;
}

// Lists the views anew; *unruled: Wayfire's IPC has no window-rules (no
// ipc-rules plugin).
SocketResult List(bool* unruled = nullptr)
{
    ListedClear();
    bool sent;
    std::uint32_t length;
    SocketResult result = Call("window-rules/list-views", 0, &sent, &length);
    if (result != SocketDone)
        return result;
    const char* reply = in.bytes + 4;
    if (unruled)
        *unruled = JsonHolds(reply, length, 1, "error", "No such method found!");
    static Reading r;
    r = {};
    bool read = length && JsonRead(reply, length, Visit, &r);
    if (r.full || !read)
        return r.full ? SocketFull : SocketUnread;
    ListedRankFocused();
    return SocketDone;
}

// As List, saying on standard error why there is no list.
bool ListTold()
{
    SocketResult result = List();
    SocketTell("Wayfire", socketPath, result);
    return result == SocketDone;
}

CloseOutcome CloseTracked(WindowHandle window)
{
    SocketResult result = List();
    if (result != SocketDone)
        return SocketCloseFailed("Wayfire", socketPath, result, false);
    if (!ListedStillTracked(window))
        return CloseGone;
    bool sent;
    std::uint32_t length;
    result = Call("window-rules/close-view", ListedFind(window)->number, &sent, &length);
    if (result != SocketDone)
        return SocketCloseFailed("Wayfire", socketPath, result, sent);
    // {"result":"ok"}; {"error":"no such view"} for one gone since.
    return JsonHolds(in.bytes + 4, length, 1, "result", "ok")           ? CloseDelivered
           : JsonHolds(in.bytes + 4, length, 1, "error", "no such view") ? CloseGone
                                                                          : CloseUnknown;
}

} // namespace

ConnectResult ConnectWayfire(WindowSystem* desktop, const char** where)
{
    const char* named = std::getenv("WAYFIRE_SOCKET");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    int length = named && *named ? std::snprintf(socketPath, sizeof socketPath, "%s", named)
                 : runtime && *runtime
                     ? std::snprintf(socketPath, sizeof socketPath, "%s/wayfire-%s-.socket", runtime,
                                     wayland && *wayland ? wayland : "wayland-0")
                     : -1;
    *where = length > 0 && static_cast<std::size_t>(length) < sizeof socketPath ? socketPath
                                                                                  : "WAYFIRE_SOCKET is not set";
    if (*where != socketPath)
        return ConnectAbsent;
    if (ConnectResult r = LinkIpc("Wayfire", socketPath, OsClock() + kAnswerMs, &fd, where); r != ConnectDone)
        return r;
    bool unruled = false;
    SocketResult result = List(&unruled);
    if (unruled) {
        *where = "no ipc-rules plugin";
        close(fd);
        return ConnectAbsent;
    }
    SocketTell("Wayfire", socketPath, result);
    if (result != SocketDone)
        return ConnectDeclined;
    ListedServe(desktop, ListTold, ListedTrack, CloseTracked);
    return ConnectDone;
}
