#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "cli/driver.h"
#include "winsys/fake.h"

namespace {

using Transcript = std::vector<std::string>;

const std::string kTitle = "console-title vantrel 1.0";
const std::string kName = "out vantrel 1.0\r\n";
const std::string kNotice = "out Asks a window to close after a delay.\r\n\r\n";
const std::string kNotFound = "out Exiting, did not find target window.\r\n";
const std::string kSent = "out Message sent to target window.\r\n";
const std::string kGone = "err vantrel: the window has gone; nothing was sent\r\n";

std::string Located(const std::string& title)
{
    return "out Located target window: " + title + "\r\n\r\n";
}

std::string Sending(const std::string& handle, const std::string& minutes)
{
    return "out Sending WM_CLOSE to window handle " + handle + " after " + minutes + " minutes.\r\n";
}

struct Window {
    WindowHandle handle;
    std::string title;
};

// The desktop most cases run against, topmost first.
const std::vector<Window> kDesktop = {
    {0x10, ""}, {0x4A2, "Quarterly Report - Editor"}, {0xBEE, "100%s%d%p done"}, {0x30, "Report archive"}};

Transcript RunTool(std::vector<std::string> args, const std::vector<Window>& desktop = kDesktop)
{
    for (const Window& w : desktop)
        FakeOpenWindow(w.handle, w.title);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    EXPECT_EQ(VantrelMain(static_cast<int>(args.size()), argv.data()), 0);
    return FakeEvents();
}

// The events of one kind, by their first word.
Transcript Only(const std::string& kind)
{
    Transcript out;
    for (const std::string& e : FakeEvents())
        if (e.compare(0, kind.size() + 1, kind + " ") == 0)
            out.push_back(e);
    return out;
}

std::uint64_t Slept()
{
    std::uint64_t total = 0;
    for (const std::string& e : Only("sleep"))
        total += std::stoull(e.substr(6));
    return total;
}

TEST(Driver, Transcripts)
{
    const struct {
        std::vector<std::string> args;
        Transcript expected;
    } cases[] = {
        {{}, {kTitle, kName, kNotice, "out Usage: vantrel windowtitle delayminutes\r\n"}},
        {{""}, {kTitle, kName, kNotice, "out Usage: vantrel windowtitle delayminutes\r\n"}},
        {{"C:\\bin\\vt.exe"}, {kTitle, kName, kNotice, "out Usage: C:\\bin\\vt.exe windowtitle delayminutes\r\n"}},
        {{"vt", "report"}, {kTitle, kName, kNotice, "out Usage: vt windowtitle delayminutes\r\n"}},
        {{"vt", "invoice", "30"},
         {kTitle, kName, kNotice, "enum", "read 00000010", "read 000004A2", "read 00000BEE", "read 00000030",
          kNotFound}},
        // Untitled windows are passed over; nothing below the first match is
        // read; the title is trusted only once the window is tracked.
        {{"vt", "REPORT", "1", "ignored"},
         {kTitle, kName, kNotice, "enum", "read 00000010", "read 000004A2", "track 000004A2", "read 000004A2",
          Located("Quarterly Report - Editor"), Sending("000004A2", "1"), "sleep 60000", "close 000004A2", kSent}},
        // Title bytes are printed as they are, never read as a format.
        {{"vt", "%s%d%p", "0"},
         {kTitle, kName, kNotice, "enum", "read 00000010", "read 000004A2", "read 00000BEE", "track 00000BEE",
          "read 00000BEE", Located("100%s%d%p done"), Sending("00000BEE", "0"), "close 00000BEE", kSent}},
    };
    for (const auto& c : cases) {
        FakeReset();
        EXPECT_EQ(RunTool(c.args), c.expected) << (c.args.size() > 1 ? c.args[1] : "usage");
    }
}

TEST(Driver, DelayDecidesAnnouncementAndWait)
{
    const struct {
        const char* argument;
        const char* shown;
        std::uint64_t waited;
    } cases[] = {
        {"abc", "0", 0},
        {"+7", "7", 420000},
        {" 7x", "7", 420000},
        {"--7", "0", 0},
        {"71582", "71582", 4294920000u},
        {"71583", "71583", 4294980000u}, // past 32 bits: waited in full
        {"-5", "-5", 0},
        {"4294967295", "-1", 0},
        {"-2147483648", "-2147483648", 0},
    };
    for (const auto& c : cases) {
        FakeReset();
        std::uint64_t start = FakeClock();
        RunTool({"vt", "report", c.argument});
        EXPECT_EQ(Only("out").at(3), Sending("000004A2", c.shown)) << c.argument;
        EXPECT_EQ(FakeClock() - start, c.waited) << c.argument;
        EXPECT_EQ(Only("close"), Transcript{"close 000004A2"}) << c.argument;
        EXPECT_EQ(FakeEvents().back(), kSent) << c.argument;
    }
}

// Timed sleeps stop while the machine sleeps; the wait must not.
TEST(Driver, WaitCountsTimeTheMachineSleeps)
{
    const std::uint64_t minute = 60000;
    const struct {
        const char* name;
        std::uint64_t suspendAt;  // minutes into the hour's wait
        std::uint64_t suspendFor; // minutes
    } cases[] = {{"no sleep", 0, 0}, {"40 minutes asleep", 10, 40}, {"asleep past the deadline", 30, 50}};
    for (const auto& c : cases) {
        FakeReset();
        const std::uint64_t start = FakeClock();
        const std::uint64_t resume = c.suspendAt * minute + 1234 + c.suspendFor * minute;
        if (c.suspendFor)
            FakeAt(start + c.suspendAt * minute + 1234, [&] { FakeSuspend(c.suspendFor * minute); });
        RunTool({"vt", "report", "60"});
        const std::uint64_t closedAt = FakeClock() - start;
        // Not before the hour is up, and within a minute of the resume.
        EXPECT_GE(closedAt, std::max(60 * minute, c.suspendFor ? resume : 0)) << c.name;
        EXPECT_LE(closedAt, std::max(60 * minute, c.suspendFor ? resume + minute : 0)) << c.name;
    }
}

TEST(Driver, HandleIsEightUpperCaseHexDigits)
{
    const struct {
        WindowHandle handle;
        const char* shown;
    } cases[] = {{0x1, "00000001"}, {0xABCDEF12, "ABCDEF12"}, {0xFFFFFFFF, "FFFFFFFF"}};
    for (const auto& c : cases) {
        FakeReset();
        RunTool({"vt", "report", "0"}, {{c.handle, "Report"}});
        EXPECT_EQ(Only("out").at(3), Sending(c.shown, "0"));
    }
}

// The terminal the tool runs in is judged by the name the tool gave it, not
// by a title that shows the command that started it.
TEST(Driver, OwnTerminalIsKnownByItsNewName)
{
    const struct {
        const char* name;
        bool console;             // the window is known to host the tool's console
        std::string title;        // its title before the tool renamed it
        std::string fragment;
        std::string located;      // "" for none
    } cases[] = {
        {"own console, its new name", true, "", "1.0", "vantrel 1.0"},
        {"own console, old title", true, "bash: vt report 0", "report", "Report archive"},
        {"stale command line", false, "vt report 0 > log", "report", "Report archive"},
        {"cmd.exe's title", false, "Command Prompt - VT.EXE  report 0", "REPORT", "Report archive"},
        {"a title that shows the command in another order", false, "report for vt 0", "report",
         "report for vt 0"},
        {"another delay", false, "vt report 5", "report", "vt report 5"},
        {"the name inside a word", false, "Events report 0", "report", "Events report 0"},
    };
    for (const auto& c : cases) {
        FakeReset();
        if (c.console)
            FakeOpenConsole(0x8, c.title);
        else
            FakeOpenWindow(0x8, c.title);
        RunTool({"C:\\tools\\vt.exe", c.fragment, "0"}, {{0x30, "Report archive"}});
        EXPECT_EQ(Only("out").at(2), Located(c.located)) << c.name;
    }
}

TEST(Driver, TitlesAreCutAt511Bytes)
{
    const std::string title = std::string(500, 'x') + "0123456789ABCDEF";
    FakeReset();
    EXPECT_EQ(RunTool({"vt", "abc", "0"}, {{0x20, title}}).back(), kNotFound); // starts at byte 511
    FakeReset();
    RunTool({"vt", "89a", "0"}, {{0x20, title}});
    EXPECT_EQ(Only("out").at(2), Located(title.substr(0, 511)));
}

TEST(Driver, ControlBytesAreShownOnlyOnATerminal)
{
    const std::string title = "Rep\x1B]0;pwned\x07ort\n\x7F\xC2\x9B" "2J \xC3\xA9t\xC3\xA9";
    const std::string shown = "Rep?]0;pwned?ort???2J \xC3\xA9t\xC3\xA9";
    for (bool terminal : {true, false}) {
        FakeReset();
        FakeSetTerminal(terminal);
        RunTool({"vt", "rep", "0"}, {{0x20, title}});
        EXPECT_EQ(Only("out").at(2), Located(terminal ? shown : title)) << terminal;
    }
}

TEST(Driver, LongProgramNameIsPrintedWholeInWholeCharacters)
{
    FakeReset();
    std::string name;
    for (int i = 0; i < 1500; ++i)
        name += "\xC3\xA9"; // é
    RunTool({name});
    EXPECT_EQ(FakeOutput(), kName.substr(4) + kNotice.substr(4) + "Usage: " + name + " windowtitle delayminutes\r\n");
    for (const std::string& piece : Only("out"))
        EXPECT_NE(static_cast<unsigned char>(piece.back()), 0xC3u);
}

TEST(Driver, CloseReachesOnlyTheLocatedWindow)
{
    const struct {
        const char* name;
        std::function<void()> duringWait;
        CloseOutcome answer;
        bool closeSent;
        std::string error;
    } cases[] = {
        {"nothing changes", [] {}, CloseDelivered, true, ""},
        {"user closed it", [] { FakeDestroyWindow(0x20); }, CloseDelivered, false, kGone},
        {"handle reused by another program",
         [] {
             FakeDestroyWindow(0x20);
             FakeOpenWindow(0x20, "Someone else's report", 2);
         },
         CloseDelivered, false, kGone},
        {"handle reused by the same thread",
         [] {
             FakeDestroyWindow(0x20);
             FakeOpenWindow(0x20, "Report", 1);
         },
         CloseDelivered, false, kGone},
        {"other windows come and go",
         [] {
             FakeDestroyWindow(0x30);
             FakeOpenWindow(0x40, "Report 2", 2);
         },
         CloseDelivered, true, ""},
        {"refused", [] {}, CloseRefused, true,
         "err vantrel: the request was refused (access denied: the window belongs to an elevated program)\r\n"},
        {"no answer", [] {}, CloseTimedOut, true, "err vantrel: the window did not answer within 5 s\r\n"},
        {"no way to ask", [] {}, CloseNoWay, true,
         "err vantrel: the window has no close protocol and no window manager runs to ask; nothing was sent\r\n"},
    };
    for (const auto& c : cases) {
        FakeReset();
        FakeOpenWindow(0x20, "Report", 1, c.answer);
        FakeAt(FakeClock() + 30000, c.duringWait);
        Transcript t = RunTool({"vt", "report", "1"}, {{0x30, "Other"}});
        EXPECT_EQ(Only("close").size(), c.closeSent ? 1u : 0u) << c.name;
        EXPECT_EQ(Only("err"), c.error.empty() ? Transcript{} : Transcript{c.error}) << c.name;
        EXPECT_EQ(t.back(), kSent) << c.name;
    }
}

} // namespace
