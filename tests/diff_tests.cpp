#include <text_diff.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>

namespace {

const std::string a0 = "\"Name:a\"\r\n{\r\n\tbaseLevel = 0\r\n}\r\n",
                  b0 = "\"Name:b\"\r\n{\r\n\tbaseLevel = 0\r\n}\r\n";

} // namespace

// The diff of hand-written cases, as `diff -u` prints them.
TEST(TextDiff, UnifiedDiffsWrittenOut)
{
    const struct {
        const char* name;
        std::string before, after, diff;
    } rows[] = {
        // clang-format off
        {"equal texts", a0, a0, ""},
        {"an entry changed", a0 + "\r\n" + b0, a0 + "\r\n" + "\"Name:b\"\r\n{\r\n\tbaseLevel = 2\r\n}\r\n",
         "--- f\n+++ f\n@@ -5,5 +5,5 @@\n \r\n \"Name:b\"\r\n {\r\n-\tbaseLevel = 0\r\n+\tbaseLevel = 2\r\n }\r\n"},
        {"an entry added", a0, a0 + "\r\n" + b0,
         "--- f\n+++ f\n@@ -2,3 +2,8 @@\n {\r\n \tbaseLevel = 0\r\n }\r\n+\r\n+\"Name:b\"\r\n+{\r\n+\tbaseLevel = 0\r\n+}\r\n"},
        {"the first entry removed", a0 + "\r\n" + b0, b0,
         "--- f\n+++ f\n@@ -1,8 +1,3 @@\n-\"Name:a\"\r\n-{\r\n-\tbaseLevel = 0\r\n-}\r\n-\r\n \"Name:b\"\r\n {\r\n \tbaseLevel = 0\r\n"},
        {"a last line without line end", "x\ny", "x\nz\n",
         "--- f\n+++ f\n@@ -1,2 +1,2 @@\n x\n-y\n\\ No newline at end of file\n+z\n"},
        {"LF lines, two hunks", "1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n", "0\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n13\n",
         "--- f\n+++ f\n@@ -1,4 +1,4 @@\n-1\n+0\n 2\n 3\n 4\n@@ -9,4 +9,4 @@\n 9\n 10\n 11\n-12\n+13\n"},
        {"everything from nothing", "", "x\n", "--- f\n+++ f\n@@ -0,0 +1 @@\n+x\n"},
        {"changes six lines apart, one hunk", "a\n1\n2\n3\n4\n5\n6\nb\n", "A\n1\n2\n3\n4\n5\n6\nB\n",
         "--- f\n+++ f\n@@ -1,8 +1,8 @@\n-a\n+A\n 1\n 2\n 3\n 4\n 5\n 6\n-b\n+B\n"},
        // clang-format on
    };
    for (const auto& row : rows)
        EXPECT_EQ(entry::unifiedDiff(row.before, row.after, "f"), row.diff) << row.name;
}

#ifndef _WIN32
// For a change of one region anywhere in a text, the diff is what GNU diff -u prints.
TEST(TextDiff, OneRegionAsGnuDiffPrintsIt)
{
    std::mt19937 random(8);
    const auto pick = [&random](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    const std::string lines[] = {"{\r\n", "}\r\n", "\r\n", "\tbaseLevel = 0\r\n", "\"Name:a\"\r\n", "x\n", "// c\n"};
    const std::string folder = ::testing::TempDir();
    for (int round = 0; round < 100; ++round) {
        std::vector<std::string> before;
        for (int n = pick(80); n > 0; --n)
            before.push_back(lines[pick(7)]);
        std::vector<std::string> after = before;
        const int at = before.empty() ? 0 : pick(static_cast<int>(before.size()));
        const int removed = std::min(pick(4), static_cast<int>(before.size()) - at);
        after.erase(after.begin() + at, after.begin() + at + removed);
        for (int n = pick(4); n > 0; --n)
            after.insert(after.begin() + at, lines[pick(7)]);
        std::string x, y;
        for (const std::string& l : before)
            x += l;
        for (const std::string& l : after)
            y += l;
        if (pick(4) == 0 && !y.empty())
            y.pop_back(); // a last line without its line end
        std::ofstream(folder + "/before", std::ios::binary) << x;
        std::ofstream(folder + "/after", std::ios::binary) << y;
        FILE* gnu = popen(("diff -u --label f --label f " + folder + "/before " + folder + "/after").c_str(), "r");
        ASSERT_NE(gnu, nullptr);
        std::string expected;
        for (int c; (c = std::fgetc(gnu)) != EOF;)
            expected += static_cast<char>(c);
        pclose(gnu);
        ASSERT_EQ(entry::unifiedDiff(x, y, "f"), expected) << "round " << round;
    }
}
#endif
