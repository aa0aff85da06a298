#include "cli/driver.h"

#include "cli/delay.h"
#include "winsys/winsys.h"

static const char kName[] = "vantrel 1.0";

int VantrelMain(int argc, char** argv)
{
    TargetWindow = 0;
    PlatformSetConsoleTitle(kName);
    Print("%s\n", kName);
    Print("Asks a window to close after a delay.\n\n");

    if (argc < 3) {
        // execve() allows an empty argument vector; there is no name then.
        const char* program = argc > 0 && argv[0] ? argv[0] : "vantrel";
        Print("Usage: %s windowtitle delayminutes\n", program);
        return 0;
    }
    TitleFragment = argv[1];
    DelayMinutes = ReadDelayMinutes(argv[2]);

    Locate();
    if (TargetWindow == 0) {
        Print("Exiting, did not find target window.\n");
        return 0;
    }
    Print("Sending WM_CLOSE to window handle %p after %d minutes.\n", TargetWindow, DelayMinutes);
    PlatformWait(WaitMilliseconds(DelayMinutes));
    RequestClose();
    Print("Message sent to target window.\n");
    return 0;
}
