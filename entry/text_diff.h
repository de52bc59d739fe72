// The difference of two texts as a unified diff, the form `diff -u` and version control print: what Save or an
// in-place change would do to a file, shown before it is done.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace entry {

// One line of a hunk: ' ' kept, '-' only in the old text, '+' only in the new one; `text` with its line end, if it
// has one, and the line's number on each side (0 where it is not on that side).
struct DiffLine {
    char kind = ' ';
    std::string_view text;
    int oldLine = 0, newLine = 0;
};

struct DiffHunk {
    int oldStart = 0, oldCount = 0, newStart = 0, newCount = 0; // as the "@@" line states them
    std::vector<DiffLine> lines;
};

// The hunks that turn `before` into `after`, lines compared with their line ends, with `context` unchanged lines
// around each change; hunks closer than twice the context are one. Views point into the two texts.
std::vector<DiffHunk> diffHunks(std::string_view before, std::string_view after, int context = 3);

// "--- NAME", "+++ NAME", then each hunk under its "@@ -a,b +c,d @@" line, each line after its mark, and after a
// last line without a line end "\ No newline at end of file"; nothing when the texts are equal.
std::string unifiedDiff(std::string_view before, std::string_view after, std::string_view name);

} // namespace entry
