// Windows: the operations are the USER32 and KERNEL32 calls of the same names.

#include <windows.h>

#include "winsys/winsys.h"

namespace {

// Long enough for a program that is merely busy, short enough that a target
// which never answers does not keep the tool for long.
const UINT kCloseTimeoutMs = 5000;

struct {
    DWORD thread;
    DWORD process;
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

} // namespace

void PlatformSetConsoleTitle(const char* title)
{
    SetConsoleTitleA(title);
}

void PlatformEnumWindows()
{
    EnumWindows(EnumProc, 0);
}

int PlatformGetWindowTitle(WindowHandle window, char* buffer, int size)
{
    return GetWindowTextA(ToHwnd(window), buffer, size);
}

void PlatformTrackWindow(WindowHandle window)
{
    tracked.thread = GetWindowThreadProcessId(ToHwnd(window), &tracked.process);
}

bool PlatformIsTrackedWindow(WindowHandle window)
{
    DWORD process = 0;
    DWORD thread = GetWindowThreadProcessId(ToHwnd(window), &process);
    return thread != 0 && thread == tracked.thread && process == tracked.process;
}

void PlatformSendClose(WindowHandle window)
{
    DWORD_PTR result;
    SendMessageTimeoutA(ToHwnd(window), WM_CLOSE, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG, kCloseTimeoutMs, &result);
}

void PlatformWait(std::uint64_t milliseconds)
{
    // Sleep takes 32 bits and reads 0xFFFFFFFF as "for ever".
    while (milliseconds > 0) {
        DWORD piece = milliseconds < 0xFFFFFFFEu ? static_cast<DWORD>(milliseconds) : 0xFFFFFFFEu;
        Sleep(piece);
        milliseconds -= piece;
    }
}

void PlatformWrite(const char* bytes, std::size_t length)
{
    // WriteFile rather than stdio: nothing is held back in a buffer, and no
    // text-mode translation touches the title bytes.
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    while (length > 0) {
        DWORD written = 0;
        DWORD piece = length < 0x10000 ? static_cast<DWORD>(length) : 0x10000;
        if (!WriteFile(out, bytes, piece, &written, nullptr) || written == 0)
            return;
        bytes += written;
        length -= written;
    }
}

const char* PlatformLineEnd()
{
    return "\r\n";
}
