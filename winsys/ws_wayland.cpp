// Wayland compositors that list their windows to ordinary programs: the
// window-system operations over wlroots' foreign-toplevel protocol.
//
// The protocol carries no stacking order: the activated window comes first,
// then the others in the order the compositor announced them (wlroots
// announces the newest first). The whole list is gathered before the search
// so that every window is seen with its title.

#include <cstdlib>
#include <cstring>

#include "core/constants.h"
#include "core/core.h"
#include "winsys/linux.h"
#include "winsys/wayland_link.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace {

const std::uint32_t kManagerVersion = 3;
// A compositor that never finishes describing a window is not waited for.
const int kMaxGatherRounds = 16;

struct Toplevel {
    zwlr_foreign_toplevel_handle_v1* handle; // null once destroyed
    WindowHandle id;
    bool described; // its first done has come
    bool activated;
    bool closed;
    bool nilAppId; // Wayfire's stand-in for a missing app id
    int titleLength;
    char title[kTitleSize];
};

wl_display* display;
const char* socketName;
zwlr_foreign_toplevel_manager_v1* manager;
std::uint32_t managerName, managerVersion;
// Each record is its handle's listener data and never moves; the table of
// them grows.
Toplevel** toplevels;
int toplevelCount, toplevelRoom;
bool incomplete; // a window could not be recorded
int undescribed; // handles still waiting for their first done
Toplevel* tracked;
bool letGo;           // of every window but the tracked one
const char* ownTitle; // the name of the tool's terminal
bool ownShown;        // and its window shows it

Toplevel* Find(WindowHandle window)
{
    for (int i = 0; i < toplevelCount; ++i)
        if (toplevels[i]->id == window)
            return toplevels[i];
    return nullptr;
}

Toplevel* NewToplevel()
{
    if (toplevelCount == toplevelRoom) {
        int room = toplevelRoom ? 2 * toplevelRoom : 64;
        void* grown = std::realloc(toplevels, static_cast<std::size_t>(room) * sizeof *toplevels);
        if (!grown)
            return nullptr;
        toplevels = static_cast<Toplevel**>(grown);
        toplevelRoom = room;
    }
    Toplevel* t = static_cast<Toplevel*>(std::calloc(1, sizeof(Toplevel)));
    if (t)
        toplevels[toplevelCount++] = t;
    return t;
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

void HandleAppId(void* data, zwlr_foreign_toplevel_handle_v1*, const char* appId)
{
    static_cast<Toplevel*>(data)->nilAppId = appId && std::strcmp(appId, "nil") == 0;
}

// Wayfire names a window that has neither title nor app id "nil", and its
// app id "nil" too: that is no title.
bool Titled(const Toplevel& t)
{
    return t.titleLength > 0 && !(t.nilAppId && std::strcmp(t.title, "nil") == 0);
}

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
    // The tool's terminal shows its title once activated (typed into) or
    // once the title has changed: a terminal where the tool runs already,
    // waiting, shows it all along.
    if (ownTitle && (t->activated || t->described) && std::strstr(t->title, ownTitle))
        ownShown = true;
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
    // Once a window is tracked, nothing more is wanted.
    Toplevel* t = tracked ? nullptr : NewToplevel();
    if (!t) {
        incomplete |= !tracked;
        zwlr_foreign_toplevel_handle_v1_destroy(handle);
        return;
    }
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

bool Offer(bool activated, WindowVisitor visit, void* context)
{
    for (int i = 0; i < toplevelCount; ++i) {
        const Toplevel& t = *toplevels[i];
        if (t.handle && !t.closed && Titled(t) && t.activated == activated && !visit(context, t.id, t.title))
            return false;
    }
    return true;
}

// Only the target's end is of interest from now on: with the rest let go,
// the compositor has nothing else to send.
void LetGoOfOthers()
{
    letGo = true;
    if (manager)
        zwlr_foreign_toplevel_manager_v1_stop(manager);
    for (int i = 0; i < toplevelCount; ++i) {
        Toplevel& t = *toplevels[i];
        if (&t != tracked && t.handle) {
            zwlr_foreign_toplevel_handle_v1_destroy(t.handle);
            t.handle = nullptr;
        }
    }
    wl_display_flush(display);
}

ListOutcome Unlisted(LinkResult result)
{
    if (result == LinkMute)
        PrintError("the Wayland compositor at %s did not send its window list within %d s", socketName,
                   kAnswerSeconds);
    else
        PrintError("the connection to the Wayland compositor at %s was lost", socketName);
    return ListLost;
}

ListOutcome EnumWindows(const char* own, WindowVisitor visit, void* context)
{
    ownTitle = own;
    // The first round trip brings the list; more only while a window has
    // not been described in full.
    for (int round = 0; round == 0 || (undescribed > 0 && round < kMaxGatherRounds); ++round)
        if (LinkResult result = LinkRoundtrip(display, OsClock() + kAnswerMs); result != LinkAnswered)
            return Unlisted(result);
    if (incomplete) {
        PrintError("the window list of the Wayland compositor at %s did not fit in memory", socketName);
        return ListLost;
    }
    if (Offer(true, visit, context))
        Offer(false, visit, context);
    return ListDone;
}

// The terminal passes the tool's title on a little after taking it.
void AwaitTitles(std::uint64_t deadline)
{
    LinkAwait(display, deadline, &ownShown);
}

int ReadTitle(WindowHandle window, char* buffer, int size)
{
    const Toplevel* t = Find(window);
    if (size <= 0 || !t || !t->handle || t->closed || !Titled(*t))
        return 0;
    int kept = t->titleLength < size - 1 ? t->titleLength : size - 1;
    std::memcpy(buffer, t->title, static_cast<std::size_t>(kept));
    buffer[kept] = '\0';
    return kept;
}

TerminalHint HostsOwnTerminal(WindowHandle)
{
    // The protocol names no process: until the terminal shows the tool's
    // title, any window may be it.
    return ownTitle && !ownShown ? TerminalUnknown : TerminalNot;
}

void TrackWindow(WindowHandle window, const char*)
{
    tracked = Find(window);
}

CloseOutcome CloseTracked(WindowHandle window)
{
    // The handle stays ours until destroyed, so its id names no other
    // window; only a closed event still on its way is to be taken in.
    if (!tracked || tracked->id != window || !tracked->handle)
        return CloseGone;
    LinkResult result = LinkRoundtrip(display, OsClock() + kAnswerMs);
    if (result != LinkAnswered)
        return result == LinkLost ? CloseLost : CloseMute;
    if (tracked->closed)
        return CloseGone;
    zwlr_foreign_toplevel_handle_v1_close(tracked->handle);
    // Handled before the tool says so and exits.
    result = LinkRoundtrip(display, OsClock() + kAnswerMs);
    return result == LinkLost ? CloseLostUnsure : result == LinkMute ? CloseUnsure : CloseDelivered;
}

int WakeHandle()
{
    if (!letGo)
        LetGoOfOthers();
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
    // connection is read all through the wait: what has arrived, at once.
    const bool never = false;
    if (!wl_display_get_error(display))
        LinkAwait(display, 0, &never);
}

} // namespace

ConnectResult ConnectWayland(WindowSystem* desktop, const char** where)
{
    LinkResult result = LinkConnect(OsClock() + kAnswerMs, &display, where);
    socketName = *where;
    if (result == LinkAbsent)
        return ConnectAbsent;
    wl_registry* registry = nullptr;
    if (result == LinkAnswered) {
        registry = wl_display_get_registry(display);
        wl_registry_add_listener(registry, &kRegistryListener, nullptr);
        result = LinkRoundtrip(display, OsClock() + kAnswerMs);
    }
    if (result != LinkAnswered || !managerName) {
        if (registry)
            wl_registry_destroy(registry);
        if (display)
            wl_display_disconnect(display);
        display = nullptr;
        if (result == LinkAnswered)
            return ConnectNoWindowList;
        if (result == LinkMute)
            PrintError("the Wayland compositor at %s did not answer within %d s", socketName, kAnswerSeconds);
        else
            PrintError("the connection to the Wayland compositor at %s was lost", socketName);
        return ConnectDeclined;
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
        .awaitTitles = AwaitTitles,
        .trackWindow = TrackWindow,
        .closeTracked = CloseTracked,
        .wakeHandle = WakeHandle,
        .dispatch = Dispatch,
        .refusal = "",
    };
    return ConnectDone;
}
