#pragma once

// Window lists that come in any order with each window's place in the stack,
// or with the time it last had the focus.

#include <cstdint>

struct Stacked {
    std::int32_t level; // higher is nearer the top
    int index;          // where the window was listed
};

// Topmost first; windows at the same level keep the order they were listed in.
void SortTopmostFirst(Stacked* windows, int count);

struct Focused {
    bool known;          // when it last had the focus is known
    std::uint64_t stamp; // when, on the lister's clock: larger is more recent
    std::uint64_t id;    // the lister's id: larger is newer
    int index;           // where the window was listed
};

// The one used last first; those never known to have had the focus after
// all others; where that does not tell, the newer first.
void SortRecentFirst(Focused* windows, int count);
