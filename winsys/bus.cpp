// The session bus shared by the window systems that are reached through it.

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "core/constants.h"
#include "core/core.h"
#include "winsys/bus.h"

SdBus sd;

namespace {

enum BusResult {
    BusReady,
    BusAbsent, // no bus, or no libsystemd
    BusMute,   // it did not answer in time; standard error has said so
};

sd_bus* bus;
bool asked;
BusResult result;
const char* reason = "no session bus";

// libsystemd is loaded only when a session bus is there to be asked, so that
// runs on other desktops neither need it nor pay for it.
bool LoadSdBus()
{
    void* library = dlopen("libsystemd.so.0", RTLD_LAZY | RTLD_LOCAL);
    if (!library)
        return false;
#define X(name) sd.name = reinterpret_cast<decltype(sd.name)>(dlsym(library, #name));
    VANTREL_SD_BUS_FUNCTIONS(X)
#undef X
#define X(name) &&sd.name
    return true VANTREL_SD_BUS_FUNCTIONS(X);
#undef X
}

// Whether the environment names a session bus, without asking it.
bool Named()
{
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (address && *address)
        return true;
    char socket[4096];
    return runtime && *runtime && std::snprintf(socket, sizeof socket, "%s/bus", runtime) < static_cast<int>(sizeof socket) &&
           access(socket, F_OK) == 0;
}

// sd-bus would wait for the greeting and its own Hello with its 90 s
// authentication limit, whatever time a call is given; the set-up is
// driven here instead, against the deadline.
BusResult Open()
{
    if (!Named())
        return BusAbsent;
    if (!LoadSdBus()) {
        reason = "no libsystemd";
        return BusAbsent;
    }
    if (sd.sd_bus_open_user(&bus) < 0) {
        bus = nullptr;
        return BusAbsent;
    }
    const std::uint64_t deadline = OsClock() + kAnswerMs;
    int r;
    while ((r = sd.sd_bus_is_ready(bus)) == 0) {
        r = sd.sd_bus_process(bus, nullptr);
        if (r < 0)
            break; // refused or broken
        if (r > 0)
            continue;
        std::uint64_t left = TimeLeft(deadline);
        if (left == 0) {
            reason = "the session bus did not answer";
            PrintError("the session bus did not answer within %d s", kAnswerSeconds);
            bus = sd.sd_bus_close_unref(bus);
            return BusMute;
        }
        r = sd.sd_bus_wait(bus, left * 1000);
        if (r < 0 && r != -EINTR)
            break;
    }
    if (r > 0)
        return BusReady;
    bus = sd.sd_bus_close_unref(bus);
    return BusAbsent;
}

// What a failed call comes to (see BusCall).
int Failure(int r, const sd_bus_error* error, std::uint64_t deadline)
{
    if (sd.sd_bus_is_open(bus) <= 0)
        return -ECONNRESET;
    if (sd.sd_bus_error_has_name(error, SD_BUS_ERROR_SERVICE_UNKNOWN) ||
        sd.sd_bus_error_has_name(error, SD_BUS_ERROR_NAME_HAS_NO_OWNER))
        return -ENOTCONN;
    // The bus gives up on a call by itself only long after our deadline:
    // before it, "no reply" means that the destination left without one.
    if (sd.sd_bus_error_has_name(error, SD_BUS_ERROR_NO_REPLY))
        return TimeLeft(deadline) > 0 ? -ECONNRESET : -ETIMEDOUT;
    return r;
}

} // namespace

ConnectResult BusConnect(sd_bus** connection, const char** where)
{
    // Under X11 the window managers that have a bus are ordinary ones; only
    // on Wayland do they have to be asked through it.
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (!Named()) {
        *where = "no session bus";
        return ConnectAbsent;
    }
    if (!wayland || !*wayland) {
        *where = "not a Wayland session";
        return ConnectAbsent;
    }
    if (!asked)
        result = Open();
    asked = true;
    *connection = bus;
    *where = reason;
    switch (result) {
    case BusReady:
        return ConnectDone;
    case BusAbsent:
        return ConnectAbsent;
    case BusMute:
        break;
    }
    return ConnectDeclined;
}

int BusWakeHandle()
{
    // A closed connection would wake the sleep for ever.
    return bus && sd.sd_bus_is_open(bus) > 0 ? sd.sd_bus_get_fd(bus) : -1;
}

void BusDispatch()
{
    while (bus && sd.sd_bus_is_open(bus) > 0 && sd.sd_bus_process(bus, nullptr) > 0) {
    }
}

int BusCall(std::uint64_t deadline, const char* destination, const char* path, const char* interface,
            const char* member, sd_bus_error* error, sd_bus_message** reply, const char* types, ...)
{
    std::uint64_t left = TimeLeft(deadline);
    if (left == 0)
        return -ETIMEDOUT; // a time-out of 0 would mean sd-bus's own 25 s
    if (!bus || sd.sd_bus_is_open(bus) <= 0)
        return -ENOTCONN;
    sd_bus_error own = {}; // SD_BUS_ERROR_NULL is a C compound literal
    sd_bus_error* e = error ? error : &own;
    sd_bus_message* call = nullptr;
    int r = sd.sd_bus_message_new_method_call(bus, &call, destination, path, interface, member);
    // A name that nobody owns must not start anything.
    if (r >= 0)
        r = sd.sd_bus_message_set_auto_start(call, 0);
    if (r >= 0 && types) {
        std::va_list args;
        va_start(args, types);
        r = sd.sd_bus_message_appendv(call, types, args);
        va_end(args);
    }
    if (r >= 0)
        r = sd.sd_bus_call(bus, call, left * 1000, e, reply);
    sd.sd_bus_message_unref(call);
    if (r < 0)
        r = Failure(r, e, deadline);
    sd.sd_bus_error_free(&own);
    return r;
}

void BusFlush(std::uint64_t deadline)
{
    std::uint64_t queued = 0;
    while (bus && sd.sd_bus_is_open(bus) > 0 && sd.sd_bus_get_n_queued_write(bus, &queued) >= 0 && queued > 0) {
        if (sd.sd_bus_process(bus, nullptr) > 0)
            continue;
        std::uint64_t left = TimeLeft(deadline);
        if (left == 0 || sd.sd_bus_wait(bus, left * 1000) < 0)
            return;
    }
}
