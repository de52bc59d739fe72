#include "tree_invariant.h"

#include <bulk_selection.h>
#include <catalogue.h>

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

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
    // A tick by the user, as the tree's node-check handler propagates it.
    void userTick(Node& n, bool checked)
    {
        n.setChecked(checked);
        CheckParents(n);
        CheckChildren(n);
    }
    ::testing::AssertionResult invariantHolds() const
    {
        const std::string wrong = nodeDisagreeingWithChildren(p.tree);
        if (wrong.empty())
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << wrong << " disagrees with its children";
    }
};

struct TickRecorder : TreeObserver {
    std::map<int, int> reports; // node index -> number of reported changes
    void checkedChanged(const Node& n) override { ++reports[n.Index()]; }
};

} // namespace

TEST_F(Loaded, CatalogueBuildsTheWholeTree)
{
    ASSERT_EQ(p.tree.Count(), 97);
    EXPECT_EQ(p.tree.item(1)->Key(), "root");
    EXPECT_EQ(p.tree.item(1)->Text(), "All Commands");
    EXPECT_EQ(p.tree.item(2)->Text(), "Commands with no level");
    EXPECT_EQ(p.tree.item(20)->Text(), "Say");
    EXPECT_EQ(p.tree.item(97)->Text(), "admin_rcon");
    EXPECT_EQ(p.tree.item(0), nullptr);
    EXPECT_EQ(p.tree.item(98), nullptr);
    ASSERT_EQ(p.colLevels.size(), 17u);
    ASSERT_EQ(p.colCommands.size(), 78u);
    EXPECT_EQ(p.colLevels.front()->Key(), "lvl1");
    EXPECT_EQ(p.colLevels.back()->Key(), "lvl65536");
    EXPECT_EQ(p.colLevels.back()->Text(), "Level 65536");
    EXPECT_EQ(&node("vantorelname"), p.tree.item(35));
    EXPECT_EQ(node("vantorelname").Text(), "admin change name to");

    const std::map<std::string, int> perLevel{{"lvl0", 5},     {"lvl1", 1},    {"lvl2", 2},    {"lvl32", 3},
                                              {"lvl1024", 43}, {"lvl2048", 2}, {"lvl8192", 7}, {"lvl65536", 1}};
    for (const auto& [key, count] : perLevel)
        EXPECT_EQ(node(key).Children(), count) << key;

    // Only the five level-0 commands and the node derived from them are ticked.
    for (int i = 1; i <= 97; ++i) {
        const Node& n = *p.tree.item(i);
        const bool levelZero = n.Parent() && n.Parent()->Key() == "lvl0";
        EXPECT_EQ(n.Checked(), levelZero || n.Key() == "lvl0") << n.Text();
        EXPECT_EQ(n.Bold(), n.Children() == 0) << n.Text();
        EXPECT_EQ(n.Expanded(), n.Children() > 0) << n.Text();
    }
    EXPECT_TRUE(invariantHolds());
}

TEST_F(Loaded, CommandTagsCarryDefaultAdminAndLevel)
{
    const std::map<std::string, std::string> tags{
        {"say", "100"}, {"jetpack", "100"}, {"lookingat", "011"}, {"keyvalue", "011024"}, {"rcon", "0165536"}};
    for (const auto& [key, tag] : tags)
        EXPECT_EQ(node(key).Tag(), tag) << key;
    EXPECT_EQ(node("root").Tag(), "");
    EXPECT_EQ(node("lvl1024").Tag(), "");
}

TEST(PermissionTree, NavigationAndRefusedAdditions)
{
    PermissionTree t;
    Node* root = t.add("root", "All Commands");
    Node* a = t.add("root", Relationship::Child, "a", "A");
    Node* b = t.add("root", Relationship::Child, "b", "B");
    Node* c = t.add("b", Relationship::Child, "c", "C");
    EXPECT_EQ(t.add("root", Relationship::Child, "a", "again"), nullptr);
    EXPECT_EQ(t.add("missing", Relationship::Child, "d", "D"), nullptr);
    EXPECT_EQ(t.Count(), 4);
    EXPECT_EQ(root->Root(), root);
    EXPECT_EQ(root->FirstSibling(), root);
    EXPECT_EQ(root->LastSibling(), root);
    EXPECT_EQ(root->Next(), nullptr);
    EXPECT_EQ(a->Next(), b);
    EXPECT_EQ(b->Next(), nullptr);
    EXPECT_EQ(b->FirstSibling(), a);
    EXPECT_EQ(a->LastSibling(), b);
    EXPECT_EQ(c->Root(), root);
    EXPECT_EQ(root->Child(), a);
    EXPECT_EQ(c->Child(), nullptr);
    c->EnsureVisible();
    EXPECT_TRUE(b->Expanded());
    EXPECT_TRUE(root->Expanded());
    EXPECT_FALSE(a->Expanded());
}

TEST_F(Loaded, PropagationScenarios)
{
    // Root untouched by its own derivation.
    CheckParents(node("root"));
    EXPECT_FALSE(node("root").Checked());

    // A single-command level follows its command.
    userTick(node("lookingat"), true);
    EXPECT_TRUE(node("lvl1").Checked());

    // One of three commands: the level stays clear, nothing above changes.
    userTick(node("slap"), true);
    EXPECT_FALSE(node("lvl128").Checked());
    userTick(node("slay"), true);
    userTick(node("kick"), true);
    EXPECT_TRUE(node("lvl128").Checked());
    EXPECT_FALSE(node("root").Checked());

    // Ticking a level gives its commands its tick and leaves siblings alone.
    userTick(node("lvl1024"), true);
    EXPECT_TRUE(node("e_push").Checked());
    EXPECT_FALSE(node("lvl2048").Checked());
    EXPECT_FALSE(node("buyexempt").Checked());

    // Completing the last levels ticks the root; one clear command clears it.
    for (Node* level : p.colLevels)
        userTick(*level, true);
    EXPECT_TRUE(node("root").Checked());
    userTick(node("map"), false);
    EXPECT_FALSE(node("lvl2").Checked());
    EXPECT_FALSE(node("root").Checked());
    EXPECT_TRUE(node("timelimit").Checked());

    // A command has no descendants: CheckChildren changes nothing.
    const auto before = ticks();
    CheckChildren(node("say"));
    EXPECT_EQ(ticks(), before);
    EXPECT_TRUE(invariantHolds());
}

TEST_F(Loaded, BulkSelection)
{
    const auto atLoad = ticks();
    checkAll(p);
    EXPECT_EQ(ticks(), std::vector<bool>(97, true));
    restoreDefaults(p);
    EXPECT_EQ(ticks(), atLoad);
    uncheckAll(p);
    EXPECT_EQ(ticks(), std::vector<bool>(97, false));
    restoreDefaults(p);
    EXPECT_EQ(ticks(), atLoad);
}

TEST(BulkSelection, LevelWithoutCommandsIsClearedByDefaults)
{
    Permissions p;
    p.tree.add("root", "All Commands");
    p.AddLevel(1);
    p.AddLevel(2);
    p.AddCommand(1, "One", "one", false, true);
    checkAll(p);
    EXPECT_TRUE(p.colLevels[1]->Checked());
    restoreDefaults(p);
    EXPECT_FALSE(p.colLevels[1]->Checked());
    EXPECT_FALSE(p.colLevels[0]->Checked());
}

// Random user ticks and bulk selections keep every parent consistent with its
// children, and the observer hears of exactly the nodes whose tick changed.
TEST_F(Loaded, InvariantAndChangeReportsUnderRandomActions)
{
    TickRecorder recorder;
    p.tree.setObserver(&recorder);
    std::mt19937 rng(20261206);
    for (int step = 0; step < 5000; ++step) {
        const auto before = ticks();
        recorder.reports.clear();
        const unsigned action = rng() % 20;
        if (action == 0)
            checkAll(p);
        else if (action == 1)
            uncheckAll(p);
        else if (action == 2)
            restoreDefaults(p);
        else {
            Node& n = *p.tree.item(1 + static_cast<int>(rng() % 97));
            userTick(n, !n.Checked());
        }
        ASSERT_TRUE(invariantHolds()) << "step " << step;
        const auto after = ticks();
        for (size_t i = 0; i < after.size(); ++i)
            ASSERT_EQ(recorder.reports[static_cast<int>(i) + 1] % 2 == 1, before[i] != after[i])
                << "step " << step << ", node " << i + 1;
    }
}
