// Opens X windows for the end-to-end tests and benchmarks and logs, on
// standard output, every close request they receive.
//
//   xhelper SECONDS FLAGS:TITLE...
//
// A window's title goes into _NET_WM_NAME and WM_NAME, and it closes when it
// receives WM_DELETE_WINDOW. FLAGS, comma-separated, change that:
//   hidden         never mapped        keep      ignores WM_DELETE_WINDOW
//   noclose        no WM_PROTOCOLS     manyprotocols  70 of them, WM_DELETE_WINDOW last
//   wmname         WM_NAME only        legacy    WM_NAME "Legacy name"
//   nulnet         _NET_WM_NAME is one zero byte
//   framed         inside a frame window of its own, marked as a managed client
//   dock           typed as a dock (a panel)
//   listonly       the helper acts as a window manager that publishes
//                  _NET_CLIENT_LIST but no stacking list
//   *N             N copies, not logged one by one (benchmarks)
// Logs "window ID TITLE" (ID in eight hex digits), "ready" once all mapped
// windows are on screen, "close ID NANOSECONDS" (monotonic clock) for each
// WM_DELETE_WINDOW, "destroyed ID", "disconnected" if the server drops it,
// "exit". Ends after SECONDS or once every window that closes has closed.

#include <xcb/xcb.h>

#include <poll.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

xcb_connection_t* c;
xcb_window_t root;

xcb_atom_t Atom(const char* name)
{
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
    xcb_atom_t atom = r ? r->atom : XCB_NONE;
    std::free(r);
    return atom;
}

void SetProperty(xcb_window_t w, xcb_atom_t property, xcb_atom_t type, int format, std::size_t count,
                 const void* data)
{
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, property, type, static_cast<uint8_t>(format),
                        static_cast<uint32_t>(count), data);
}

long long NowNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

struct Window {
    xcb_window_t id;
    xcb_window_t top; // the frame, if it has one
    bool closes;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: xhelper SECONDS FLAGS:TITLE...\n");
        return 2;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "xhelper: no display\n");
        return 1;
    }
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    root = screen->root;
    const xcb_atom_t netWmName = Atom("_NET_WM_NAME"), utf8 = Atom("UTF8_STRING"), protocols = Atom("WM_PROTOCOLS"),
                     deleteWindow = Atom("WM_DELETE_WINDOW"), wmState = Atom("WM_STATE");

    std::vector<Window> windows;
    std::vector<xcb_window_t> listed;
    int waitingForMap = 0, closable = 0;
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    for (int a = 2; a < argc; ++a) {
        std::string arg = argv[a];
        std::size_t colon = arg.find(':');
        std::string flags = "," + arg.substr(0, colon) + ",";
        std::string title = colon == std::string::npos ? "" : arg.substr(colon + 1);
        auto has = [&flags](const char* flag) { return flags.find(std::string(",") + flag + ",") != std::string::npos; };
        std::size_t star = flags.find(",*");
        int copies = star == std::string::npos ? 1 : std::atoi(flags.c_str() + star + 2);
        for (int k = 0; k < copies; ++k) {
            xcb_window_t top = root;
            if (has("framed")) {
                top = xcb_generate_id(c);
                xcb_create_window(c, XCB_COPY_FROM_PARENT, top, root, 0, 0, 200, 100, 0,
                                  XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
            }
            // Painted, so that an XWayland compositor shows and lists it.
            xcb_window_t w = xcb_generate_id(c);
            const uint32_t values[2] = {screen->white_pixel, mask};
            xcb_create_window(c, XCB_COPY_FROM_PARENT, w, top, 0, 0, 200, 100, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                              XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL | XCB_CW_EVENT_MASK, values);
            if (top == root)
                top = w;
            if (!title.empty() && !has("wmname"))
                SetProperty(w, netWmName, utf8, 8, has("nulnet") ? 1 : title.size(), has("nulnet") ? "" : title.data());
            if (!title.empty() && !has("legacy"))
                SetProperty(w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, title.size(), title.data());
            if (has("legacy"))
                SetProperty(w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, 8, 11, "Legacy name");
            if (has("manyprotocols")) {
                std::vector<xcb_atom_t> many;
                for (int i = 0; i < 69; ++i)
                    many.push_back(Atom(("_VANTREL_TEST_PROTOCOL_" + std::to_string(i)).c_str()));
                many.push_back(deleteWindow);
                SetProperty(w, protocols, XCB_ATOM_ATOM, 32, many.size(), many.data());
            } else if (!has("noclose")) {
                SetProperty(w, protocols, XCB_ATOM_ATOM, 32, 1, &deleteWindow);
            }
            if (has("dock")) {
                xcb_atom_t dock = Atom("_NET_WM_WINDOW_TYPE_DOCK");
                SetProperty(w, Atom("_NET_WM_WINDOW_TYPE"), XCB_ATOM_ATOM, 32, 1, &dock);
            }
            if (has("framed")) {
                const uint32_t normal[2] = {1, 0};
                SetProperty(w, wmState, wmState, 32, 2, normal);
                xcb_map_window(c, w);
            }
            if (!has("hidden")) {
                xcb_map_window(c, top);
                ++waitingForMap;
            }
            bool closes = !has("keep") && !has("noclose");
            closable += closes;
            windows.push_back({w, top, closes});
            if (has("listonly"))
                listed.push_back(w);
            if (copies == 1)
                std::printf("window %08X %s\n", w, title.c_str());
        }
    }
    if (!listed.empty()) {
        // A window manager in the manner of dwm: a live check window and a
        // client list, but no stacking list.
        xcb_window_t check = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, check, root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          XCB_COPY_FROM_PARENT, 0, nullptr);
        const xcb_atom_t supportingCheck = Atom("_NET_SUPPORTING_WM_CHECK");
        SetProperty(check, supportingCheck, XCB_ATOM_WINDOW, 32, 1, &check);
        SetProperty(root, supportingCheck, XCB_ATOM_WINDOW, 32, 1, &check);
        SetProperty(root, Atom("_NET_CLIENT_LIST"), XCB_ATOM_WINDOW, 32, listed.size(), listed.data());
    }
    xcb_flush(c);

    const int closableAtStart = closable;
    const long long end = NowNs() + std::atoll(argv[1]) * 1000000000LL;
    pollfd fd = {xcb_get_file_descriptor(c), POLLIN, 0};
    bool ready = false;
    for (;;) {
        // Round trips above may have queued events already: take those first.
        while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
            unsigned type = e->response_type & 0x7F;
            if (type == XCB_MAP_NOTIFY) {
                auto* m = reinterpret_cast<xcb_map_notify_event_t*>(e);
                for (const Window& w : windows)
                    waitingForMap -= m->window == w.top && m->event == w.top;
            } else if (type == XCB_CLIENT_MESSAGE) {
                auto* m = reinterpret_cast<xcb_client_message_event_t*>(e);
                if (m->type == protocols && m->data.data32[0] == deleteWindow) {
                    std::printf("close %08X %lld\n", m->window, NowNs());
                    for (Window& w : windows)
                        if (w.id == m->window && w.closes) {
                            xcb_destroy_window(c, w.top);
                            std::printf("destroyed %08X\n", w.id);
                            w.closes = false;
                            --closable;
                        }
                    xcb_flush(c);
                }
            }
            std::free(e);
        }
        if (xcb_connection_has_error(c)) {
            std::printf("disconnected\n");
            return 0;
        }
        if (!ready && waitingForMap <= 0) {
            std::printf("ready\n");
            ready = true;
        }
        if (closableAtStart > 0 && closable == 0)
            break;
        long long left = (end - NowNs()) / 1000000;
        if (left <= 0)
            break;
        poll(&fd, 1, static_cast<int>(left));
    }
    std::printf("exit\n");
    xcb_disconnect(c);
    return 0;
}
