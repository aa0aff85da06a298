// Linux: naming the terminal the tool runs in, and leaving the file system
// as it was when a signal ends the tool.

#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "winsys/os_linux.h"
#include "winsys/winsys.h"

namespace {

// What a signal handler must undo, written only while signals can't see it
// half done.
volatile std::sig_atomic_t haveFile;
char file[4096 + 16], folder[4096];
bool handlersInstalled;

void Ended(int signal)
{
    if (haveFile) {
        unlink(file);
        rmdir(folder);
    }
    std::signal(signal, SIG_DFL);
    raise(signal);
}

void InstallHandlers()
{
    if (handlersInstalled)
        return;
    handlersInstalled = true;
    const int ending[] = {SIGINT, SIGTERM, SIGHUP};
    for (int s : ending) {
        struct sigaction was = {};
        sigaction(s, nullptr, &was);
        // What the shell set to be ignored stays ignored.
        if (was.sa_handler != SIG_IGN)
            std::signal(s, Ended);
    }
}

} // namespace

bool OsSetConsoleTitle(const char* title)
{
    // The terminal is named whenever the tool is its foreground job, also
    // with output redirected: its window would otherwise still show the
    // command line. The terminal is only written to: it is never read, and
    // its modes are left as they are, so typeahead, a pager's modes and a
    // script's input stay the user's.
    const char* term = std::getenv("TERM");
    if (term && std::strcmp(term, "dumb") == 0)
        return false;
    int fd = open("/dev/tty", O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    bool named = false;
    if (tcgetpgrp(fd) == getpgrp()) {
        char text[512];
        std::size_t length = std::strlen(title);
        if (length > sizeof text - 8)
            length = sizeof text - 8;
        std::memcpy(text, "\033]0;", 4);
        std::memcpy(text + 4, title, length);
        text[4 + length] = '\a';
        named = write(fd, text, length + 5) == static_cast<ssize_t>(length + 5);
    }
    close(fd);
    return named;
}

bool OsConsoleIsPane()
{
    // tmux keeps a pane's name to itself, or shows it among its own words in
    // every terminal window attached to the session (set-titles).
    const char* tmux = std::getenv("TMUX");
    return tmux && *tmux;
}

void OsRemoveOnSignal(const char* path, const char* dir)
{
    haveFile = 0;
    if (!path || !dir || std::strlen(path) >= sizeof file || std::strlen(dir) >= sizeof folder)
        return;
    InstallHandlers();
    std::strcpy(file, path);
    std::strcpy(folder, dir);
    haveFile = 1;
}
