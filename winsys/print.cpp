#include <cstdarg>
#include <cstring>

#include "winsys/winsys.h"

namespace {

// Collects one message so that it reaches the platform in as few writes as
// possible; long arguments are passed on in pieces rather than cut.
struct Message {
    char bytes[1024];
    std::size_t length;
};

void Put(Message& m, const char* bytes, std::size_t length)
{
    while (length > 0) {
        if (m.length == sizeof m.bytes) {
            PlatformWrite(m.bytes, m.length);
            m.length = 0;
        }
        std::size_t room = sizeof m.bytes - m.length;
        std::size_t n = length < room ? length : room;
        std::memcpy(m.bytes + m.length, bytes, n);
        m.length += n;
        bytes += n;
        length -= n;
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

} // namespace

void Print(const char* format, ...)
{
    Message m;
    m.length = 0;
    const char* lineEnd = PlatformLineEnd();
    std::va_list args;
    va_start(args, format);
    for (const char* p = format; *p; ++p) {
        if (*p == '\n') {
            Put(m, lineEnd, std::strlen(lineEnd));
        } else if (*p != '%' || p[1] == '\0') {
            Put(m, p, 1);
        } else {
            switch (*++p) {
            case 's': {
                const char* s = va_arg(args, const char*);
                if (s)
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
    va_end(args);
    if (m.length > 0)
        PlatformWrite(m.bytes, m.length);
}
