#include "properties.h"

#include <commands.h>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <fstream>
#include <set>

namespace {

// The program run in-process, with standard input, output, error and the file system replaced by strings.
struct Outcome {
    int code = -1;
    std::string out, err, replaced;
    bool replaceCalled = false;
};

Outcome run(std::vector<std::string> args, const std::string& input = {})
{
    Outcome r;
    cli::Console console;
    console.out = [&r](std::string_view s) { return r.out.append(s), true; };
    console.err = [&r](std::string_view s) { return r.err.append(s), true; };
    console.read = [&input](const std::string& path, std::string& error) -> std::optional<std::string> {
        if (path == "-" || path == "file.txt")
            return input;
        error = "no such file";
        return std::nullopt;
    };
    console.replace = [&r](const std::string&, std::string_view bytes, std::string&) {
        r.replaceCalled = true;
        r.replaced = bytes;
        return true;
    };
    args.insert(args.begin(), "vantorel-admins");
    r.code = cli::runCli(args, console);
    return r;
}

std::string sample()
{
    std::ifstream in(VANTOREL_TEST_DATA "/sample_admins.txt", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Usage errors, refusals of input the window would not accept, unreadable input and findings, each with its exit
// code and the message that names it. Nothing is printed to standard output on a refusal.
TEST(CliOptions, ExitCodesAndMessages)
{
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::string input;
        int code;
        std::string shown; // in standard output or error
    };
    std::string emojis; // 33 characters beyond U+FFFF: 66 of the window's characters
    for (int i = 0; i < 33; ++i)
        emojis += "\xF0\x9F\x98\x80";
    const std::vector<std::string> ip{"compose", "--type", "ip", "--id", "1.2.3.4", "--password"};
    const auto with = [](std::vector<std::string> v, const std::string& last) { return v.push_back(last), v; };
    const std::vector<Row> rows{
        {"no command", {}, "", 2, "A subcommand is required"},
        {"unknown option", {"check", "--frobnicate"}, "", 2, "--frobnicate"},
        {"help", {"--help"}, "", 0, "compose"},
        {"command help", {"compose", "--help"}, "", 0, "--grant"},
        {"version", {"--version"}, "", 0, "1.00"},
        {"all and none", {"compose", "--type", "default", "--all", "--none"}, "", 2, "excludes"},
        {"no type", {"compose"}, "", 2, "--type"},
        {"level not a number", {"compose", "--type", "default", "--level", "x"}, "", 2, "--level"},
        {"identity of 65", {"compose", "--type", "name", "--id", std::string(65, 'a')}, "", 2, "65 characters"},
        {"identity of 66 units", {"compose", "--type", "name", "--id", emojis}, "", 2, "66 characters"},
        {"password of 129", with(ip, std::string(129, 'p')), "", 2, "129 characters"},
        {"space in password", with(ip, "a b"), "", 2, "contains a space"},
        {"line separator in password", with(ip, "a\u2028"), "", 2, "U+2028"},
        {"line feed in identity", {"compose", "--type", "name", "--id", "a\nb"}, "", 2, "U+000A"},
        {"tab in identity", {"compose", "--type", "name", "--id", "a\tb"}, "", 2, "U+0009"},
        {"not UTF-8", {"compose", "--type", "name", "--id", "\xFF"}, "", 2, "UTF-8"},
        {"unknown key", {"compose", "--type", "default", "--grant", "kick,nosuch"}, "", 2, "\"nosuch\""},
        {"unknown level", {"compose", "--type", "default", "--level", "3"}, "", 2, "level 3"},
        {"default with identity", {"compose", "--type", "default", "--id", "x"}, "", 2, "no identity"},
        {"default with password", {"compose", "--type", "default", "--password", "x"}, "", 2, "password"},
        {"steamid without identity", {"compose", "--type", "steamid"}, "", 2, "--id is required"},
        {"in place on stdin", {"format", "-i"}, "", 2, "standard input"},
        {"missing file", {"check", "file.txt", "gone.txt"}, "", 2, "gone.txt: no such file"},
        {"binary file", {"show", "-"}, std::string("\"Name:a\"\r\n{\0}", 12), 2, "<stdin>: binary file"},
        {"errors are findings", {"check"}, "\"Name:a\"\r\n{\r\n\tbaseLevel = x\r\n}\r\n", 1, "<stdin>:3: error:"},
        {"control characters escaped", {"check"}, "a\x1B[2J\xC2\x9B\n", 1, "\"a\\x1B[2J\\x9B\""},
        {"identity not found", {"show", "--identity", "Bob"}, sample(), 1, "no entry"},
    };
    for (const Row& row : rows) {
        const Outcome r = run(row.args, row.input);
        EXPECT_EQ(r.code, row.code) << row.name << "\n" << r.err;
        EXPECT_NE((r.out + r.err).find(row.shown), std::string::npos) << row.name << "\n" << r.out << r.err;
        EXPECT_TRUE(row.code != 2 || r.out.empty()) << row.name;
    }
}

TEST(CliCompose, GrantsWhatWasAskedInItsShortestForm)
{
    struct Row {
        const char* name;
        std::vector<std::string> args;
        std::set<std::string> granted;
    };
    const std::set<std::string> defaults{"say", "say_team", "mapvote", "hook", "jetpack"};
    std::set<std::string> allButRcon;
    for (const auto& e : model::commandCatalogue())
        if (e.key != "rcon")
            allButRcon.emplace(e.key);
    const std::string longest(64, 'n');
    const std::vector<Row> rows{
        {"start", {"--type", "default"}, defaults},
        {"level, then grants",
         {"--type", "steamid", "--id", "STEAM_0:1:2", "--level", "2", "--grant", "kick,ban"},
         {"say", "say_team", "mapvote", "hook", "jetpack", "timelimit", "map", "kick", "ban"}},
        {"denial after grant",
         {"--type", "ip", "--id", "1.2.3", "--none", "--grant", "say,kick", "--deny", "kick"},
         {"say"}},
        {"all less one",
         {"--type", "name", "--id", longest, "--password", "pw", "--all", "--deny", "rcon"},
         allButRcon},
        {"level 0 after none", {"--type", "name", "--id", "a\"b", "--none", "--level", "0"}, defaults},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args = row.args;
        args.insert(args.begin(), "compose");
        const Outcome r = run(args);
        ASSERT_EQ(r.code, 0) << row.name << ": " << r.err;
        EXPECT_EQ(properties::entryShape(r.out), "") << row.name;
        const entry::ReadResult read = entry::read(r.out);
        ASSERT_EQ(read.blocks.size(), 1u) << row.name;
        EXPECT_EQ(read.errors + read.notes, 0u) << row.name << "\n" << r.out;
        const auto keys = entry::grantedKeys(read.blocks[0].granted);
        EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()), row.granted) << row.name;
        EXPECT_EQ(run({"format"}, r.out).out, r.out) << row.name << ": formatting changed the composed entry";
    }
}

TEST(CliFormat, ShortestFormKeepsMeaningAndRefusesErrorsInPlace)
{
    struct Row {
        const char* name;
        std::string input;
        std::string formatted;
    };
    const std::string bad = "\"Name:b\"\r\n{\r\n\taddAdminCmd = nosuch\r\n}\r\n";
    const std::string commented = "\"Name:c\"\n{\n// keep me\n\taddAdminCmd = map\n\taddAdminCmd = timelimit\n}\n";
    const std::vector<Row> rows{
        {"longhand level", "\"Name:a\"\r\n{\r\n\taddAdminCmd = map\r\n\taddAdminCmd = timelimit\r\n}\r\n",
         "\"Name:a\"\r\n{\r\n\tbaseLevel = 2\r\n}\r\n"},
        {"LF and no last line end", "x\n\"IP:1.2.3.4\"\n{\n  baseLevel = 1\n}",
         "x\n\"IP:1.2.3.4\"\n{\n\tbaseLevel = 1\n}\n"},
        {"invalid IP gains its warning", "\"IP:1.2\"\r\n{\r\n\tbaseLevel = 0\r\n}\r\n",
         "// The IP you entered appears to be invalid\r\n\r\n\"IP:1.2\"\r\n{\r\n\tbaseLevel = 0\r\n}\r\n"},
        {"error entry kept", bad, bad},
        {"comment entry kept", commented, commented},
        {"sample", sample(), ""},
    };
    for (const Row& row : rows) {
        const Outcome r = run({"format"}, row.input);
        if (!row.formatted.empty()) {
            EXPECT_EQ(r.out, row.formatted) << row.name;
        }
        EXPECT_EQ(properties::formatKeepsMeaning(row.input), "") << row.name;
        EXPECT_EQ(run({"format"}, r.out).out, r.out) << row.name;
        const Outcome inPlace = run({"format", "-i", "file.txt"}, row.input);
        EXPECT_EQ(inPlace.code, r.code) << row.name;
        // Only a changed file without errors is replaced, and with exactly what format prints.
        EXPECT_EQ(inPlace.replaceCalled, r.code == 0 && r.out != row.input) << row.name;
        EXPECT_EQ(inPlace.replaced, inPlace.replaceCalled ? r.out : "") << row.name;
    }
}

TEST(CliShow, JsonNamesGrantsButNeverPasswords)
{
    const std::string text = sample() + "\"Name:\xFF\"\r\n{\r\n\tbaseLevel = 0\r\n\tpassword = zz9\r\n}\r\n" +
        "\"Name:e\"\r\n{\r\n\tbaseLevel = -1\r\n}\r\n";
    const Outcome r = run({"show", "--json"}, text);
    EXPECT_EQ(r.code, 1) << "the last entry has an error";
    EXPECT_EQ(r.out.find("s3cret"), std::string::npos);
    EXPECT_EQ(r.out.find("zz9"), std::string::npos);
    const nlohmann::json all = nlohmann::json::parse(r.out);
    ASSERT_EQ(all.size(), 5u) << "four sample entries and the one that is not UTF-8, not the one with an error";
    EXPECT_EQ(all[4]["identity"], "\xEF\xBF\xBD");
    EXPECT_EQ(all[4]["hasPassword"], true);
    // baseLevel 34 (levels 2 and 32), less giveweaponsself and say_team, plus kick.
    const nlohmann::json steam =
        nlohmann::json::parse(run({"show", "--json", "--identity", "SteamID:STEAM_0:1:12345"}, text).out);
    ASSERT_EQ(steam.size(), 1u);
    EXPECT_EQ(steam[0]["line"], 10);
    EXPECT_EQ(steam[0]["type"], "steamid");
    EXPECT_EQ(steam[0]["baseLevel"], 34);
    EXPECT_EQ(steam[0]["granted"], nlohmann::json::parse(R"(["say","mapvote","hook","jetpack","timelimit","map",
                                                          "godself","noclipself","kick"])"));
}

} // namespace
