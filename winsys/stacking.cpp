#include "winsys/stacking.h"

#include <cstdlib>

namespace {

int Compare(const void* a, const void* b)
{
    const Stacked& x = *static_cast<const Stacked*>(a);
    const Stacked& y = *static_cast<const Stacked*>(b);
    if (x.level != y.level)
        return x.level > y.level ? -1 : 1;
    return x.index < y.index ? -1 : x.index > y.index;
}

int CompareFocused(const void* a, const void* b)
{
    const Focused& x = *static_cast<const Focused*>(a);
    const Focused& y = *static_cast<const Focused*>(b);
    if (x.known != y.known)
        return x.known ? -1 : 1;
    if (x.known && x.stamp != y.stamp)
        return x.stamp > y.stamp ? -1 : 1;
    return x.id > y.id ? -1 : x.id < y.id;
}

} // namespace

void SortTopmostFirst(Stacked* windows, int count)
{
    if (count > 1)
        std::qsort(windows, static_cast<std::size_t>(count), sizeof *windows, Compare);
}

void SortRecentFirst(Focused* windows, int count)
{
    if (count > 1)
        std::qsort(windows, static_cast<std::size_t>(count), sizeof *windows, CompareFocused);
}
