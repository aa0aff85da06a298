#include "winsys/window_list.h"

#include <cstdio>
#include <cstdlib>

#include "core/core.h"
#include "match/match.h"
#include "winsys/os_linux.h"
#include "winsys/stacking.h"
#include "winsys/table.h"

namespace {

ListedWindow* windows;
Stacked* order; // the windows' places, sorted topmost first when offered
int count, room;
Focused* focused; // when each last had the focus, where the lister says
int focusedCount, focusedRoom;
struct {
    WindowHandle handle; // 0: none
    std::uint64_t number;
    std::uint32_t pid;
    const char* fragment;
} tracked;

bool Grow()
{
    int windowRoom = room, orderRoom = room;
    bool grown = TableReserve(&windows, count + 1, &windowRoom) && TableReserve(&order, count + 1, &orderRoom);
    if (grown)
        room = windowRoom;
    return grown;
}

bool (*relist)(); // as ListedServe's list
bool fresh;       // the list taken when connecting is still to be offered

ListOutcome Enumerate(const char* ownTitle, WindowVisitor visit, void* context)
{
    bool listed = fresh || relist();
    fresh = false;
    return listed ? ListedOffer(ownTitle, visit, context) : ListLost;
}

int NoWake()
{
    return -1; // nothing comes unasked
}

void NoDispatch() {}

} // namespace

void ListedServe(WindowSystem* desktop, bool (*list)(), void (*track)(WindowHandle window, const char* fragment),
                 CloseOutcome (*close)(WindowHandle window))
{
    relist = list;
    fresh = true;
    *desktop = {
        .enumWindows = Enumerate,
        .readTitle = ListedTitle,
        .hostsOwnTerminal = ListedHostsOwnTerminal,
        .awaitTitles = ListedAwaitTitles,
        .trackWindow = track,
        .closeTracked = close,
        .wakeHandle = NoWake,
        .dispatch = NoDispatch,
        .refusal = "",
    };
}

void ListedClear()
{
    count = focusedCount = 0;
}

ListedWindow* ListedAdd(const char* title, std::int32_t level, bool* grew)
{
    if (!*title)
        return nullptr;
    if (count == room && !Grow()) {
        if (grew)
            *grew = false;
        return nullptr;
    }
    ListedWindow& w = windows[count];
    w = {};
    w.level = level;
    std::snprintf(w.title, sizeof w.title, "%s", title);
    return &windows[count++];
}

int ListedCount()
{
    return count;
}

ListedWindow* ListedAt(int index)
{
    return index >= 0 && index < count ? &windows[index] : nullptr;
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
    for (int i = 0; i < count; ++i)
        order[i] = {.level = windows[i].level, .index = i};
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

bool ListedAddFocused(const char* title, std::uint64_t id, std::uint32_t pid, bool known, std::uint64_t stamp)
{
    bool grew = true;
    ListedWindow* w = ListedAdd(title, 0, &grew);
    if (!w)
        return grew;
    if (!TableReserve(&focused, focusedCount + 1, &focusedRoom))
        return false;
    w->handle = static_cast<WindowHandle>(id);
    w->number = id;
    w->pid = pid;
    focused[focusedCount++] = {.known = known, .stamp = stamp, .id = id, .index = count - 1};
    return true;
}

void ListedRankFocused()
{
    SortRecentFirst(focused, focusedCount);
    for (int rank = 0; rank < focusedCount; ++rank)
        windows[focused[rank].index].level = -rank;
}

void ListedTrack(WindowHandle window, const char* fragment)
{
    const ListedWindow* w = ListedFind(window);
    tracked = {.handle = w ? window : 0, .number = w ? w->number : 0, .pid = w ? w->pid : 0, .fragment = fragment};
}

bool ListedStillTracked(WindowHandle window)
{
    const ListedWindow* w = window == tracked.handle ? ListedFind(window) : nullptr;
    return w && w->number == tracked.number && w->pid == tracked.pid && FindTitleFragment(w->title, tracked.fragment);
}
