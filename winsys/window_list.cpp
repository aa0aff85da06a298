#include "winsys/window_list.h"

#include <cstdio>
#include <cstdlib>

#include "core/core.h"
#include "winsys/os_linux.h"
#include "winsys/stacking.h"

namespace {

ListedWindow* windows;
Stacked* order; // the windows' places, then topmost first
int count, room;

bool Grow()
{
    int more = room ? room * 2 : 64;
    auto* grown = static_cast<ListedWindow*>(std::realloc(windows, static_cast<std::size_t>(more) * sizeof *windows));
    if (grown)
        windows = grown;
    auto* places = static_cast<Stacked*>(std::realloc(order, static_cast<std::size_t>(more) * sizeof *order));
    if (places)
        order = places;
    if (grown && places)
        room = more;
    return grown && places;
}

} // namespace

void ListedClear()
{
    count = 0;
}

ListedWindow* ListedAdd(const char* title, std::int32_t level)
{
    if (!*title || (count == room && !Grow()))
        return nullptr;
    ListedWindow& w = windows[count];
    w = {};
    std::snprintf(w.title, sizeof w.title, "%s", title);
    order[count] = {.level = level, .index = count};
    return &windows[count++];
}

const ListedWindow* ListedFind(WindowHandle window)
{
    for (int i = 0; i < count; ++i)
        if (windows[i].handle == window)
            return &windows[i];
    return nullptr;
}

ListOutcome ListedOffer(const char*, WindowVisitor visit, void* context)
{
    SortTopmostFirst(order, count);
    for (int i = 0; i < count && visit(context, windows[order[i].index].handle, windows[order[i].index].title); ++i) {
    }
    return ListDone;
}

int ListedTitle(WindowHandle window, char* buffer, int size)
{
    const ListedWindow* w = ListedFind(window);
    return size > 0 && w ? std::snprintf(buffer, static_cast<std::size_t>(size), "%.*s", size - 1, w->title) : 0;
}

TerminalHint ListedHostsOwnTerminal(WindowHandle window)
{
    // WINDOWID names an XWayland terminal by its X11 id.
    const ListedWindow* w = ListedFind(window);
    if (!w)
        return TerminalNot;
    Kin kin = w->pid == 0 ? KinUnknown : OsIsAncestorProcess(w->pid) ? KinAncestor : KinOther;
    return TerminalByProcess(w->x11 != 0 && w->x11 == OsTerminalWindowId(), kin);
}

void ListedAwaitTitles(std::uint64_t deadline)
{
    // Each question costs the desktop a script run or a list; a pause between.
    std::uint64_t left = TimeLeft(deadline);
    OsSleep(left < 20 ? static_cast<std::uint32_t>(left) : 20, -1);
}
