// Opens Wayland windows (xdg-shell toplevels) for the end-to-end tests and
// benchmarks and logs, on standard output, every close request they receive.
//
//   wlhelper SECONDS FLAGS:TITLE...
//
// FLAGS, a comma-separated list of words, any of (others are ignored):
//   keep  logs the close request but keeps its window
//   *N    this window N times (benchmarks), with no "window" lines
// Without keep, a window destroys itself when asked to close. An empty TITLE
// sets no title at all.
//
// Prints "window ID TITLE" for each window (ID its place in the order given,
// from 1, in eight hex digits: the compositor's own names are not known
// here), then "ready" once every window is configured and shows a buffer,
// as far as the compositor knows. Logs "close ID NANOSECONDS" (monotonic
// clock) on each close request, "destroyed ID" when it destroys a window, and
// "disconnected" if the compositor drops it. Ends, printing "exit", after
// SECONDS or once every window that closes on request has closed.

#include <poll.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <wayland-client.h>

#include "xdg-shell-client-protocol.h"

namespace {

const int kSide = 32; // every window shows the same small square

wl_display* display;
wl_compositor* compositor;
wl_shm* shm;
xdg_wm_base* wmBase;
wl_shm_pool* pool;

struct Window {
    unsigned id;
    std::string title;
    bool closes;
    bool configured;
    bool open;
    wl_surface* surface;
    xdg_surface* xdgSurface;
    xdg_toplevel* toplevel;
    wl_buffer* buffer;
};

int configured;
int closable;

void Log(const char* format, unsigned id = 0, const char* text = "")
{
    std::printf(format, id, text);
    std::fflush(stdout);
}

long long NowNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

void Global(void*, wl_registry* registry, uint32_t name, const char* interface, uint32_t)
{
    if (std::strcmp(interface, wl_compositor_interface.name) == 0)
        compositor = static_cast<wl_compositor*>(wl_registry_bind(registry, name, &wl_compositor_interface, 1));
    else if (std::strcmp(interface, wl_shm_interface.name) == 0)
        shm = static_cast<wl_shm*>(wl_registry_bind(registry, name, &wl_shm_interface, 1));
    else if (std::strcmp(interface, xdg_wm_base_interface.name) == 0)
        wmBase = static_cast<xdg_wm_base*>(wl_registry_bind(registry, name, &xdg_wm_base_interface, 1));
}

void GlobalRemove(void*, wl_registry*, uint32_t) {}

const wl_registry_listener kRegistryListener = {Global, GlobalRemove};

void Ping(void*, xdg_wm_base* base, uint32_t serial)
{
    xdg_wm_base_pong(base, serial);
}

const xdg_wm_base_listener kWmBaseListener = {Ping};

void SurfaceConfigure(void* data, xdg_surface* surface, uint32_t serial)
{
    Window* w = static_cast<Window*>(data);
    xdg_surface_ack_configure(surface, serial);
    // A toplevel is mapped by its first commit with a buffer.
    if (!w->configured) {
        wl_surface_attach(w->surface, w->buffer, 0, 0);
        wl_surface_damage(w->surface, 0, 0, kSide, kSide);
        w->configured = true;
        ++configured;
    }
    wl_surface_commit(w->surface);
}

const xdg_surface_listener kSurfaceListener = {SurfaceConfigure};

void ToplevelConfigure(void*, xdg_toplevel*, int32_t, int32_t, wl_array*) {}

void ToplevelClose(void* data, xdg_toplevel*)
{
    Window* w = static_cast<Window*>(data);
    std::printf("close %08X %lld\n", w->id, NowNs());
    std::fflush(stdout);
    if (!w->closes || !w->open)
        return;
    xdg_toplevel_destroy(w->toplevel);
    xdg_surface_destroy(w->xdgSurface);
    wl_surface_destroy(w->surface);
    wl_buffer_destroy(w->buffer);
    w->open = false;
    --closable;
    Log("destroyed %08X\n", w->id);
}

void ToplevelBounds(void*, xdg_toplevel*, int32_t, int32_t) {}

void ToplevelCapabilities(void*, xdg_toplevel*, wl_array*) {}

const xdg_toplevel_listener kToplevelListener = {ToplevelConfigure, ToplevelClose, ToplevelBounds,
                                                 ToplevelCapabilities};

bool MakePool()
{
    const int size = kSide * kSide * 4;
    int fd = memfd_create("wlhelper", MFD_CLOEXEC);
    if (fd < 0 || ftruncate(fd, size) != 0)
        return false;
    void* pixels = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (pixels == MAP_FAILED)
        return false;
    std::memset(pixels, 0x80, size);
    munmap(pixels, size);
    pool = wl_shm_create_pool(shm, fd, size);
    close(fd);
    return true;
}

void Open(Window& w)
{
    // Every window has a buffer of its own over the same pixels.
    w.buffer = wl_shm_pool_create_buffer(pool, 0, kSide, kSide, kSide * 4, WL_SHM_FORMAT_XRGB8888);
    w.surface = wl_compositor_create_surface(compositor);
    w.xdgSurface = xdg_wm_base_get_xdg_surface(wmBase, w.surface);
    xdg_surface_add_listener(w.xdgSurface, &kSurfaceListener, &w);
    w.toplevel = xdg_surface_get_toplevel(w.xdgSurface);
    xdg_toplevel_add_listener(w.toplevel, &kToplevelListener, &w);
    if (!w.title.empty())
        xdg_toplevel_set_title(w.toplevel, w.title.c_str());
    wl_surface_commit(w.surface); // asks for the first configure
    w.open = true;
}

// Reads and handles what arrives within the time given; false once the
// compositor has dropped the connection.
bool Serve(int milliseconds)
{
    while (wl_display_prepare_read(display) != 0)
        if (wl_display_dispatch_pending(display) < 0)
            return false;
    wl_display_flush(display);
    pollfd fd = {wl_display_get_fd(display), POLLIN, 0};
    if (poll(&fd, 1, milliseconds) > 0)
        wl_display_read_events(display);
    else
        wl_display_cancel_read(display);
    return wl_display_dispatch_pending(display) >= 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: wlhelper SECONDS FLAGS:TITLE...\n");
        return 2;
    }
    display = wl_display_connect(nullptr);
    if (!display) {
        std::fprintf(stderr, "wlhelper: no Wayland display\n");
        return 1;
    }
    wl_registry* registry = wl_display_get_registry(display);
    wl_registry_add_listener(registry, &kRegistryListener, nullptr);
    wl_display_roundtrip(display);
    if (!compositor || !shm || !wmBase || !MakePool()) {
        std::fprintf(stderr, "wlhelper: the compositor lacks wl_compositor, wl_shm or xdg_wm_base\n");
        return 1;
    }
    xdg_wm_base_add_listener(wmBase, &kWmBaseListener, nullptr);

    struct Asked {
        std::string title;
        bool keep;
        int copies;
    };
    std::vector<Asked> asked;
    std::size_t total = 0;
    for (int a = 2; a < argc; ++a) {
        std::string arg = argv[a];
        std::size_t colon = arg.find(':');
        std::string flags = arg.substr(0, colon), title = colon == std::string::npos ? "" : arg.substr(colon + 1);
        Asked one = {title, false, 1};
        for (std::size_t at = 0; at <= flags.size();) {
            std::size_t comma = flags.find(',', at);
            std::string word = flags.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
            if (word == "keep")
                one.keep = true;
            else if (!word.empty() && word[0] == '*')
                one.copies = std::atoi(word.c_str() + 1);
            at = comma == std::string::npos ? flags.size() + 1 : comma + 1;
        }
        asked.push_back(one);
        total += static_cast<std::size_t>(one.copies > 0 ? one.copies : 0);
    }
    std::vector<Window> windows(total); // never grows: the listeners hold pointers
    std::size_t next = 0;
    for (const Asked& one : asked) {
        for (int k = 0; k < one.copies; ++k) {
            Window& w = windows[next++];
            w.id = static_cast<unsigned>(next);
            w.title = one.title;
            w.closes = !one.keep;
            closable += w.closes;
            Open(w);
            if (one.copies == 1)
                Log("window %08X %s\n", w.id, w.title.c_str());
            // libwayland gives up on a full socket: let the compositor catch up.
            if (next % 64 == 0 && wl_display_roundtrip(display) < 0)
                break;
        }
    }
    wl_display_flush(display);

    const int closableAtStart = closable;
    const long long end = NowNs() + std::atoll(argv[1]) * 1000000000LL;
    bool ready = false;
    for (;;) {
        if (!ready && configured == static_cast<int>(total)) {
            // The buffers are committed; once the compositor answers, it has
            // taken them in and mapped every window.
            if (wl_display_roundtrip(display) < 0)
                break;
            Log("ready\n");
            ready = true;
        }
        if (closableAtStart > 0 && closable == 0)
            break;
        long long left = (end - NowNs()) / 1000000;
        if (left <= 0)
            break;
        if (!Serve(static_cast<int>(left < 1000 ? left : 1000)))
            break;
    }
    if (wl_display_get_error(display)) {
        Log("disconnected\n");
        return 0;
    }
    Log("exit\n");
    wl_display_disconnect(display);
    return 0;
}
