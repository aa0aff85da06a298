#pragma once

// sway's window tree, its answer to GET_TREE, read into the listed windows
// (window_list.h) ranked by when the user last used them.

#include <cstddef>

enum TreeRead {
    TreeDone,
    TreeUnreadable, // not sway's tree
    TreeTooLarge,   // the tables could not grow
};

// Lists every container that has a process: its title (none when null),
// process, X11 id (XWayland), and its id as handle and number. Ranked by
// walking each container's focus list, most recently focused child first,
// depth first: so the focused window comes first, then the others of its
// workspace, then the workspaces and outputs in their own focus order.
// Windows no focus list reaches (the scratchpad's) come last, in the
// tree's order.
TreeRead SwayReadTree(const char* json, std::size_t length);
