#include "cli/delay.h"

std::int32_t ReadDelayMinutes(const char* text)
{
    if (!text)
        return 0;
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    // The magnitude stops growing one past the largest that fits, so that a
    // very long delay stays very long instead of wrapping.
    const std::uint32_t limit = negative ? 2147483648u : 2147483647u;
    std::uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        std::uint32_t digit = static_cast<std::uint32_t>(*text - '0');
        value = value > (limit - digit) / 10 ? limit : value * 10u + digit;
    }
    return negative ? static_cast<std::int32_t>(0u - value) : static_cast<std::int32_t>(value);
}

std::uint64_t WaitMilliseconds(std::int32_t minutes)
{
    return minutes > 0 ? static_cast<std::uint64_t>(minutes) * 60000u : 0;
}
