#include <gtest/gtest.h>

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

TEST(Driver, Transcripts)
{
    const struct {
        std::vector<std::string> args;
        Transcript expected;
    } cases[] = {
        {{}, {kTitle, kName, kNotice, "out Usage: vantrel windowtitle delayminutes\r\n"}},
        {{"C:\\bin\\vt.exe"}, {kTitle, kName, kNotice, "out Usage: C:\\bin\\vt.exe windowtitle delayminutes\r\n"}},
        {{"vt", "report"}, {kTitle, kName, kNotice, "out Usage: vt windowtitle delayminutes\r\n"}},
        {{"vt", "invoice", "30"},
         {kTitle, kName, kNotice, "enum", "read 00000010", "read 000004A2", "read 00000BEE", "read 00000030",
          kNotFound}},
        // Untitled windows are passed over; nothing below the first match is read.
        {{"vt", "REPORT", "30", "ignored"},
         {kTitle, kName, kNotice, "enum", "read 00000010", "read 000004A2", "track 000004A2",
          Located("Quarterly Report - Editor"), Sending("000004A2", "30"), "wait 1800000", "close 000004A2", kSent}},
        {{"vt", "", "1"},
         {kTitle, kName, kNotice, "enum", "read 00000010", "read 000004A2", "track 000004A2",
          Located("Quarterly Report - Editor"), Sending("000004A2", "1"), "wait 60000", "close 000004A2", kSent}},
        // Title bytes are printed as they are, never read as a format.
        {{"vt", "%s%d%p", "0"},
         {kTitle, kName, kNotice, "enum", "read 00000010", "read 000004A2", "read 00000BEE", "track 00000BEE",
          Located("100%s%d%p done"), Sending("00000BEE", "0"), "wait 0", "close 00000BEE", kSent}},
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
        const char* waited;
    } cases[] = {
        {"abc", "0", "wait 0"},
        {"+7", "7", "wait 420000"},
        {" 7x", "7", "wait 420000"},
        {"--7", "0", "wait 0"},
        {"71582", "71582", "wait 4294920000"},
        {"71583", "71583", "wait 4294980000"},
        {"-5", "-5", "wait 0"},
        {"4294967295", "-1", "wait 0"},
        {"-2147483648", "-2147483648", "wait 0"},
    };
    for (const auto& c : cases) {
        FakeReset();
        Transcript t = RunTool({"vt", "report", c.argument});
        ASSERT_EQ(t.size(), 12u) << c.argument;
        EXPECT_EQ(t[8], Sending("000004A2", c.shown)) << c.argument;
        EXPECT_EQ(t[9], c.waited) << c.argument;
        EXPECT_EQ(t[10], "close 000004A2") << c.argument;
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
        Transcript t = RunTool({"vt", "report", "0"}, {{c.handle, "Report"}});
        EXPECT_EQ(t.at(7), Sending(c.shown, "0"));
    }
}

TEST(Driver, OwnConsoleIsACandidateUnderItsNewTitle)
{
    FakeReset();
    FakeOpenConsole(0x8);
    Transcript t = RunTool({"vt", "1.0", "0"}, {{0x20, "Release notes 1.0"}});
    EXPECT_EQ(t.at(6), Located("vantrel 1.0"));
    EXPECT_EQ(t.at(9), "close 00000008");
}

TEST(Driver, TitlesAreCutAt511Bytes)
{
    const std::string title = std::string(500, 'x') + "0123456789ABCDEF";
    FakeReset();
    EXPECT_EQ(RunTool({"vt", "abc", "0"}, {{0x20, title}}).back(), kNotFound); // starts at byte 511
    FakeReset();
    EXPECT_EQ(RunTool({"vt", "89a", "0"}, {{0x20, title}}).at(6), Located(title.substr(0, 511)));
}

TEST(Driver, LongProgramNameIsPrintedWhole)
{
    FakeReset();
    std::string name(3000, 'n');
    RunTool({name});
    EXPECT_EQ(FakeOutput(), kName.substr(4) + kNotice.substr(4) + "Usage: " + name + " windowtitle delayminutes\r\n");
}

TEST(Driver, CloseReachesOnlyTheLocatedWindow)
{
    const struct {
        const char* name;
        std::function<void()> duringWait;
        bool closeSent;
    } cases[] = {
        {"nothing changes", [] {}, true},
        {"user closed it", [] { FakeDestroyWindow(0x20); }, false},
        {"handle reused by another program",
         [] {
             FakeDestroyWindow(0x20);
             FakeOpenWindow(0x20, "Someone else's report", 2);
         },
         false},
        {"other windows come and go",
         [] {
             FakeDestroyWindow(0x30);
             FakeOpenWindow(0x40, "Report 2", 2);
         },
         true},
    };
    for (const auto& c : cases) {
        FakeReset();
        FakeDuringWait(c.duringWait);
        Transcript t = RunTool({"vt", "report", "1"}, {{0x20, "Report"}, {0x30, "Other"}});
        EXPECT_EQ(t[t.size() - 2] == "close 00000020", c.closeSent) << c.name;
        EXPECT_EQ(t.back(), kSent) << c.name;
    }
}

} // namespace
