#include "winsys/wayland_toplevels.h"

#include <cstdlib>
#include <cstring>

#include <wayland-client.h>

#include "core/core.h"
#include "winsys/wayland_link.h"

namespace {

wl_display* display;
ToplevelList list;
bool letGo; // of every window but the tracked one
Toplevel** toplevels;
int count, room;
bool incomplete; // a window could not be recorded
Toplevel* tracked;
const char* ownTitle; // the name of the tool's terminal
bool ownShown;        // and its window shows it

// Wayfire names a window that has neither title nor app id "nil", and its
// app id "nil" too: that is no title.
bool Titled(const Toplevel& t)
{
    return t.titleLength > 0 && !(t.nilAppId && std::strcmp(t.title, "nil") == 0);
}

bool Offered(const Toplevel& t)
{
    return t.handle && t.ready && !t.closed && Titled(t);
}

Toplevel* Find(WindowHandle window)
{
    for (int i = 0; i < count; ++i)
        if (toplevels[i]->id == window)
            return toplevels[i];
    return nullptr;
}

bool Offer(bool activated, bool newestFirst, WindowVisitor visit, void* context)
{
    for (int i = 0; i < count; ++i) {
        const Toplevel& t = *toplevels[newestFirst ? count - 1 - i : i];
        if (Offered(t) && t.activated == activated && !visit(context, t.id, t.title))
            return false;
    }
    return true;
}

int ReadTitle(WindowHandle window, char* buffer, int size)
{
    const Toplevel* t = Find(window);
    if (size <= 0 || !t || !Offered(*t))
        return 0;
    int kept = t->titleLength < size - 1 ? t->titleLength : size - 1;
    std::memcpy(buffer, t->title, static_cast<std::size_t>(kept));
    buffer[kept] = '\0';
    return kept;
}

TerminalHint HostsOwnTerminal(WindowHandle)
{
    // The protocols name no process: until the terminal shows the tool's
    // title, any window may be it.
    return ownTitle && !ownShown ? TerminalUnknown : TerminalNot;
}

// The terminal passes the tool's title on a little after taking it.
void AwaitTitles(std::uint64_t deadline)
{
    LinkAwait(display, deadline, &ownShown);
}

void TrackWindow(WindowHandle window, const char*)
{
    tracked = Find(window);
}

CloseOutcome CloseTracked(WindowHandle window)
{
    // The handle stays the tool's until destroyed, so its id names no other
    // window; only a closed event still on its way is to be taken in.
    if (!tracked || tracked->id != window || !tracked->handle)
        return CloseGone;
    LinkResult result = LinkRoundtrip(display, OsClock() + kAnswerMs);
    if (result != LinkAnswered)
        return result == LinkLost ? CloseLost : CloseMute;
    if (tracked->closed || !tracked->ready)
        return CloseGone;
    list.close(tracked);
    // Handled before the tool says so and exits.
    result = LinkRoundtrip(display, OsClock() + kAnswerMs);
    return result == LinkLost ? CloseLostUnsure : result == LinkMute ? CloseUnsure : CloseDelivered;
}

int WakeHandle()
{
    // Only the target's end is of interest from now on: with the rest let
    // go, the compositor has nothing else to send.
    if (!letGo) {
        letGo = true;
        list.stop();
        for (int i = 0; i < count; ++i) {
            Toplevel* t = toplevels[i];
            if (t != tracked && t->handle) {
                list.release(t);
                t->handle = nullptr;
                t->extension = nullptr;
            }
        }
        wl_display_flush(display);
    }
    return LinkWakeHandle(display);
}

void Dispatch()
{
    LinkDispatch(display);
}

} // namespace

void ToplevelsServe(WindowSystem* desktop, wl_display* connection, const ToplevelList& own)
{
    display = connection;
    list = own;
    *desktop = {
        .enumWindows = list.enumWindows,
        .readTitle = ReadTitle,
        .hostsOwnTerminal = HostsOwnTerminal,
        .awaitTitles = AwaitTitles,
        .trackWindow = TrackWindow,
        .closeTracked = CloseTracked,
        .wakeHandle = WakeHandle,
        .dispatch = Dispatch,
        .refusal = "",
    };
}

Toplevel* ToplevelAdd(void* handle)
{
    if (tracked)
        return nullptr;
    if (count == room) {
        int more = room ? 2 * room : 64;
        void* grown = std::realloc(toplevels, static_cast<std::size_t>(more) * sizeof *toplevels);
        incomplete |= !grown;
        if (!grown)
            return nullptr;
        toplevels = static_cast<Toplevel**>(grown);
        room = more;
    }
    Toplevel* t = static_cast<Toplevel*>(std::calloc(1, sizeof(Toplevel)));
    incomplete |= !t;
    if (!t)
        return nullptr;
    t->handle = handle;
    t->id = wl_proxy_get_id(static_cast<wl_proxy*>(handle));
    toplevels[count++] = t;
    return t;
}

void ToplevelIncomplete()
{
    incomplete = true;
}

int ToplevelCount()
{
    return count;
}

Toplevel* ToplevelAt(int index)
{
    return toplevels[index];
}

void ToplevelTitle(Toplevel* t, const char* title)
{
    std::size_t length = title ? std::strlen(title) : 0;
    if (length > kTitleSize - 1)
        length = kTitleSize - 1;
    if (length > 0)
        std::memcpy(t->title, title, length);
    t->title[length] = '\0';
    t->titleLength = static_cast<int>(length);
    t->retitled |= t->described;
}

void ToplevelDone(Toplevel* t)
{
    // The tool's terminal shows its title once activated (typed into) or
    // once the title has changed: a terminal where the tool runs already,
    // waiting, shows it all along.
    if (ownTitle && (t->activated || t->retitled) && std::strstr(t->title, ownTitle))
        ownShown = true;
    t->described = true;
}

void ToplevelWatch(const char* own)
{
    ownTitle = own;
}

ListOutcome ToplevelOffer(const char* where, bool newestFirst, WindowVisitor visit, void* context)
{
    if (incomplete) {
        PrintError("the window list of the Wayland compositor at %s did not fit in memory", where);
        return ListLost;
    }
    if (Offer(true, newestFirst, visit, context))
        Offer(false, newestFirst, visit, context);
    return ListDone;
}
