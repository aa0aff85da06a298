#include <cstdarg>
#include <cstring>

#include "core/core.h"

namespace {

// Collects one message so that it reaches the platform in as few writes as
// possible; long arguments are passed on in pieces rather than cut.
struct Message {
    Stream stream;
    char bytes[1024];
    std::size_t length;
};

// A piece never ends inside a UTF-8 sequence, so that a console converting
// each write to UTF-16 sees whole characters.
void Flush(Message& m)
{
    std::size_t end = m.length;
    std::size_t back = 0;
    while (back < 3 && back < end && (static_cast<unsigned char>(m.bytes[end - 1 - back]) & 0xC0) == 0x80)
        ++back;
    unsigned char lead = back < end ? static_cast<unsigned char>(m.bytes[end - 1 - back]) : 0;
    std::size_t need = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    if (lead >= 0xC0 && back + 1 < need && end > back + 1)
        end -= back + 1;
    OsWrite(m.stream, m.bytes, end);
    std::memmove(m.bytes, m.bytes + end, m.length - end);
    m.length -= end;
}

void Put(Message& m, const char* bytes, std::size_t length)
{
    while (length > 0) {
        if (m.length == sizeof m.bytes)
            Flush(m);
        std::size_t room = sizeof m.bytes - m.length;
        std::size_t n = length < room ? length : room;
        std::memcpy(m.bytes + m.length, bytes, n);
        m.length += n;
        bytes += n;
        length -= n;
    }
}

// The length of the valid UTF-8 sequence at s, or 0 for a stray byte.
// Overlong forms, surrogates and code points past U+10FFFF are stray too.
std::size_t SequenceLength(const unsigned char* s)
{
    unsigned char lead = s[0];
    std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                       : lead >= 0xF0 && lead <= 0xF4    ? 4
                                                                           : 0;
    // Where the second byte may lie, for the leads that narrow it.
    unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    for (std::size_t i = 1; i < length; ++i)
        if (s[i] < (i == 1 ? low : 0x80) || s[i] > (i == 1 ? high : 0xBF))
            return 0; // a zero byte ends the sequence early, too
    return length;
}

// On a terminal a title could otherwise move the cursor, rename the window,
// write the clipboard or forge lines: each C0 or C1 control, and in UTF-8
// each byte that is not part of a character, is shown as '?'.
void PutShown(Message& m, const char* text)
{
    const bool utf8 = OsTextIsUtf8();
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text);
    while (*s) {
        std::size_t plain = 0, length = 1;
        for (;; plain += length) {
            const unsigned char* c = s + plain;
            length = utf8 ? SequenceLength(c) : 1;
            bool control = *c < 0x20 || *c == 0x7F || (*c == 0xC2 && c[1] >= 0x80 && c[1] <= 0x9F);
            if (!*c || length == 0 || control)
                break;
        }
        Put(m, reinterpret_cast<const char*>(s), plain);
        s += plain;
        if (*s) {
            Put(m, "?", 1);
            s += length > 0 ? length : 1;
        }
    }
}

void PutDecimal(Message& m, std::int32_t value)
{
    char digits[11];
    std::size_t at = sizeof digits;
    // Work on the magnitude unsigned: -2147483648 has no signed opposite.
    std::uint32_t magnitude = value < 0 ? 0u - static_cast<std::uint32_t>(value)
                                        : static_cast<std::uint32_t>(value);
    do {
        digits[--at] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        Put(m, "-", 1);
    Put(m, digits + at, sizeof digits - at);
}

void PutHandle(Message& m, WindowHandle handle)
{
    static const char hex[] = "0123456789ABCDEF";
    char digits[8];
    for (int i = 7; i >= 0; --i, handle >>= 4)
        digits[i] = hex[handle & 0xF];
    Put(m, digits, sizeof digits);
}

void Format(Message& m, bool terminal, const char* format, std::va_list args)
{
    const char* lineEnd = OsLineEnd();
    for (const char* p = format; *p; ++p) {
        if (*p == '\n') {
            Put(m, lineEnd, std::strlen(lineEnd));
        } else if (*p != '%' || p[1] == '\0') {
            Put(m, p, 1);
        } else {
            switch (*++p) {
            case 's': {
                const char* s = va_arg(args, const char*);
                if (s && terminal)
                    PutShown(m, s);
                else if (s)
                    Put(m, s, std::strlen(s));
                break;
            }
            case 'd':
                PutDecimal(m, va_arg(args, std::int32_t));
                break;
            case 'p':
                PutHandle(m, va_arg(args, WindowHandle));
                break;
            default:
                Put(m, p, 1);
                break;
            }
        }
    }
}

} // namespace

void Print(const char* format, ...)
{
    Message m;
    m.stream = StandardOutput;
    m.length = 0;
    std::va_list args;
    va_start(args, format);
    Format(m, OsIsTerminal(StandardOutput), format, args);
    va_end(args);
    if (m.length > 0)
        OsWrite(m.stream, m.bytes, m.length);
}

void PrintError(const char* format, ...)
{
    Message m;
    m.stream = StandardError;
    m.length = 0;
    Put(m, "vantrel: ", 9);
    std::va_list args;
    va_start(args, format);
    // Names and texts from elsewhere (a display's name, a compositor's
    // message) are shown as on standard output.
    Format(m, OsIsTerminal(StandardError), format, args);
    va_end(args);
    Put(m, OsLineEnd(), std::strlen(OsLineEnd()));
    OsWrite(m.stream, m.bytes, m.length);
}
