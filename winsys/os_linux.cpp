// Linux: standard streams, the boot-time clock, the process tree.

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include "winsys/os_linux.h"
#include "winsys/winsys.h"

namespace {

int timer = -1; // for OsSleep

void WriteAll(int fd, const char* bytes, std::size_t length)
{
    while (length > 0) {
        ssize_t written = write(fd, bytes, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        bytes += written;
        length -= static_cast<std::size_t>(written);
    }
}

// The parent of a process, from /proc; 0 when it can't be read.
pid_t ParentOf(pid_t process)
{
    char path[32];
    std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(process));
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char stat[512];
    ssize_t length = read(fd, stat, sizeof stat - 1);
    close(fd);
    if (length <= 0)
        return 0;
    stat[length] = '\0';
    // "pid (command) state ppid ...": the command may hold blanks and ')'.
    const char* end = std::strrchr(stat, ')');
    int parent = 0;
    return end && std::sscanf(end + 1, " %*c %d", &parent) == 1 ? parent : 0;
}

} // namespace

void OsStart()
{
    // A closed standard stream would hand its number to the next descriptor
    // opened, the window system's connection, and messages would be written
    // into that.
    for (int fd = 0; fd <= 2; ++fd)
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF && open("/dev/null", O_RDWR) != fd)
            break;
    // A closed pipe or connection must not end the tool.
    std::signal(SIGPIPE, SIG_IGN);
}

bool OsIsTerminal(Stream stream)
{
    return isatty(stream == StandardError ? STDERR_FILENO : STDOUT_FILENO);
}

bool OsTextIsUtf8()
{
    return true;
}

void OsWrite(Stream stream, const char* bytes, std::size_t length)
{
    WriteAll(stream == StandardError ? STDERR_FILENO : STDOUT_FILENO, bytes, length);
}

const char* OsLineEnd()
{
    return "\n";
}

std::uint64_t OsClock()
{
    // The boot-time clock goes on counting while the machine is suspended.
    timespec now;
    clock_gettime(CLOCK_BOOTTIME, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
}

void OsSleep(std::uint32_t milliseconds, int wake)
{
    // A timer rather than poll()'s own time-out, which the kernel lets run
    // late by a thousandth of its length: 60 ms on a minute.
    if (timer < 0)
        timer = timerfd_create(CLOCK_BOOTTIME, TFD_CLOEXEC);
    itimerspec alarm = {};
    alarm.it_value.tv_sec = milliseconds / 1000;
    alarm.it_value.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000L;
    bool timed = timer >= 0 && milliseconds > 0 && timerfd_settime(timer, 0, &alarm, nullptr) == 0;
    pollfd fds[2] = {{timed ? timer : -1, POLLIN, 0}, {wake, POLLIN, 0}};
    poll(fds, 2, timed ? -1 : static_cast<int>(milliseconds));
}

std::uint32_t OsTerminalWindowId()
{
    // Anything but a whole number names no window.
    const char* id = std::getenv("WINDOWID");
    char* end = nullptr;
    errno = 0;
    unsigned long named = id && *id ? std::strtoul(id, &end, 0) : 0;
    return named <= UINT32_MAX && !errno && end && !*end ? static_cast<std::uint32_t>(named) : 0;
}

bool OsIsAncestorProcess(std::uint32_t process)
{
    for (pid_t p = getppid(); p > 1; p = ParentOf(p))
        if (static_cast<std::uint32_t>(p) == process)
            return true;
    return false;
}
