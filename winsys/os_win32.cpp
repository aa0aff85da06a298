// Windows: the console, standard streams and the clock, over KERNEL32.

#include <windows.h>

#include "winsys/winsys.h"

namespace {

void WriteTo(DWORD stream, const char* bytes, std::size_t length)
{
    HANDLE out = GetStdHandle(stream);
    // A console shows UTF-16; the bytes are in the program's code page,
    // UTF-8 where the manifest is honoured. Print hands over whole
    // characters in pieces of at most 1,024 bytes.
    DWORD mode;
    if (GetConsoleMode(out, &mode)) {
        WCHAR wide[1024];
        int count = MultiByteToWideChar(CP_ACP, 0, bytes, static_cast<int>(length), wide, 1024);
        DWORD written;
        if (count > 0)
            WriteConsoleW(out, wide, static_cast<DWORD>(count), &written, nullptr);
        return;
    }
    // WriteFile rather than stdio: nothing is held back in a buffer, and no
    // text-mode translation touches the title bytes.
    while (length > 0) {
        DWORD written = 0;
        DWORD piece = length < 0x10000 ? static_cast<DWORD>(length) : 0x10000;
        if (!WriteFile(out, bytes, piece, &written, nullptr) || written == 0)
            return;
        bytes += written;
        length -= written;
    }
}

} // namespace

void OsStart()
{
}

void OsSetConsoleTitle(const char* title)
{
    SetConsoleTitleA(title);
}

bool OsOutputIsTerminal()
{
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode);
}

void OsWrite(const char* bytes, std::size_t length)
{
    WriteTo(STD_OUTPUT_HANDLE, bytes, length);
}

void OsWriteError(const char* bytes, std::size_t length)
{
    WriteTo(STD_ERROR_HANDLE, bytes, length);
}

const char* OsLineEnd()
{
    return "\r\n";
}

std::uint64_t OsClock()
{
    // Counts the time the machine sleeps; QueryUnbiasedInterruptTime doesn't.
    return GetTickCount64();
}

void OsSleep(std::uint32_t milliseconds, int wake)
{
    if (wake < 0)
        Sleep(milliseconds);
    else
        MsgWaitForMultipleObjectsEx(0, nullptr, milliseconds, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}
