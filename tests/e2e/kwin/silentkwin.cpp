// A stand-in for KWin whose scripts never answer, for the end-to-end tests.
// It starts a session bus of its own, owns org.kde.KWin there with a
// /Scripting object that takes scripts in but never runs them, and runs
// COMMAND on that bus.
//
//   silentkwin silent|failing COMMAND...
//
// silent: a script stays loaded and never calls back, as under a KWin that
// has stopped answering. failing: a script is dropped when it is run, as KWin
// drops one that fails. Ends with COMMAND's status; writes nothing itself.

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char kIntrospection[] =
    "<node><interface name=\"org.kde.kwin.Scripting\">"
    "<method name=\"loadScript\"><arg type=\"s\" direction=\"in\"/><arg type=\"s\" direction=\"in\"/>"
    "<arg type=\"i\" direction=\"out\"/></method>"
    "<method name=\"unloadScript\"><arg type=\"s\" direction=\"in\"/><arg type=\"b\" direction=\"out\"/></method>"
    "<method name=\"isScriptLoaded\"><arg type=\"s\" direction=\"in\"/><arg type=\"b\" direction=\"out\"/></method>"
    "<method name=\"start\"/></interface></node>";
const int kScripts = 64;

bool failing;
struct {
    char name[128];
    bool loaded;
} scripts[kScripts];
int scriptCount;

int Find(const char* name)
{
    for (int i = 0; i < scriptCount; ++i)
        if (scripts[i].loaded && std::strcmp(scripts[i].name, name) == 0)
            return i;
    return -1;
}

int Handle(sd_bus_message* m, void*, sd_bus_error*)
{
    const char* arg = "";
    if (sd_bus_message_is_method_call(m, "org.freedesktop.DBus.Introspectable", "Introspect") &&
        std::strcmp(sd_bus_message_get_path(m), "/Scripting") == 0)
        return sd_bus_reply_method_return(m, "s", kIntrospection);
    if (sd_bus_message_is_method_call(m, "org.kde.kwin.Scripting", "loadScript")) {
        const char* path;
        sd_bus_message_read(m, "ss", &path, &arg);
        if (Find(arg) >= 0 || scriptCount == kScripts)
            return sd_bus_reply_method_return(m, "i", -1);
        std::snprintf(scripts[scriptCount].name, sizeof scripts[0].name, "%s", arg);
        scripts[scriptCount].loaded = true;
        return sd_bus_reply_method_return(m, "i", scriptCount++);
    }
    if (sd_bus_message_is_method_call(m, "org.kde.kwin.Scripting", "isScriptLoaded")) {
        sd_bus_message_read(m, "s", &arg);
        return sd_bus_reply_method_return(m, "b", Find(arg) >= 0);
    }
    if (sd_bus_message_is_method_call(m, "org.kde.kwin.Scripting", "unloadScript")) {
        sd_bus_message_read(m, "s", &arg);
        int i = Find(arg);
        if (i >= 0)
            scripts[i].loaded = false;
        return sd_bus_reply_method_return(m, "b", i >= 0);
    }
    if (sd_bus_message_is_method_call(m, "org.kde.kwin.Scripting", "start"))
        return sd_bus_reply_method_return(m, nullptr);
    if (sd_bus_message_is_method_call(m, "org.kde.kwin.Script", "run")) {
        int id = std::atoi(sd_bus_message_get_path(m) + 1);
        if (failing && id >= 0 && id < scriptCount)
            scripts[id].loaded = false;
        return sd_bus_reply_method_return(m, nullptr);
    }
    return 0;
}

// A bus daemon that ends with this process; its address once it is ready.
pid_t StartBus(const char* socket, char* address, std::size_t size)
{
    int ready[2];
    if (pipe(ready) != 0)
        return -1;
    pid_t pid = fork();
    if (pid == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        close(ready[0]);
        // Its complaints are not the command's, and its runtime files stay
        // out of the command's runtime directory.
        int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        unsetenv("XDG_RUNTIME_DIR");
        char listen[4200], print[32];
        std::snprintf(listen, sizeof listen, "--address=unix:path=%s", socket);
        std::snprintf(print, sizeof print, "--print-address=%d", ready[1]);
        execlp("dbus-daemon", "dbus-daemon", "--session", "--nofork", listen, print, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    ssize_t n = pid > 0 ? read(ready[0], address, size - 1) : -1;
    close(ready[0]);
    if (n <= 0)
        return -1;
    address[n] = '\0';
    address[std::strcspn(address, "\n")] = '\0';
    return pid;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3 || (std::strcmp(argv[1], "silent") != 0 && std::strcmp(argv[1], "failing") != 0)) {
        std::fprintf(stderr, "usage: silentkwin silent|failing COMMAND...\n");
        return 2;
    }
    failing = std::strcmp(argv[1], "failing") == 0;
    char dir[] = "/tmp/silentkwin-XXXXXX";
    if (!mkdtemp(dir))
        return 1;
    char socket[sizeof dir + 8], address[4200];
    std::snprintf(socket, sizeof socket, "%s/bus", dir);
    pid_t daemon = StartBus(socket, address, sizeof address);

    sd_bus* bus = nullptr;
    int status = 1;
    if (daemon > 0 && sd_bus_new(&bus) >= 0 && sd_bus_set_address(bus, address) >= 0 &&
        sd_bus_set_bus_client(bus, 1) >= 0 && sd_bus_start(bus) >= 0 &&
        sd_bus_request_name(bus, "org.kde.KWin", 0) >= 0 && sd_bus_add_fallback(bus, nullptr, "/", Handle, nullptr) >= 0) {
        pid_t command = fork();
        if (command == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            setenv("DBUS_SESSION_BUS_ADDRESS", address, 1);
            execvp(argv[2], argv + 2);
            _exit(127);
        }
        int waited = 0;
        while (command > 0 && (waited = waitpid(command, &status, WNOHANG)) == 0) {
            while (sd_bus_process(bus, nullptr) > 0) {
            }
            sd_bus_wait(bus, 50000);
        }
        status = waited > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : 1;
    }
    sd_bus_flush_close_unref(bus);
    if (daemon > 0) {
        kill(daemon, SIGTERM);
        waitpid(daemon, nullptr, 0);
    }
    unlink(socket);
    rmdir(dir);
    return status;
}
