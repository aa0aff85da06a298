// Input: text, a zero byte, fragment. The search must stay inside both
// strings, and what it returns must be a match with none before it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "match/match.h"

static bool MatchesAt(const char* text, const char* fragment)
{
    for (; *fragment; ++text, ++fragment) {
        unsigned char t = static_cast<unsigned char>(*text), f = static_cast<unsigned char>(*fragment);
        if (t != f && !((t | 0x20) == (f | 0x20) && (t | 0x20) >= 'a' && (t | 0x20) <= 'z'))
            return false;
    }
    return true;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Exact-size copies, so AddressSanitizer sees any read past the end.
    const std::uint8_t* zero = static_cast<const std::uint8_t*>(std::memchr(data, 0, size));
    std::size_t textLength = zero ? static_cast<std::size_t>(zero - data) : size;
    std::size_t fragmentLength = zero ? size - textLength - 1 : 0;
    std::vector<char> text(data, data + textLength);
    text.push_back('\0');
    std::vector<char> fragment(data + size - fragmentLength, data + size);
    fragment.push_back('\0');

    const char* found = FindTitleFragment(text.data(), fragment.data());
    const char* end = text.data() + textLength;
    if (found && (found < text.data() || found > end || !MatchesAt(found, fragment.data())))
        std::abort();
    // Leftmost: no earlier start matches; none found: no start matches.
    const std::size_t need = std::strlen(fragment.data());
    for (const char* start = text.data(); start < (found ? found : end); ++start)
        if (static_cast<std::size_t>(end - start) >= need && MatchesAt(start, fragment.data()))
            std::abort();
    return 0;
}
