#pragma once

// Tables that grow as entries come, by doubling.

#include <cstdlib>

// Room for `need` entries in *table, whose room is *room; false when it
// can't grow, leaving it as it was.
template <typename T> bool TableReserve(T** table, int need, int* room)
{
    if (need <= *room)
        return true;
    int more = *room ? *room : 64;
    while (more < need)
        more *= 2;
    void* grown = std::realloc(*table, static_cast<std::size_t>(more) * sizeof **table);
    if (!grown)
        return false;
    *table = static_cast<T*>(grown);
    *room = more;
    return true;
}
