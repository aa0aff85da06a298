// Opens top-level windows for the end-to-end tests and logs, on standard
// output, every WM_CLOSE they receive.
//
//   winhelper SECONDS KIND:TITLE...
//
// KIND is show (visible), hide (never shown), ask (answers WM_CLOSE with a
// modal "save changes?" prompt that nobody answers) or hung (its thread stops
// handling messages once the window is up). The helper prints
// "window HANDLE TITLE" for each window, "order HANDLE..." with its
// windows in EnumWindows order, then "ready". It ends once every show, hide
// and ask window it opened is gone, or after SECONDS.

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

const char kClass[] = "VantrelTestWindow";
int liveWindows = 0;
HWND created[64];
int createdCount = 0;

void Log(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vprintf(format, args);
    va_end(args);
    std::fflush(stdout);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE:
        Log("WM_CLOSE %08X %u %ld\n", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(window)),
            static_cast<unsigned>(wParam), static_cast<long>(lParam));
        if (GetPropA(window, "ask")) {
            MessageBoxA(window, "Save changes?", "Unsaved Draft", MB_YESNOCANCEL);
            return 0;
        }
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        Log("destroyed %08X\n", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(window)));
        if (--liveWindows == 0)
            PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND Open(const char* kind, const char* title)
{
    HWND window = CreateWindowExA(0, kClass, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 300, 200,
                                  nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    if (!window)
        return nullptr;
    if (std::strcmp(kind, "ask") == 0)
        SetPropA(window, "ask", reinterpret_cast<HANDLE>(1));
    if (std::strcmp(kind, "hide") != 0)
        ShowWindow(window, SW_SHOWNORMAL);
    Log("window %08X %s\n", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(window)), title);
    created[createdCount++] = window;
    return window;
}

struct HungStart {
    const char* title;
    HANDLE up;
};

DWORD WINAPI HungThread(LPVOID parameter)
{
    HungStart* start = static_cast<HungStart*>(parameter);
    Open("hung", start->title);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageA(&msg);
    SetEvent(start->up);
    Sleep(INFINITE);
    return 0;
}

BOOL CALLBACK ListOwn(HWND window, LPARAM)
{
    for (int i = 0; i < createdCount; ++i)
        if (created[i] == window)
            Log(" %08X", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(window)));
    return TRUE;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: winhelper SECONDS KIND:TITLE...\n");
        return 2;
    }
    WNDCLASSA wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassA(&wc);

    for (int i = 2; i < argc && createdCount < 60; ++i) {
        const char* colon = std::strchr(argv[i], ':');
        if (!colon)
            continue;
        char kind[8] = {};
        std::memcpy(kind, argv[i], static_cast<size_t>(colon - argv[i]) < 7 ? colon - argv[i] : 7);
        if (std::strcmp(kind, "hung") == 0) {
            HungStart start = {colon + 1, CreateEventA(nullptr, TRUE, FALSE, nullptr)};
            CloseHandle(CreateThread(nullptr, 0, HungThread, &start, 0, nullptr));
            WaitForSingleObject(start.up, INFINITE);
        } else if (Open(kind, colon + 1)) {
            ++liveWindows;
        }
    }
    Log("order");
    EnumWindows(ListOwn, 0);
    Log("\nready\n");

    SetTimer(nullptr, 0, static_cast<UINT>(std::atoi(argv[1])) * 1000u, nullptr);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr)
            break;
        DispatchMessageA(&msg);
    }
    Log("exit\n");
    ExitProcess(0);
}
