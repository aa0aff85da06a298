#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "winsys/stacking.h"
#include "winsys/sway_tree.h"
#include "winsys/window_list.h"

// The listed windows ask these of the Linux operating-system half.
bool OsIsAncestorProcess(std::uint32_t) { return false; }
std::uint32_t OsTerminalWindowId() { return 0; }

namespace {

using Ids = std::vector<WindowHandle>;

TEST(SortTopmostFirst, HigherFirstEqualsInListedOrder)
{
    Stacked windows[] = {{.level = 3, .index = 0}, {.level = 1, .index = 1}, {.level = 3, .index = 2},
                         {.level = 2, .index = 3}, {.level = -1, .index = 4}};
    SortTopmostFirst(windows, 5);
    std::vector<int> order;
    for (const Stacked& w : windows)
        order.push_back(w.index);
    EXPECT_EQ(order, (std::vector<int>{0, 2, 3, 1, 4}));
}

// niri and Wayfire list in no order of use; each window's last focus says it.
TEST(SortRecentFirst, LastFocusedFirstNeverFocusedLastNewerOnTies)
{
    const struct {
        const char* name;
        std::vector<Focused> in; // index is the id, for reading
        std::vector<int> out;
    } cases[] = {
        {"by time", {{true, 50, 1, 1}, {true, 90, 2, 2}, {true, 70, 3, 3}}, {2, 3, 1}},
        {"never focused after all, newest first", {{false, 0, 4, 4}, {true, 5, 1, 1}, {false, 0, 9, 9}}, {1, 9, 4}},
        {"the focused one alone known (niri before 25.11)", {{false, 0, 7, 7}, {true, 0, 3, 3}, {false, 0, 8, 8}},
         {3, 8, 7}},
        {"the same time: the newer", {{true, 10, 2, 2}, {true, 10, 5, 5}}, {5, 2}},
    };
    for (auto c : cases) {
        SortRecentFirst(c.in.data(), static_cast<int>(c.in.size()));
        std::vector<int> order;
        for (const Focused& f : c.in)
            order.push_back(f.index);
        EXPECT_EQ(order, c.out) << c.name;
    }
}

std::string Window(int id, const std::string& name = "\"Same\"", const std::string& more = "")
{
    return "{\"id\":" + std::to_string(id) + ",\"type\":\"con\",\"name\":" + name + ",\"pid\":" +
           std::to_string(4000 + id) + more + ",\"focus\":[],\"nodes\":[],\"floating_nodes\":[]}";
}

// A container: its focus list before or after its children, as sway gives
// them in either order.
std::string Box(int id, const char* type, const std::string& focus, const std::string& nodes,
                const std::string& floating = "")
{
    return "{\"id\":" + std::to_string(id) + ",\"type\":\"" + type + "\",\"nodes\":[" + nodes +
           "],\"rect\":{\"x\":0,\"y\":0},\"focus\":[" + focus + "],\"floating_nodes\":[" + floating + "]}";
}

std::string Root(const std::string& focus, const std::string& outputs)
{
    return Box(1, "root", focus, Box(2147483647, "output", "2147483646",
                                     Box(2147483646, "workspace", "", "", Window(90, "\"Scratch\""))) +
                                     "," + outputs);
}

bool Collect(void* ids, WindowHandle window, const char*)
{
    static_cast<Ids*>(ids)->push_back(window);
    return true;
}

// The walk along sway's focus lists: the window used last first, every
// window listed, those no focus list reaches last.
TEST(SwayReadTree, FocusListsGiveTheOrderOfUse)
{
    const struct {
        const char* name;
        std::string tree;
        Ids order;
    } cases[] = {
        // Opened A, B, C; focused A, then B.
        {"within a workspace", Root("3", Box(3, "output", "4", Box(4, "workspace", "11,10,12",
                                                               Window(10) + "," + Window(11) + "," + Window(12)))),
         {11, 10, 12, 90}},
        {"through a split, and floating windows",
         Root("3", Box(3, "output", "4",
                       Box(4, "workspace", "30,20", Box(20, "con", "22,21", Window(21) + "," + Window(22)),
                           Window(30)))),
         {30, 22, 21, 90}},
        {"workspaces and outputs in their own focus order",
         Root("5,3", Box(3, "output", "4", Box(4, "workspace", "10", Window(10))) + "," +
                         Box(5, "output", "7,6", Box(6, "workspace", "11", Window(11)) + "," +
                                                     Box(7, "workspace", "12", Window(12)))),
         {12, 11, 10, 90}},
        {"one no focus list names: last, in the tree's order",
         Root("3", Box(3, "output", "4", Box(4, "workspace", "12", Window(10) + "," + Window(12) + "," + Window(11)))),
         {12, 90, 10, 11}},
        {"untitled windows are not listed",
         Root("3", Box(3, "output", "4", Box(4, "workspace", "10,11", Window(10, "null") + "," + Window(11, "\"\"")))),
         {90}},
        {"an XWayland window", Root("3", Box(3, "output", "4", Box(4, "workspace", "10", Window(10, "\"X\"", ",\"window\":4194316")))),
         {10, 90}},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(SwayReadTree(c.tree.data(), c.tree.size()), TreeDone) << c.name;
        Ids order;
        ListedOffer(nullptr, Collect, &order);
        EXPECT_EQ(order, c.order) << c.name;
    }
    const ListedWindow* x = ListedFind(10);
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(x->x11, 4194316u);
    EXPECT_EQ(x->pid, 4010u);
}

TEST(SwayReadTree, TitlesAsTheBytesTheyStandFor)
{
    const struct {
        std::string name, title;
    } cases[] = {
        {"\"Report \\u001b]0;x\\u0007\"", "Report \x1b]0;x\x07"},
        {"\"Quoted \\\"q\\\" \\\\ \\u00e9 \\ud83d\\ude00\"", "Quoted \"q\" \\ \xc3\xa9 \xf0\x9f\x98\x80"},
        {"\"Cut\\u0000here\"", "Cut"}, // as X11 titles end at their first zero byte
        {"\"" + std::string(600, 'x') + "\"", std::string(511, 'x')},
    };
    for (const auto& c : cases) {
        std::string tree = Root("3", Box(3, "output", "4", Box(4, "workspace", "10", Window(10, c.name))));
        ASSERT_EQ(SwayReadTree(tree.data(), tree.size()), TreeDone) << c.name;
        char title[kTitleSize];
        ASSERT_GT(ListedTitle(10, title, kTitleSize), 0) << c.name;
        EXPECT_EQ(std::string(title), c.title) << c.name;
    }
    for (const char* other : {"", "[1,2]", "{\"id\":1,", "{\"Err\":\"x\"", "nul"})
        EXPECT_EQ(SwayReadTree(other, std::strlen(other)), TreeUnreadable) << other;
}

} // namespace
