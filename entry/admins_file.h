// The edits that change one entry of an admins file and copy every other byte through, as pure functions over the
// file's text: find the entry of a type and identity, write an entry in its place or after the others, remove one.
// The command line's set and remove and the window's open file make their changes through these.
#pragma once

#include "reader.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace entry {

// The entries of one type and identity (compared byte for byte), in file order.
std::vector<const Block*> entriesOf(const ReadResult& read, UserType type, std::string_view identity);

// A text after an edit, and the line at which the entry's identity line stands in it (for a removal, the line it
// stood at before).
struct EditedText {
    std::string text;
    int line = 0;
};

// `entry` (its type, identity, password and granted set) in its shortest form in the place of `old`, with the line
// ends of `old`; a warning comment and empty line above `old` are replaced along with it.
EditedText replaceEntry(std::string_view text, const Block& old, Block entry);
// `entry` in its shortest form after the text, on a line of its own after one empty line, with the file's line
// ends: CR LF unless every line ends in LF alone.
EditedText appendEntry(std::string_view text, Block entry);
// The text without `old`, its warning comment and the empty line that separated it from what comes before it (for
// the first entry of the file, the one after it).
EditedText removeEntry(std::string_view text, const Block& old);

// Why a text is not an admins file at all, or nullopt: a NUL byte means some other kind of file was named.
std::optional<std::string> notAnAdminsFile(std::string_view text);

// The length of the empty line that ends `text` ("\r\n" or "\n" after another line end, or as the whole text), or
// 0 when its last line is not empty: the line that separates entries.
std::size_t emptyLineAtEnd(std::string_view text);

} // namespace entry
