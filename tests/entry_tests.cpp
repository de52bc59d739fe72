#include "properties.h"

#include <catalogue.h>
#include <composer.h>
#include <entry_request.h>

#include <gtest/gtest.h>

#include <random>

using namespace entry;
using model::Node;
using namespace std::literals;

namespace {

const EntryInputs kDefault{UserType::Default, "Default", 0, ""};

struct Composer : ::testing::Test {
    model::Permissions p;
    void SetUp() override { model::loadCatalogue(p); }

    // Ticks exactly the default commands (minus `cleared`) and `ticked`.
    void tick(const std::set<std::string>& ticked, const std::set<std::string>& cleared = {})
    {
        for (Node* c : p.colCommands)
            c->setChecked(ticked.count(c->Key()) || (c->facts().defaultOn && !cleared.count(c->Key())));
    }
    std::string compose(const EntryInputs& in = kDefault) { return composeEntry(p.colLevels, p.colCommands, in); }
};

// A small tree of one's own: a level-0 command, then two plain commands of
// level 1, and a level 2 without commands.
void buildOwnTree(model::Permissions& p, bool zeroIsAdminOffByDefault)
{
    p.AddRoot();
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
    EXPECT_EQ(compose({UserType::SteamID, "STEAM_0:1:12345", 0, ""}),
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
        {"password not required", {}, {}, {UserType::Name, "x", 0, "pw"},
         "\"Name:x\"\r\n{\r\n\tbaseLevel = 0\r\n}\r\n"},
        {"required but empty", {}, {}, {UserType::Name, "x", 1, ""},
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
    const EntryInputs in{UserType::Name, "x", 0, ""};
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
        const EntryInputs in{type, id, static_cast<int>(rng() % 3), password};
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

// What the window and the command line refuse of an entry, and why, in the words of the command line.
TEST(EntryRequest, WhatTheBoxesTakeAndWhy)
{
    std::string astral = "a"; // and 32 characters beyond U+FFFF: 65 of the window's characters
    for (int i = 0; i < 32; ++i)
        astral += "\xF0\x9F\x98\x80";
    const std::optional<std::string> none;
    // clang-format off
    const std::vector<std::tuple<UserType, std::string, std::optional<std::string>, std::string>> rows{
        {UserType::Default, "Default", none, ""},
        {UserType::Name, std::string(64, 'n'), std::string(127, 'p') + "\u00e9", ""},
        {UserType::Default, "Alice", none, "a default entry has the identity Default"},
        {UserType::Default, "Default", "", "a default entry cannot have a password"},
        {UserType::Name, astral, none, "the identity has 65 characters; at most 64 are allowed"},
        {UserType::IPAddress, "1", std::string(129, 'p'), "the password has 129 characters; at most 128 are allowed"},
        {UserType::SteamID, "x", "a b", "the password contains a space; passwords cannot contain any spaces"},
        {UserType::Name, "\xFF", none, "the identity is not valid UTF-8"},
        {UserType::Name, "x", "\xC3", "the password is not valid UTF-8"},
        {UserType::Name, "a\nb", none,
         "the identity contains U+000A (line feed); it must be a single line without control characters"},
        {UserType::Name, "x", "a\u2028",
         "the password contains U+2028 (line separator); it must be a single line without control characters"},
    };
    // clang-format on
    for (const auto& [type, identity, password, why] : rows) {
        const auto refusal = refusalOf({type, identity, password});
        EXPECT_EQ(refusal ? describe(*refusal) : "", why) << identity;
    }
}

TEST(Catalogue, IndexByKey)
{
    const auto catalogue = model::commandCatalogue();
    for (std::size_t i = 0; i < catalogue.size(); ++i)
        EXPECT_EQ(model::commandIndex(catalogue[i].key), i) << catalogue[i].key;
    for (const std::string_view unknown : {""sv, "Say"sv, "sa"sv, "say "sv, "kick\0"sv, "k"sv, "e_spawncan_squar"sv})
        EXPECT_EQ(model::commandIndex(unknown), std::nullopt) << unknown;
}
