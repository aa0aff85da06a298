#pragma once

// Window lists that come in any order with each window's place in the stack.

#include <cstdint>

struct Stacked {
    std::int32_t level; // higher is nearer the top
    int index;          // where the window was listed
};

// Topmost first; windows at the same level keep the order they were listed in.
void SortTopmostFirst(Stacked* windows, int count);
