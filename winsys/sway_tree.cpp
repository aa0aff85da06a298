#include "winsys/sway_tree.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/constants.h"
#include "winsys/json_stream.h"
#include "winsys/table.h"
#include "winsys/window_list.h"

namespace {

const int kDepth = 64; // as deep as JsonRead reads

struct Node {
    std::int64_t id;
    int parent; // -1 for the root
    int listed; // its window among the listed ones, or -1
    int focus, focusCount; // its children's ids in focus order, in focusIds
    bool reached;
};

struct ById {
    std::int64_t id;
    int node;
};

// Grown as the tree is read, kept for the next reading.
Node* nodes;
ById* byId;
int nodeCount, nodeRoom, byIdRoom;
std::int64_t* focusIds;
int focusCount, focusRoom;

// What is known of the object at each depth while it is read.
struct Open {
    int node;      // -1: no node
    bool children; // an array of nodes
    bool focus;    // an array of focused ids
    bool hasPid;
    std::uint32_t pid, x11;
    char title[kTitleSize];
};
Open open[kDepth + 1];
bool full; // a table could not grow

std::uint32_t Number(const JsonItem& item)
{
    return JsonUnsigned(item) <= UINT32_MAX ? static_cast<std::uint32_t>(JsonUnsigned(item)) : 0;
}

void Member(Open& o, const JsonItem& item)
{
    if (JsonIs(item.key, item.keyLength, "id") && item.kind == JsonInteger)
        nodes[o.node].id = item.integer;
    else if (JsonIs(item.key, item.keyLength, "pid")) {
        o.hasPid = true;
        o.pid = Number(item);
    } else if (JsonIs(item.key, item.keyLength, "window"))
        o.x11 = Number(item);
    else if (JsonIs(item.key, item.keyLength, "name"))
        JsonText(item, o.title, sizeof o.title);
}

// A container with a process is a window.
void Close(const Open& o)
{
    Node& node = nodes[o.node];
    if (!o.hasPid)
        return;
    bool grew = true;
    ListedWindow* w = ListedAdd(o.title, 0, &grew);
    full |= !grew;
    if (!w)
        return;
    w->handle = static_cast<WindowHandle>(node.id);
    w->number = static_cast<std::uint64_t>(node.id);
    w->pid = o.pid;
    w->x11 = o.x11;
    node.listed = ListedCount() - 1;
}

bool Visit(void*, const JsonItem& item)
{
    const int d = item.depth;
    Open* container = d > 0 ? &open[d - 1] : nullptr;
    switch (item.kind) {
    case JsonObject: {
        open[d] = {};
        open[d].node = -1;
        // The root, and each item of a node's list of children.
        if (d > 0 && !container->children)
            return true;
        if (!TableReserve(&nodes, nodeCount + 1, &nodeRoom)) {
            full = true;
            return false;
        }
        nodes[nodeCount] = {.id = 0, .parent = d > 1 ? open[d - 2].node : -1, .listed = -1,
                            .focus = focusCount, .focusCount = 0, .reached = false};
        open[d].node = nodeCount++;
        return true;
    }
    case JsonObjectEnd:
        if (open[d].node >= 0)
            Close(open[d]);
        return !full;
    case JsonArray: {
        open[d] = {};
        open[d].node = -1;
        bool ofNode = container && container->node >= 0;
        open[d].children = ofNode && (JsonIs(item.key, item.keyLength, "nodes") ||
                                      JsonIs(item.key, item.keyLength, "floating_nodes"));
        open[d].focus = ofNode && JsonIs(item.key, item.keyLength, "focus");
        // Its children may have been read before it, their lists with them.
        if (open[d].focus)
            nodes[container->node].focus = focusCount;
        return true;
    }
    case JsonArrayEnd:
        return true;
    default:
        if (container && container->focus && item.kind == JsonInteger) {
            if (!TableReserve(&focusIds, focusCount + 1, &focusRoom)) {
                full = true;
                return false;
            }
            focusIds[focusCount++] = item.integer;
            ++nodes[open[d - 2].node].focusCount;
        } else if (container && container->node >= 0) {
            Member(*container, item);
        }
        return true;
    }
}

int CompareIds(const void* a, const void* b)
{
    std::int64_t x = static_cast<const ById*>(a)->id, y = static_cast<const ById*>(b)->id;
    return x < y ? -1 : x > y;
}

int Child(int parent, std::int64_t id)
{
    ById key = {.id = id, .node = -1};
    auto* found = static_cast<ById*>(std::bsearch(&key, byId, static_cast<std::size_t>(nodeCount), sizeof *byId,
                                                  CompareIds));
    return found && nodes[found->node].parent == parent ? found->node : -1;
}

void Rank(Node& node, std::int32_t* rank)
{
    if (node.listed >= 0 && !node.reached)
        ListedAt(node.listed)->level = -(*rank)++;
    node.reached = true;
}

// Depth first along the focus lists.
void Walk(int n, std::int32_t* rank)
{
    Rank(nodes[n], rank);
    for (int i = 0; i < nodes[n].focusCount; ++i)
        if (int child = Child(n, focusIds[nodes[n].focus + i]); child >= 0 && !nodes[child].reached)
            Walk(child, rank);
}

} // namespace

TreeRead SwayReadTree(const char* json, std::size_t length)
{
    ListedClear();
    nodeCount = focusCount = 0;
    full = false;
    bool read = JsonRead(json, length, Visit, nullptr);
    if (full)
        return TreeTooLarge;
    if (!read || nodeCount == 0)
        return TreeUnreadable;
    if (!TableReserve(&byId, nodeCount, &byIdRoom))
        return TreeTooLarge;
    for (int i = 0; i < nodeCount; ++i)
        byId[i] = {.id = nodes[i].id, .node = i};
    std::qsort(byId, static_cast<std::size_t>(nodeCount), sizeof *byId, CompareIds);
    std::int32_t rank = 0;
    Walk(0, &rank);
    // The nodes are in the tree's order: the unreached windows follow so.
    for (int i = 0; i < nodeCount; ++i)
        Rank(nodes[i], &rank);
    return TreeDone;
}
