// Windows: the console, standard streams and the clock, over KERNEL32.

#include <windows.h>

#include "winsys/winsys.h"

namespace {

HANDLE StdHandle(Stream stream)
{
    return GetStdHandle(stream == StandardError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
}

} // namespace

void OsStart()
{
}

bool OsSetConsoleTitle(const char* title)
{
    return SetConsoleTitleA(title);
}

bool OsConsoleIsPane()
{
    return false;
}

bool OsIsTerminal(Stream stream)
{
    DWORD mode;
    return GetConsoleMode(StdHandle(stream), &mode);
}

bool OsTextIsUtf8()
{
    return GetACP() == CP_UTF8;
}

void OsWrite(Stream stream, const char* bytes, std::size_t length)
{
    HANDLE out = StdHandle(stream);
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
