// COSMIC: cosmic-comp lists its windows to ordinary programs through the
// standard ext-foreign-toplevel list, which has neither states nor a close,
// and adds both through its own protocols: a COSMIC handle made from a
// window's list handle gets the window's state, and the manager closes it.
//
// No stacking order exists there: the activated window comes first, then
// the newest opened first (cosmic-comp announces the oldest first, and the
// window opened last is the last known to have come on top). A state comes
// at the compositor's next refresh, well after a round trip's answer, and
// is waited for: cosmic-comp panics on a close for a window that had gone,
// and a handle that never got its state may have been made for one.

#include <cstring>

#include "core/constants.h"
#include "core/core.h"
#include "cosmic-toplevel-info-unstable-v1-client-protocol.h"
#include "cosmic-toplevel-management-unstable-v1-client-protocol.h"
#include "ext-foreign-toplevel-list-v1-client-protocol.h"
#include "winsys/linux.h"
#include "winsys/wayland_link.h"
#include "winsys/wayland_toplevels.h"

namespace {

// get_cosmic_toplevel, which makes a COSMIC handle from a list handle,
// came with version 2 of the info protocol.
const std::uint32_t kInfoVersion = 2;
// Requests for COSMIC handles go out in batches that the socket takes
// while the compositor catches up.
const int kBatch = 512;

wl_display* display;
const char* socketName;
std::uint32_t listName, infoName, infoVersion, managerName;
ext_foreign_toplevel_list_v1* list;
zcosmic_toplevel_info_v1* info;
zcosmic_toplevel_manager_v1* manager;
bool closes;    // the manager offers close
int unstated;   // COSMIC handles whose state has not come yet
bool allStated; // there are none

// A state is no longer waited for once it has come, or its window gone.
void Settle(Toplevel* t)
{
    if (t->extension && !t->ready && !t->closed)
        allStated = --unstated == 0;
}

void HandleTitle(void* data, ext_foreign_toplevel_handle_v1*, const char* title)
{
    ToplevelTitle(static_cast<Toplevel*>(data), title);
}

void HandleDone(void* data, ext_foreign_toplevel_handle_v1*)
{
    ToplevelDone(static_cast<Toplevel*>(data));
}

void HandleClosed(void* data, ext_foreign_toplevel_handle_v1*)
{
    Toplevel* t = static_cast<Toplevel*>(data);
    Settle(t);
    t->closed = true;
}

void HandleText(void*, ext_foreign_toplevel_handle_v1*, const char*) {}

const ext_foreign_toplevel_handle_v1_listener kHandleListener = {
    .closed = HandleClosed,
    .done = HandleDone,
    .title = HandleTitle,
    .app_id = HandleText,
    .identifier = HandleText,
};

bool Holds(const wl_array* values, std::uint32_t value)
{
    const std::uint32_t* at = static_cast<const std::uint32_t*>(values->data);
    for (std::size_t i = 0; i < values->size / sizeof *at; ++i)
        if (at[i] == value)
            return true;
    return false;
}

void HandleState(void* data, zcosmic_toplevel_handle_v1*, wl_array* state)
{
    Toplevel* t = static_cast<Toplevel*>(data);
    t->activated = Holds(state, ZCOSMIC_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED);
    Settle(t);
    t->ready = true;
}

// Of a COSMIC handle's events at version 2 only the state is wanted (its
// window's title and end come on the list handle).
void CosmicEvent(void*, zcosmic_toplevel_handle_v1*) {}
void CosmicText(void*, zcosmic_toplevel_handle_v1*, const char*) {}
void CosmicOutput(void*, zcosmic_toplevel_handle_v1*, wl_output*) {}
void CosmicWorkspace(void*, zcosmic_toplevel_handle_v1*, void*) {}
void CosmicGeometry(void*, zcosmic_toplevel_handle_v1*, wl_output*, std::int32_t, std::int32_t, std::int32_t,
                    std::int32_t)
{
}

const zcosmic_toplevel_handle_v1_listener kCosmicListener = {
    .closed = CosmicEvent,
    .done = CosmicEvent,
    .title = CosmicText,
    .app_id = CosmicText,
    .output_enter = CosmicOutput,
    .output_leave = CosmicOutput,
    .workspace_enter = CosmicWorkspace,
    .workspace_leave = CosmicWorkspace,
    .state = HandleState,
    .geometry = CosmicGeometry,
};

void HandleToplevel(void*, ext_foreign_toplevel_list_v1*, ext_foreign_toplevel_handle_v1* handle)
{
    Toplevel* t = ToplevelAdd(handle);
    if (t)
        ext_foreign_toplevel_handle_v1_add_listener(handle, &kHandleListener, t);
    else
        ext_foreign_toplevel_handle_v1_destroy(handle);
}

void HandleFinished(void*, ext_foreign_toplevel_list_v1* finished)
{
    ext_foreign_toplevel_list_v1_destroy(finished);
    list = nullptr;
}

const ext_foreign_toplevel_list_v1_listener kListListener = {.toplevel = HandleToplevel,
                                                             .finished = HandleFinished};

// None of the info object's events is wanted; its done may never come on
// an idle compositor.
void InfoToplevel(void*, zcosmic_toplevel_info_v1*, zcosmic_toplevel_handle_v1*) {}
void InfoEvent(void*, zcosmic_toplevel_info_v1*) {}

const zcosmic_toplevel_info_v1_listener kInfoListener = {
    .toplevel = InfoToplevel, .finished = InfoEvent, .done = InfoEvent};

void HandleCapabilities(void*, zcosmic_toplevel_manager_v1*, wl_array* capabilities)
{
    closes = Holds(capabilities, ZCOSMIC_TOPLEVEL_MANAGER_V1_ZCOSMIC_TOPLELEVEL_MANAGEMENT_CAPABILITIES_V1_CLOSE);
}

const zcosmic_toplevel_manager_v1_listener kManagerListener = {.capabilities = HandleCapabilities};

void HandleGlobal(void*, wl_registry*, std::uint32_t name, const char* interface, std::uint32_t version)
{
    if (std::strcmp(interface, ext_foreign_toplevel_list_v1_interface.name) == 0 && !listName)
        listName = name;
    else if (std::strcmp(interface, zcosmic_toplevel_info_v1_interface.name) == 0 && !infoName) {
        infoName = name;
        infoVersion = version;
    } else if (std::strcmp(interface, zcosmic_toplevel_manager_v1_interface.name) == 0 && !managerName)
        managerName = name;
}

void HandleGlobalRemove(void*, wl_registry*, std::uint32_t) {}

const wl_registry_listener kRegistryListener = {.global = HandleGlobal, .global_remove = HandleGlobalRemove};

// A COSMIC handle, which brings the state, for every window listed that
// has none yet.
LinkResult AskStates()
{
    LinkResult result = LinkAnswered;
    for (int i = 0, asked = 0; i < ToplevelCount() && result == LinkAnswered; ++i) {
        Toplevel* t = ToplevelAt(i);
        if (t->extension || !t->handle || t->closed)
            continue;
        auto* cosmic =
            zcosmic_toplevel_info_v1_get_cosmic_toplevel(info, static_cast<ext_foreign_toplevel_handle_v1*>(t->handle));
        if (!cosmic) {
            ToplevelIncomplete();
            break;
        }
        t->extension = cosmic;
        zcosmic_toplevel_handle_v1_add_listener(cosmic, &kCosmicListener, t);
        ++unstated;
        if (++asked % kBatch == 0)
            result = LinkRoundtrip(display, OsClock() + kAnswerMs);
    }
    allStated = unstated == 0;
    return result;
}

ListOutcome EnumWindows(const char* own, WindowVisitor visit, void* context)
{
    ToplevelWatch(own);
    // The round trip brings the list (later, the windows opened since),
    // and the states follow it.
    LinkResult result = LinkRoundtrip(display, OsClock() + kAnswerMs);
    if (result == LinkAnswered)
        result = AskStates();
    if (result == LinkAnswered)
        result = LinkAwait(display, OsClock() + kAnswerMs, &allStated);
    if (result != LinkAnswered)
        return LinkUnlisted(result, socketName);
    return ToplevelOffer(socketName, true, visit, context);
}

// A window is offered, and so tracked, only once its state has come.
void Close(Toplevel* t)
{
    zcosmic_toplevel_manager_v1_close(manager, static_cast<zcosmic_toplevel_handle_v1*>(t->extension));
}

void Stop()
{
    if (list)
        ext_foreign_toplevel_list_v1_stop(list);
}

void Release(Toplevel* t)
{
    // An extension goes before the handle it extends.
    if (t->extension)
        zcosmic_toplevel_handle_v1_destroy(static_cast<zcosmic_toplevel_handle_v1*>(t->extension));
    ext_foreign_toplevel_handle_v1_destroy(static_cast<ext_foreign_toplevel_handle_v1*>(t->handle));
}

} // namespace

ConnectResult ConnectCosmic(WindowSystem* desktop, const char** where)
{
    // Only a compositor that the Wayland step reached, and that does not
    // list its windows the wlroots way, is asked.
    display = LinkUnpark(where);
    socketName = *where;
    if (!display)
        return ConnectAbsent;
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, nullptr);
    LinkResult result = LinkRoundtrip(display, OsClock() + kAnswerMs);
    // Without the manager, or with an info protocol too old to make the
    // handles it takes, nothing can be closed; once bound, the manager
    // says whether it closes windows at all.
    if (result == LinkAnswered && listName && managerName && infoVersion >= kInfoVersion) {
        manager = static_cast<zcosmic_toplevel_manager_v1*>(
            wl_registry_bind(registry, managerName, &zcosmic_toplevel_manager_v1_interface, 1));
        zcosmic_toplevel_manager_v1_add_listener(manager, &kManagerListener, nullptr);
        result = LinkRoundtrip(display, OsClock() + kAnswerMs);
    }
    if (result != LinkAnswered || !closes) {
        if (manager)
            zcosmic_toplevel_manager_v1_destroy(manager);
        manager = nullptr;
        wl_registry_destroy(registry);
        wl_display_disconnect(display);
        display = nullptr;
        if (result == LinkAnswered)
            return listName ? ConnectNoClose : ConnectNoWindowList;
        LinkTell(result, socketName);
        return ConnectDeclined;
    }
    // Binding the list starts the windows on their way.
    info = static_cast<zcosmic_toplevel_info_v1*>(
        wl_registry_bind(registry, infoName, &zcosmic_toplevel_info_v1_interface, kInfoVersion));
    zcosmic_toplevel_info_v1_add_listener(info, &kInfoListener, nullptr);
    list = static_cast<ext_foreign_toplevel_list_v1*>(
        wl_registry_bind(registry, listName, &ext_foreign_toplevel_list_v1_interface, 1));
    ext_foreign_toplevel_list_v1_add_listener(list, &kListListener, nullptr);
    wl_registry_destroy(registry);
    ToplevelsServe(desktop, display,
                   {.enumWindows = EnumWindows, .close = Close, .stop = Stop, .release = Release});
    return ConnectDone;
}
