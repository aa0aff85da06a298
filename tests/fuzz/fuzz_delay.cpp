// Checks the delay reader against 64-bit arithmetic reduced to 32 bits, and
// the wait length derived from it, on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "cli/delay.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<char> text(data, data + size);
    text.push_back('\0');

    const char* p = text.data();
    while (*p == ' ' || (*p >= 9 && *p <= 13))
        ++p;
    bool negative = *p == '-';
    if (*p == '+' || *p == '-')
        ++p;
    std::uint64_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        value = (value * 10 + static_cast<std::uint64_t>(*p - '0')) & 0xFFFFFFFFu;
    if (negative)
        value = (0x100000000u - value) & 0xFFFFFFFFu;
    std::int32_t expected = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));

    std::int32_t minutes = ReadDelayMinutes(text.data());
    if (minutes != expected)
        std::abort();
    std::uint64_t wait = WaitMilliseconds(minutes);
    if (minutes <= 0 ? wait != 0 : wait != static_cast<std::uint64_t>(minutes) * 60000u)
        std::abort();
    return 0;
}
