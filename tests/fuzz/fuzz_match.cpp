// Input: text, a zero byte, fragment. Checks the search against a plain
// restatement of the rule and that it never reads past either string.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "match/match.h"

static bool FoldedEqual(unsigned char a, unsigned char b)
{
    auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    return fold(a) == fold(b);
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
    fragmentLength = std::strlen(fragment.data());

    long expected = -1;
    for (std::size_t start = 0; expected < 0 && start + fragmentLength <= textLength; ++start) {
        std::size_t i = 0;
        while (i < fragmentLength && FoldedEqual(static_cast<unsigned char>(text[start + i]),
                                                 static_cast<unsigned char>(fragment[i])))
            ++i;
        if (i == fragmentLength)
            expected = static_cast<long>(start);
    }
    const char* found = FindTitleFragment(text.data(), fragment.data());
    long actual = found ? found - text.data() : -1;
    if (actual != expected)
        std::abort();
    return 0;
}
