#include "entry_decoder.h"

#include <catalogue.h>
#include <composer.h>

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

using namespace entry;
using model::Node;

namespace {

struct Composer : ::testing::Test {
    model::Permissions p;
    void SetUp() override { model::loadCatalogue(p); }

    // Ticks exactly the default commands (minus `cleared`) and `ticked`.
    void tick(const std::set<std::string>& ticked, const std::set<std::string>& cleared = {})
    {
        for (Node* c : p.colCommands)
            c->setChecked(ticked.count(c->Key()) || (c->Tag()[0] == '1' && !cleared.count(c->Key())));
    }
    std::string compose(const EntryInputs& in = {"Default:", "Default", UserType::Default, 0, ""})
    {
        return composeEntry(p.colLevels, p.colCommands, in);
    }
};

} // namespace

TEST_F(Composer, WorkedExampleAndStartUpEntry)
{
    EXPECT_EQ(compose(), "\"Default:Default\"\r\n{\r\n\tbaseLevel = 0\r\n}\r\n");

    tick({"timelimit", "map", "godself", "noclipself", "kick"}, {"say_team"});
    EXPECT_EQ(compose({"SteamID:", "STEAM_0:1:12345", UserType::SteamID, 0, ""}),
              "\"SteamID:STEAM_0:1:12345\"\r\n"
              "{\r\n"
              "\tdenyAdminCmd = giveweaponsself\r\n"
              "\taddAdminCmd = kick\r\n"
              "\tdenyCmd = say_team\r\n"
              "\tbaseLevel = 34\r\n"
              "}\r\n");
}

TEST_F(Composer, CommandLinesAndBaseLevel)
{
    struct Row {
        const char* name;
        std::set<std::string> ticked, cleared;
        std::string body; // the lines between "{" and "}"
    };
    const std::vector<Row> rows{
        {"single command level", {"lookingat"}, {}, "\tbaseLevel = 1\r\n"},
        {"tie is written as additions", {"map"}, {}, "\taddAdminCmd = map\r\n\tbaseLevel = 0\r\n"},
        {"whole level", {"map", "timelimit"}, {}, "\tbaseLevel = 2\r\n"},
        {"more ticked than not", {"slap", "kick"}, {}, "\tdenyAdminCmd = slay\r\n\tbaseLevel = 128\r\n"},
        {"removed defaults follow the runs",
         {"ai", "ammo"},
         {"say", "jetpack"},
         "\taddAdminCmd = ammo\r\n\tdenyCmd = say\r\n\tdenyCmd = jetpack\r\n\tbaseLevel = 4096\r\n"},
        {"nothing ticked",
         {},
         {"say", "say_team", "mapvote", "hook", "jetpack"},
         "\tdenyCmd = say\r\n\tdenyCmd = say_team\r\n\tdenyCmd = mapvote\r\n\tdenyCmd = hook\r\n"
         "\tdenyCmd = jetpack\r\n\tbaseLevel = 0\r\n"},
    };
    for (const Row& row : rows) {
        tick(row.ticked, row.cleared);
        EXPECT_EQ(compose(), "\"Default:Default\"\r\n{\r\n" + row.body + "}\r\n") << row.name;
    }
    for (Node* c : p.colCommands)
        c->setChecked(true);
    EXPECT_EQ(compose(), "\"Default:Default\"\r\n{\r\n\tbaseLevel = 131071\r\n}\r\n");
}

TEST_F(Composer, IdentityAndPasswordLines)
{
    struct Row {
        const char* name;
        EntryInputs in;
        std::string head, tail; // before "{" and after the base-level line
    };
    const std::vector<Row> rows{
        {"password when required",
         {"Name:", "bob", UserType::Name, 1, "s3cret"},
         "\"Name:bob\"\r\n",
         "\tpassword = s3cret\r\n}\r\n"},
        {"required but empty", {"Name:", "bob", UserType::Name, 1, ""}, "\"Name:bob\"\r\n", "}\r\n"},
        {"typed but not required", {"Name:", "bob", UserType::Name, 0, "x"}, "\"Name:bob\"\r\n", "}\r\n"},
        {"greyed box", {"Name:", "bob", UserType::Name, 2, "x"}, "\"Name:bob\"\r\n", "}\r\n"},
        {"quote not escaped", {"Name:", "a\"b", UserType::Name, 0, ""}, "\"Name:a\"b\"\r\n", "}\r\n"},
        {"prompt as identity",
         {"SteamID:", "Enter SteamID here", UserType::SteamID, 0, ""},
         "// The SteamID you entered appears to be invalid\r\n\r\n\"SteamID:Enter SteamID here\"\r\n",
         "}\r\n"},
        {"empty address",
         {"IP:", "", UserType::IPAddress, 0, ""},
         "// The IP you entered appears to be invalid\r\n\r\n\"IP:\"\r\n",
         "}\r\n"},
        {"valid address", {"IP:", "10.0.0.255", UserType::IPAddress, 0, ""}, "\"IP:10.0.0.255\"\r\n", "}\r\n"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(compose(row.in), row.head + "{\r\n\tbaseLevel = 0\r\n" + row.tail) << row.name;
}

TEST(ComposerOwnTree, NonAdminAdditionsAndCommandlessLevels)
{
    model::Permissions p;
    p.tree.add("root", "All Commands");
    p.tree.add("root", model::Relationship::Child, "lvl0", "Commands with no level");
    p.AddLevel(1);
    p.AddLevel(2);
    p.AddCommand(0, "Zero", "zero", true, false);
    p.AddCommand(1, "One", "one", false, false);
    p.AddCommand(1, "Two", "two", false, false);
    p.colCommands[1]->setChecked(true);
    p.colLevels[1]->setChecked(true); // level 2 has no commands: counts by its own tick
    EXPECT_EQ(composeEntry(p.colLevels, p.colCommands, {"Name:", "x", UserType::Name, 0, ""}),
              "\"Name:x\"\r\n{\r\n// this addCmd shouldn't happen\r\n\taddCmd = one\r\n\tbaseLevel = 2\r\n}\r\n");
}

// An admin command of level 0 that is off by default is granted one by one
// while no level is granted, and denied once one is.
TEST(ComposerOwnTree, NoLevelAdminCommands)
{
    model::Permissions p;
    p.tree.add("root", "All Commands");
    p.tree.add("root", model::Relationship::Child, "lvl0", "Commands with no level");
    p.AddLevel(1);
    p.AddCommand(0, "Zero", "zero", false, true);
    p.AddCommand(1, "One", "one", false, true);
    const EntryInputs in{"Name:", "x", UserType::Name, 0, ""};
    p.colCommands[0]->setChecked(true);
    EXPECT_EQ(composeEntry(p.colLevels, p.colCommands, in),
              "\"Name:x\"\r\n{\r\n\taddAdminCmd = zero\r\n\tbaseLevel = 0\r\n}\r\n");
    p.colCommands[0]->setChecked(false);
    p.colCommands[1]->setChecked(true);
    EXPECT_EQ(composeEntry(p.colLevels, p.colCommands, in),
              "\"Name:x\"\r\n{\r\n\tdenyAdminCmd = zero\r\n\tbaseLevel = 1\r\n}\r\n");
}

// For random tick states, decoding the entry as the plugin reads it gives back
// exactly the ticked commands, and each level writes the shorter of its two
// lists, a tie as additions.
TEST_F(Composer, DecodingAnyEntryGivesBackTheTicks)
{
    std::mt19937 rng(7);
    for (int round = 0; round < 10000; ++round) {
        std::set<std::string> ticked;
        const unsigned density = rng() % 11; // from nearly none to nearly all
        for (Node* c : p.colCommands) {
            c->setChecked(rng() % 10 < density);
            if (c->Checked())
                ticked.insert(c->Key());
        }
        const std::string text = compose();
        const decoder::Decoded d = decoder::decodeEntry(text);
        ASSERT_EQ(d.error, "") << text;
        ASSERT_EQ(d.granted, ticked) << text;

        for (int level = 1; level <= 65536; level *= 2) {
            int on = 0, off = 0;
            for (const auto& e : model::commandCatalogue())
                if (e.level == level)
                    ++(ticked.count(std::string(e.key)) ? on : off);
            const auto [adds, denies] = d.linesPerLevel.count(level) ? d.linesPerLevel.at(level) : std::pair{0, 0};
            ASSERT_EQ(adds + denies, std::min(on, off)) << level << "\n" << text;
            ASSERT_EQ(on <= off ? denies : adds, 0) << level << "\n" << text;
        }
    }
}

TEST(IdentityValidation, SteamIDs)
{
    const std::vector<std::pair<std::string, bool>> rows{
        {"STEAM_0:0:0", true},         {"STEAM_0:1:12345", true},
        {"STEAM_0:1:", false},         {"STEAM_1:0:123", false},
        {"STEAM_0:2:123", false},      {"steam_0:0:123", false},
        {"STEAM_0:1:12e4", false},     {"STEAM_0:1:12E4", false},
        {"STEAM_0:1:-5", false},       {"STEAM_0:1:1.5", false},
        {"STEAM_0:1:1 5", false},      {"STEAM_0:1:+5", false},
        {"STEAM_0:1:١٢", false},       {"", false},
        {"Enter SteamID here", false}, {"XSTEAM_0:1:1", false},
        {"STEAM_0:1:5x", false},
    };
    for (const auto& [id, valid] : rows)
        EXPECT_EQ(isValidSteamID(id), valid) << id;
}

TEST(IdentityValidation, IPAddresses)
{
    const std::vector<std::pair<std::string, bool>> rows{
        {"1.2.3.4", true},
        {"0.0.0.0", true},
        {"255.255.255.255", true},
        {"010.1.1.1", true},
        {"256.1.1.1", false},
        {"1.2.3", false},
        {"1.2.3.4.5", false},
        {"1..3.4", false},
        {"1.2.3.4.", false},
        {"1.2.3.-4", false},
        {"1.2.3.4e0", false},
        {"1.2.3.1E2", false},
        {" 1.2.3.4", false},
        {"1.2.3.+4", false},
        {"", false},
        {"a.b.c.d", false},
        {"1.2.3." + std::string(60, '9'), false},
        {"0000000000000000000000000000001.2.3.4", true},
    };
    for (const auto& [id, valid] : rows)
        EXPECT_EQ(isValidIP(id), valid) << id;
}

TEST(IdentityValidation, WarningOnlyForCheckedTypes)
{
    struct Row {
        const char* name;
        UserType type;
        const char* id;
        std::string warning;
    };
    const std::vector<Row> rows{
        {"bad SteamID", UserType::SteamID, "x", "// The SteamID you entered appears to be invalid\r\n\r\n"},
        {"bad IP", UserType::IPAddress, "x", "// The IP you entered appears to be invalid\r\n\r\n"},
        {"good IP", UserType::IPAddress, "1.2.3.4", ""},
        {"name unchecked", UserType::Name, "", ""},
        {"default unchecked", UserType::Default, "", ""},
    };
    for (const Row& row : rows) {
        std::string out;
        ValidateID(out, row.type, row.id);
        EXPECT_EQ(out, row.warning) << row.name;
    }
    EXPECT_TRUE(isNumeric("0123"));
    EXPECT_FALSE(isNumeric(""));
}
