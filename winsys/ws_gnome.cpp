// GNOME Shell on Wayland: the window-system operations through vantrel's
// shell extension, which exports /org/vantrel/Windows on the shell's own
// connection to the session bus.
//
// GNOME shows its window list to its own shell alone; the extension lists
// the windows it manages, topmost first, and closes one by its id, which
// the shell never gives to another window. The handle shown is the X11 id
// of an XWayland window, else the id's low 32 bits.

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/constants.h"
#include "core/core.h"
#include "winsys/bus.h"
#include "winsys/linux.h"
#include "winsys/window_list.h"

namespace {

const char kShell[] = "org.gnome.Shell";
const char kPath[] = "/org/vantrel/Windows";
const char kInterface[] = "org.vantrel.Windows1";
// GNOME 43 and 44 load only the first form, 45 and later only the second.
const char kLegacyUuid[] = "vantrel-legacy@vantrel.github.io";
const char kModuleUuid[] = "vantrel@vantrel.github.io";
const int kFirstModuleShell = 45;

sd_bus* bus;
char shellName[256];   // the unique name that answered the list: every later call goes to it
std::uint64_t tracked; // the shell's id for the window, 0 for none
bool listFresh;        // the list taken when connecting is still to be offered

bool ReadList(sd_bus_message* reply)
{
    if (sd.sd_bus_message_enter_container(reply, SD_BUS_TYPE_ARRAY, "(sttuu)") <= 0)
        return false;
    for (;;) {
        const char* title = nullptr;
        std::uint64_t id = 0, pid = 0;
        std::uint32_t x11 = 0, place = 0;
        int r = sd.sd_bus_message_read(reply, "(sttuu)", &title, &id, &pid, &x11, &place);
        if (r == 0)
            return sd.sd_bus_message_exit_container(reply) >= 0;
        if (r < 0)
            return false;
        ListedWindow* w = ListedAdd(title, -static_cast<std::int32_t>(place));
        if (!w)
            continue;
        w->handle = x11 ? x11 : static_cast<WindowHandle>(id);
        w->x11 = x11;
        w->number = id;
        w->pid = pid <= UINT32_MAX ? static_cast<std::uint32_t>(pid) : 0;
    }
}

// The shell's major version, 0 when it does not say.
int ShellVersion(std::uint64_t deadline)
{
    sd_bus_message* reply = nullptr;
    const char* version = "";
    int major = 0;
    if (BusCall(deadline, kShell, "/org/gnome/Shell", "org.freedesktop.DBus.Properties", "Get", nullptr, &reply,
                "ss", kShell, "ShellVersion") >= 0 &&
        sd.sd_bus_message_read(reply, "v", "s", &version) > 0)
        major = std::atoi(version);
    sd.sd_bus_message_unref(reply);
    return major;
}

// The extension's state as the shell reports it: 0 when it does not know
// the extension (or can't say), else GNOME's ExtensionState.
int ExtensionState(std::uint64_t deadline, const char* uuid)
{
    sd_bus_message* reply = nullptr;
    double state = 0;
    if (BusCall(deadline, kShell, "/org/gnome/Shell", "org.gnome.Shell.Extensions", "GetExtensionInfo", nullptr,
                &reply, "s", uuid) >= 0 &&
        sd.sd_bus_message_enter_container(reply, SD_BUS_TYPE_ARRAY, "{sv}") > 0) {
        const char* key = nullptr;
        while (sd.sd_bus_message_enter_container(reply, SD_BUS_TYPE_DICT_ENTRY, "sv") > 0) {
            if (sd.sd_bus_message_read(reply, "s", &key) > 0 && std::strcmp(key, "state") == 0)
                sd.sd_bus_message_read(reply, "v", "d", &state);
            else
                sd.sd_bus_message_skip(reply, "v");
            sd.sd_bus_message_exit_container(reply);
        }
    }
    sd.sd_bus_message_unref(reply);
    return static_cast<int>(state);
}

// The shell runs but the extension does not answer: one line that says
// what to do, in place of the shell's missing window list.
void TellWhy()
{
    std::uint64_t deadline = OsClock() + kAnswerMs;
    int shell = ShellVersion(deadline);
    const char* uuid = shell >= kFirstModuleShell ? kModuleUuid : kLegacyUuid;
    switch (ExtensionState(deadline, uuid)) {
    case 1: // enabled, yet its object is not there: it has just been enabled, or failed to export
    case 3:
        PrintError("GNOME Shell's extension %s failed; the shell's log says why (journalctl --user -b)", uuid);
        break;
    case 2:
    case 6:
        PrintError("GNOME Shell's extension %s is not enabled: run gnome-extensions enable %s", uuid, uuid);
        break;
    case 4:
        PrintError("GNOME Shell %d is newer than the installed vantrel extension knows: a newer vantrel package is "
                   "needed",
                   shell);
        break;
    default:
        PrintError("GNOME Shell shows its windows only to its extensions, and %s is not installed: install the "
                   "vantrel package, then log out and in again",
                   uuid);
        break;
    }
}

enum Asked { AskedDone, AskedMissing, AskedSilent, AskedAbsent, AskedLost };

// Asks the extension; the reply, when it answered, is the caller's.
Asked Ask(const char* member, sd_bus_message** reply, const char* types, std::uint64_t id = 0)
{
    const char* shell = *shellName ? shellName : kShell;
    int r = BusCall(OsClock() + kAnswerMs, shell, kPath, kInterface, member, nullptr, reply, types, id);
    if (r >= 0)
        return AskedDone;
    if (r == -ETIMEDOUT)
        return AskedSilent;
    if (r == -ENOTCONN) // the call never went out
        return AskedAbsent;
    if (r == -ECONNRESET) // the shell or the bus went away after it did
        return AskedLost;
    return AskedMissing; // the shell answers, the extension doesn't
}

void TrackWindow(WindowHandle window, const char*)
{
    // The shell never gives a window's id to another.
    const ListedWindow* w = ListedFind(window);
    tracked = w ? w->number : 0;
}

CloseOutcome CloseTracked(WindowHandle window)
{
    const ListedWindow* w = ListedFind(window);
    if (!w || w->number != tracked)
        return CloseGone;
    sd_bus_message* reply = nullptr;
    const char* said = "";
    Asked asked = Ask("Close", &reply, "t", tracked);
    if (asked == AskedDone)
        sd.sd_bus_message_read(reply, "s", &said);
    sd.sd_bus_message_unref(reply);
    switch (asked) {
    case AskedDone:
        return std::strcmp(said, "closed") == 0 ? CloseDelivered
               : std::strcmp(said, "noway") == 0 ? CloseNoWay
               : std::strcmp(said, "gone") == 0  ? CloseGone
                                                  : CloseUnknown;
    case AskedSilent:
        return CloseUnsure;
    case AskedMissing:
        TellWhy();
        return CloseUntold;
    case AskedLost:
        return CloseLostUnsure;
    case AskedAbsent:
        break;
    }
    return CloseLost;
}

// Asks the shell for its windows; the answer says whether it read.
Asked List(bool* read)
{
    sd_bus_message* reply = nullptr;
    ListedClear();
    Asked asked = Ask("List", &reply, nullptr);
    *read = asked == AskedDone && ReadList(reply);
    const char* sender = *read ? sd.sd_bus_message_get_sender(reply) : nullptr;
    if (sender && !*shellName)
        std::snprintf(shellName, sizeof shellName, "%s", sender);
    sd.sd_bus_message_unref(reply);
    return asked;
}

ListOutcome EnumWindows(const char* ownTitle, WindowVisitor visit, void* context)
{
    // Asked again, the shell lists the windows as they are now.
    bool read = true;
    Asked asked = listFresh ? AskedDone : List(&read);
    listFresh = false;
    if (asked == AskedDone && read)
        return ListedOffer(ownTitle, visit, context);
    if (asked == AskedSilent)
        PrintError("GNOME Shell did not answer within %d s", kAnswerSeconds);
    else if (asked == AskedDone)
        PrintError("GNOME Shell's answer to the window list request could not be read");
    else if (asked == AskedMissing)
        TellWhy();
    else
        PrintError("the connection to GNOME Shell was lost");
    return ListLost;
}

} // namespace

ConnectResult ConnectGnome(WindowSystem* desktop, const char** where)
{
    ConnectResult result = BusConnect(&bus, where);
    if (result != ConnectDone)
        return result;
    // The list itself says whether the shell and its extension are there.
    bool read = false;
    Asked asked = List(&read);
    listFresh = true;
    *where = kShell;
    switch (asked) {
    case AskedDone:
        if (read)
            break;
        PrintError("GNOME Shell's answer to the window list request could not be read");
        return ConnectDeclined;
    case AskedAbsent:
    case AskedLost:
        *where = "no org.gnome.Shell on the session bus";
        return ConnectAbsent;
    case AskedSilent:
        PrintError("GNOME Shell did not answer within %d s", kAnswerSeconds);
        return ConnectDeclined;
    case AskedMissing:
        TellWhy();
        return ConnectDeclined;
    }
    *desktop = {
        .enumWindows = EnumWindows,
        .readTitle = ListedTitle,
        .hostsOwnTerminal = ListedHostsOwnTerminal,
        .awaitTitles = ListedAwaitTitles,
        .trackWindow = TrackWindow,
        .closeTracked = CloseTracked,
        .wakeHandle = BusWakeHandle,
        .dispatch = BusDispatch,
        .refusal = "",
    };
    return ConnectDone;
}
