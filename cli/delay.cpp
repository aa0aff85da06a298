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
    // Unsigned arithmetic wraps; signed overflow would be undefined.
    std::uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        value = value * 10u + static_cast<std::uint32_t>(*text - '0');
    if (negative)
        value = 0u - value;
    return static_cast<std::int32_t>(value);
}

std::uint64_t WaitMilliseconds(std::int32_t minutes)
{
    return minutes > 0 ? static_cast<std::uint64_t>(minutes) * 60000u : 0;
}
