#include "match/match.h"
#include "winsys/winsys.h"

const char*  TitleFragment = nullptr;
std::int32_t DelayMinutes = 0;
WindowHandle TargetWindow = 0;

int LocateTargetProc(WindowHandle window, std::intptr_t)
{
    char title[512];
    if (PlatformGetWindowTitle(window, title, sizeof title) <= 0)
        return 1;
    title[sizeof title - 1] = '\0';
    if (!FindTitleFragment(title, TitleFragment))
        return 1;
    TargetWindow = window;
    PlatformTrackWindow(window);
    Print("Located target window: %s\n\n", title);
    return 0;
}

void Locate()
{
    PlatformEnumWindows();
}

void RequestClose()
{
    // A handle can be given to a new window once the old one is gone; the
    // request is meant for the window that was found, not for its successor.
    if (PlatformIsTrackedWindow(TargetWindow))
        PlatformSendClose(TargetWindow);
}
