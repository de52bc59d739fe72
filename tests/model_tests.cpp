#include "properties.h"

#include <bulk_selection.h>
#include <catalogue.h>

#include <gtest/gtest.h>

#include <map>
#include <random>

using namespace model;

namespace {

struct Loaded : ::testing::Test {
    Permissions p;
    void SetUp() override { loadCatalogue(p); }
    Node& node(std::string_view key) { return *p.tree.find(key); }
    std::vector<bool> ticks() const
    {
        std::vector<bool> t;
        for (int i = 1; i <= p.tree.Count(); ++i)
            t.push_back(p.tree.item(i)->Checked());
        return t;
    }
};

struct TickRecorder : TreeObserver {
    std::map<int, int> reports; // node index -> reported tick changes
    void checkedChanged(const Node& n) override { ++reports[n.Index()]; }
};

} // namespace

TEST_F(Loaded, CatalogueBuildsTheWholeTree)
{
    ASSERT_EQ(p.tree.Count(), 97);
    ASSERT_EQ(p.colLevels.size(), 17u);
    ASSERT_EQ(p.colCommands.size(), 78u);
    // Each node's index, key, text and tag, and what it is: kind, level, command position, default and admin flags.
    using K = NodeKind;
    // clang-format off
    const std::vector<std::tuple<int, std::string, std::string, std::string, K, int, int, bool, bool>> nodes{
        {1, "root", "All Commands", "", K::Root, 0, -1, false, false},
        {2, "lvl0", "Commands with no level", "", K::NoLevel, 0, -1, false, false},
        {3, "lvl1", "Level 1", "", K::Level, 1, -1, false, false},
        {13, "lvl1024", "Level 1024", "", K::Level, 1024, -1, false, false},
        {19, "lvl65536", "Level 65536", "", K::Level, 65536, -1, false, false},
        {20, "say", "Say", "100", K::Command, 0, 0, true, false},
        {25, "lookingat", "admin_lookingat", "011", K::Command, 1, 5, false, true},
        {35, "vantorelname", "admin change name to", "0164", K::Command, 64, 15, false, true},
        {42, "keyvalue", "admin_keyvalue", "011024", K::Command, 1024, 22, false, true},
        {97, "rcon", "admin_rcon", "0165536", K::Command, 65536, 77, false, true},
    };
    // clang-format on
    for (const auto& [index, key, text, tag, kind, level, command, defaultOn, isAdmin] : nodes) {
        const Node& n = *p.tree.item(index);
        const NodeFacts& f = n.facts();
        EXPECT_EQ(std::tie(n.Key(), n.Text(), n.Tag()), std::tie(key, text, tag)) << index;
        EXPECT_EQ(std::tuple(f.kind, f.level, f.command, f.defaultOn, f.isAdmin),
                  std::tuple(kind, level, command, defaultOn, isAdmin))
            << key;
    }
    EXPECT_EQ(node("lvl1024").Children(), 43);
    EXPECT_EQ(node("lvl8192").Children(), 7);

    // Only the five level-0 commands and the node derived from them are ticked;
    // commands are bold, and every node with children is open.
    for (int i = 1; i <= 97; ++i) {
        const Node& n = *p.tree.item(i);
        const std::string parent = n.Parent() ? n.Parent()->Key() : "";
        EXPECT_EQ(n.Checked(), n.Key() == "lvl0" || parent == "lvl0") << n.Text();
        EXPECT_EQ(n.Bold(), n.Children() == 0) << n.Text();
        EXPECT_EQ(n.Expanded(), n.Children() > 0) << n.Text();
    }
    EXPECT_EQ(p.tree.add(*p.tree.item(1), "say", "again", {}), nullptr);
}

TEST(PermissionTree, NavigationAtTheTopAndLoadReports)
{
    Permissions p;
    TickRecorder recorder; // hears the whole load, additions and expansions included
    p.tree.setObserver(&recorder);
    loadCatalogue(p);
    EXPECT_EQ(recorder.reports.size(), 6u); // the five default commands and their node
    Node* root = p.tree.item(1);
    EXPECT_EQ(root->Next(), nullptr);
    EXPECT_EQ(root->FirstSibling(), root);
    EXPECT_EQ(root->LastSibling(), root);
    EXPECT_EQ(root->Root(), root);
    EXPECT_EQ(p.tree.item(0), nullptr);
    EXPECT_EQ(p.tree.item(98), nullptr);
    EXPECT_EQ(p.tree.item(3)->Next(), p.tree.item(4));
    EXPECT_EQ(p.tree.item(19)->Next(), nullptr);
    p.tree.item(3)->setExpanded(false);
    p.tree.item(20 + 5)->EnsureVisible(); // lookingat, under level 1
    EXPECT_TRUE(p.tree.item(3)->Expanded());
}

// A tree of one's own: what has no place is not added, and a level without commands is cleared by Defaults.
TEST(OwnTree, RefusedAdditionsAndALevelWithoutCommands)
{
    Permissions p;
    p.AddLevel(1);                                // no root yet
    p.AddCommand(0, "Zero", "zero", true, false); // nor a no-level node
    p.AddRoot();
    p.AddRoot();
    p.AddLevel(1);
    p.AddLevel(1);
    p.AddCommand(1, "One", "lvl1", false, true); // its key is taken
    p.AddCommand(2, "Two", "two", false, true);  // level 2 has no node
    EXPECT_EQ(p.tree.Count(), 3);
    EXPECT_EQ(p.colLevels.size(), 1U);
    EXPECT_TRUE(p.colCommands.empty());
    checkAll(p);
    EXPECT_TRUE(p.colLevels[0]->Checked());
    restoreDefaults(p);
    EXPECT_FALSE(p.colLevels[0]->Checked());
}

// Random user ticks and bulk selections keep every parent consistent with its
// children, and every change of a tick is reported: a node that ends where it
// began was reported an even number of times, any other an odd number. Check
// All ticks every node, Uncheck All none, Defaults gives the ticks of the load.
TEST_F(Loaded, InvariantAndChangeReportsUnderRandomActions)
{
    TickRecorder recorder;
    p.tree.setObserver(&recorder);
    std::mt19937 rng(20261206);
    void (*bulk[])(Permissions&) = {checkAll, uncheckAll, restoreDefaults};
    const std::vector<bool> bulkTicks[] = {std::vector<bool>(97, true), std::vector<bool>(97, false), ticks()};
    for (int step = 0; step < 5000; ++step) {
        const auto before = ticks();
        recorder.reports.clear();
        if (const unsigned action = rng() % 20; action < 3) {
            bulk[action](p);
            ASSERT_EQ(ticks(), bulkTicks[action]) << "step " << step;
        } else {
            Node& n = *p.tree.item(1 + static_cast<int>(rng() % 97));
            userTick(n, !n.Checked());
        }
        ASSERT_EQ(properties::treeConsistency(p.tree), "") << "step " << step;
        const auto after = ticks();
        for (size_t i = 0; i < after.size(); ++i)
            ASSERT_EQ(recorder.reports[static_cast<int>(i) + 1] % 2 == 1, before[i] != after[i])
                << "step " << step << ", node " << i + 1;
    }
}
