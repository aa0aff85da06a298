// A stand-in for cosmic-comp, which can't run here: the three globals it
// shows ordinary programs, at its versions, and windows announced,
// described and closed as it does them. In XDG_RUNTIME_DIR: the Wayland
// socket "cosmic", and the control socket "cosmic-control", on which each
// row's window helper (systems/cosmic.sh) sends FLAGS:TITLE, gets its
// windows' log back (as wlhelper.cpp logs), and keeps them open
// until it closes the connection.
//
// FLAGS, comma-separated: keep (ignores the close), *N (N copies), nostate
// (its state never comes), nomanager (while it is open, clients that
// connect see no manager). FLAGS "focus": the window titled TITLE takes the
// focus, as a new window does.

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "cosmic-toplevel-info-unstable-v1-server-protocol.h"
#include "cosmic-toplevel-management-unstable-v1-server-protocol.h"
#include "ext-foreign-toplevel-list-v1-server-protocol.h"

namespace {

struct Window {
    int helper, id; // its helper's connection, which gets its log
    std::string flags, title;
    bool open, activated;
    std::vector<wl_resource*> handles; // on every client's list
};

std::vector<Window*> windows;              // the oldest opened first
std::vector<wl_resource*> lists, unstated; // and COSMIC handles whose state has not gone out

void Unmap(Window* w)
{
    w->open = false;
    for (wl_resource* handle : w->handles)
        ext_foreign_toplevel_handle_v1_send_closed(handle);
}

// The only request of both kinds of handle: destroy.
const struct ext_foreign_toplevel_handle_v1_interface kHandle = {
    .destroy = [](wl_client*, wl_resource* resource) { wl_resource_destroy(resource); }};

void Announce(wl_resource* list, Window* w)
{
    wl_client* client = wl_resource_get_client(list);
    wl_resource* handle = wl_resource_create(client, &ext_foreign_toplevel_handle_v1_interface, 1, 0);
    wl_resource_set_implementation(handle, &kHandle, w, [](wl_resource* r) {
        std::erase(static_cast<Window*>(wl_resource_get_user_data(r))->handles, r);
    });
    w->handles.push_back(handle);
    ext_foreign_toplevel_list_v1_send_toplevel(list, handle);
    // 32 letters and digits, as cosmic-comp's (which are random).
    ext_foreign_toplevel_handle_v1_send_identifier(handle, (std::string(24, 'W') + std::to_string(w->id + 10000000)).c_str());
    // The title goes whole, as cosmic-comp sends it: libwayland-server 1.21
    // can't send a message over 4 KiB, so it is written to the socket here,
    // after what was queued before it.
    std::uint32_t size = 12 + static_cast<std::uint32_t>(w->title.size() + 4) / 4 * 4; // with its zero byte
    std::vector<std::uint32_t> title = {wl_resource_get_id(handle), size << 16 | EXT_FOREIGN_TOPLEVEL_HANDLE_V1_TITLE,
                                        static_cast<std::uint32_t>(w->title.size() + 1)};
    title.resize(size / 4);
    std::memcpy(&title[3], w->title.data(), w->title.size());
    wl_client_flush(client);
    write(wl_client_get_fd(client), title.data(), size);
    ext_foreign_toplevel_handle_v1_send_app_id(handle, "standin");
    ext_foreign_toplevel_handle_v1_send_done(handle);
}

// A state goes out at the compositor's next refresh, after the answer to
// the round trip that asked for it, followed by done on the window's
// handles. The windows of a helper that has gone go too.
int Refresh(void* timer)
{
    for (Window* w : windows)
        if (pollfd p = {.fd = w->helper, .events = 0, .revents = 0}; w->open && poll(&p, 1, 0) > 0)
            Unmap(w);
    std::erase_if(unstated, [](wl_resource* cosmic) {
        auto* w = static_cast<Window*>(wl_resource_get_user_data(cosmic));
        if (!w->open || w->flags.find("nostate") != std::string::npos)
            return false;
        std::uint32_t activated = ZCOSMIC_TOPLEVEL_HANDLE_V1_STATE_ACTIVATED;
        wl_array state = {.size = w->activated ? sizeof activated : 0, .alloc = sizeof activated, .data = &activated};
        zcosmic_toplevel_handle_v1_send_state(cosmic, &state);
        for (wl_resource* handle : w->handles)
            ext_foreign_toplevel_handle_v1_send_done(handle);
        return true;
    });
    return wl_event_source_timer_update(*static_cast<wl_event_source**>(timer), 120);
}

// Each global's data: the implementation of what is bound to it (so not
// const).
struct ext_foreign_toplevel_list_v1_interface kList = {
    .stop = [](wl_client*, wl_resource* r) { std::erase(lists, r); ext_foreign_toplevel_list_v1_send_finished(r); },
    .destroy = kHandle.destroy};
struct zcosmic_toplevel_info_v1_interface kInfo = {
    .stop = [](wl_client*, wl_resource* r) { zcosmic_toplevel_info_v1_send_finished(r); },
    .get_cosmic_toplevel = [](wl_client* client, wl_resource* info, std::uint32_t id, wl_resource* handle) {
        wl_resource* cosmic =
            wl_resource_create(client, &zcosmic_toplevel_handle_v1_interface, wl_resource_get_version(info), id);
        wl_resource_set_implementation(cosmic, &kHandle, wl_resource_get_user_data(handle),
                                       [](wl_resource* r) { std::erase(unstated, r); });
        unstated.push_back(cosmic);
    }};
struct zcosmic_toplevel_manager_v1_interface kManager = {
    .destroy = kHandle.destroy, .close = [](wl_client*, wl_resource*, wl_resource* cosmic) {
        auto* w = static_cast<Window*>(wl_resource_get_user_data(cosmic));
        // cosmic-comp panics on a close for a window that has gone; a
        // handle whose state never went out may have been made for one.
        if (!w->open || std::ranges::find(unstated, cosmic) != unstated.end()) {
            std::fprintf(stderr, "panic: a close for window %08X, %s\n", w->id, w->open ? "stateless" : "gone");
            std::_Exit(101);
        }
        dprintf(w->helper, "close %08X\n", w->id);
        if (w->flags.find("keep") == std::string::npos) {
            Unmap(w);
            dprintf(w->helper, "destroyed %08X\n", w->id);
        }
    }};

void Bind(wl_client* client, void* implementation, std::uint32_t version, std::uint32_t id)
{
    const wl_interface* interface = implementation == &kList   ? &ext_foreign_toplevel_list_v1_interface
                                    : implementation == &kInfo ? &zcosmic_toplevel_info_v1_interface
                                                               : &zcosmic_toplevel_manager_v1_interface;
    wl_resource* resource = wl_resource_create(client, interface, static_cast<int>(version), id);
    wl_resource_set_implementation(resource, implementation, nullptr, [](wl_resource* r) { std::erase(lists, r); });
    std::uint32_t capabilities[] = {1, 2, 3, 4, 6};
    wl_array array = {.size = sizeof capabilities, .alloc = sizeof capabilities, .data = capabilities};
    if (implementation == &kManager)
        zcosmic_toplevel_manager_v1_send_capabilities(resource, &array);
    if (implementation != &kList)
        return;
    // libwayland-server drops a client whose socket is full, as 2,000
    // windows fill one: this one takes them (as root).
    int room = 8 << 20;
    setsockopt(wl_client_get_fd(client), SOL_SOCKET, SO_SNDBUFFORCE, &room, sizeof room);
    lists.push_back(resource);
    for (Window* w : windows)
        if (w->open)
            Announce(resource, w);
}

// A helper's windows, opened as it says, the newest with the focus. Its
// connection stays open here (a test run makes some hundred).
int Accept(int control, std::uint32_t, void*)
{
    int fd = accept4(control, nullptr, nullptr, SOCK_CLOEXEC);
    char request[65536] = {};
    recv(fd, request, sizeof request - 1, 0);
    std::string flags(request, std::strcspn(request, ":")), title(request + flags.size() + 1);
    // *N anywhere in the flags, else one.
    int copies = flags == "focus" ? 0 : std::max(1, std::atoi(flags.c_str() + flags.find('*') + 1));
    for (int k = 0; k < copies; ++k) {
        windows.push_back(new Window{fd, static_cast<int>(windows.size() + 1), flags, title, true, false, {}});
        for (wl_resource* list : lists)
            Announce(list, windows.back());
        if (copies == 1)
            dprintf(fd, "window %08X %s\n", windows.back()->id, title.c_str());
    }
    for (Window* w : windows)
        w->activated = copies ? w == windows.back() : w->open && w->title == title;
    dprintf(fd, "ready\n");
    return 0;
}

} // namespace

int main()
{
    // cosmic-comp's versions; the files are written out to the tool's.
    static wl_interface info = zcosmic_toplevel_info_v1_interface, manager = zcosmic_toplevel_manager_v1_interface;
    info.version = 3;
    manager.version = 4;
    std::signal(SIGPIPE, SIG_IGN); // a helper that has gone
    wl_display* display = wl_display_create();
    wl_event_loop* loop = wl_display_get_event_loop(display);
    sockaddr_un control = {.sun_family = AF_UNIX, .sun_path = {}};
    std::snprintf(control.sun_path, sizeof control.sun_path, "%s/cosmic-control", std::getenv("XDG_RUNTIME_DIR"));
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (wl_display_add_socket(display, "cosmic") || bind(fd, reinterpret_cast<sockaddr*>(&control), sizeof control) ||
        listen(fd, 64))
        return 1;
    wl_global_create(display, &info, 3, &kInfo, Bind);
    wl_global_create(display, &ext_foreign_toplevel_list_v1_interface, 1, &kList, Bind);
    wl_global* managerGlobal = wl_global_create(display, &manager, 4, &kManager, Bind);
    wl_display_set_global_filter(display, [](const wl_client*, const wl_global* global, void* hidden) {
        return global != hidden || std::ranges::none_of(windows, [](Window* w) {
            return w->open && w->flags.find("nomanager") != std::string::npos;
        });
    }, managerGlobal);
    wl_event_loop_add_fd(loop, fd, WL_EVENT_READABLE, Accept, nullptr);
    static wl_event_source* refresh = wl_event_loop_add_timer(loop, Refresh, &refresh);
    wl_event_source_timer_update(refresh, 120);
    write(STDOUT_FILENO, "ready\n", 6);
    wl_display_run(display);
}
