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
#include "winsys/os_linux.h"
#include "winsys/stacking.h"

namespace {

const char kShell[] = "org.gnome.Shell";
const char kPath[] = "/org/vantrel/Windows";
const char kInterface[] = "org.vantrel.Windows1";
// GNOME 43 and 44 load only the first form, 45 and later only the second.
const char kLegacyUuid[] = "vantrel-legacy@vantrel.github.io";
const char kModuleUuid[] = "vantrel@vantrel.github.io";
const int kFirstModuleShell = 45;

struct Entry {
    WindowHandle handle;
    std::uint64_t id;
    std::uint64_t pid;
    char title[kTitleSize];
};

sd_bus* bus;
Entry* entries; // as listed, in a table that grows
Stacked* order;
int entryCount, entryRoom;
const Entry* tracked;
std::uint64_t trackedId;

bool Grow()
{
    int room = entryRoom ? entryRoom * 2 : 64;
    Entry* grown = static_cast<Entry*>(std::realloc(entries, static_cast<std::size_t>(room) * sizeof *entries));
    if (grown)
        entries = grown;
    Stacked* places = static_cast<Stacked*>(std::realloc(order, static_cast<std::size_t>(room) * sizeof *order));
    if (places)
        order = places;
    if (grown && places)
        entryRoom = room;
    return grown && places;
}

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
        if (!*title || (entryCount == entryRoom && !Grow()))
            continue;
        Entry& e = entries[entryCount];
        e = {.handle = x11 ? x11 : static_cast<WindowHandle>(id), .id = id, .pid = pid, .title = {}};
        std::snprintf(e.title, sizeof e.title, "%s", title);
        order[entryCount] = {.level = -static_cast<std::int32_t>(place), .index = entryCount};
        ++entryCount;
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
        PrintError("GNOME Shell lists its windows only to extensions and %s is not installed: install the vantrel "
                   "package, then log out and in again",
                   uuid);
        break;
    }
}

enum Asked { AskedDone, AskedMissing, AskedSilent, AskedAbsent, AskedLost };

// Asks the extension; the reply, when it answered, is the caller's.
Asked Ask(const char* member, sd_bus_message** reply, const char* types, std::uint64_t id = 0)
{
    int r = BusCall(OsClock() + kAnswerMs, kShell, kPath, kInterface, member, nullptr, reply, types, id);
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

ListOutcome EnumWindows(const char*, WindowVisitor visit, void* context)
{
    SortTopmostFirst(order, entryCount);
    for (int i = 0; i < entryCount; ++i) {
        const Entry& e = entries[order[i].index];
        if (!visit(context, e.handle, e.title))
            break;
    }
    return ListDone;
}

const Entry* Find(WindowHandle window)
{
    for (int i = 0; i < entryCount; ++i)
        if (entries[i].handle == window)
            return &entries[i];
    return nullptr;
}

int ReadTitle(WindowHandle window, char* buffer, int size)
{
    const Entry* e = Find(window);
    return size > 0 && e ? std::snprintf(buffer, static_cast<std::size_t>(size), "%.*s", size - 1, e->title) : 0;
}

bool HostsOwnTerminal(WindowHandle window)
{
    const Entry* e = Find(window);
    return e && e->pid > 0 && e->pid <= UINT32_MAX && OsIsAncestorProcess(static_cast<std::uint32_t>(e->pid));
}

void TrackWindow(WindowHandle window)
{
    tracked = Find(window);
    trackedId = tracked ? tracked->id : 0;
}

CloseOutcome CloseTracked(WindowHandle window)
{
    if (!tracked || tracked->handle != window)
        return CloseGone;
    sd_bus_message* reply = nullptr;
    const char* said = "";
    Asked asked = Ask("Close", &reply, "t", trackedId);
    if (asked == AskedDone)
        sd.sd_bus_message_read(reply, "s", &said);
    sd.sd_bus_message_unref(reply);
    switch (asked) {
    case AskedDone:
        return std::strcmp(said, "closed") == 0 ? CloseDelivered
               : std::strcmp(said, "noway") == 0 ? CloseNoWay
                                                  : CloseGone;
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

int WakeHandle()
{
    // A closed connection would wake the sleep for ever.
    return sd.sd_bus_is_open(bus) > 0 ? sd.sd_bus_get_fd(bus) : -1;
}

void Dispatch()
{
    while (sd.sd_bus_is_open(bus) > 0 && sd.sd_bus_process(bus, nullptr) > 0) {
    }
}

} // namespace

ConnectResult ConnectGnome(WindowSystem* desktop, const char** where)
{
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (!BusNamed()) {
        *where = "no session bus";
        return ConnectAbsent;
    }
    if (!wayland || !*wayland) {
        *where = "not a Wayland session";
        return ConnectAbsent;
    }
    switch (BusOpen(&bus, where)) {
    case BusReady:
        break;
    case BusAbsent:
        return ConnectAbsent;
    case BusMute:
        return ConnectDeclined;
    }
    // The list itself says whether the shell and its extension are there.
    sd_bus_message* reply = nullptr;
    entryCount = 0;
    Asked asked = Ask("List", &reply, nullptr);
    bool read = asked == AskedDone && ReadList(reply);
    sd.sd_bus_message_unref(reply);
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
        .readTitle = ReadTitle,
        .hostsOwnTerminal = HostsOwnTerminal,
        .trackWindow = TrackWindow,
        .closeTracked = CloseTracked,
        .wakeHandle = WakeHandle,
        .dispatch = Dispatch,
        .refusal = "",
    };
    return ConnectDone;
}
