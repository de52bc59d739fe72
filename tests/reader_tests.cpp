#include "properties.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

using namespace entry;

namespace {

// Lines joined with CR LF, as the window writes them.
std::string crlf(std::string_view lf)
{
    std::string s;
    for (char c : lf)
        s += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return s;
}

// "3E 5W": each diagnostic's line and severity, in order.
std::string summary(const ReadResult& r)
{
    std::string s;
    for (const Diagnostic& d : r.diagnostics)
        s += (s.empty() ? "" : " ") + std::to_string(d.line) + "EWN"[static_cast<int>(d.severity)];
    return s;
}

const std::string kOpen = "\"Name:x\"\n{\n";
const std::string kClose = "\tbaseLevel = 0\n}\n";

} // namespace

TEST(Reader, OneDiagnosticOfEachKindOnItsLine)
{
    struct Row {
        const char* name;
        std::string text;
        std::string expected;
        const char* message; // part of one diagnostic's message
    };
    // clang-format off
    const std::vector<Row> rows{
        {"text outside", "// fine\nhello\n", "2E", "text outside an entry: \"hello\""},
        {"no quotes", "SteamID:STEAM_0:0:1\n{\n" + kClose, "1E", "without its double quotes"},
        {"unknown prefix", "\"Admin:x\"\n{\n" + kClose, "1E", "unknown identity type \"Admin:\""},
        {"missing {", "\"Name:x\"\n" + kClose, "1E", "no \"{\""},
        {"missing }", kOpen + "\tbaseLevel = 0\n\n\"Name:y\"\n{\n" + kClose, "1E", "no closing"},
        {"{ without identity", "{\n" + kClose, "1E", "without an identity line"},
        {"{ inside", kOpen + "{\n" + kClose, "3E", "inside an entry"},
        {"no \" = \"", kOpen + "\tbaseLevel=0\n}\n", "3E", "without \" = \""},
        {"no blank after \"=\"", kOpen + "\tbaseLevel =0\n}\n", "3E", "without \" = \""},
        {"no blank before \"=\"", kOpen + "\tbaseLevel= 0\n}\n", "3E", "without \" = \""},
        {"unknown keyword", kOpen + "\tbaselevel = 0\n}\n", "3E", "unknown keyword \"baselevel\""},
        {"unknown command", kOpen + "\taddAdminCmd = e_stak\n" + kClose, "3E", "unknown command \"e_stak\""},
        {"level not decimal", kOpen + "\tbaseLevel = 0x10\n}\n", "3E", "not a plain decimal"},
        {"level negative", kOpen + "\tbaseLevel = -2\n}\n", "3E", "negative"},
        {"level past 17 bits", kOpen + "\tbaseLevel = 131072\n}\n", "3E", "outside the 17 levels"},
        {"second level", kOpen + "\tbaseLevel = 1\n" + kClose, "4E", "second baseLevel"},
        {"second password", kOpen + "\tpassword = a\n\tpassword = b\n" + kClose, "4E", "second password"},
        {"empty password", kOpen + "\tpassword = \n" + kClose, "3E", "without a password"},
        {"password space", kOpen + "\tpassword = a b\n" + kClose, "3E", "contains a space"},
        {"password ending in \" =\"", kOpen + "\tpassword = a =\n" + kClose, "3E", "contains a space"},
        {"added and denied", kOpen + "\taddAdminCmd = kick\n\tdenyAdminCmd = kick\n" + kClose, "4E", "both"},
        {"NUL", "\"Name:a" + std::string(1, '\0') + "b\"\n{\n" + kClose, "1E", "U+0000 (NUL)"},
        {"line separator", kOpen + "\tpassword = a\u2028b\n" + kClose, "3E", "U+2028"},
        {"tab inside", "\"Name:a\tb\"\n{\n" + kClose, "1E", "U+0009 (tab)"},
        {"wrong kind", kOpen + "\taddCmd = kick\n" + kClose, "3W", "expects addAdminCmd"},
        {"bad SteamID", "\"SteamID:STEAM_1:0:1\"\n{\n" + kClose, "1W", "SteamID \"STEAM_1:0:1\""},
        {"bad IP", "\"IP:1.2.3.256\"\n{\n" + kClose, "1W", "IP \"1.2.3.256\""},
        {"identity twice", kOpen + kClose + kOpen + kClose, "5W", "already has an entry at line 1"},
        {"add of granted", kOpen + "\taddCmd = say\n" + kClose, "1N 3W", "already granted"},
        {"deny of withheld", kOpen + "\tdenyAdminCmd = kick\n" + kClose, "1N 3W", "not granted"},
        {"longer than needed", kOpen + "\taddAdminCmd = timelimit\n\taddAdminCmd = map\n" + kClose, "1N", "2 fewer lines"},
    };
    // clang-format on
    for (const Row& row : rows) {
        const ReadResult r = read(crlf(row.text));
        EXPECT_EQ(summary(r), row.expected) << row.name;
        EXPECT_TRUE(std::any_of(r.diagnostics.begin(), r.diagnostics.end(), [&](const Diagnostic& d) {
            return d.message.find(row.message) != std::string::npos;
        })) << row.name;
        // Errors mark their entry, which format then leaves as it was.
        const bool error = row.expected.find('E') != std::string::npos;
        EXPECT_EQ(error, r.blocks.empty() || r.blocks[0].hasErrors) << row.name;
    }
    // Line ends of LF alone are a note, once, on the first such line.
    EXPECT_EQ(summary(read("\r\n" + kOpen + kClose)), "2N");
}

// The command-line runs check this file's diagnostics, entries and format
// byte for byte; here, what only the blocks tell.
TEST(Reader, SampleFileWithCommentsMixedLineEndsAndByteOrderMark)
{
    std::ifstream in(VANTOREL_TEST_DATA "/sample_admins.txt", std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    const ReadResult r = read(text);
    ASSERT_EQ(r.blocks.size(), 4u);
    const Block& steam = r.blocks[1];
    EXPECT_EQ(text.substr(steam.begin, 2), "//");      // its warning comment belongs to it
    EXPECT_EQ(text.substr(steam.end - 3, 3), "}\r\n"); // and its closing brace's line end
    EXPECT_EQ(composeBlock(r.blocks[2]), "\"Name:Mod Alice\"\n{\n\tbaseLevel = 130\n\tpassword = s3cret\n}\n");
    EXPECT_EQ(properties::formatKeepsMeaning(text), "");
}

TEST(Reader, HostileInputs)
{
    const std::string longLine(1 << 20, 'x');
    const ReadResult a = read(longLine);
    EXPECT_EQ(a.errors, 1u);
    EXPECT_LT(a.diagnostics[0].message.size(), 100u); // quotes are shortened
    std::string braces;
    for (int i = 0; i < 100000; ++i)
        braces += "{\n";
    const ReadResult b = read(braces);
    EXPECT_EQ(b.errors, 100000u + 1); // each "{", and the entry the first one opened is never closed
    EXPECT_EQ(b.diagnostics.size(), kMaxDiagnostics);
    EXPECT_EQ(b.omitted, b.errors + b.notes - kMaxDiagnostics);
    // A warning above an identity that ends an unclosed entry belongs to the
    // new entry, so formatting does not write it twice.
    const std::string unclosed = crlf(kOpen + "\n// The IP you entered appears to be invalid\n\n\"IP:1\"\n{\n}\n");
    EXPECT_EQ(properties::formatKeepsMeaning(unclosed), "");
    // A comment with its own text inside an entry is kept by format.
    const std::string commented = crlf(kOpen + "// why\n\taddAdminCmd = timelimit\n\taddAdminCmd = map\n" + kClose);
    EXPECT_EQ(formatText(commented, read(commented)), commented);
}

TEST(TextRules, WhatASingleLineBoxKeeps)
{
    // clang-format off
    const std::vector<std::pair<std::string, std::string>> rows{
        {"plain Ünïcödé", "plain Ünïcödé"}, {"a\tb\x01" "c\x7f", "abc"}, {"a\r\nb", "a"}, {"a\vb", "a"},
        {"a\fb", "a"}, {"a\u0085b", "a"}, {"a\u2028b", "a"}, {"a\u2029b", "a"}, {"a\u009fb\u0080", "ab"},
        {"\xff\x98\x98\xfe", "\uFFFD\uFFFD\uFFFD\uFFFD"}, {"\xc2\x08\x8a", "\uFFFD\uFFFD"}, // never joined into U+008A
    };
    // clang-format on
    for (const auto& [in, kept] : rows)
        EXPECT_EQ(keepSingleLine(in), kept) << in;
    // Wherever a byte that is not printable ASCII stands, in a word or after the last whole one, the scan stops there.
    for (std::size_t at = 0; at < 40; ++at)
        for (const char b : {'\0', '\t', '\x1f', '\x7f', '\x80', '\xff'}) {
            std::string text(40, '~');
            text[at] = b;
            EXPECT_EQ(firstNonPrintableAscii(text, at / 3), at) << at;
        }
    EXPECT_EQ(firstNonPrintableAscii(std::string(37, ' '), 0), 37U);
}
