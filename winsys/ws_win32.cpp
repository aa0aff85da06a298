// Windows: the window-system operations are the USER32 calls of the same
// names.

#include <windows.h>

#include "winsys/winsys.h"

namespace {

// Long enough for a program that is merely busy, short enough that a target
// which never answers does not keep the tool for long.
const UINT kCloseTimeoutMs = 5000;

struct {
    HWND window;
    DWORD thread;
    DWORD process;
    HWINEVENTHOOK hook;
    bool destroyed;
} tracked;

HWND ToHwnd(WindowHandle window)
{
    return reinterpret_cast<HWND>(static_cast<UINT_PTR>(window));
}

// Window handles are 32 bits wide on every Windows, even for 64-bit programs.
WindowHandle FromHwnd(HWND window)
{
    return static_cast<WindowHandle>(reinterpret_cast<UINT_PTR>(window));
}

BOOL CALLBACK EnumProc(HWND window, LPARAM context)
{
    return LocateTargetProc(FromHwnd(window), context);
}

void CALLBACK OnDestroy(HWINEVENTHOOK, DWORD, HWND window, LONG object, LONG child, DWORD, DWORD)
{
    if (window == tracked.window && object == OBJID_WINDOW && child == CHILDID_SELF)
        tracked.destroyed = true;
}

void Dispatch()
{
    // The destroy notices arrive through the thread's message queue.
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
}

void Enumerate()
{
    EnumWindows(EnumProc, 0);
}

int GetTitle(WindowHandle window, char* buffer, int size)
{
    return GetWindowTextA(ToHwnd(window), buffer, size);
}

bool HostsOwnTerminal(WindowHandle window)
{
    // The console window, or the terminal that owns the pseudo-console's
    // window (Windows Terminal).
    HWND console = GetConsoleWindow();
    return console && (ToHwnd(window) == console || ToHwnd(window) == GetAncestor(console, GA_ROOTOWNER));
}

void TrackWindow(WindowHandle window)
{
    // The handle of a destroyed window can come back for a new window of the
    // same thread; its owner alone can't tell them apart, its end can.
    if (tracked.hook)
        UnhookWinEvent(tracked.hook);
    tracked.window = ToHwnd(window);
    tracked.destroyed = false;
    tracked.thread = GetWindowThreadProcessId(tracked.window, &tracked.process);
    tracked.hook = tracked.thread ? SetWinEventHook(EVENT_OBJECT_DESTROY, EVENT_OBJECT_DESTROY, nullptr, OnDestroy,
                                                    tracked.process, tracked.thread, WINEVENT_OUTOFCONTEXT)
                                  : nullptr;
}

bool HoldTrackedWindow(WindowHandle window)
{
    Dispatch();
    DWORD process = 0;
    DWORD thread = GetWindowThreadProcessId(ToHwnd(window), &process);
    return ToHwnd(window) == tracked.window && !tracked.destroyed && thread != 0 && thread == tracked.thread &&
           process == tracked.process;
}

CloseOutcome SendClose(WindowHandle window)
{
    DWORD_PTR result;
    if (SendMessageTimeoutA(ToHwnd(window), WM_CLOSE, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, kCloseTimeoutMs, &result))
        return CloseDelivered;
    switch (GetLastError()) {
    case ERROR_ACCESS_DENIED:
        return CloseRefused;
    case ERROR_INVALID_WINDOW_HANDLE:
        return CloseGone;
    default:
        return CloseTimedOut;
    }
}

int WakeHandle()
{
    return tracked.hook ? 0 : -1;
}

} // namespace

bool ConnectDesktop()
{
    Desktop = {Enumerate, GetTitle, HostsOwnTerminal, TrackWindow, HoldTrackedWindow, SendClose, WakeHandle, Dispatch};
    return true;
}
