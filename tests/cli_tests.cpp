#include "properties.h"

#include <commands.h>

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

namespace {

// The program run in-process, with standard input, output, error and the file system replaced by strings: every
// file holds `input` but "gone.txt", which is missing, and "locked.txt" cannot be replaced; standard input holds
// `input` too unless `stdinText` is given; after ">/dev/full", standard output takes nothing.
struct Outcome {
    int code = -1;
    std::string out, err;
    std::optional<std::string> replaced; // what -i wrote, if it wrote
};

Outcome run(std::vector<std::string> args, const std::string& input, const std::optional<std::string>& stdinText)
{
    const bool full = args.back() == ">/dev/full";
    args.resize(args.size() - (full ? 1 : 0));
    Outcome r;
    cli::Console console{[&r, full](std::string_view s) { return !full && (r.out.append(s), true); },
                         [&r](std::string_view s) { return r.err.append(s), true; },
                         [&](const std::string& path, std::string& error) {
                             if (path == "gone.txt")
                                 return error = "no such file", std::optional<std::string>();
                             return std::optional(path == "-" && stdinText ? *stdinText : input);
                         },
                         [&r, &input](const std::string& path, const store::InPlaceOptions&,
                                      const store::Change& change, std::string& error) {
                             if (path == "locked.txt")
                                 return error = "permission denied", false;
                             if (const auto text = change(input); text && *text != input)
                                 r.replaced = text;
                             return true;
                         }};
    r.code = cli::runCli(args, console);
    return r;
}

Outcome run(const std::string& command, const std::string& input = {}, const std::optional<std::string>& stdinText = {})
{
    std::vector<std::string> args{"vantorel-admins"}; // the command's words, split at each space
    std::istringstream words(command);
    for (std::string word; std::getline(words, word, ' ');)
        args.push_back(word);
    return run(args, input, stdinText);
}

// Usage errors, refusals of input the window would not accept, unreadable input, findings and lookups, each with
// its exit code and what it shows. A refusal prints nothing to standard output; check still prints what it found
// in the files it could read.
TEST(CliRuns, ExitCodesAndWhatIsShown)
{
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
        {"all and none", "compose --type default --all --none", "", 2, "excludes"},
        {"unknown key", "compose --type default --grant kick,nosuch", "", 2, "\"nosuch\""},
        {"unknown level", "compose --type default --level 3", "", 2, "level 3"},
        {"default with identity", "compose --type default --id x", "", 2, "no identity"},
        {"steamid without identity", "compose --type steamid", "", 2, "--id is required"},
        {"output lost", "compose --type default >/dev/full", "", 2, "cannot write to standard output"},
        {"edit's output lost", "set f.txt --type name --id Bob >/dev/full", "", 2, "cannot write to standard output"},
        {"wait past a day", "set f.txt --type default -i --wait 86401", "", 2, "--wait"},
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
        EXPECT_EQ(r.err.find(": added "), std::string::npos) << row.name; // nothing is said to be done
    }
}

// set and remove change one entry and say so on standard error; with -i they write the same text, and nothing when
// it did not change. Refusals print nothing, write nothing and say why.
TEST(CliEdit, ChangesOneEntryOrRefuses)
{
    const std::string a = "\"Name:a\"\n{\n\tbaseLevel = 2\n\tpassword = pw\n}\n";
    const std::string ip = "\"IP:x\"\r\n{\r\n\tbaseLevel = 0\r\n}\r\n";
    const std::string warning = "// The IP you entered appears to be invalid\r\n\r\n";
    const std::string file = a + "\r\n" + warning + ip, bob = "\"Name:Bob\"\r\n{\r\n\tbaseLevel = 2\r\n}\r\n";
    const std::string bad = "\"Name:a\"\r\n{\r\n\tbaseLevel = x\r\n}\r\n";
    const struct {
        const char* name;
        std::string command, input;
        int code;
        std::string out, err; // standard output exactly; a part of standard error
        std::optional<std::string> stdinText = {};
    } rows[] = {
        {"added after an empty line, with LF", "set f.txt --type name --id Bob --level 2", "// x\n", 0,
         "// x\n\n\"Name:Bob\"\n{\n\tbaseLevel = 2\n}\n", "vantorel-admins: f.txt: added Name:Bob (line 3)\n"},
        {"added on a line of its own", "set f.txt --type name --id Bob --level 2", "//\r\n", 0, "//\r\n\r\n" + bob,
         "added Name:Bob (line 3)"},
        {"updated in its place, password and LF kept", "set f.txt --type name --id a --grant kick", file, 0,
         "\"Name:a\"\n{\n\taddAdminCmd = kick\n\tbaseLevel = 2\n\tpassword = pw\n}\n\r\n" + warning + ip,
         "vantorel-admins: f.txt: updated Name:a (line 1)\n"},
        {"unchanged", "set f.txt --type name --id a --none --level 2 --grant say,say_team,mapvote,hook,jetpack", file,
         0, file, "unchanged Name:a (line 1)"},
        {"password from standard input, warning kept", "set f.txt --type ip --id x --password-stdin", file, 0,
         a + "\r\n" + warning + "\"IP:x\"\r\n{\r\n\tbaseLevel = 0\r\n\tpassword = s3cret\r\n}\r\n",
         "updated IP:x (line 9)", "s3cret\r\nmore"},
        {"errors", "set f.txt --type name --id a", bad, 1, "", "f.txt:3: error"},
        {"identity twice", "set f.txt --type name --id a", a + a, 1, "",
         "f.txt: not changed: Name:a stands in 2 entries (lines 1, 6)"},
        {"comment lines", "set f.txt --type name --id a", "\"Name:a\"\n{\n// keep\n}\n", 1, "",
         "not changed: the entry of Name:a (line 1) has comment lines of its own, which a rewrite would lose"},
        {"space in a password from standard input", "set f.txt --type name --id a --password-stdin", file, 2, "",
         "set: the password contains a space", "a b\n"},
        {"empty standard input", "set f.txt --type name --id a --password-stdin", file, 2, "", "is empty", ""},
        {"password and file on standard input", "set --type name --id a --password-stdin", file, 2, "",
         "--password-stdin needs a FILE"},
        {"first entry removed with the empty line after it", "remove f.txt --type name --id a", file, 0, warning + ip,
         "removed Name:a (line 1)"},
        {"no such entry", "remove f.txt --type name --id zz", file, 1, "", "f.txt: no entry Name:zz"},
        {"several targets without -i", "set a b --type name --id a", file, 2, "", "set: several targets need -i"},
        {"a target named twice", "set a a -i --type name --id a", file, 2, "", "set: a is named twice"},
        {"standard input among targets", "remove a - -i --type name --id a", file, 2, "", "cannot be one of several"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Outcome r = run(row.command, row.input, row.stdinText);
        EXPECT_EQ(r.code, row.code);
        EXPECT_EQ(r.out, row.out);
        EXPECT_NE(r.err.find(row.err), std::string::npos) << r.err;
        if (row.code == 2)
            continue;
        const Outcome inPlace = run(row.command + " -i", row.input, row.stdinText);
        EXPECT_EQ(inPlace.code, row.code);
        EXPECT_EQ(inPlace.err, r.err);
        EXPECT_EQ(inPlace.replaced, row.code == 0 && row.out != row.input ? std::optional(row.out) : std::nullopt);
    }
}

// Over random files and random edits: after set, the entry grants exactly what was asked with the password asked
// or kept, and every other byte is unchanged; after remove, only that entry is gone.
TEST(CliEdit, RandomEditsChangeOnlyTheirEntry)
{
    const std::string identities[] = {"Bob", "STEAM_0:1:2", "1.2.3.4", "x"};
    const std::string separators[] = {"", "\r\n", "\n", "// note\r\n", "\r\n\r\n"};
    std::mt19937 random(17);
    const auto pick = [&random](std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random); };
    int edited = 0;
    for (int round = 0; round < 400; ++round) {
        std::string text;
        for (std::size_t n = pick(5); n > 0; --n) {
            entry::Block b;
            b.type = static_cast<entry::UserType>(pick(4));
            b.identity = b.type == entry::UserType::Default ? entry::kDefaultIdentity : identities[pick(4)];
            b.granted = model::CommandSet(random()) << pick(78);
            b.lfOnly = pick(2) == 0;
            text += separators[pick(5)] + entry::composeBlock(b);
        }
        text += separators[pick(5)];
        const auto asked = properties::EditAsked::drawn(pick, identities[pick(4)]);
        const Outcome r = run(asked.arguments(), text, std::nullopt);
        if (r.code != 0)
            continue;
        ++edited;
        EXPECT_EQ(properties::editKeepsTheRest(text, r.out, asked), "") << r.err << "\n" << text;
    }
    EXPECT_GT(edited, 200);
}

} // namespace
