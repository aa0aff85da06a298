#pragma once

#include <cstdint>

// Reads a delay in minutes the way C's strtol does on a 32-bit long, but
// never failing: leading blanks, one optional sign, then decimal digits;
// anything after them is ignored, no digits read as 0, and values past the
// 32-bit range are held at its ends.
std::int32_t ReadDelayMinutes(const char* text);

// How long to wait for a delay. Nothing for zero or negative delays; large
// delays keep their full length instead of wrapping at 32 bits.
std::uint64_t WaitMilliseconds(std::int32_t minutes);
