#include <gtest/gtest.h>

#include "match/match.h"

namespace {

// fuzz_match checks every found position and that none comes earlier; here
// what it cannot reach: absent inputs, and a few positions by name.
TEST(FindTitleFragment, Table)
{
    const struct {
        const char* text;
        const char* fragment;
        long expected; // offset of the match in text, -1 for none
    } cases[] = {
        {"Quarterly Report - Editor", "REPORT", 10}, {"aaab", "aab", 1}, {"xa", "ab", -1}, {"", "", 0},
        {"\xC9t\xE9", "\xE9T\xC9", -1}, {"@", "`", -1}, {nullptr, "a", -1}, {"a", nullptr, -1},
    };
    for (const auto& c : cases) {
        const char* found = FindTitleFragment(c.text, c.fragment);
        EXPECT_EQ(found ? found - c.text : -1, c.expected) << (c.text ? c.text : "(null)");
    }
}

} // namespace
