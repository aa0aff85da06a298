#include <gtest/gtest.h>

#include <cstdint>
#include <string>

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

// An independent statement of the rule: fold both sides, then let the
// standard library search.
std::string FoldAscii(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

long ReferenceFind(const std::string& text, const std::string& fragment)
{
    std::size_t at = FoldAscii(text).find(FoldAscii(fragment));
    return at == std::string::npos ? -1 : static_cast<long>(at);
}

TEST(FindTitleFragment, AgreesWithReferenceOnGeneratedStrings)
{
    // Few distinct bytes so that partial matches and case pairs are common.
    const char alphabet[] = {'a', 'A', 'b', 'B', '@', '`', '_', '\xC9', '\xE9', 'z', 'Z', '['};
    std::uint32_t state = 12345;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (int round = 0; round < 200000; ++round) {
        std::string text, fragment;
        for (std::uint32_t n = next() % 12; n > 0; --n)
            text += alphabet[next() % sizeof alphabet];
        for (std::uint32_t n = next() % 5; n > 0; --n)
            fragment += alphabet[next() % sizeof alphabet];
        const char* found = FindTitleFragment(text.c_str(), fragment.c_str());
        long offset = found ? found - text.c_str() : -1;
        ASSERT_EQ(offset, ReferenceFind(text, fragment)) << "text \"" << text << "\" fragment \"" << fragment << "\"";
    }
}

} // namespace
