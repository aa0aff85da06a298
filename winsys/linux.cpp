// Linux: one program for every window system, chosen when the tool runs.

#include "winsys/linux.h"

namespace {

const struct {
    const char* name;
    ConnectResult (*connect)(WindowSystem*, const char**);
} kSystems[] = {
    {"Wayland", ConnectWayland},
    {"KWin", ConnectKwin},
    {"X11", ConnectX11},
};
const int kCount = sizeof kSystems / sizeof kSystems[0];

} // namespace

bool ConnectDesktop()
{
    const char* where[kCount] = {};
    ConnectResult results[kCount] = {};
    int chosen = -1;
    for (int i = 0; i < kCount && chosen < 0; ++i) {
        results[i] = kSystems[i].connect(&Desktop, &where[i]);
        if (results[i] == ConnectDone)
            chosen = i;
    }
    // A compositor that lists no windows to ordinary programs leaves only
    // its X11 programs to be found.
    if (chosen == kCount - 1 && results[0] == ConnectNoWindowList)
        PrintError("the Wayland compositor at %s offers no window list; only X11 (XWayland) windows were searched",
                   where[0]);
    if (chosen >= 0)
        return true;
    static_assert(kCount == 3, "the line names every window system tried");
    PrintError("no desktop to search: tried %s (%s), %s (%s), %s (%s)", kSystems[0].name, where[0], kSystems[1].name,
               where[1], kSystems[2].name, where[2]);
    return false;
}
