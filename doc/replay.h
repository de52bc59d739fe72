// Writing the window's edits onto a text: the one step that both shows the open file as edited and saves it over
// whatever is on disk. An edit names an entry of the text it is written onto and gives its new bytes or takes it
// out; an addition goes after everything. Every byte outside an edit's reach is copied through in order.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace doc {

// The bytes of one entry in a text, from its warning comment (or identity line) to the end of its closing line.
struct Span {
    std::size_t begin = 0;
    std::size_t end = 0;
};

struct Edit {
    std::size_t entry = 0;            // which of the text's entries
    std::optional<std::string> bytes; // its new bytes; nullopt takes it out
};

struct Written {
    std::string text;
    // Where each entry of the text (npos for one taken out) and each addition begins in `text`.
    std::vector<std::size_t> entryAt;
    std::vector<std::size_t> additionAt;
};

// `base` with `edits` (at most one per entry) and `additions`. The reach of each edit, as set and remove have it:
//  - a change replaces the entry's bytes alone;
//  - a removal also takes the empty line that separated the entry from what comes before it, when that line lies
//    between the two (not inside an entry the reader could not close); an entry with nothing but a byte-order mark
//    before it takes the line end after it instead;
//  - an addition adds the line end that the text's last line lacks, one empty line, and its bytes, with the line
//    ends its own bytes use.
// `entries` are all the entries of `base`, in order and not overlapping, as the reader found them.
Written writeEdits(std::string_view base, const std::vector<Span>& entries, std::vector<Edit> edits,
                   const std::vector<std::string>& additions);

// The line end that an entry's bytes use: LF alone when they hold no CR LF.
std::string_view lineEndOf(std::string_view bytes);

} // namespace doc
