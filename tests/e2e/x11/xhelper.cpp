// Opens X windows for the end-to-end tests and benchmarks and logs, on
// standard output, every close request they receive.
//
//   xhelper SECONDS FLAGS:TITLE...
//
// FLAGS, any of:
//   n  title in _NET_WM_NAME          w  title in WM_NAME
//   o  WM_NAME "Legacy name" instead  (with n: the two names differ)
//   d  lists WM_DELETE_WINDOW in WM_PROTOCOLS and closes on it
//   i  lists WM_DELETE_WINDOW but ignores it (keeps its window)
//   u  never mapped
//   f  inside a frame window of its own, marked as a managed client
//   *N repeat this window N times (benchmarks)
//
// Prints "window ID TITLE" for each window (ID in eight hex digits), then
// "ready" once all mapped windows are on screen. Logs
// "WM_DELETE_WINDOW ID NANOSECONDS" (monotonic clock) on each request,
// "destroyed ID" when it closes a window, and "disconnected" if the server
// drops it. Ends after SECONDS or once every d window is closed.

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

void Log(const char* format, unsigned id, const char* text = "")
{
    std::printf(format, id, text);
    std::fflush(stdout);
}

void SetText(xcb_window_t w, xcb_atom_t property, xcb_atom_t type, const std::string& text)
{
    xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, property, type, 8, static_cast<uint32_t>(text.size()),
                        text.data());
}

struct Window {
    xcb_window_t id;
    xcb_window_t top; // the frame, if it has one
    bool closes;      // flag d
};

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: xhelper SECONDS FLAGS:TITLE...\n");
        return 2;
    }
    c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "xhelper: no display\n");
        return 1;
    }
    root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    const xcb_atom_t netWmName = Atom("_NET_WM_NAME"), utf8 = Atom("UTF8_STRING"), protocols = Atom("WM_PROTOCOLS"),
                     deleteWindow = Atom("WM_DELETE_WINDOW"), wmState = Atom("WM_STATE");

    std::vector<Window> windows;
    int waitingForMap = 0, closable = 0;
    const uint32_t mask = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    for (int a = 2; a < argc; ++a) {
        std::string arg = argv[a];
        std::size_t colon = arg.find(':');
        std::string flags = arg.substr(0, colon), title = colon == std::string::npos ? "" : arg.substr(colon + 1);
        auto has = [&flags](char flag) { return flags.find(flag) != std::string::npos; };
        std::size_t star = flags.find('*');
        int copies = star == std::string::npos ? 1 : std::atoi(flags.c_str() + star + 1);
        for (int k = 0; k < copies; ++k) {
            xcb_window_t top = root;
            if (has('f')) {
                top = xcb_generate_id(c);
                xcb_create_window(c, XCB_COPY_FROM_PARENT, top, root, 0, 0, 200, 100, 0,
                                  XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
            }
            xcb_window_t w = xcb_generate_id(c);
            xcb_create_window(c, XCB_COPY_FROM_PARENT, w, top, 0, 0, 200, 100, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                              XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &mask);
            if (top == root)
                top = w;
            if (has('n'))
                SetText(w, netWmName, utf8, title);
            if (has('w'))
                SetText(w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, title);
            if (has('o'))
                SetText(w, XCB_ATOM_WM_NAME, XCB_ATOM_STRING, "Legacy name");
            if (has('d') || has('i'))
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, protocols, XCB_ATOM_ATOM, 32, 1, &deleteWindow);
            if (has('f')) {
                const uint32_t normal[2] = {1, 0};
                xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, wmState, wmState, 32, 2, normal);
                xcb_map_window(c, w);
            }
            if (!has('u')) {
                xcb_map_window(c, top);
                ++waitingForMap;
            }
            closable += has('d');
            windows.push_back({w, top, has('d')});
            if (copies == 1)
                Log("window %08X %s\n", w, title.c_str());
        }
    }
    xcb_flush(c);

    const int closableAtStart = closable;
    timespec now, end;
    clock_gettime(CLOCK_MONOTONIC, &end);
    end.tv_sec += std::atol(argv[1]);
    pollfd fd = {xcb_get_file_descriptor(c), POLLIN, 0};
    bool ready = false;
    for (;;) {
        if (!ready && waitingForMap <= 0) {
            Log("ready\n", 0);
            ready = true;
        }
        if (closableAtStart > 0 && closable == 0)
            break;
        clock_gettime(CLOCK_MONOTONIC, &now);
        long left = (end.tv_sec - now.tv_sec) * 1000 + (end.tv_nsec - now.tv_nsec) / 1000000;
        if (left <= 0)
            break;
        if (poll(&fd, 1, static_cast<int>(left)) <= 0)
            continue;
        while (xcb_generic_event_t* e = xcb_poll_for_event(c)) {
            unsigned type = e->response_type & 0x7F;
            if (type == XCB_MAP_NOTIFY) {
                auto* m = reinterpret_cast<xcb_map_notify_event_t*>(e);
                for (const Window& w : windows)
                    waitingForMap -= m->window == w.top && m->event == w.top;
            } else if (type == XCB_CLIENT_MESSAGE) {
                auto* m = reinterpret_cast<xcb_client_message_event_t*>(e);
                if (m->type == protocols && m->data.data32[0] == deleteWindow) {
                    clock_gettime(CLOCK_MONOTONIC, &now);
                    std::printf("WM_DELETE_WINDOW %08X %lld\n", m->window,
                                static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
                    std::fflush(stdout);
                    for (Window& w : windows)
                        if (w.id == m->window && w.closes) {
                            xcb_destroy_window(c, w.top);
                            Log("destroyed %08X\n", w.id);
                            w.closes = false;
                            --closable;
                        }
                    xcb_flush(c);
                }
            }
            std::free(e);
        }
        if (xcb_connection_has_error(c)) {
            Log("disconnected\n", 0);
            return 0;
        }
    }
    Log("exit\n", 0);
    xcb_disconnect(c);
    return 0;
}
