#include <commands.h>

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>

namespace {

// The program run in-process, with standard input, output, error and the file system replaced by strings: every
// file holds `input` but "gone.txt", which is missing, and "locked.txt" cannot be replaced; after ">/dev/full",
// standard output takes nothing.
struct Outcome {
    int code = -1;
    std::string out, err;
    std::optional<std::string> replaced; // what format -i wrote, if it wrote
};

Outcome run(const std::string& command, const std::string& input = {})
{
    std::vector<std::string> args{"vantorel-admins"}; // the command's words, split at each space
    std::istringstream words(command);
    for (std::string word; std::getline(words, word, ' ');)
        args.push_back(word);
    const bool full = args.back() == ">/dev/full";
    args.resize(args.size() - (full ? 1 : 0));
    Outcome r;
    cli::Console console{[&r, full](std::string_view s) { return !full && (r.out.append(s), true); },
                         [&r](std::string_view s) { return r.err.append(s), true; },
                         [&input](const std::string& path, std::string& error) {
                             return path != "gone.txt" ? std::optional(input) : (error = "no such file", std::nullopt);
                         },
                         [&r, &input](const std::string& path, const cli::InPlaceOptions&, const cli::Change& change,
                                      std::string& error) {
                             if (path == "locked.txt")
                                 return error = "permission denied", false;
                             if (const auto text = change(input); text && *text != input)
                                 r.replaced = text;
                             return true;
                         }};
    r.code = cli::runCli(args, console);
    return r;
}

// Usage errors, refusals of input the window would not accept, unreadable input, findings and lookups, each with
// its exit code and what it shows. A refusal prints nothing to standard output; check still prints what it found
// in the files it could read.
TEST(CliRuns, ExitCodesAndWhatIsShown)
{
    std::string astral = "a"; // and 32 characters beyond U+FFFF: 65 of the window's characters
    for (int i = 0; i < 32; ++i)
        astral += "\xF0\x9F\x98\x80";
    const std::string bad = "\"Name:e\"\r\n{\r\n\tbaseLevel = x\r\n}\r\n";
    std::ifstream in(VANTOREL_TEST_DATA "/sample_admins.txt", std::ios::binary);
    const std::string sample(std::istreambuf_iterator<char>(in), {});
    const std::string admins = sample + "\"Name:\xFF\"\r\n{\r\n\tbaseLevel = 0\r\n\tpassword = zz9\r\n}\r\n" + bad;
    const struct {
        const char* name;
        std::string command, input;
        int code;
        std::string shown; // in standard output or error
    } rows[] = {
        {"help", "--help", "", 0, "compose"},
        {"all and none", "compose --type default --all --none", "", 2, "excludes"},
        {"identity of 65 units", "compose --type name --id " + astral, "", 2, "65 characters"},
        {"long password", "compose --type ip --id 1 --password " + std::string(129, 'p'), "", 2, "129 characters"},
        {"line feed in identity", "compose --type name --id a\nb", "", 2, "U+000A"},
        {"not UTF-8", "compose --type name --id \xFF", "", 2, "UTF-8"},
        {"unknown key", "compose --type default --grant kick,nosuch", "", 2, "\"nosuch\""},
        {"unknown level", "compose --type default --level 3", "", 2, "level 3"},
        {"default with identity", "compose --type default --id x", "", 2, "no identity"},
        {"default with password", "compose --type default --password x", "", 2, "password"},
        {"steamid without identity", "compose --type steamid", "", 2, "--id is required"},
        {"output lost", "compose --type default >/dev/full", "", 2, "cannot write to standard output"},
        {"in place on stdin", "format -i", "", 2, "standard input"},
        {"in place refused", "format -i locked.txt", "\"Name:a\"\n{\n}", 2, "locked.txt: permission denied"},
        {"unreadable outweighs errors", "check gone.txt -", bad, 2, "gone.txt: no such file"},
        {"binary file", "show -", std::string("\"Name:a\"\r\n{\0}", 12), 2, "<stdin>: binary file"},
        {"control characters escaped", "check", "a\x1B[2J\xC2\x9B\n", 1, "\"a\\x1B[2J\\x9B\""},
        {"identity with its prefix", "show --identity SteamID:STEAM_0:1:12345", admins, 1, "(line 10)"},
        {"identity not found", "show --identity Bob", sample, 1, "no entry"},
        {"no entry with errors", "show --identity e", admins, 1, "no entry"},
        {"JSON, not UTF-8", "show --json", admins, 1, "\"identity\": \"\xEF\xBF\xBD\",\n    \"hasPassword\": true"},
    };
    for (const auto& row : rows) {
        const Outcome r = run(row.command, row.input);
        EXPECT_EQ(r.code, row.code) << row.name << "\n" << r.err;
        EXPECT_NE((r.out + r.err).find(row.shown), std::string::npos) << row.name << "\n" << r.out << r.err;
        EXPECT_TRUE(row.code != 2 || r.out.empty() || row.command.starts_with("check")) << row.name;
    }
}

// Each composed entry reads back as one entry in its shortest form, without findings, and grants exactly what was
// asked: the start (defaults, all or none), then levels, then grants, then denials.
TEST(CliCompose, GrantsWhatWasAsked)
{
    const std::set<std::string> defaults{"say", "say_team", "mapvote", "hook", "jetpack"};
    std::set<std::string> allButRcon;
    for (const auto& e : model::commandCatalogue())
        if (e.key != "rcon")
            allButRcon.emplace(e.key);
    const struct {
        const char* name;
        std::string command;
        std::set<std::string> granted;
    } rows[] = {
        {"defaults, a level, then grants",
         "compose --type steamid --id STEAM_0:1:2 --level 2 --grant kick,ban",
         {"say", "say_team", "mapvote", "hook", "jetpack", "timelimit", "map", "kick", "ban"}},
        {"denial after grant", "compose --type ip --id 1 --none --grant say,kick --deny kick", {"say"}},
        {"longest identity and password",
         "compose --type name --all --deny rcon --id " + std::string(64, 'n') + " --password " + std::string(128, 'p'),
         allButRcon},
        {"level 0 after none", "compose --type name --id a\"b --none --level 0", defaults},
    };
    for (const auto& row : rows) {
        const Outcome r = run(row.command);
        const entry::ReadResult read = entry::read(r.out);
        ASSERT_TRUE(r.code == 0 && read.blocks.size() == 1 && read.errors + read.notes == 0) << row.name << r.out;
        const auto keys = entry::grantedKeys(read.blocks[0].granted);
        EXPECT_EQ(std::set<std::string>(keys.begin(), keys.end()), row.granted) << row.name;
    }
}

// format prints the shortest form, keeping entries with errors or comment lines and the text between entries;
// -i replaces the file with exactly that, and only when it changed and has no errors.
TEST(CliFormat, ShortestFormAndInPlaceOnlyWithoutErrors)
{
    const std::string bad = "\"Name:b\"\r\n{\r\n\taddAdminCmd = nosuch\r\n}\r\n";
    const std::string commented = "\"Name:c\"\n{\n// keep me\n\taddAdminCmd = map\n\taddAdminCmd = timelimit\n}\n";
    const struct {
        const char* name;
        std::string input, formatted;
    } rows[] = {
        {"longhand level", "\"Name:a\"\r\n{\r\n\taddAdminCmd = map\r\n\taddAdminCmd = timelimit\r\n}\r\n",
         "\"Name:a\"\r\n{\r\n\tbaseLevel = 2\r\n}\r\n"},
        {"LF kept", "x\n\"IP:1.2.3.4\"\n{\n  baseLevel = 1\n}", "x\n\"IP:1.2.3.4\"\n{\n\tbaseLevel = 1\n}\n"},
        {"error entry kept", bad, bad},
        {"comment entry kept", commented, commented},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Outcome r = run("format", row.input);
        EXPECT_EQ(r.out, row.formatted);
        const Outcome inPlace = run("format -i file.txt", row.input);
        EXPECT_EQ(inPlace.code, r.code);
        EXPECT_EQ(inPlace.replaced, r.code == 0 && r.out != row.input ? std::optional(r.out) : std::nullopt);
    }
}

} // namespace
