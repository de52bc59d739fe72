#include <file_merge.h>

#include <gtest/gtest.h>

using namespace entry;

namespace {

// An entry of a name and a whole level, as the composer writes it.
std::string named(const std::string& name, int level)
{
    return "\"Name:" + name + "\"\r\n{\r\n\tbaseLevel = " + std::to_string(level) + "\r\n}\r\n";
}

} // namespace

// Saving over a file that another writer changed: the window's edits land on the disk's text entry by entry, and
// only an entry changed on both sides is a conflict, settled as the user answers. (The plainer cases are tried
// through the window: FileWindow.SaveKeepsAnotherWritersChanges.)
TEST(FileMerge, WindowEditsOnTheDisksText)
{
    const std::string a0 = named("a", 0), a2 = named("a", 2), a4 = named("a", 4), b0 = named("b", 0),
                      b4 = named("b", 4), c0 = named("c", 0), c4 = named("c", 4);
    const std::string asRead = "// admins\r\n" + a0 + "\r\n" + b0;
    const auto file = [](const std::string& entries) { return "// admins\r\n" + entries; };
    const std::string withoutA = file("\r\n" + b0); // a removed, and no empty line before it to go with it
    struct Row {
        const char* name;
        std::string edited, onDisk;
        std::string merged;                         // empty when the row ends in a conflict
        std::string conflict = {};                  // the conflict's disk version
        std::string keepWindow = {}, keepFile = {}; // what each answer writes
    };
    const std::vector<Row> rows{
        {"the same change on both sides", file(a2 + "\r\n" + b0), file(a2 + "\r\n" + b0), file(a2 + "\r\n" + b0)},
        {"an entry removed on disk, another changed in the window", file(a0 + "\r\n" + b4), file(b0), file(b4)},
        {"an entry removed in the window, changed on disk", withoutA, file(a4 + "\r\n" + b0), "", a4, withoutA,
         file(a4 + "\r\n" + b0)},
        {"an entry renamed in the window keeps its place", file(c0 + "\r\n" + b0), file(a0 + "\r\n" + b4),
         file(c0 + "\r\n" + b4)},
        {"a rename onto an identity the disk added", file(c0 + "\r\n" + b0), asRead + "\r\n" + c4, "", c4,
         withoutA + "\r\n" + c0, withoutA + "\r\n" + c4},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Merged merged = mergeEdits(asRead, row.edited, row.onDisk);
        EXPECT_EQ(merged.text, row.merged);
        ASSERT_EQ(merged.conflicts.size(), row.merged.empty() ? 1U : 0U);
        if (!row.merged.empty())
            continue;
        const MergeConflict& c = merged.conflicts.front();
        EXPECT_EQ(c.onDisk, row.conflict);
        for (const bool keepWindow : {true, false}) {
            const Merged settled = mergeEdits(asRead, row.edited, row.onDisk, {{c.inWindow, c.onDisk, keepWindow}});
            EXPECT_TRUE(settled.conflicts.empty());
            EXPECT_EQ(settled.text, keepWindow ? row.keepWindow : row.keepFile);
        }
    }
    // An identity read twice: its first entry removed in the window. The disk changed another entry, did the same
    // removal, or removed the other one.
    const std::string twice = file(a0 + "\r\n" + a2 + "\r\n" + b0), kept = file("\r\n" + a2 + "\r\n" + b0);
    EXPECT_EQ(mergeEdits(twice, kept, file(a0 + "\r\n" + a2 + "\r\n" + b4)).text, file("\r\n" + a2 + "\r\n" + b4));
    const std::string same = file(a0 + "\r\n" + a0 + "\r\n" + b0), once = file(a0 + "\r\n" + b0);
    EXPECT_EQ(mergeEdits(same, once, once).text, once);
    EXPECT_EQ(mergeEdits(twice, kept, file(a0 + "\r\n" + b0)).conflicts.size(), 1U);
}
