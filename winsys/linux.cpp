// Linux: one program for every window system, chosen when the tool runs.

#include <cstdio>

#include "core/core.h"
#include "winsys/linux.h"

namespace {

const struct {
    const char* name;
    ConnectResult (*connect)(WindowSystem*, const char**);
    bool native;  // lists the Wayland compositor's own windows
    bool follows; // asks, in other protocols, the compositor the system before reached: not named apart
} kSystems[] = {
    // Compositors whose own IPC knows which window was used last and which
    // process shows each, before the Wayland list, which knows neither.
    {.name = "sway", .connect = ConnectSway, .native = true},
    {.name = "niri", .connect = ConnectNiri, .native = true},
    {.name = "Wayfire", .connect = ConnectWayfire, .native = true},
    {.name = "Wayland", .connect = ConnectWayland, .native = true},
    {.name = "COSMIC", .connect = ConnectCosmic, .native = true, .follows = true},
    {.name = "KWin", .connect = ConnectKwin, .native = true},
    {.name = "GNOME", .connect = ConnectGnome, .native = true},
    {.name = "X11", .connect = ConnectX11, .native = false},
};
const int kCount = sizeof kSystems / sizeof kSystems[0];

int next; // the system to try next
const char* where[kCount];
bool told; // standard error has said why a system was passed over

} // namespace

bool ConnectDesktop(WindowSystem* desktop)
{
    // Called again only once the list of the system chosen was lost, which
    // that system has told.
    told |= next > 0;
    int lacking = -1; // a compositor passed over for what it lacks
    bool listsOnly = false; // it lists its windows all the same
    for (; next < kCount; ++next) {
        ConnectResult result = kSystems[next].connect(desktop, &where[next]);
        if (result == ConnectDone)
            break;
        told |= result == ConnectDeclined;
        if (result == ConnectNoWindowList || result == ConnectNoClose) {
            lacking = next;
            listsOnly = result == ConnectNoClose;
        }
    }
    // Of no matter when a system that lists the compositor's windows comes
    // after it; a line from one that can't (GNOME's) says more.
    if (lacking >= 0 && !told && !(next < kCount && kSystems[next].native)) {
        PrintError("the Wayland compositor at %s %s", where[lacking],
                   listsOnly ? "lists its windows but offers no way to close them" : "offers no window list");
        told = true;
    }
    if (next < kCount) {
        if (told)
            PrintError("searched %s (%s) instead", kSystems[next].name, where[next]);
        ++next;
        return true;
    }
    if (told)
        return false;
    char tried[1024];
    std::size_t at = 0;
    for (int i = 0; i < kCount && at < sizeof tried; ++i)
        if (!kSystems[i].follows)
            at += static_cast<std::size_t>(std::snprintf(tried + at, sizeof tried - at, "%s%s (%s)", at ? ", " : "",
                                                         kSystems[i].name, where[i]));
    PrintError("no desktop to search: tried %s", tried);
    return false;
}
