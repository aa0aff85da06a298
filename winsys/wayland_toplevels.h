#pragma once

// The windows a Wayland window list announces, as both Wayland window
// systems keep them (wlroots' list, COSMIC's): each by its handle, in the
// order announced, with its title and state; the one tracked; whether the
// tool's terminal has shown its new name; and what the two do alike with
// them. One list at a time.

#include "core/constants.h"
#include "winsys/winsys.h"

struct wl_display;

struct Toplevel {
    void* handle;    // the list's handle; null once let go
    void* extension; // a handle that extends it (COSMIC's), or null
    WindowHandle id; // the handle's object id on the tool's connection
    bool described;  // its first done has come
    bool retitled;   // a title came after that
    bool ready;      // what it needs to be offered has come
    bool activated;
    bool closed;
    bool nilAppId; // Wayfire's stand-in for a missing app id
    int titleLength;
    char title[kTitleSize];
};

// What each list does its own way.
struct ToplevelList {
    ListOutcome (*enumWindows)(const char* ownTitle, WindowVisitor visit, void* context);
    void (*close)(Toplevel* t); // the request
    // Letting go of the list and of a window's handles: during the wait
    // nothing but the tracked window's end is wanted.
    void (*stop)();
    void (*release)(Toplevel* t);
};

// Fills desktop with the list's operations and those both lists share, on
// the connection the list comes on.
void ToplevelsServe(WindowSystem* desktop, wl_display* display, const ToplevelList& list);

// Records a window by its handle; the record is the handle's listener data
// and never moves. Null when nothing more is wanted (a window is tracked),
// or when it could not be recorded: the list is then incomplete.
Toplevel* ToplevelAdd(void* handle);
// A window's record could not be completed: the list is incomplete.
void ToplevelIncomplete();
int ToplevelCount();
Toplevel* ToplevelAt(int index); // the oldest announced first

// What the list's handles tell: a title, and the end of a description.
void ToplevelTitle(Toplevel* t, const char* title);
void ToplevelDone(Toplevel* t);

// The name just given to the tool's terminal, watched for from now on (see
// WindowSystem's enumWindows).
void ToplevelWatch(const char* ownTitle);

// Offers the windows ready and titled, as WindowSystem's enumWindows: the
// activated one first, then the others, the newest announced first or the
// oldest. A list that could not be recorded whole is lost, and said so.
ListOutcome ToplevelOffer(const char* where, bool newestFirst, WindowVisitor visit, void* context);
