#include <gtest/gtest.h>

#include "match/match.h"

namespace {

struct Case {
    const char* text;
    const char* fragment;
    long expected; // offset of the match in text, -1 for none
};

const Case kCases[] = {
    {"Quarterly Report - Editor", "REPORT", 10},
    {"REPORT.TXT", "report", 0},
    {"aaab", "aab", 1},          // restart after a failed partial match
    {"xa", "ab", -1},            // partial match runs into the end
    {"ab", "abc", -1},
    {"", "", 0},                 // empty fragment: start of any text
    {"anything", "", 0},
    {"", "a", -1},
    {"\xC9t\xE9", "\xE9T\xC9", -1}, // accented letters are not folded
    {"\xC9t\xE9", "\xC9T\xE9", 0},
    {"a_b", "A_B", 0},
    {"a_b", "a\x7F" "b", -1},
    {"@", "`", -1},              // neighbours of the letters stay apart
    {"[\\]^", "{|}~", -1},
    {"mississippi", "ISSIP", 4}, // leftmost of overlapping candidates
    {"abababc", "ababc", 2},
    {"Zz", "zZ", 0},
    {"tail match", "MATCH", 5},
};

TEST(FindTitleFragment, KnownCases)
{
    for (const Case& c : kCases) {
        const char* found = FindTitleFragment(c.text, c.fragment);
        long offset = found ? found - c.text : -1;
        EXPECT_EQ(offset, c.expected) << "text \"" << c.text << "\" fragment \"" << c.fragment << "\"";
    }
}

TEST(FindTitleFragment, AbsentInputs)
{
    EXPECT_EQ(FindTitleFragment(nullptr, "a"), nullptr);
    EXPECT_EQ(FindTitleFragment("a", nullptr), nullptr);
    EXPECT_EQ(FindTitleFragment(nullptr, nullptr), nullptr);
}

} // namespace
