#pragma once

// Windows as another program lists them (KWin's scripts, GNOME's
// extension): each with its title, process and place in the stack, kept in
// a table that grows and offered topmost first. One list at a time.

#include <cstdint>

#include "core/constants.h"
#include "winsys/winsys.h"

struct ListedWindow {
    WindowHandle handle;
    std::uint32_t pid;    // 0 when unknown
    std::uint32_t x11;    // an XWayland window's X11 id, else 0
    std::uint64_t number; // the lister's id for it, where that is a number
    char id[64];          // where it is text
    char title[kTitleSize];
};

// Forgets the windows listed so far.
void ListedClear();

// A new window with a title, at a level of the stack (higher is nearer the
// top); its other fields are the caller's to fill. Null for an untitled
// window, or when the table cannot grow.
ListedWindow* ListedAdd(const char* title, std::int32_t level);

const ListedWindow* ListedFind(WindowHandle window);

// As WindowSystem's enumWindows, readTitle, hostsOwnTerminal and
// awaitTitles (for a lister that is asked anew each time).
ListOutcome ListedOffer(const char* ownTitle, WindowVisitor visit, void* context);
int ListedTitle(WindowHandle window, char* buffer, int size);
TerminalHint ListedHostsOwnTerminal(WindowHandle window);
void ListedAwaitTitles(std::uint64_t deadline);
