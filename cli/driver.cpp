#include "cli/driver.h"

#include "cli/delay.h"
#include "core/constants.h"
#include "core/core.h"

int VantrelMain(int argc, char** argv)
{
    OsStart();
    Run run = {
        .programName = argc > 0 && argv[0] ? argv[0] : "", // execve() allows none
        .fragment = nullptr,
        .delayText = nullptr,
        .delayMinutes = 0,
        .consoleTitle = kProgramTitle,
        .consoleNamed = OsSetConsoleTitle(kProgramTitle),
        .paneNamed = false,
        .namedAt = OsClock(),
    };
    run.paneNamed = run.consoleNamed && OsConsoleIsPane();
    Print("%s\n", kProgramTitle);
    Print("Asks a window to close after a delay.\n\n");

    if (argc < 3) {
        Print("Usage: %s windowtitle delayminutes\n", *run.programName ? run.programName : "vantrel");
        return 0;
    }
    run.fragment = argv[1];
    run.delayText = argv[2];
    run.delayMinutes = ReadDelayMinutes(run.delayText);

    WindowSystem desktop = {};
    WindowHandle target = Locate(run, &desktop);
    if (target == 0) {
        Print("Exiting, did not find target window.\n");
        return 0;
    }
    Print("Sending WM_CLOSE to window handle %p after %d minutes.\n", target, run.delayMinutes);
    Wait(desktop, WaitMilliseconds(run.delayMinutes));
    RequestClose(desktop, target);
    Print("Message sent to target window.\n");
    return 0;
}
