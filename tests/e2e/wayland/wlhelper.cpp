// Opens Wayland windows (xdg-shell toplevels) for the end-to-end tests and
// benchmarks and logs, on standard output, every close request they receive.
//
//   wlhelper SECONDS FLAGS:TITLE...
//
// FLAGS, comma-separated: keep (logs the close request, keeps the window),
// *N (N copies, not logged one by one: benchmarks). An empty TITLE sets none.
// Logs "window ID TITLE" (ID its place in the order given, from 1, in eight
// hex digits: the compositor's names are not known here), "ready" once every
// window is mapped, "close ID NANOSECONDS" (monotonic clock) for each close
// request, "destroyed ID", "exit". Ends after SECONDS, or once every window
// that closes on request has closed.

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
wl_buffer* buffer;
int configured, closable;

struct Window {
    unsigned id;
    bool closes, configured, open;
    wl_surface* surface;
    xdg_surface* xdgSurface;
    xdg_toplevel* toplevel;
};

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
        wl_surface_attach(w->surface, buffer, 0, 0);
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
    if (w->closes && w->open) {
        xdg_toplevel_destroy(w->toplevel);
        xdg_surface_destroy(w->xdgSurface);
        wl_surface_destroy(w->surface);
        w->open = false;
        --closable;
        std::printf("destroyed %08X\n", w->id);
    }
}
const xdg_toplevel_listener kToplevelListener = {ToplevelConfigure, ToplevelClose, nullptr, nullptr};

// One buffer over a few grey pixels, shown by every window.
bool MakeBuffer()
{
    const int size = kSide * kSide * 4;
    int fd = memfd_create("wlhelper", MFD_CLOEXEC);
    void* pixels = fd >= 0 && ftruncate(fd, size) == 0
                       ? mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                       : MAP_FAILED;
    if (pixels == MAP_FAILED)
        return false;
    std::memset(pixels, 0x80, size);
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, size);
    buffer = wl_shm_pool_create_buffer(pool, 0, kSide, kSide, kSide * 4, WL_SHM_FORMAT_XRGB8888);
    close(fd);
    return true;
}

void Open(Window& w, const std::string& title)
{
    w.surface = wl_compositor_create_surface(compositor);
    w.xdgSurface = xdg_wm_base_get_xdg_surface(wmBase, w.surface);
    xdg_surface_add_listener(w.xdgSurface, &kSurfaceListener, &w);
    w.toplevel = xdg_surface_get_toplevel(w.xdgSurface);
    xdg_toplevel_add_listener(w.toplevel, &kToplevelListener, &w);
    if (!title.empty())
        xdg_toplevel_set_title(w.toplevel, title.c_str());
    wl_surface_commit(w.surface); // asks for the first configure
    w.open = true;
}

} // namespace

int main(int argc, char** argv)
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    display = argc >= 2 ? wl_display_connect(nullptr) : nullptr;
    if (!display) {
        std::fprintf(stderr, "usage: wlhelper SECONDS FLAGS:TITLE... (on a Wayland display)\n");
        return 2;
    }
    wl_registry_add_listener(wl_display_get_registry(display), &kRegistryListener, nullptr);
    wl_display_roundtrip(display);
    if (!compositor || !shm || !wmBase || !MakeBuffer()) {
        std::fprintf(stderr, "wlhelper: the compositor lacks wl_compositor, wl_shm or xdg_wm_base\n");
        return 1;
    }
    xdg_wm_base_add_listener(wmBase, &kWmBaseListener, nullptr);

    std::vector<Window> windows(4096); // never moves: the listeners hold pointers
    unsigned count = 0;
    for (int a = 2; a < argc; ++a) {
        std::string arg = argv[a], flags = "," + arg.substr(0, arg.find(':')) + ",";
        std::string title = arg.find(':') == std::string::npos ? "" : arg.substr(arg.find(':') + 1);
        std::size_t star = flags.find(",*");
        int copies = star == std::string::npos ? 1 : std::atoi(flags.c_str() + star + 2);
        for (int k = 0; k < copies && count < windows.size(); ++k) {
            Window& w = windows[count];
            w.id = ++count;
            w.closes = flags.find(",keep,") == std::string::npos;
            closable += w.closes;
            Open(w, title);
            if (copies == 1)
                std::printf("window %08X %s\n", w.id, title.c_str());
            // libwayland gives up on a full socket: let the compositor catch up.
            if (count % 64 == 0)
                wl_display_roundtrip(display);
        }
    }

    const int closableAtStart = closable;
    const long long end = NowNs() + std::atoll(argv[1]) * 1000000000LL;
    for (bool ready = false; !(closableAtStart > 0 && closable == 0) && NowNs() < end;) {
        if (!ready && configured == static_cast<int>(count) && wl_display_roundtrip(display) >= 0) {
            // The compositor has taken in every buffer: each window is mapped.
            std::printf("ready\n");
            ready = true;
        }
        if (wl_display_prepare_read(display) != 0) {
            if (wl_display_dispatch_pending(display) < 0)
                break;
            continue;
        }
        wl_display_flush(display);
        pollfd fd = {wl_display_get_fd(display), POLLIN, 0};
        if (poll(&fd, 1, 200) > 0)
            wl_display_read_events(display);
        else
            wl_display_cancel_read(display);
        if (wl_display_dispatch_pending(display) < 0)
            break;
    }
    std::printf("exit\n");
    return 0;
}
