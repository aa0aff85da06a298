#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/driver.h"
#include "core/constants.h"
#include "winsys/fake.h"

namespace {

using Lines = std::vector<std::string>;

const std::string kTitle = kProgramTitle;
const std::string kBanner = "out " + kTitle + "\r\n|out Asks a window to close after a delay.\r\n\r\n|";
const std::string kSent = "out Message sent to target window.\r\n";
const std::string kGone = "err vantrel: the window has gone; nothing was sent\r\n";
const std::uint64_t kMinute = 60000;

std::string Located(const std::string& title)
{
    return "out Located target window: " + title + "\r\n\r\n";
}

std::string Sending(const std::string& handle, const std::string& minutes)
{
    return "out Sending WM_CLOSE to window handle " + handle + " after " + minutes + " minutes.\r\n";
}

// The tool's run against the desktop set up so far, below these windows.
std::string RunTool(std::vector<std::string> args, const std::vector<std::pair<WindowHandle, std::string>>& desktop = {})
{
    for (const auto& [handle, title] : desktop)
        FakeOpenWindow(handle, title);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    EXPECT_EQ(VantrelMain(static_cast<int>(args.size()), argv.data()), 0);
    std::string log;
    for (const std::string& e : FakeEvents())
        log += e + "|";
    return log;
}

Lines Only(const std::string& kind)
{
    Lines out;
    for (const std::string& e : FakeEvents())
        if (e.compare(0, kind.size() + 1, kind + " ") == 0)
            out.push_back(e);
    return out;
}

const std::vector<std::pair<WindowHandle, std::string>> kDesktop = {
    {0x10, ""}, {0x4A2, "Quarterly Report - Editor"}, {0xBEE, "100%s%d%p done"}, {0x30, "Report archive"}};

// Every platform call in order: messages byte for byte, what is read, the
// title trusted only once the window is tracked, the wait, the close.
TEST(Driver, Transcripts)
{
    const struct {
        std::vector<std::string> args;
        std::string expected;
    } cases[] = {
        {{}, kBanner + "out Usage: vantrel windowtitle delayminutes\r\n|"},
        {{""}, kBanner + "out Usage: vantrel windowtitle delayminutes\r\n|"},
        {{"C:\\bin\\vt.exe", "report"}, kBanner + "out Usage: C:\\bin\\vt.exe windowtitle delayminutes\r\n|"},
        {{"vt", "invoice", "30"}, kBanner + "enum|out Exiting, did not find target window.\r\n|"},
        {{"vt", "REPORT", "1", "ignored"},
         kBanner + "enum|track 000004A2|read 000004A2|" + Located("Quarterly Report - Editor") + "|" +
             Sending("000004A2", "1") + "|sleep 60000|close 000004A2|" + kSent + "|"},
        // Title bytes are printed as they are, never read as a format.
        {{"vt", "%s%d%p", "0"},
         kBanner + "enum|track 00000BEE|read 00000BEE|" + Located("100%s%d%p done") + "|" +
             Sending("00000BEE", "0") + "|close 00000BEE|" + kSent + "|"},
    };
    for (const auto& c : cases) {
        FakeReset();
        EXPECT_EQ(RunTool(c.args, kDesktop), "console-title " + kTitle + "|" + c.expected);
    }
}

TEST(Driver, DelayDecidesAnnouncementAndWait)
{
    const struct {
        const char* argument;
        const char* shown;
        std::uint64_t waited;
    } cases[] = {
        {"abc", "0", 0}, {"+7", "7", 7 * kMinute}, {" 7x", "7", 7 * kMinute}, {"--7", "0", 0},
        {"71582", "71582", 4294920000u}, {"71583", "71583", 4294980000u}, // past 32 bits: in full
        {"-5", "-5", 0}, {"-2147483648", "-2147483648", 0},
        {"-3000000000", "-2147483648", 0}, // held at the end, not wrapped
    };
    for (const auto& c : cases) {
        FakeReset();
        std::uint64_t start = FakeClock();
        RunTool({"vt", "report", c.argument}, {{0x4A2, "Report"}});
        EXPECT_EQ(Only("out").at(3), Sending("000004A2", c.shown)) << c.argument;
        EXPECT_EQ(FakeClock() - start, c.waited) << c.argument;
        EXPECT_EQ(FakeEvents().back(), kSent) << c.argument;
    }
}

// Timed sleeps stop while the machine sleeps; the wait must not.
TEST(Driver, WaitCountsTimeTheMachineSleeps)
{
    const struct {
        std::uint64_t suspendAt, suspendFor; // minutes into the hour's wait, minutes asleep
    } cases[] = {{0, 0}, {10, 40}, {30, 50}};
    for (const auto& c : cases) {
        FakeReset();
        const std::uint64_t start = FakeClock(), resume = (c.suspendAt + c.suspendFor) * kMinute + 1234;
        if (c.suspendFor)
            FakeAt(start + c.suspendAt * kMinute + 1234, [&] { FakeSuspend(c.suspendFor * kMinute); });
        RunTool({"vt", "report", "60"}, {{0x4A2, "Report"}});
        // Not before the hour is up, and within a minute of the resume.
        const std::uint64_t closedAt = FakeClock() - start;
        EXPECT_GE(closedAt, std::max(60 * kMinute, c.suspendFor ? resume : 0)) << c.suspendAt;
        EXPECT_LE(closedAt, std::max(60 * kMinute, c.suspendFor ? resume + kMinute : 0)) << c.suspendAt;
    }
}

TEST(Driver, HandleIsEightUpperCaseHexDigits)
{
    for (auto [handle, shown] : {std::pair<WindowHandle, const char*>{0x1, "00000001"},
                                 {0xABCDEF12, "ABCDEF12"}, {0xFFFFFFFF, "FFFFFFFF"}}) {
        FakeReset();
        RunTool({"vt", "report", "0"}, {{handle, "Report"}});
        EXPECT_EQ(Only("out").at(3), Sending(shown, "0"));
    }
}

// The terminal the tool runs in is judged by the name the tool gave it, not
// by a title that still shows the command that started it.
TEST(Driver, OwnTerminalIsKnownByItsNewName)
{
    const struct {
        bool console; // known to show the tool's console
        std::string title, fragment, located;
    } cases[] = {
        {true, "", "1.0", kTitle},
        {true, "bash: vt report 0", "report", "Report archive"},
        {true, "user@host: ~/reports", "report", "Report archive"}, // known by the system alone
        {false, "vt report 0 > log", "report", "Report archive"},
        {false, "Command Prompt - VT.EXE  report 0", "REPORT", "Report archive"},
        {false, "report for vt 0", "report", "report for vt 0"}, // not the command's order
        {false, "vt report 5", "report", "vt report 5"},         // another delay
        {false, "Events report 0", "report", "Events report 0"}, // the name inside a word
    };
    for (const auto& c : cases) {
        FakeReset();
        c.console ? FakeOpenConsole(0x8, c.title) : FakeOpenWindow(0x8, c.title);
        RunTool({"C:\\tools\\vt.exe", c.fragment, "0"}, {{0x30, "Report archive"}});
        EXPECT_EQ(Only("out").at(2), Located(c.located)) << c.title;
    }
}

// Of a terminal process's windows (one terminal server, many windows), the
// one that shows the tool's title once the tool has named it is its
// terminal; the wait for that is taken only when a match may be it, and
// lasts 250 ms at most from the naming. WINDOWID only ever protects. In a
// tmux pane any match may be the terminal, until it shows the pane's name.
TEST(Driver, OwnTerminalAmongTheWindowsOfItsProcess)
{
    const std::uint64_t kNever = 0;
    const struct {
        Kin kin;                // of windows 0xA (the terminal), 0xB and 0xC
        bool anonymous;         // or the system names no processes
        std::uint64_t retitled; // ms after the start when 0xA shows the tool's title
        bool sibling;           // 0xC shows it already: another run waits there
        WindowHandle windowId;  // WINDOWID
        bool pane;              // run in a tmux pane
        std::string fragment, located;
        std::uint64_t waited;
    } cases[] = {
        {KinAncestor, false, 30, false, 0, false, "build log", "Build Log - reports", 250},
        {KinAncestor, false, 30, false, 0, false, "report", "Build Log - reports", 30},
        {KinAncestor, false, 30, false, 0, false, "1.0", kTitle, 30},
        {KinAncestor, false, kNever, false, 0, false, "build log", "", 250}, // ignores titles: all judged by it
        {KinAncestor, false, 30, true, 0, false, "report", "Report archive", 30},
        {KinAncestor, false, 30, true, 0, false, "build log", "", 30}, // two show it: which is ours is not known
        {KinAncestor, true, 30, false, 0, false, "report", "Build Log - reports", 30},
        {KinAncestor, false, 30, false, 0, false, "invoice", "", 0},
        {KinAncestor, false, 30, false, 0, false, "archive", "Report archive", 0}, // an ordinary window first
        {KinAncestor, false, 100, false, 0xB, false, "report", "Report archive", 100}, // another ancestor's WINDOWID
        {KinAncestor, false, 30, true, 0x31, false, "report", "Report archive", 30}, // an unrelated one's
        {KinAncestor, false, 30, false, 0x99, false, "report", "Build Log - reports", 30}, // a gone one's
        {KinOther, false, 100, false, 0, true, "report", "Build Log - reports", 250},
        {KinOther, false, kNever, false, 0, true, "report", "user@host: ~/reports", 250},
        {KinOther, false, 100, true, 0, true, "report", "Build Log - reports", 250},
    };
    for (const auto& c : cases) {
        FakeReset();
        FakeSetWindowId(c.windowId);
        FakeSetPane(c.pane);
        if (c.fragment == "archive")
            FakeOpenWindow(0x30, "Report archive");
        FakeOpenWindowOf(0xA, "user@host: ~/reports", c.kin, c.anonymous);
        FakeOpenWindowOf(0xB, "Build Log - reports", c.kin, c.anonymous);
        if (c.sibling)
            FakeOpenWindowOf(0xC, kTitle, c.kin, c.anonymous);
        // tmux shows a pane's name among its own words: here the session's name.
        std::string shown = c.pane ? "reports:0:bash - \"" + kTitle + "\"" : kTitle;
        if (c.retitled != kNever)
            FakeAt(FakeClock() + c.retitled, [shown] { FakeRetitle(0xA, shown); });
        RunTool({"vt", c.fragment, "0"}, {{0x31, "Report archive"}});
        std::string label = c.fragment + " " + std::to_string(&c - cases);
        EXPECT_EQ(Only("out").at(2), c.located.empty() ? "out Exiting, did not find target window.\r\n"
                                                       : Located(c.located))
            << label;
        std::uint64_t waited = 0;
        for (const std::string& e : Only("await"))
            waited += std::stoull(e.substr(6));
        EXPECT_EQ(waited, c.waited) << label;
    }
}

TEST(Driver, LongProgramNameIsPrintedWholeInWholeCharacters)
{
    FakeReset();
    std::string name;
    for (int i = 0; i < 1500; ++i)
        name += "\xC3\xA9"; // é
    RunTool({name});
    std::string out;
    for (const std::string& piece : Only("out")) {
        EXPECT_NE(static_cast<unsigned char>(piece.back()), 0xC3u); // no piece ends inside a character
        out += piece.substr(4);
    }
    EXPECT_EQ(out, kTitle + "\r\nAsks a window to close after a delay.\r\n\r\nUsage: " + name +
                       " windowtitle delayminutes\r\n");
}

// On a terminal a title cannot drive it: controls and bytes that are not
// part of a character show as '?'. In a file the bytes stay as they are.
TEST(Driver, TitlesOnATerminalCannotDriveIt)
{
    const struct {
        std::string title, shown;
    } cases[] = {
        {"Report\x7f" "End", "Report?End"},
        {"Report \x1b]0;x\a", "Report ?]0;x?"},
        {"Report \xc2\x9b" "2J", "Report ?2J"},                      // C1, as UTF-8
        {"Report \x9b" "31m", "Report ?31m"},                         // C1, a lone byte
        {"Report \xc3\xa9 \xf0\x9f\x98\x80", "Report \xc3\xa9 \xf0\x9f\x98\x80"}, // whole characters
        {"Report \xe2\x82", "Report ??"},                             // cut short
        {"Report \xed\xa0\x80 \xc0\xaf", "Report ??? ??"},           // surrogate, overlong
    };
    for (bool terminal : {true, false})
        for (const auto& c : cases) {
            FakeReset();
            FakeSetTerminal(terminal);
            RunTool({"vt", "report", "0"}, {{0x20, c.title}});
            EXPECT_EQ(Only("out").at(2), Located(terminal ? c.shown : c.title)) << c.title;
        }
}

TEST(Driver, CloseReachesOnlyTheLocatedWindow)
{
    const struct {
        const char* name;
        std::function<void()> duringWait;
        CloseOutcome answer;
        bool sent;
        std::string error;
    } cases[] = {
        {"nothing changes", [] {}, CloseDelivered, true, ""},
        {"closed by its user", [] { FakeDestroyWindow(0x20); }, CloseDelivered, false, kGone},
        {"handle reused", [] { FakeDestroyWindow(0x20), FakeOpenWindow(0x20, "Report"); }, CloseDelivered, false,
         kGone},
        {"other windows come and go", [] { FakeDestroyWindow(0x30), FakeOpenWindow(0x40, "Report 2"); },
         CloseDelivered, true, ""},
        {"refused", [] {}, CloseRefused, true, "err vantrel: the request was refused (access denied)\r\n"},
        {"no answer", [] {}, CloseTimedOut, true, "err vantrel: the window did not answer within 5 s\r\n"},
        {"no way to ask", [] {}, CloseNoWay, true,
         "err vantrel: the window has no close protocol and no window manager runs to ask; nothing was sent\r\n"},
        {"connection lost", [] {}, CloseLost, true, "err vantrel: the connection to the desktop was lost; nothing was sent\r\n"},
        {"lost once sent", [] {}, CloseLostUnsure, true,
         "err vantrel: the connection to the desktop was lost; the request may not have arrived\r\n"},
        {"desktop mute", [] {}, CloseUnsure, true,
         "err vantrel: the desktop did not answer within 5 s; the request may not have arrived\r\n"},
    };
    for (const auto& c : cases) {
        FakeReset();
        FakeOpenWindow(0x20, "Report", c.answer);
        FakeAt(FakeClock() + 30000, c.duringWait);
        RunTool({"vt", "report", "1"}, {{0x30, "Other"}});
        EXPECT_EQ(Only("close").size(), c.sent ? 1u : 0u) << c.name;
        EXPECT_EQ(Only("err"), c.error.empty() ? Lines{} : Lines{c.error}) << c.name;
        EXPECT_EQ(FakeEvents().back(), kSent) << c.name;
    }
}

} // namespace
