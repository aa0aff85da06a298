// Windows: the window-system operations are the USER32 calls of the same
// names.

#include <windows.h>

#include <cstring>

#include "core/constants.h"
#include "winsys/winsys.h"

namespace {

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

// The title in the program's code page, cut to size - 1 bytes at a
// character boundary. Read as UTF-16 and converted here: GetWindowTextA cuts
// inside a character, and some versions then leave stale bytes behind it.
int ReadTitle(WindowHandle window, char* buffer, int size)
{
    WCHAR wide[kTitleSize];
    int units = GetWindowTextW(ToHwnd(window), wide, kTitleSize);
    if (units <= 0 || size <= 0)
        return 0;
    int used = WideCharToMultiByte(CP_ACP, 0, wide, units, buffer, size - 1, nullptr, nullptr);
    // Too long for the buffer: character by character, as many as fit.
    for (int i = used > 0 ? units : 0; i < units;) {
        int step = IS_HIGH_SURROGATE(wide[i]) && i + 1 < units && IS_LOW_SURROGATE(wide[i + 1]) ? 2 : 1;
        char bytes[8];
        int length = WideCharToMultiByte(CP_ACP, 0, wide + i, step, bytes, sizeof bytes, nullptr, nullptr);
        if (length <= 0 || used + length > size - 1)
            break;
        std::memcpy(buffer + used, bytes, static_cast<std::size_t>(length));
        used += length;
        i += step;
    }
    buffer[used] = '\0';
    return used;
}

struct Enumeration {
    WindowVisitor visit;
    void* context;
};

BOOL CALLBACK EnumProc(HWND window, LPARAM parameter)
{
    const Enumeration* e = reinterpret_cast<const Enumeration*>(parameter);
    char title[kTitleSize];
    return ReadTitle(FromHwnd(window), title, kTitleSize) <= 0 || e->visit(e->context, FromHwnd(window), title);
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

ListOutcome Enumerate(const char*, WindowVisitor visit, void* context)
{
    Enumeration e = {.visit = visit, .context = context};
    EnumWindows(EnumProc, reinterpret_cast<LPARAM>(&e));
    return ListDone;
}

TerminalHint HostsOwnTerminal(WindowHandle window)
{
    // The console window, or the terminal that owns the pseudo-console's
    // window (Windows Terminal).
    HWND console = GetConsoleWindow();
    bool own = console && (ToHwnd(window) == console || ToHwnd(window) == GetAncestor(console, GA_ROOTOWNER));
    return own ? TerminalIs : TerminalNot;
}

// Never called: the console takes its title at once, and its window is known.
void AwaitTitles(std::uint64_t) {}

void TrackWindow(WindowHandle window, const char*)
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

CloseOutcome CloseTracked(WindowHandle window)
{
    Dispatch();
    DWORD process = 0;
    DWORD thread = GetWindowThreadProcessId(ToHwnd(window), &process);
    if (ToHwnd(window) != tracked.window || tracked.destroyed || thread == 0 || thread != tracked.thread ||
        process != tracked.process)
        return CloseGone;
    // The window has the time to handle it that a merely busy program
    // needs; one that has stopped responding is not waited for.
    DWORD_PTR result;
    if (SendMessageTimeoutA(ToHwnd(window), WM_CLOSE, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, static_cast<UINT>(kAnswerMs), &result))
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

bool ConnectDesktop(WindowSystem* desktop)
{
    // The one window system there is; nothing to fall back on.
    static bool connected;
    if (connected)
        return false;
    connected = true;
    *desktop = {
        .enumWindows = Enumerate,
        .readTitle = ReadTitle,
        .hostsOwnTerminal = HostsOwnTerminal,
        .awaitTitles = AwaitTitles,
        .trackWindow = TrackWindow,
        .closeTracked = CloseTracked,
        .wakeHandle = WakeHandle,
        .dispatch = Dispatch,
        .refusal = "access denied: the window belongs to an elevated program",
    };
    return true;
}
