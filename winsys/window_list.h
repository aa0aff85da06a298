#pragma once

// Windows as another program lists them (KWin's scripts, GNOME's
// extension, a compositor's IPC): each with its title, process and place in
// the stack, kept in a table that grows and offered topmost first. One list
// at a time.

#include <cstdint>

#include "core/constants.h"
#include "winsys/stacking.h"
#include "winsys/winsys.h"

struct ListedWindow {
    WindowHandle handle;
    std::uint32_t pid;    // 0 when unknown
    std::uint32_t x11;    // an XWayland window's X11 id, else 0
    std::uint64_t number; // the lister's id for it, where that is a number
    char id[64];          // where it is text
    std::int32_t level;   // its place in the stack: higher is nearer the top
    char title[kTitleSize];
};

// Forgets the windows listed so far.
void ListedClear();

// A new window with a title, at a level of the stack; its other fields are
// the caller's to fill. Null for an untitled window, or when the table
// cannot grow. *grew, when given, is cleared in that last case.
ListedWindow* ListedAdd(const char* title, std::int32_t level, bool* grew = nullptr);

// The windows in the order they were added; a pointer holds only until the
// next ListedAdd.
int ListedCount();
ListedWindow* ListedAt(int index);

const ListedWindow* ListedFind(WindowHandle window);

// As WindowSystem's enumWindows, readTitle, hostsOwnTerminal and
// awaitTitles (for a lister that is asked anew each time).
ListOutcome ListedOffer(const char* ownTitle, WindowVisitor visit, void* context);
int ListedTitle(WindowHandle window, char* buffer, int size);
TerminalHint ListedHostsOwnTerminal(WindowHandle window);
void ListedAwaitTitles(std::uint64_t deadline);

// Fills desktop for a lister reached through a compositor's IPC, which
// sends nothing unasked: the list just taken is offered first, then list()
// takes it anew each time, saying on standard error why when it can't.
void ListedServe(WindowSystem* desktop, bool (*list)(), void (*track)(WindowHandle window, const char* fragment),
                 CloseOutcome (*close)(WindowHandle window));

// For listers that say when each window last had the focus (niri,
// Wayfire): a window with its id, process and, when known, that time
// (larger is more recent). False when a table could not grow; an untitled
// window is passed over.
bool ListedAddFocused(const char* title, std::uint64_t id, std::uint32_t pid, bool known, std::uint64_t stamp);
// Once all are in: the one used last on top.
void ListedRankFocused();

// For listers whose ids may pass to a new window, or that answer a close
// for a gone one as if it were there: as WindowSystem's trackWindow, and,
// once listed anew, whether the window is still there under its id with
// its process and a title that holds the fragment.
void ListedTrack(WindowHandle window, const char* fragment);
bool ListedStillTracked(WindowHandle window);
