// Opens top-level windows for the end-to-end tests and logs, on standard
// output, every WM_CLOSE they receive.
//
//   winhelper SECONDS FLAGS:TITLE...
//
// FLAGS, comma-separated: hidden (never shown), keep (logs WM_CLOSE, stays),
// ask (answers WM_CLOSE with a "save changes?" box nobody answers), hung
// (its thread stops handling messages). Titles are Unicode, from UTF-8.
// Logs "window ID TITLE" for each, "ready" once all are up, "close ID" for
// each WM_CLOSE with both parameters 0 ("close-params ID W L" otherwise),
// "destroyed ID", "exit". Ends after SECONDS, or once every window that
// closes on request is gone.

#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

const wchar_t kClass[] = L"VantrelTestWindow";
int closing = 0;

void Log(const char* format, HWND window, const char* text = "")
{
    std::printf(format, static_cast<unsigned>(reinterpret_cast<UINT_PTR>(window)), text);
}

bool Has(const wchar_t* flags, const wchar_t* flag)
{
    const wchar_t* at = std::wcsstr(flags, flag);
    return at && (at == flags || at[-1] == L',');
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CLOSE) {
        if (wParam || lParam)
            std::printf("close-params %08X %u %ld\n", static_cast<unsigned>(reinterpret_cast<UINT_PTR>(window)),
                        static_cast<unsigned>(wParam), static_cast<long>(lParam));
        else
            Log("close %08X\n", window);
        if (GetPropW(window, L"ask"))
            MessageBoxW(window, L"Save changes?", L"Unsaved Draft", MB_YESNOCANCEL);
        else if (!GetPropW(window, L"keep"))
            DestroyWindow(window);
        return 0;
    }
    if (message == WM_DESTROY) {
        Log("destroyed %08X\n", window);
        if (--closing == 0)
            PostQuitMessage(0);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND Open(const wchar_t* flags, const wchar_t* title)
{
    HWND window = CreateWindowExW(0, kClass, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 300, 200,
                                  nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (Has(flags, L"ask"))
        SetPropW(window, L"ask", reinterpret_cast<HANDLE>(1));
    if (Has(flags, L"keep"))
        SetPropW(window, L"keep", reinterpret_cast<HANDLE>(1));
    if (!Has(flags, L"hidden"))
        ShowWindow(window, SW_SHOWNORMAL);
    char utf8[2048];
    WideCharToMultiByte(CP_UTF8, 0, title, -1, utf8, sizeof utf8, nullptr, nullptr);
    Log("window %08X %s\n", window, utf8);
    return window;
}

struct HungStart {
    const wchar_t* flags;
    const wchar_t* title;
    HWND window;
    HANDLE up;
};

DWORD WINAPI HungThread(LPVOID parameter)
{
    HungStart* start = static_cast<HungStart*>(parameter);
    start->window = Open(start->flags, start->title);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
        DispatchMessageW(&msg);
    SetEvent(start->up);
    Sleep(INFINITE);
    return 0;
}

} // namespace

int main()
{
    std::setvbuf(stdout, nullptr, _IONBF, 0); // each line out as it is logged
    int argc;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argc < 2) {
        std::fprintf(stderr, "usage: winhelper SECONDS FLAGS:TITLE...\n");
        return 2;
    }
    WNDCLASSW wc = {};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClass;
    RegisterClassW(&wc);

    for (int i = 2; i < argc; ++i) {
        wchar_t* colon = std::wcschr(argv[i], L':');
        if (!colon)
            continue;
        *colon = L'\0';
        if (Has(argv[i], L"hung")) {
            // Ready only once the system sees the thread as not answering.
            HungStart start = {argv[i], colon + 1, nullptr, CreateEventW(nullptr, TRUE, FALSE, nullptr)};
            CloseHandle(CreateThread(nullptr, 0, HungThread, &start, 0, nullptr));
            WaitForSingleObject(start.up, INFINITE);
            for (int tries = 0; tries < 100 && !IsHungAppWindow(start.window); ++tries)
                Sleep(100);
        } else if (Open(argv[i], colon + 1) && !Has(argv[i], L"keep") && !Has(argv[i], L"ask")) {
            ++closing;
        }
    }
    std::printf("ready\n");

    SetTimer(nullptr, 0, static_cast<UINT>(_wtoi(argv[1])) * 1000u, nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == nullptr)
            break;
        DispatchMessageW(&msg);
    }
    std::printf("exit\n");
    ExitProcess(0);
}
