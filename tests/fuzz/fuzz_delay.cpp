// The delay reader on arbitrary bytes: no crash or undefined behaviour, and
// the relations that must hold between related inputs.
#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <string>

#include "cli/delay.h"

static void Check(bool holds)
{
    if (!holds)
        std::abort();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string text(reinterpret_cast<const char*>(data), size);
    text = text.c_str(); // up to the first zero byte, as an argument would be
    const std::int64_t minutes = ReadDelayMinutes(text.c_str());
    auto read = [](const std::string& s) { return static_cast<std::int64_t>(ReadDelayMinutes(s.c_str())); };

    Check(read(" \t" + text) == minutes); // leading blanks are skipped
    bool digitFirst = !text.empty() && text[0] >= '0' && text[0] <= '9';
    if (digitFirst) {
        // Held at the ends of the range: a magnitude too large for one sign
        // is too large for the other.
        Check(minutes < INT32_MAX ? read("-" + text) == -minutes : read("-" + text) <= -INT32_MAX);
        Check(read("+" + text) == minutes);
        Check(read("--" + text) == 0);
    }
    if (text.find_first_not_of("0123456789") == std::string::npos) { // digits only, or empty
        Check(read(text + "7") == std::min<std::int64_t>(minutes * 10 + 7, INT32_MAX));
        Check(read(text + "x9") == minutes);
    }
    std::uint64_t wait = WaitMilliseconds(static_cast<std::int32_t>(minutes));
    Check(minutes <= 0 ? wait == 0 : wait / 60000u == static_cast<std::uint64_t>(minutes) && wait % 60000u == 0);
    return 0;
}
