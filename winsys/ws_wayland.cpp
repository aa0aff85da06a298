// Wayland compositors that list their windows to ordinary programs: the
// window-system operations over wlroots' foreign-toplevel protocol.
//
// The protocol carries no stacking order: the activated window comes first,
// then the others in the order the compositor announced them (wlroots
// announces the newest first). The whole list is gathered before the search
// so that every window is seen with its title.

#include <cstring>

#include "core/constants.h"
#include "core/core.h"
#include "winsys/linux.h"
#include "winsys/wayland_link.h"
#include "winsys/wayland_toplevels.h"
#include "wlr-foreign-toplevel-management-unstable-v1-client-protocol.h"

namespace {

const std::uint32_t kManagerVersion = 3;
// A compositor that never finishes describing a window is not waited for.
const int kMaxGatherRounds = 16;

wl_display* display;
const char* socketName;
zwlr_foreign_toplevel_manager_v1* manager;
std::uint32_t managerName, managerVersion;
int undescribed; // handles still waiting for their first done

void HandleTitle(void* data, zwlr_foreign_toplevel_handle_v1*, const char* title)
{
    ToplevelTitle(static_cast<Toplevel*>(data), title);
}

void HandleAppId(void* data, zwlr_foreign_toplevel_handle_v1*, const char* appId)
{
    static_cast<Toplevel*>(data)->nilAppId = appId && std::strcmp(appId, "nil") == 0;
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
    if (!t->described)
        --undescribed;
    ToplevelDone(t);
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
    Toplevel* t = ToplevelAdd(handle);
    if (!t) {
        zwlr_foreign_toplevel_handle_v1_destroy(handle);
        return;
    }
    // Offered whether described or not: a compositor may never finish.
    t->ready = true;
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

void Stop()
{
    if (manager)
        zwlr_foreign_toplevel_manager_v1_stop(manager);
}

void Release(Toplevel* t)
{
    zwlr_foreign_toplevel_handle_v1_destroy(static_cast<zwlr_foreign_toplevel_handle_v1*>(t->handle));
}

ListOutcome EnumWindows(const char* own, WindowVisitor visit, void* context)
{
    ToplevelWatch(own);
    // The first round trip brings the list; more only while a window has
    // not been described in full.
    for (int round = 0; round == 0 || (undescribed > 0 && round < kMaxGatherRounds); ++round)
        if (LinkResult result = LinkRoundtrip(display, OsClock() + kAnswerMs); result != LinkAnswered)
            return LinkUnlisted(result, socketName);
    return ToplevelOffer(socketName, false, visit, context);
}

void Close(Toplevel* t)
{
    zwlr_foreign_toplevel_handle_v1_close(static_cast<zwlr_foreign_toplevel_handle_v1*>(t->handle));
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
        // The compositor may list its windows another way (COSMIC).
        if (result == LinkAnswered)
            LinkPark(display, socketName);
        else if (display)
            wl_display_disconnect(display);
        display = nullptr;
        if (result == LinkAnswered)
            return ConnectNoWindowList;
        LinkTell(result, socketName);
        return ConnectDeclined;
    }
    // Binding starts the list of windows on its way.
    manager = static_cast<zwlr_foreign_toplevel_manager_v1*>(
        wl_registry_bind(registry, managerName, &zwlr_foreign_toplevel_manager_v1_interface, managerVersion));
    zwlr_foreign_toplevel_manager_v1_add_listener(manager, &kManagerListener, nullptr);
    wl_registry_destroy(registry);
    ToplevelsServe(desktop, display,
                   {.enumWindows = EnumWindows, .close = Close, .stop = Stop, .release = Release});
    return ConnectDone;
}
