#include "properties.h"

#include <catalogue.h>
#include <composer.h>

#include <gtest/gtest.h>

#include <random>

using namespace entry;
using model::Node;
using namespace std::literals;

namespace {

const EntryInputs kDefault{"Default:", "Default", UserType::Default, 0, ""};

struct Composer : ::testing::Test {
    model::Permissions p;
    void SetUp() override { model::loadCatalogue(p); }

    // Ticks exactly the default commands (minus `cleared`) and `ticked`.
    void tick(const std::set<std::string>& ticked, const std::set<std::string>& cleared = {})
    {
        for (Node* c : p.colCommands)
            c->setChecked(ticked.count(c->Key()) || (model::commandTag(*c).defaultOn() && !cleared.count(c->Key())));
    }
    std::string compose(const EntryInputs& in = kDefault) { return composeEntry(p.colLevels, p.colCommands, in); }
};

// A small tree of one's own: a level-0 command, then two plain commands of
// level 1, and a level 2 without commands.
void buildOwnTree(model::Permissions& p, bool zeroIsAdminOffByDefault)
{
    p.tree.add("root", "All Commands");
    p.tree.add("root", model::Relationship::Child, "lvl0", "Commands with no level");
    p.AddLevel(1);
    p.AddLevel(2);
    p.AddCommand(0, "Zero", "zero", !zeroIsAdminOffByDefault, zeroIsAdminOffByDefault);
    p.AddCommand(1, "One", "one", false, false);
    p.AddCommand(1, "Two", "two", false, false);
}

} // namespace

TEST_F(Composer, WorkedExampleAndTableOfEntries)
{
    EXPECT_EQ(compose(), "\"Default:Default\"\r\n{\r\n\tbaseLevel = 0\r\n}\r\n");
    tick({"timelimit", "map", "godself", "noclipself", "kick"}, {"say_team"});
    EXPECT_EQ(compose({"SteamID:", "STEAM_0:1:12345", UserType::SteamID, 0, ""}),
              "\"SteamID:STEAM_0:1:12345\"\r\n{\r\n\tdenyAdminCmd = giveweaponsself\r\n\taddAdminCmd = kick\r\n"
              "\tdenyCmd = say_team\r\n\tbaseLevel = 34\r\n}\r\n");

    struct Row {
        const char* name;
        std::set<std::string> ticked, cleared;
        EntryInputs in;
        std::string text;
    };
    // clang-format off
    const std::vector<Row> rows{
        {"tie written as additions", {"map"}, {}, kDefault,
         "\"Default:Default\"\r\n{\r\n\taddAdminCmd = map\r\n\tbaseLevel = 0\r\n}\r\n"},
        {"removed defaults after the runs", {"ai"}, {"say", "jetpack"}, kDefault,
         "\"Default:Default\"\r\n{\r\n\tdenyCmd = say\r\n\tdenyCmd = jetpack\r\n\tbaseLevel = 4096\r\n}\r\n"},
        {"password not required", {}, {}, {"Name:", "x", UserType::Name, 0, "pw"},
         "\"Name:x\"\r\n{\r\n\tbaseLevel = 0\r\n}\r\n"},
        {"required but empty", {}, {}, {"Name:", "x", UserType::Name, 1, ""},
         "\"Name:x\"\r\n{\r\n\tbaseLevel = 0\r\n}\r\n"},
    };
    // clang-format on
    for (const Row& row : rows) {
        tick(row.ticked, row.cleared);
        EXPECT_EQ(compose(row.in), row.text) << row.name;
    }
}

TEST(ComposerOwnTree, RarePassesOfTheComposer)
{
    const EntryInputs in{"Name:", "x", UserType::Name, 0, ""};
    model::Permissions p;
    buildOwnTree(p, false);
    p.colCommands[1]->setChecked(true);
    p.colLevels[1]->setChecked(true); // level 2 has no commands: its own tick counts
    EXPECT_EQ(composeEntry(p.colLevels, p.colCommands, in),
              "\"Name:x\"\r\n{\r\n// this addCmd shouldn't happen\r\n\taddCmd = one\r\n\tbaseLevel = 2\r\n}\r\n");

    // An admin command of level 0, off by default, is added while no level is
    // granted and denied once one is.
    model::Permissions q;
    buildOwnTree(q, true);
    q.colCommands[0]->setChecked(true);
    EXPECT_EQ(composeEntry(q.colLevels, q.colCommands, in),
              "\"Name:x\"\r\n{\r\n\taddAdminCmd = zero\r\n\tbaseLevel = 0\r\n}\r\n");
    q.colCommands[0]->setChecked(false);
    q.colLevels[1]->setChecked(true);
    EXPECT_EQ(composeEntry(q.colLevels, q.colCommands, in),
              "\"Name:x\"\r\n{\r\n\tdenyAdminCmd = zero\r\n\tbaseLevel = 2\r\n}\r\n");
}

// Random tick states and identities read back as they were composed.
TEST_F(Composer, EveryStateReadsBackAndRecomposesTheSameBytes)
{
    std::mt19937 rng(7);
    const std::string ids[] = {"STEAM_0:1:12345", "STEAM_0:9:1", "10.0.0.1", "300.1.1.1", "a\"b c", ""};
    for (int round = 0; round < 10000; ++round) {
        const unsigned density = rng() % 11; // from nearly none to nearly all
        for (Node* c : p.colCommands)
            c->setChecked(rng() % 10 < density);
        const auto type = static_cast<UserType>(rng() % 4);
        const std::string id = type == UserType::Default ? "Default" : ids[rng() % std::size(ids)];
        const std::string password = rng() % 2 ? "pw\"x" : "";
        const EntryInputs in{typeCaption(type), id, type, static_cast<int>(rng() % 3), password};
        ASSERT_EQ(properties::roundTrip(p, in), "") << "round " << round;
    }
}

TEST(IdentityValidation, SteamIDsAndAddresses)
{
    // clang-format off
    const std::vector<std::tuple<UserType, std::string, bool>> rows{
        {UserType::SteamID, "STEAM_0:0:0", true}, {UserType::SteamID, "STEAM_0:1:67890", true},
        {UserType::SteamID, "STEAM_0:1:", false}, {UserType::SteamID, "STEAM_1:0:123", false},
        {UserType::SteamID, "STEAM_0:2:123", false}, {UserType::SteamID, "steam_0:0:123", false},
        {UserType::SteamID, "STEAM_0:1:12e4", false}, {UserType::SteamID, "STEAM_0:1:12E4", false},
        {UserType::SteamID, "STEAM_0:1:-5", false}, {UserType::SteamID, "STEAM_0:1:1.5", false},
        {UserType::SteamID, "STEAM_0:1:1 5", false}, {UserType::SteamID, "STEAM_0:1:\u0661", false},
        {UserType::IPAddress, "1.2.3.4", true}, {UserType::IPAddress, "0.0.0.0", true},
        {UserType::IPAddress, "255.255.255.255", true}, {UserType::IPAddress, "019.1.1.9", true},
        {UserType::IPAddress, "256.1.1.1", false}, {UserType::IPAddress, "1.2.3", false},
        {UserType::IPAddress, "1.2.3.4.5", false}, {UserType::IPAddress, "1..3.4", false},
        {UserType::IPAddress, "1.2.3.4.", false}, {UserType::IPAddress, "1.2.3.+4", false},
        {UserType::IPAddress, "1.2.3.1E2", false}, {UserType::IPAddress, "1.2.3." + std::string(60, '9'), false},
        {UserType::Name, "", true}, {UserType::Default, "", true},
    };
    // clang-format on
    for (const auto& [type, id, valid] : rows) {
        std::string warning;
        ValidateID(warning, type, id);
        EXPECT_EQ(warning.empty(), valid) << id;
        if (!valid) {
            EXPECT_TRUE(warning.ends_with(" appears to be invalid\r\n\r\n")) << id;
        }
    }
}

// The values the window, the command line and the files share, written out
// once here so that a wrong one in the code is caught.
TEST(SharedDefinitions, TypesLimitsAndCatalogueIndex)
{
    const std::vector<std::tuple<UserType, std::string_view, std::string_view>> types{
        {UserType::Default, "default", "Default:"},
        {UserType::IPAddress, "ip", "IP:"},
        {UserType::Name, "name", "Name:"},
        {UserType::SteamID, "steamid", "SteamID:"},
    };
    for (const auto& [type, name, caption] : types) {
        EXPECT_EQ(typeFromName(name), type) << name;
        EXPECT_EQ(typeName(type), name);
        EXPECT_EQ(typeCaption(type), caption);
    }
    EXPECT_EQ(typeFromName("Name"), std::nullopt);
    EXPECT_EQ(kDefaultIdentity, "Default");
    EXPECT_EQ(kMaxIdentityLength, 64U);
    EXPECT_EQ(kMaxPasswordLength, 128U);

    const auto catalogue = model::commandCatalogue();
    for (std::size_t i = 0; i < catalogue.size(); ++i)
        EXPECT_EQ(model::commandIndex(catalogue[i].key), i) << catalogue[i].key;
    for (const std::string_view unknown : {""sv, "Say"sv, "sa"sv, "say "sv, "kick\0"sv, "k"sv, "e_spawncan_squar"sv})
        EXPECT_EQ(model::commandIndex(unknown), std::nullopt) << unknown;
}
