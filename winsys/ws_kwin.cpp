// KDE's KWin (Plasma 5.27 and 6, on Wayland or X11): the window-system
// operations through KWin's scripting on the session bus.
//
// KWin shows its window list to its own scripts only. Each question is a
// small script, loaded from a private file and run once, that answers with
// callDBus() to this process's bus name. Windows are known by KWin's
// internalId, a UUID never reused; the handle shown is the X11 id of an
// XWayland window, else the UUID's first 32 bits.

#include <dlfcn.h>
#include <fcntl.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-id128.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "winsys/linux.h"

// libsystemd is loaded only when a session bus is there to be asked, so that
// runs on other desktops neither need it nor pay for it.
#define VANTREL_SD_BUS_FUNCTIONS(X) \
    X(sd_bus_add_object) \
    X(sd_bus_call) \
    X(sd_bus_close_unref) \
    X(sd_bus_error_free) \
    X(sd_bus_error_has_name) \
    X(sd_bus_error_set) \
    X(sd_bus_flush) \
    X(sd_bus_get_fd) \
    X(sd_bus_get_unique_name) \
    X(sd_bus_is_open) \
    X(sd_bus_message_append) \
    X(sd_bus_message_appendv) \
    X(sd_bus_message_enter_container) \
    X(sd_bus_message_get_member) \
    X(sd_bus_message_get_sender) \
    X(sd_bus_message_is_method_call) \
    X(sd_bus_message_new_method_call) \
    X(sd_bus_message_peek_type) \
    X(sd_bus_message_read) \
    X(sd_bus_message_set_auto_start) \
    X(sd_bus_message_set_expect_reply) \
    X(sd_bus_message_unref) \
    X(sd_bus_open_user) \
    X(sd_bus_process) \
    X(sd_bus_reply_method_return) \
    X(sd_bus_send) \
    X(sd_bus_wait) \
    X(sd_id128_randomize) \
    X(sd_id128_to_string)

namespace {

struct {
#define X(name) decltype(&::name) name;
    VANTREL_SD_BUS_FUNCTIONS(X)
#undef X
} sd;

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

const char kService[] = "org.kde.KWin";
const char kScripting[] = "/Scripting";
const char kScriptingInterface[] = "org.kde.kwin.Scripting";
const char kAnswerPath[] = "/org/vantrel/Answer";
const char kAnswerInterface[] = "org.vantrel.Answer";
const std::uint64_t kAnswerMs = 5000; // what KWin is given for each question
const int kMaxWindows = 1024;
const int kTitleSize = 512; // the 511 bytes that are kept, and the zero
const int kIdSize = 64;     // "{8-4-4-4-12}", with room to spare
const int kScriptSize = 2048;
const int kFieldsPerWindow = 5;

// Both scripts take the list the same way on Plasma 5 and 6, and send
// every value as a string: KWin marshals other JavaScript values by their
// current type, and a UUID not at all. A zero byte would fail the whole
// answer; as on X11, it ends the title.
const char kWindowList[] = "var all = workspace.windowList ? workspace.windowList() : workspace.clientList();\n";

const char kListBody[] =
    "var out = [];\n"
    "for (var i = 0; i < all.length; ++i) {\n"
    "    var w = all[i];\n"
    "    out.push(String(w.caption || '').split('\\0')[0], String(w.stackingOrder), String(w.internalId),\n"
    "             String(w.windowId || 0), String(w.pid || 0));\n"
    "}\n"
    "callDBus(DEST, PATH, IFACE, 'Windows', TOKEN, out);\n";

const char kCloseBody[] =
    "var said = 'gone';\n"
    "for (var i = 0; i < all.length; ++i) {\n"
    "    var w = all[i];\n"
    "    if (String(w.internalId) !== ID)\n"
    "        continue;\n"
    "    said = w.closeable ? 'closed' : 'noway';\n"
    "    if (w.closeable)\n"
    "        w.closeWindow();\n"
    "    break;\n"
    "}\n"
    "callDBus(DEST, PATH, IFACE, 'Closed', TOKEN, said);\n";

struct Entry {
    WindowHandle handle;
    std::int32_t stacking;
    std::uint32_t pid;
    int titleLength;
    char id[kIdSize];
    char title[kTitleSize];
};

enum Question { NoQuestion, ListQuestion, CloseQuestion };

sd_bus* bus;
char kwin[256];   // KWin's unique name: answers come from it alone
char self[256];   // ours, where the scripts send their answers
char token[33];   // in every answer, so that no other script passes for ours
int questions;    // numbers the scripts' names
Question awaiting;
bool answered;
CloseOutcome closeAnswer;

Entry entries[kMaxWindows];
int order[kMaxWindows]; // entries, topmost first
int entryCount;
int offered; // the place in order that LocateTargetProc is looking at

struct {
    WindowHandle handle;
    char id[kIdSize];
} tracked;

std::uint32_t HexDigit(char c)
{
    return c >= '0' && c <= '9' ? static_cast<std::uint32_t>(c - '0')
           : c >= 'a' && c <= 'f' ? static_cast<std::uint32_t>(c - 'a' + 10)
           : c >= 'A' && c <= 'F' ? static_cast<std::uint32_t>(c - 'A' + 10)
                                  : 16;
}

// The eight hex digits before the UUID's first dash; failing that, a hash,
// so that a form of the id not seen here still gives a steady handle.
WindowHandle HandleFromId(const char* id)
{
    const char* dash = std::strchr(id, '-');
    std::uint32_t value = 0;
    bool hex = dash && dash - id >= 8;
    for (const char* p = hex ? dash - 8 : dash; hex && p < dash; ++p) {
        hex = HexDigit(*p) < 16;
        value = value << 4 | HexDigit(*p);
    }
    if (hex)
        return value;
    value = 2166136261u;
    for (const char* p = id; *p; ++p)
        value = (value ^ static_cast<unsigned char>(*p)) * 16777619u;
    return value;
}

std::uint32_t ReadNumber(const char* text)
{
    return static_cast<std::uint32_t>(std::strtoul(text, nullptr, 10));
}

// Keeps the topmost kMaxWindows windows, in order; equals keep KWin's order.
void Keep(const char* caption, const char* stacking, const char* id, const char* x11, const char* pid)
{
    std::size_t idLength = std::strlen(id);
    if (idLength == 0 || idLength >= kIdSize)
        return; // it could not be asked to close
    std::int32_t level = static_cast<std::int32_t>(std::strtol(stacking, nullptr, 10));
    int at = entryCount;
    while (at > 0 && entries[order[at - 1]].stacking < level)
        --at;
    if (at == kMaxWindows)
        return;
    int slot = entryCount < kMaxWindows ? entryCount : order[kMaxWindows - 1];
    int moved = (entryCount < kMaxWindows ? entryCount : kMaxWindows - 1) - at;
    std::memmove(&order[at + 1], &order[at], static_cast<std::size_t>(moved) * sizeof order[0]);
    order[at] = slot;
    if (entryCount < kMaxWindows)
        ++entryCount;

    Entry& e = entries[slot];
    std::memcpy(e.id, id, idLength + 1);
    std::uint32_t x11Id = ReadNumber(x11);
    e.handle = x11Id ? x11Id : HandleFromId(id);
    e.stacking = level;
    e.pid = ReadNumber(pid);
    std::size_t length = std::strlen(caption);
    if (length > kTitleSize - 1)
        length = kTitleSize - 1;
    std::memcpy(e.title, caption, length);
    e.title[length] = '\0';
    e.titleLength = static_cast<int>(length);
}

// KWin passes a script's array on as variants (av); plain strings (as) are
// taken too.
bool ReadField(sd_bus_message* m, bool variants, const char** field)
{
    return (variants ? sd.sd_bus_message_read(m, "v", "s", field) : sd.sd_bus_message_read(m, "s", field)) > 0;
}

void ReadWindows(sd_bus_message* m)
{
    char type;
    const char* contents;
    if (sd.sd_bus_message_peek_type(m, &type, &contents) <= 0 || type != SD_BUS_TYPE_ARRAY ||
        sd.sd_bus_message_enter_container(m, SD_BUS_TYPE_ARRAY, contents) <= 0)
        return;
    bool variants = std::strcmp(contents, "v") == 0;
    const char* f[kFieldsPerWindow];
    for (;;) {
        int i = 0;
        while (i < kFieldsPerWindow && ReadField(m, variants, &f[i]))
            ++i;
        if (i < kFieldsPerWindow)
            break;
        Keep(f[0], f[1], f[2], f[3], f[4]);
    }
}

void ReadClosed(sd_bus_message* m)
{
    const char* said = "";
    sd.sd_bus_message_read(m, "s", &said);
    closeAnswer = std::strcmp(said, "closed") == 0 ? CloseDelivered
                  : std::strcmp(said, "noway") == 0 ? CloseNoWay
                                                     : CloseGone;
}

int HandleAnswer(sd_bus_message* m, void*, sd_bus_error* error)
{
    if (!sd.sd_bus_message_is_method_call(m, kAnswerInterface, nullptr))
        return 0;
    const char* sender = sd.sd_bus_message_get_sender(m);
    const char* said = nullptr;
    if (!sender || std::strcmp(sender, kwin) != 0 || sd.sd_bus_message_read(m, "s", &said) <= 0 ||
        std::strcmp(said, token) != 0)
        return sd.sd_bus_error_set(error, SD_BUS_ERROR_ACCESS_DENIED, "not an answer to this program");
    // A late answer to a question given up on is let go.
    const char* member = sd.sd_bus_message_get_member(m);
    if (awaiting == ListQuestion && std::strcmp(member, "Windows") == 0)
        ReadWindows(m);
    else if (awaiting == CloseQuestion && std::strcmp(member, "Closed") == 0)
        ReadClosed(m);
    else
        return sd.sd_bus_reply_method_return(m, nullptr);
    awaiting = NoQuestion;
    answered = true;
    return sd.sd_bus_reply_method_return(m, nullptr);
}

std::uint64_t Left(std::uint64_t deadline)
{
    std::uint64_t now = OsClock();
    return now < deadline ? deadline - now : 0;
}

// A method call to KWin, answered by the deadline or failed; the reply,
// when one is wanted, is the caller's to unref.
int Call(std::uint64_t deadline, const char* path, const char* interface, const char* member, sd_bus_error* error,
         sd_bus_message** reply, const char* types, ...)
{
    std::uint64_t left = Left(deadline);
    if (left == 0)
        return -ETIMEDOUT; // 0 would mean sd-bus's own 25 s
    sd_bus_message* call = nullptr;
    int r = sd.sd_bus_message_new_method_call(bus, &call, kwin, path, interface, member);
    if (r >= 0 && types) {
        std::va_list args;
        va_start(args, types);
        r = sd.sd_bus_message_appendv(call, types, args);
        va_end(args);
    }
    if (r >= 0)
        r = sd.sd_bus_call(bus, call, left * 1000, error, reply);
    sd.sd_bus_message_unref(call);
    return r;
}

// A string of bytes as a JavaScript literal; only ASCII names and ids are
// ever written.
void AppendLiteral(char* script, std::size_t* at, const char* text)
{
    const char* safe = "{}-.:_";
    std::size_t n = *at;
    for (const char* p = text; *p && n + 8 < kScriptSize; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        bool plain = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                     std::strchr(safe, c);
        if (plain)
            script[n++] = static_cast<char>(c);
        else
            n += static_cast<std::size_t>(std::snprintf(script + n, kScriptSize - n, "\\x%02x", c));
    }
    *at = n;
}

void Append(char* script, std::size_t* at, const char* text)
{
    std::size_t length = std::strlen(text);
    if (*at + length < kScriptSize) {
        std::memcpy(script + *at, text, length);
        *at += length;
    }
}

// The question as a script, in a file of its own that only this user can
// read.
bool WriteScript(const char* path, Question question, const char* id)
{
    char script[kScriptSize];
    std::size_t at = 0;
    const char* names[][2] = {{"DEST", self}, {"PATH", kAnswerPath}, {"IFACE", kAnswerInterface}, {"TOKEN", token},
                              {"ID", id ? id : ""}};
    Append(script, &at, "(function () {\n");
    for (const auto& name : names) {
        Append(script, &at, "var ");
        Append(script, &at, name[0]);
        Append(script, &at, " = '");
        AppendLiteral(script, &at, name[1]);
        Append(script, &at, "';\n");
    }
    Append(script, &at, kWindowList);
    Append(script, &at, question == ListQuestion ? kListBody : kCloseBody);
    Append(script, &at, "})();\n");

    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    bool written = write(fd, script, at) == static_cast<ssize_t>(at);
    return close(fd) == 0 && written;
}

// Takes in what has come until the question is answered or the deadline.
void AwaitAnswer(std::uint64_t deadline)
{
    while (!answered) {
        int r = sd.sd_bus_process(bus, nullptr);
        if (r < 0)
            return;
        if (r > 0)
            continue;
        std::uint64_t left = Left(deadline);
        if (left == 0)
            return;
        r = sd.sd_bus_wait(bus, left * 1000);
        if (r < 0 && r != -EINTR)
            return;
    }
}

// Nobody waits for KWin to let a script go.
void Unload(const char* name)
{
    sd_bus_message* call = nullptr;
    if (sd.sd_bus_message_new_method_call(bus, &call, kwin, kScripting, kScriptingInterface, "unloadScript") >= 0 &&
        sd.sd_bus_message_append(call, "s", name) >= 0 && sd.sd_bus_message_set_expect_reply(call, 0) >= 0)
        sd.sd_bus_send(bus, call, nullptr);
    sd.sd_bus_message_unref(call);
    sd.sd_bus_flush(bus);
}

bool RunScript(const char* path, Question question, std::uint64_t deadline)
{
    char name[64];
    std::snprintf(name, sizeof name, "vantrel-%d-%llu-%d", static_cast<int>(getpid()),
                  static_cast<unsigned long long>(OsClock()), ++questions);
    sd_bus_message* reply = nullptr;
    std::int32_t id = -1;
    int r = Call(deadline, kScripting, kScriptingInterface, "loadScript", nullptr, &reply, "ss", path, name);
    if (r >= 0)
        sd.sd_bus_message_read(reply, "i", &id);
    reply = sd.sd_bus_message_unref(reply);
    if (id < 0) {
        // A load that timed out may still be done; a name refused is not ours.
        if (r < 0)
            Unload(name);
        return false;
    }
    awaiting = question;
    answered = false;

    // Plasma 5 names the script's object /ID, Plasma 6 /Scripting/ScriptID.
    // run() returns once the script has run, its answer already on the way.
    char objects[2][48];
    std::snprintf(objects[0], sizeof objects[0], "/%d", id);
    std::snprintf(objects[1], sizeof objects[1], "/Scripting/Script%d", id);
    for (const char* object : objects) {
        sd_bus_error error = {}; // SD_BUS_ERROR_NULL is a C compound literal
        r = Call(deadline, object, "org.kde.kwin.Script", "run", &error, nullptr, nullptr);
        bool elsewhere = r < 0 && (sd.sd_bus_error_has_name(&error, SD_BUS_ERROR_UNKNOWN_OBJECT) ||
                                   sd.sd_bus_error_has_name(&error, SD_BUS_ERROR_UNKNOWN_INTERFACE) ||
                                   sd.sd_bus_error_has_name(&error, SD_BUS_ERROR_UNKNOWN_METHOD));
        sd.sd_bus_error_free(&error);
        if (!elsewhere)
            break;
    }
    while (!answered && sd.sd_bus_process(bus, nullptr) > 0) {
    }

    int loaded = 1;
    if (!answered) {
        // KWin drops a script that fails. One still loaded has not run: on
        // Plasma 5 ids are counts of scripts loaded, and /ID may still be an
        // older script's; start() runs every script that has not run yet.
        if (Call(deadline, kScripting, kScriptingInterface, "isScriptLoaded", nullptr, &reply, "s", name) >= 0)
            sd.sd_bus_message_read(reply, "b", &loaded);
        reply = sd.sd_bus_message_unref(reply);
        if (loaded && Call(deadline, kScripting, kScriptingInterface, "start", nullptr, nullptr, nullptr) >= 0)
            AwaitAnswer(deadline);
    }
    awaiting = NoQuestion;
    if (loaded)
        Unload(name);
    return answered;
}

bool Ask(Question question, const char* id)
{
    std::uint64_t deadline = OsClock() + kAnswerMs;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    char dir[4096];
    char path[4096 + 16];
    if (std::snprintf(dir, sizeof dir, "%s/vantrel-XXXXXX", runtime && *runtime ? runtime : "/tmp") >=
            static_cast<int>(sizeof dir) ||
        !mkdtemp(dir))
        return false;
    std::snprintf(path, sizeof path, "%s/ask.js", dir);
    bool done = WriteScript(path, question, id) && RunScript(path, question, deadline);
    unlink(path);
    rmdir(dir);
    return done;
}

Entry* Find(WindowHandle window)
{
    if (offered < entryCount && entries[order[offered]].handle == window)
        return &entries[order[offered]];
    for (int i = 0; i < entryCount; ++i)
        if (entries[order[i]].handle == window)
            return &entries[order[i]];
    return nullptr;
}

void EnumWindows()
{
    entryCount = 0;
    if (!Ask(ListQuestion, nullptr)) {
        PrintError("KWin did not answer the window list request");
        return;
    }
    for (offered = 0; offered < entryCount; ++offered)
        if (LocateTargetProc(entries[order[offered]].handle, 0) == 0)
            return;
}

int GetWindowTitle(WindowHandle window, char* buffer, int size)
{
    const Entry* e = Find(window);
    if (size <= 0 || !e || e->titleLength == 0)
        return 0;
    int kept = e->titleLength < size - 1 ? e->titleLength : size - 1;
    std::memcpy(buffer, e->title, static_cast<std::size_t>(kept));
    buffer[kept] = '\0';
    return kept;
}

bool HostsOwnTerminal(WindowHandle window)
{
    const Entry* e = Find(window);
    return e && e->pid > 0 && OsIsAncestorProcess(e->pid);
}

void TrackWindow(WindowHandle window)
{
    const Entry* e = Find(window);
    tracked.handle = e ? window : 0;
    std::memcpy(tracked.id, e ? e->id : "", e ? std::strlen(e->id) + 1 : 1);
}

bool HoldTrackedWindow(WindowHandle window)
{
    // KWin finds the window by its id when asked to close it; a newcomer
    // never gets the same id.
    return tracked.handle && tracked.handle == window;
}

CloseOutcome SendClose(WindowHandle window)
{
    if (!tracked.handle || tracked.handle != window)
        return CloseGone;
    return Ask(CloseQuestion, tracked.id) ? closeAnswer : CloseTimedOut;
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

void CopyName(char* to, std::size_t size, const char* name)
{
    std::snprintf(to, size, "%s", name ? name : "");
}

ConnectResult Decline(const char* reason, const char** where)
{
    *where = reason;
    bus = sd.sd_bus_close_unref(bus);
    return ConnectUnreachable;
}

} // namespace

ConnectResult ConnectKwin(WindowSystem* desktop, const char** where)
{
    // Under X11 KWin is an ordinary window manager; only on Wayland does it
    // have to be asked through its scripts.
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    char socket[4096];
    std::snprintf(socket, sizeof socket, "%s/bus", runtime ? runtime : "");
    if ((!address || !*address) && (!runtime || !*runtime || access(socket, F_OK) != 0)) {
        *where = "no session bus";
        return ConnectUnreachable;
    }
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (!wayland || !*wayland) {
        *where = "not a Wayland session";
        return ConnectUnreachable;
    }
    if (!LoadSdBus()) {
        *where = "no libsystemd";
        return ConnectUnreachable;
    }
    if (sd.sd_bus_open_user(&bus) < 0) {
        bus = nullptr;
        *where = "no session bus";
        return ConnectUnreachable;
    }
    // One call says whether KWin is there with its scripting, and who it
    // is. A name that is not taken must not start anything.
    sd_bus_message* call = nullptr;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = {};
    int r = sd.sd_bus_message_new_method_call(bus, &call, kService, kScripting, "org.freedesktop.DBus.Introspectable",
                                           "Introspect");
    if (r >= 0)
        r = sd.sd_bus_message_set_auto_start(call, 0);
    if (r >= 0)
        r = sd.sd_bus_call(bus, call, kAnswerMs * 1000, &error, &reply);
    sd.sd_bus_message_unref(call);
    bool absent = sd.sd_bus_error_has_name(&error, SD_BUS_ERROR_SERVICE_UNKNOWN) ||
                  sd.sd_bus_error_has_name(&error, SD_BUS_ERROR_NAME_HAS_NO_OWNER);
    bool silent = sd.sd_bus_error_has_name(&error, SD_BUS_ERROR_NO_REPLY) || r == -ETIMEDOUT;
    sd.sd_bus_error_free(&error);
    const char* xml = nullptr;
    bool scripting = r >= 0 && sd.sd_bus_message_read(reply, "s", &xml) > 0 &&
                     std::strstr(xml, "\"org.kde.kwin.Scripting\"") != nullptr;
    CopyName(kwin, sizeof kwin, r >= 0 ? sd.sd_bus_message_get_sender(reply) : nullptr);
    sd.sd_bus_message_unref(reply);
    if (r < 0 && !absent && !silent && sd.sd_bus_is_open(bus) <= 0)
        return Decline("no session bus", where);
    if (absent)
        return Decline("no org.kde.KWin on the session bus", where);
    if (silent)
        return Decline("org.kde.KWin did not answer", where);
    if (!scripting || !*kwin)
        return Decline("org.kde.KWin offers no /Scripting", where);

    const char* unique = nullptr;
    sd_id128_t random;
    if (sd.sd_bus_get_unique_name(bus, &unique) < 0 || sd.sd_id128_randomize(&random) < 0 ||
        sd.sd_bus_add_object(bus, nullptr, kAnswerPath, HandleAnswer, nullptr) < 0)
        return Decline("no session bus", where);
    CopyName(self, sizeof self, unique);
    sd.sd_id128_to_string(random, token);
    *where = kService;
    *desktop = {EnumWindows, GetWindowTitle, HostsOwnTerminal, TrackWindow, HoldTrackedWindow, SendClose,
                WakeHandle, Dispatch};
    return ConnectDone;
}
