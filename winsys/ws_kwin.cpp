// KDE's KWin (Plasma 5.27 and 6, on Wayland): the window-system operations
// through KWin's scripting on the session bus.
//
// KWin shows its window list to its own scripts only. Each question is a
// small script, loaded from a private file and run once, that answers with
// callDBus() to this process's bus name. Windows are known by KWin's
// internalId, a UUID never reused; the handle shown is the X11 id of an
// XWayland window, else the UUID's first 32 bits.

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/constants.h"
#include "core/core.h"
#include "winsys/bus.h"
#include "winsys/linux.h"
#include "winsys/os_linux.h"
#include "winsys/window_list.h"

namespace {

const char kService[] = "org.kde.KWin";
const char kScripting[] = "/Scripting";
const char kScriptingInterface[] = "org.kde.kwin.Scripting";
const char kAnswerPath[] = "/org/vantrel/Answer";
const char kAnswerInterface[] = "org.vantrel.Answer";
const int kScriptSize = 2048;
const int kPathSize = 4096;
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

enum Question { NoQuestion, ListQuestion, CloseQuestion };

enum Answer {
    Answered,
    Unreadable, // an answer came that is not one
    Silent,     // no answer by the deadline
    Unasked,    // the script could not be written; standard error says why
    Lost,       // KWin or the bus has gone
};

sd_bus* bus;
char kwin[256];   // KWin's unique name: answers come from it alone
char self[256];   // ours, where the scripts send their answers
char token[33];   // in every answer, so that no other script passes for ours
int questions;    // numbers the scripts' names
Question awaiting;
Answer answer;
bool loadedScript; // the last question's script was taken in
bool runSent;      // and KWin may have been told to run it
CloseOutcome closeAnswer;

struct {
    WindowHandle handle;
    char id[sizeof ListedWindow::id];
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

void Keep(const char* caption, const char* stacking, const char* id, const char* x11, const char* pid)
{
    std::size_t idLength = std::strlen(id);
    ListedWindow* w = idLength > 0 && idLength < sizeof w->id // else it could not be asked to close
                          ? ListedAdd(caption, static_cast<std::int32_t>(std::strtol(stacking, nullptr, 10)))
                          : nullptr;
    if (!w)
        return;
    std::memcpy(w->id, id, idLength + 1);
    std::uint32_t x11Id = ReadNumber(x11);
    w->handle = x11Id ? x11Id : HandleFromId(id);
    w->x11 = x11Id;
    w->pid = ReadNumber(pid);
}

// KWin passes a script's array on as variants (av); plain strings (as) are
// taken too.
bool ReadField(sd_bus_message* m, bool variants, const char** field)
{
    return (variants ? sd.sd_bus_message_read(m, "v", "s", field) : sd.sd_bus_message_read(m, "s", field)) > 0;
}

bool ReadWindows(sd_bus_message* m)
{
    char type;
    const char* contents;
    if (sd.sd_bus_message_peek_type(m, &type, &contents) <= 0 || type != SD_BUS_TYPE_ARRAY ||
        sd.sd_bus_message_enter_container(m, SD_BUS_TYPE_ARRAY, contents) <= 0)
        return false;
    bool variants = std::strcmp(contents, "v") == 0;
    const char* f[kFieldsPerWindow];
    for (;;) {
        int i = 0;
        while (i < kFieldsPerWindow && ReadField(m, variants, &f[i]))
            ++i;
        if (i == 0 && sd.sd_bus_message_exit_container(m) >= 0)
            return true;
        if (i < kFieldsPerWindow)
            return false;
        Keep(f[0], f[1], f[2], f[3], f[4]);
    }
}

bool ReadClosed(sd_bus_message* m)
{
    const char* said = "";
    if (sd.sd_bus_message_read(m, "s", &said) <= 0)
        return false;
    closeAnswer = std::strcmp(said, "closed") == 0 ? CloseDelivered
                  : std::strcmp(said, "noway") == 0 ? CloseNoWay
                  : std::strcmp(said, "gone") == 0  ? CloseGone
                                                     : CloseUnknown;
    return true;
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
    bool read;
    if (awaiting == ListQuestion && std::strcmp(member, "Windows") == 0)
        read = ReadWindows(m);
    else if (awaiting == CloseQuestion && std::strcmp(member, "Closed") == 0)
        read = ReadClosed(m);
    else
        return sd.sd_bus_reply_method_return(m, nullptr);
    awaiting = NoQuestion;
    answer = read ? Answered : Unreadable;
    return sd.sd_bus_reply_method_return(m, nullptr);
}

// A call to KWin; one that fails because KWin or the bus has gone says so
// in answer.
int Call(std::uint64_t deadline, const char* path, const char* interface, const char* member, sd_bus_error* error,
         sd_bus_message** reply, const char* types, const char* first = nullptr, const char* second = nullptr)
{
    int r = BusCall(deadline, kwin, path, interface, member, error, reply, types, first, second);
    if (r == -ENOTCONN || r == -ECONNRESET)
        answer = Lost;
    return r;
}

// Whether a call that runs scripts may have reached KWin.
bool MayHaveRun(int r)
{
    return r >= 0 || r == -ETIMEDOUT || r == -ECONNRESET;
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

// The question as a script.
std::size_t WriteScript(char* script, Question question, const char* id)
{
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
    return at;
}

// Takes in what has come until the question is answered or the deadline.
void AwaitAnswer(std::uint64_t deadline)
{
    while (answer == Silent) {
        int r = sd.sd_bus_process(bus, nullptr);
        if (r < 0) {
            answer = Lost;
            return;
        }
        if (r > 0)
            continue;
        std::uint64_t left = TimeLeft(deadline);
        if (left == 0)
            return;
        r = sd.sd_bus_wait(bus, left * 1000);
        if (r < 0 && r != -EINTR) {
            answer = Lost;
            return;
        }
    }
}

// Nobody waits for KWin to let a script go.
void Unload(const char* name, std::uint64_t deadline)
{
    sd_bus_message* call = nullptr;
    if (sd.sd_bus_message_new_method_call(bus, &call, kwin, kScripting, kScriptingInterface, "unloadScript") >= 0 &&
        sd.sd_bus_message_append(call, "s", name) >= 0 && sd.sd_bus_message_set_expect_reply(call, 0) >= 0)
        sd.sd_bus_send(bus, call, nullptr);
    sd.sd_bus_message_unref(call);
    BusFlush(deadline);
}

void RunScript(const char* path, Question question, std::uint64_t deadline)
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
    loadedScript = id >= 0;
    if (id < 0) {
        // A load that timed out may still be done; a name refused is not ours.
        if (r < 0 && answer != Lost)
            Unload(name, deadline);
        return;
    }
    awaiting = question;

    // Plasma 5 names the script's object /ID, Plasma 6 /Scripting/ScriptID.
    // run() returns once the script has run, its answer already on the way.
    char objects[2][48];
    std::snprintf(objects[0], sizeof objects[0], "/%d", id);
    std::snprintf(objects[1], sizeof objects[1], "/Scripting/Script%d", id);
    for (const char* object : objects) {
        sd_bus_error error = {};
        r = Call(deadline, object, "org.kde.kwin.Script", "run", &error, nullptr, nullptr);
        bool elsewhere = r < 0 && (sd.sd_bus_error_has_name(&error, SD_BUS_ERROR_UNKNOWN_OBJECT) ||
                                   sd.sd_bus_error_has_name(&error, SD_BUS_ERROR_UNKNOWN_INTERFACE) ||
                                   sd.sd_bus_error_has_name(&error, SD_BUS_ERROR_UNKNOWN_METHOD));
        sd.sd_bus_error_free(&error);
        runSent |= MayHaveRun(r);
        if (!elsewhere)
            break;
    }
    while (answer == Silent && sd.sd_bus_process(bus, nullptr) > 0) {
    }

    int loaded = 1;
    if (answer == Silent) {
        // KWin drops a script that fails. One still loaded has not run: on
        // Plasma 5 ids are counts of scripts loaded, and /ID may still be an
        // older script's; start() runs every script that has not run yet.
        if (Call(deadline, kScripting, kScriptingInterface, "isScriptLoaded", nullptr, &reply, "s", name) >= 0)
            sd.sd_bus_message_read(reply, "b", &loaded);
        reply = sd.sd_bus_message_unref(reply);
        if (loaded && answer == Silent) {
            r = Call(deadline, kScripting, kScriptingInterface, "start", nullptr, nullptr, nullptr);
            runSent |= MayHaveRun(r);
            if (r >= 0)
                AwaitAnswer(deadline);
        }
    }
    awaiting = NoQuestion;
    if (loaded && answer != Lost)
        Unload(name, deadline);
}

// Writes one place's folder and script; 0, or why it could not.
int Store(const char* place, const char* script, std::size_t length, char* dir, char* path)
{
    if (std::snprintf(dir, kPathSize, "%s/vantrel-XXXXXX", place) >= kPathSize)
        return ENAMETOOLONG;
    if (!mkdtemp(dir))
        return errno;
    std::snprintf(path, kPathSize + 8, "%s/ask.js", dir);
    // The script carries the token: it goes with the tool, however it ends.
    OsRemoveOnSignal(path, dir);
    int fd = open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    ssize_t written = fd >= 0 ? write(fd, script, length) : -1;
    int error = written < 0 ? errno : static_cast<std::size_t>(written) < length ? ENOSPC : 0;
    if (fd >= 0 && close(fd) != 0 && !error)
        error = errno;
    if (error) {
        unlink(path);
        rmdir(dir);
        OsRemoveOnSignal(nullptr, nullptr);
    }
    return error;
}

// The script in a folder of this user's alone: in the runtime directory, or
// the temporary one where that can't be written.
bool Save(const char* script, std::size_t length, char* dir, char* path)
{
    const char* places[] = {std::getenv("XDG_RUNTIME_DIR"), std::getenv("TMPDIR"), "/tmp"};
    const char* first = nullptr;
    int firstError = 0;
    for (const char* place : places) {
        int error = place && *place ? Store(place, script, length, dir, path) : -1;
        if (error == 0)
            return true;
        if (error > 0 && !first) {
            first = place;
            firstError = error;
        }
    }
    PrintError("could not write a script for KWin in %s: %s", first, std::strerror(firstError));
    return false;
}

Answer Ask(Question question, const char* id)
{
    std::uint64_t deadline = OsClock() + kAnswerMs;
    answer = Silent;
    loadedScript = runSent = false;
    char dir[kPathSize];
    char path[kPathSize + 8];
    char script[kScriptSize];
    std::size_t length = WriteScript(script, question, id);
    if (!Save(script, length, dir, path))
        return Unasked;
    RunScript(path, question, deadline);
    unlink(path);
    rmdir(dir);
    OsRemoveOnSignal(nullptr, nullptr);
    return answer;
}

ListOutcome EnumWindows(const char* ownTitle, WindowVisitor visit, void* context)
{
    ListedClear();
    switch (Ask(ListQuestion, nullptr)) {
    case Answered:
        break;
    case Unreadable:
        PrintError("KWin's answer to the window list request could not be read");
        return ListLost;
    case Silent:
        PrintError("KWin did not answer the window list request");
        return ListLost;
    case Lost:
        PrintError("the connection to KWin was lost");
        return ListLost;
    case Unasked:
        return ListLost;
    }
    return ListedOffer(ownTitle, visit, context);
}

void TrackWindow(WindowHandle window, const char*)
{
    // KWin finds the window by its id when asked to close it; a newcomer
    // never gets the same id.
    const ListedWindow* w = ListedFind(window);
    tracked.handle = w ? window : 0;
    std::snprintf(tracked.id, sizeof tracked.id, "%s", w ? w->id : "");
}

CloseOutcome CloseTracked(WindowHandle window)
{
    if (!tracked.handle || tracked.handle != window)
        return CloseGone;
    if (sd.sd_bus_is_open(bus) <= 0)
        return CloseLost;
    switch (Ask(CloseQuestion, tracked.id)) {
    case Answered:
        return closeAnswer;
    case Silent:
    case Unreadable:
        // A script that was loaded may yet run.
        return loadedScript ? CloseUnsure : CloseMute;
    case Lost:
        return runSent ? CloseLostUnsure : CloseLost;
    case Unasked:
        break;
    }
    return CloseUntold;
}

} // namespace

ConnectResult ConnectKwin(WindowSystem* desktop, const char** where)
{
    ConnectResult result = BusConnect(&bus, where);
    if (result != ConnectDone)
        return result;
    // One call says whether KWin is there with its scripting, and who it is.
    std::uint64_t deadline = OsClock() + kAnswerMs;
    sd_bus_message* reply = nullptr;
    int r = BusCall(deadline, kService, kScripting, "org.freedesktop.DBus.Introspectable", "Introspect", nullptr,
                    &reply, nullptr);
    bool silent = r == -ETIMEDOUT;
    const char* xml = nullptr;
    bool scripting = r >= 0 && sd.sd_bus_message_read(reply, "s", &xml) > 0 &&
                     std::strstr(xml, "\"org.kde.kwin.Scripting\"") != nullptr;
    const char* sender = r >= 0 ? sd.sd_bus_message_get_sender(reply) : nullptr;
    std::snprintf(kwin, sizeof kwin, "%s", sender ? sender : "");
    sd.sd_bus_message_unref(reply);
    if (silent) {
        PrintError("KWin did not answer within %d s", kAnswerSeconds);
        *where = "org.kde.KWin did not answer";
        return ConnectDeclined;
    }
    if (!scripting || !*kwin) {
        *where = r >= 0 ? "org.kde.KWin offers no /Scripting" : "no org.kde.KWin on the session bus";
        return ConnectAbsent;
    }

    const char* unique = nullptr;
    sd_id128_t random;
    if (sd.sd_bus_get_unique_name(bus, &unique) < 0 || sd.sd_id128_randomize(&random) < 0 ||
        sd.sd_bus_add_object(bus, nullptr, kAnswerPath, HandleAnswer, nullptr) < 0) {
        *where = "no session bus";
        return ConnectAbsent;
    }
    std::snprintf(self, sizeof self, "%s", unique);
    sd.sd_id128_to_string(random, token);
    *where = kService;
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
