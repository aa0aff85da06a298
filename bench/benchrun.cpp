// Runs programs and measures them from the outside.
//
//   benchrun time ROUNDS NAME COMMAND... [-- NAME COMMAND...]...
//       Runs the commands in turn, ROUNDS times round, and prints for each
//       the median wall time and the largest peak resident set.
//   benchrun watch LINE COMMAND...
//       Runs one command, echoes its standard output, and prints the
//       monotonic time at which a line starting with LINE arrived, the CPU
//       time and voluntary context switches of the whole run, and its peak
//       resident set.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

long long NowNs()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000000000LL + t.tv_nsec;
}

struct Command {
    std::string name;
    std::vector<char*> argv;
    std::vector<double> ms;
    long maxRssKb = 0;
};

pid_t Start(const std::vector<char*>& argv, int outFd)
{
    pid_t pid = fork();
    if (pid == 0) {
        dup2(outFd, STDOUT_FILENO);
        int null = open("/dev/null", 0);
        dup2(null, STDIN_FILENO);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    return pid;
}

int Time(int argc, char** argv)
{
    int rounds = std::atoi(argv[2]);
    std::vector<Command> commands;
    bool named = false; // the next word names a new command
    for (int i = 3; i < argc; ++i) {
        if (std::strcmp(argv[i], "--") == 0)
            named = false;
        else if (!named)
            commands.push_back({argv[i], {}, {}, 0}), named = true;
        else
            commands.back().argv.push_back(argv[i]);
    }
    int null = open("/dev/null", 1);
    for (int r = 0; r < rounds; ++r) {
        for (Command& c : commands) {
            std::vector<char*> args = c.argv;
            args.push_back(nullptr);
            long long start = NowNs();
            pid_t pid = Start(args, null);
            int status;
            rusage usage;
            wait4(pid, &status, 0, &usage);
            c.ms.push_back((NowNs() - start) / 1e6);
            c.maxRssKb = std::max(c.maxRssKb, usage.ru_maxrss);
        }
    }
    std::printf("%-10s %12s %14s\n", "program", "median ms", "peak RSS KiB");
    for (Command& c : commands) {
        std::sort(c.ms.begin(), c.ms.end());
        std::printf("%-10s %12.2f %14ld\n", c.name.c_str(), c.ms[c.ms.size() / 2], c.maxRssKb);
    }
    return 0;
}

int Watch(int argc, char** argv)
{
    const char* wanted = argv[2];
    std::vector<char*> args(argv + 3, argv + argc);
    args.push_back(nullptr);
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return 1;
    pid_t pid = Start(args, pipeFds[1]);
    close(pipeFds[1]);
    FILE* out = fdopen(pipeFds[0], "r");
    char line[1024];
    long long seen = 0;
    while (std::fgets(line, sizeof line, out)) {
        if (!seen && std::strncmp(line, wanted, std::strlen(wanted)) == 0)
            seen = NowNs();
        std::fputs(line, stdout);
        std::fflush(stdout);
    }
    int status;
    rusage usage;
    wait4(pid, &status, 0, &usage);
    long cpuUs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000000L + usage.ru_utime.tv_usec +
                 usage.ru_stime.tv_usec;
    std::printf("line_ns=%lld cpu_us=%ld voluntary_switches=%ld peak_rss_kib=%ld\n", seen, cpuUs, usage.ru_nvcsw,
                usage.ru_maxrss);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 3 && std::strcmp(argv[1], "time") == 0)
        return Time(argc, argv);
    if (argc > 3 && std::strcmp(argv[1], "watch") == 0)
        return Watch(argc, argv);
    std::fprintf(stderr, "usage: benchrun time ROUNDS NAME COMMAND... [-- NAME COMMAND...]... | "
                         "benchrun watch LINE COMMAND...\n");
    return 2;
}
