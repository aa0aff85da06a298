// Linux: naming the terminal the tool runs in, and leaving it (and the
// file system) as they were when a signal ends the tool.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "winsys/os_linux.h"
#include "winsys/winsys.h"

namespace {

// How long a terminal is given to answer; one that doesn't (a serial line,
// script(1)) is not waited for longer.
const int kTerminalAnswerMs = 200;

// What a signal handler must undo, written only while signals can't see it
// half done.
volatile std::sig_atomic_t haveFile;
char file[4096 + 16], folder[4096];
volatile std::sig_atomic_t terminalRaw;
int terminal = -1;
termios saved, raw;
bool handlersInstalled;

void Undo()
{
    if (terminalRaw)
        tcsetattr(terminal, TCSANOW, &saved);
    if (haveFile) {
        unlink(file);
        rmdir(folder);
    }
}

void Ended(int signal)
{
    Undo();
    std::signal(signal, SIG_DFL);
    raise(signal);
}

// Stopped from the keyboard: the terminal as it was while stopped, the
// tool's modes again once continued in the foreground.
void Stopped(int)
{
    int wasRaw = terminalRaw;
    Undo();
    terminalRaw = 0;
    std::signal(SIGTSTP, SIG_DFL);
    raise(SIGTSTP);
    std::signal(SIGTSTP, Stopped);
    if (wasRaw && tcgetpgrp(terminal) == getpgrp() && tcsetattr(terminal, TCSANOW, &raw) == 0)
        terminalRaw = 1;
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

// Reads until the terminal's answer to the device-attributes question has
// ended ("ESC [ ? ... c"), or the time is up. True once it has.
bool AwaitAttributes(int fd)
{
    int ms = kTerminalAnswerMs;
    bool inAnswer = false;
    while (ms > 0) {
        pollfd p = {.fd = fd, .events = POLLIN, .revents = 0};
        timespec before, after;
        clock_gettime(CLOCK_MONOTONIC, &before);
        if (poll(&p, 1, ms) <= 0)
            return false;
        char bytes[64];
        ssize_t n = read(fd, bytes, sizeof bytes);
        if (n <= 0)
            return false;
        for (ssize_t i = 0; i < n; ++i) {
            inAnswer |= bytes[i] == '\033';
            if (inAnswer && bytes[i] == 'c')
                return true;
        }
        clock_gettime(CLOCK_MONOTONIC, &after);
        ms -= static_cast<int>((after.tv_sec - before.tv_sec) * 1000 + (after.tv_nsec - before.tv_nsec) / 1000000);
    }
    return false;
}

} // namespace

bool OsSetConsoleTitle(const char* title)
{
    // The terminal is named whenever the tool is its foreground job, also
    // with output redirected: its window would otherwise still show the
    // command line. A job in the background must not read the terminal.
    const char* term = std::getenv("TERM");
    if (term && std::strcmp(term, "dumb") == 0)
        return false;
    int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return false;
    if (tcgetpgrp(fd) != getpgrp() || tcgetattr(fd, &saved) != 0) {
        close(fd);
        return false;
    }
    // Terminals answer in order: once the answer to the question after the
    // title is in, the title has been taken.
    raw = saved;
    raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    terminal = fd;
    InstallHandlers();
    struct sigaction stop = {}, wasStop = {};
    stop.sa_handler = Stopped;
    sigaction(SIGTSTP, &stop, &wasStop);
    bool answered = false;
    if (tcsetattr(fd, TCSANOW, &raw) == 0) {
        terminalRaw = 1;
        char question[512];
        std::size_t length = std::strlen(title);
        if (length > sizeof question - 16)
            length = sizeof question - 16;
        std::memcpy(question, "\033]0;", 4);
        std::memcpy(question + 4, title, length);
        std::memcpy(question + 4 + length, "\a\033[c", 4);
        answered = write(fd, question, length + 8) == static_cast<ssize_t>(length + 8) && AwaitAttributes(fd);
    }
    sigaction(SIGTSTP, &wasStop, nullptr);
    if (terminalRaw)
        tcsetattr(fd, TCSANOW, &saved);
    terminalRaw = 0;
    terminal = -1;
    close(fd);
    return answered;
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
