#include <gtest/gtest.h>

#include <cstdint>

#include "cli/delay.h"

namespace {

TEST(ReadDelayMinutes, Table)
{
    const struct {
        const char* text;
        std::int32_t expected;
    } cases[] = {
        {"30", 30}, {"0", 0}, {"", 0}, {"abc", 0}, {"7x", 7}, {"+7", 7}, {" 7", 7}, {"\t\n\v\f\r 7", 7},
        {"--7", 0}, {"+-7", 0}, {"- 7", 0}, {"-7", -7}, {"007", 7}, {"7 8", 7},
        {"\xA0" "7", 0}, // no-break space is not white space here
        {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}, // held at the ends, never wrapped
        {"2147483648", INT32_MAX}, {"-2147483649", INT32_MIN}, {"4294967296", INT32_MAX},
        {"99999999999999999999", INT32_MAX}, {"-99999999999999999999x", INT32_MIN}, {"214748364 7", 214748364},
        {nullptr, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadDelayMinutes(c.text), c.expected) << (c.text ? c.text : "(null)");
}

TEST(WaitMilliseconds, Table)
{
    const struct {
        std::int32_t minutes;
        std::uint64_t expected;
    } cases[] = {
        {0, 0}, {1, 60000}, {71582, 4294920000u}, // the largest that fits 32 bits
        {71583, 4294980000ull},                   // must not wrap to 12704
        {INT32_MAX, 128849018820000ull}, {-1, 0}, {INT32_MIN, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(WaitMilliseconds(c.minutes), c.expected) << c.minutes;
}

} // namespace
