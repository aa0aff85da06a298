#include "cli/driver.h"

#include "cli/delay.h"
#include "winsys/winsys.h"

static const char kName[] = "vantrel 1.0";

int VantrelMain(int argc, char** argv)
{
    OsStart();
    TargetWindow = 0;
    NameConsole(kName);
    Print("%s\n", kName);
    Print("Asks a window to close after a delay.\n\n");

    // execve() allows an empty argument vector, or an empty name.
    ProgramName = argc > 0 && argv[0] ? argv[0] : "";
    if (argc < 3) {
        Print("Usage: %s windowtitle delayminutes\n", *ProgramName ? ProgramName : "vantrel");
        return 0;
    }
    TitleFragment = argv[1];
    DelayText = argv[2];
    DelayMinutes = ReadDelayMinutes(DelayText);

    Locate();
    if (TargetWindow == 0) {
        Print("Exiting, did not find target window.\n");
        return 0;
    }
    Print("Sending WM_CLOSE to window handle %p after %d minutes.\n", TargetWindow, DelayMinutes);
    Wait(WaitMilliseconds(DelayMinutes));
    RequestClose();
    Print("Message sent to target window.\n");
    return 0;
}
