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
    // clang-format off
    const std::map<int, std::pair<std::string, std::string>> nodes{
        {1, {"root", "All Commands"}},
        {2, {"lvl0", "Commands with no level"}},
        {3, {"lvl1", "Level 1"}},
        {19, {"lvl65536", "Level 65536"}},
        {20, {"say", "Say"}},
        {35, {"vantorelname", "admin change name to"}},
        {97, {"rcon", "admin_rcon"}},
    };
    // clang-format on
    for (const auto& [index, keyAndText] : nodes) {
        EXPECT_EQ(p.tree.item(index)->Key(), keyAndText.first);
        EXPECT_EQ(p.tree.item(index)->Text(), keyAndText.second);
    }
    const std::map<std::string, std::string> tags{
        {"say", "100"}, {"lookingat", "011"}, {"keyvalue", "011024"}, {"rcon", "0165536"}, {"lvl1024", ""}};
    for (const auto& [key, tag] : tags)
        EXPECT_EQ(node(key).Tag(), tag) << key;
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
    EXPECT_EQ(p.tree.add("root", Relationship::Child, "say", "again"), nullptr);
    EXPECT_EQ(p.tree.add("missing", Relationship::Child, "new", "New"), nullptr);
}

// Tags the catalogue never writes read as the tree's own tags promise: a
// missing default flag is on, only "1" is admin, and the level ends at its
// first other character and is 0 when it has no digits or does not fit.
TEST(CommandTags, OddTagsRead)
{
    const std::vector<std::tuple<std::string, bool, bool, int>> tags{{"", true, false, 0},
                                                                     {"1", true, false, 0},
                                                                     {"02-16x", false, false, -16},
                                                                     {"112147483648", true, true, 0},
                                                                     {"1199999999999", true, true, 0},
                                                                     {"10-", true, false, 0}};
    for (const auto& [tag, defaultOn, isAdmin, level] : tags) {
        const model::CommandTag read(tag);
        EXPECT_EQ(std::tuple(read.defaultOn(), read.isAdmin(), read.level()), std::tuple(defaultOn, isAdmin, level))
            << tag;
    }
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

TEST(BulkSelection, LevelWithoutCommandsIsClearedByDefaults)
{
    Permissions p;
    p.tree.add("root", "All Commands");
    p.AddLevel(1);
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
