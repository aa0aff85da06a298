// Wayland compositors that list their windows to ordinary programs: the
// window-system operations over wlroots' foreign-toplevel protocol.
//
// The protocol carries no stacking order: the activated window comes first,
// then the others in the order the compositor announced them (wlroots
// announces the newest first). The whole list is gathered before the search
// so that every window is seen with its title.

#include <poll.h>

#include <cstdlib>
#include <cstring>

#include "core/constants.h"
#include "core/core.h"
#include "winsys/linux.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace {

const int kMaxToplevels = 1024;
const std::uint32_t kManagerVersion = 3;
// A compositor that never finishes describing a window is not waited for.
const int kMaxGatherRounds = 16;

struct Toplevel {
    zwlr_foreign_toplevel_handle_v1* handle; // null once destroyed
    WindowHandle id;
    bool described; // its first done has come
    bool activated;
    bool closed;
    int titleLength;
    char title[kTitleSize];
};

wl_display* display;
const char* socketName;
zwlr_foreign_toplevel_manager_v1* manager;
std::uint32_t managerName, managerVersion;
Toplevel toplevels[kMaxToplevels];
int toplevelCount;
int undescribed; // handles still waiting for their first done
Toplevel* tracked;

Toplevel* Find(WindowHandle window)
{
    for (int i = 0; i < toplevelCount; ++i)
        if (toplevels[i].id == window)
            return &toplevels[i];
    return nullptr;
}

void HandleTitle(void* data, zwlr_foreign_toplevel_handle_v1*, const char* title)
{
    Toplevel* t = static_cast<Toplevel*>(data);
    std::size_t length = title ? std::strlen(title) : 0;
    if (length > kTitleSize - 1)
        length = kTitleSize - 1;
    if (length > 0)
        std::memcpy(t->title, title, length);
    t->title[length] = '\0';
    t->titleLength = static_cast<int>(length);
}

void HandleAppId(void*, zwlr_foreign_toplevel_handle_v1*, const char*) {}

void HandleOutput(void*, zwlr_foreign_toplevel_handle_v1*, wl_output*) {}

void HandleState(void* data, zwlr_foreign_toplevel_handle_v1*, wl_array* state)
{
    Toplevel* t = static_cast<Toplevel*>(data);
    t->activated = false;
    const std::uint32_t* values = static_cast<const std::uint32_t*>(state->data);
    for (std::size_t i = 0; i < state->size / sizeof *values; ++i)
        if (values[i] == ZWLR_FOREIGN_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED)
            t->activated = true;
}

void HandleDone(void* data, zwlr_foreign_toplevel_handle_v1*)
{
    Toplevel* t = static_cast<Toplevel*>(data);
    if (!t->described)
        --undescribed;
    t->described = true;
}

void HandleClosed(void* data, zwlr_foreign_toplevel_handle_v1* handle)
{
    HandleDone(data, handle); // no done follows
    static_cast<Toplevel*>(data)->closed = true;
}

void HandleParent(void*, zwlr_foreign_toplevel_handle_v1*, zwlr_foreign_toplevel_handle_v1*) {}

const zwlr_foreign_toplevel_handle_v1_listener kHandleListener = {
    .title = HandleTitle,
    .app_id = HandleAppId,
    .output_enter = HandleOutput,
    .output_leave = HandleOutput,
    .state = HandleState,
    .done = HandleDone,
    .closed = HandleClosed,
    .parent = HandleParent,
};

void HandleToplevel(void*, zwlr_foreign_toplevel_manager_v1*, zwlr_foreign_toplevel_handle_v1* handle)
{
    // Beyond the limit, or once a window is tracked, nothing more is wanted.
    if (toplevelCount == kMaxToplevels || tracked) {
        zwlr_foreign_toplevel_handle_v1_destroy(handle);
        return;
    }
    Toplevel* t = &toplevels[toplevelCount++];
    t->handle = handle;
    t->id = wl_proxy_get_id(reinterpret_cast<wl_proxy*>(handle));
    ++undescribed;
    zwlr_foreign_toplevel_handle_v1_add_listener(handle, &kHandleListener, t);
}

void HandleFinished(void*, zwlr_foreign_toplevel_manager_v1* finished)
{
    zwlr_foreign_toplevel_manager_v1_destroy(finished);
    manager = nullptr;
}

const zwlr_foreign_toplevel_manager_v1_listener kManagerListener = {.toplevel = HandleToplevel,
                                                                    .finished = HandleFinished};

void HandleGlobal(void*, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t version)
{
    if (std::strcmp(interface, zwlr_foreign_toplevel_manager_v1_interface.name) == 0 && !managerName) {
        managerName = name;
        managerVersion = version < kManagerVersion ? version : kManagerVersion;
    }
}

void HandleGlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistryListener = {.global = HandleGlobal, .global_remove = HandleGlobalRemove};

// Starts a read with nothing left queued; false once the connection is
// broken, which leaves the queue as it is.
bool PrepareRead()
{
    while (wl_display_prepare_read(display) != 0)
        if (wl_display_dispatch_pending(display) < 0)
            return false;
    return true;
}

// Takes in whatever has arrived, without waiting for more.
void ReadAvailable()
{
    if (!PrepareRead())
        return;
    wl_display_flush(display);
    pollfd fd = {wl_display_get_fd(display), POLLIN, 0};
    if (poll(&fd, 1, 0) > 0)
        wl_display_read_events(display);
    else
        wl_display_cancel_read(display);
    wl_display_dispatch_pending(display);
}

bool Offer(bool activated, WindowVisitor visit, void* context)
{
    for (int i = 0; i < toplevelCount; ++i) {
        const Toplevel& t = toplevels[i];
        if (t.handle && !t.closed && t.titleLength > 0 && t.activated == activated && !visit(context, t.id, t.title))
            return false;
    }
    return true;
}

// Only the target's end is of interest from now on: with the rest let go,
// the compositor has nothing else to send.
void LetGoOfOthers()
{
    if (manager)
        zwlr_foreign_toplevel_manager_v1_stop(manager);
    for (int i = 0; i < toplevelCount; ++i) {
        Toplevel& t = toplevels[i];
        if (&t != tracked && t.handle) {
            zwlr_foreign_toplevel_handle_v1_destroy(t.handle);
            t.handle = nullptr;
        }
    }
    wl_display_flush(display);
}

ListOutcome EnumWindows(const char*, WindowVisitor visit, void* context)
{
    // The first round trip brings the list; more only while a window has
    // not been described in full.
    for (int round = 0; round == 0 || (undescribed > 0 && round < kMaxGatherRounds); ++round)
        if (wl_display_roundtrip(display) < 0) {
            PrintError("the connection to the Wayland compositor at %s was lost", socketName);
            return ListLost;
        }
    if (Offer(true, visit, context))
        Offer(false, visit, context);
    LetGoOfOthers();
    return ListDone;
}

int ReadTitle(WindowHandle window, char* buffer, int size)
{
    const Toplevel* t = Find(window);
    if (size <= 0 || !t || !t->handle || t->closed || t->titleLength == 0)
        return 0;
    int kept = t->titleLength < size - 1 ? t->titleLength : size - 1;
    std::memcpy(buffer, t->title, static_cast<std::size_t>(kept));
    buffer[kept] = '\0';
    return kept;
}

bool HostsOwnTerminal(WindowHandle)
{
    // The protocol names no process; stale titles are recognised elsewhere.
    return false;
}

void TrackWindow(WindowHandle window)
{
    tracked = Find(window);
}

CloseOutcome CloseTracked(WindowHandle window)
{
    // The handle stays ours until destroyed, so its id names no other
    // window; only a closed event still on its way is to be taken in.
    if (!tracked || tracked->id != window || !tracked->handle)
        return CloseGone;
    if (wl_display_roundtrip(display) < 0)
        return CloseLost;
    if (tracked->closed)
        return CloseGone;
    zwlr_foreign_toplevel_handle_v1_close(tracked->handle);
    wl_display_roundtrip(display); // delivered before the tool says so and exits
    return CloseDelivered;
}

int WakeHandle()
{
    // A dead connection would wake the sleep for ever.
    if (wl_display_get_error(display))
        return -1;
    // poll() does not see what libwayland has already read.
    if (!PrepareRead())
        return -1;
    wl_display_flush(display);
    wl_display_cancel_read(display);
    return wl_display_get_error(display) ? -1 : wl_display_get_fd(display);
}

void Dispatch()
{
    // The compositor drops a client whose socket it cannot write to, so the
    // connection is read all through the wait.
    if (!wl_display_get_error(display))
        ReadAvailable();
}

} // namespace

ConnectResult ConnectWayland(WindowSystem* desktop, const char** where)
{
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (!name || !*name)
        name = "wayland-0";
    *where = socketName = name;
    // libwayland would complain of the missing directory on standard error.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (name[0] != '/' && (!runtime || !*runtime))
        return ConnectAbsent;
    display = wl_display_connect(name);
    if (!display)
        return ConnectAbsent;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, nullptr);
    if (wl_display_roundtrip(display) < 0 || !managerName) {
        bool reached = wl_display_get_error(display) == 0;
        wl_registry_destroy(registry);
        wl_display_disconnect(display);
        display = nullptr;
        return reached ? ConnectNoWindowList : ConnectAbsent;
    }
    // Binding starts the list of windows on its way.
    manager = static_cast<zwlr_foreign_toplevel_manager_v1*>(
        wl_registry_bind(registry, managerName, &zwlr_foreign_toplevel_manager_v1_interface, managerVersion));
    zwlr_foreign_toplevel_manager_v1_add_listener(manager, &kManagerListener, nullptr);
    wl_registry_destroy(registry);
    *desktop = {
        .enumWindows = EnumWindows,
        .readTitle = ReadTitle,
        .hostsOwnTerminal = HostsOwnTerminal,
        .trackWindow = TrackWindow,
        .closeTracked = CloseTracked,
        .wakeHandle = WakeHandle,
        .dispatch = Dispatch,
        .refusal = "",
    };
    return ConnectDone;
}
