// What Save would write, shown before it is written: the difference between the file on disk now and the text Save
// would write if every entry changed on both sides kept this window's version.
#pragma once

#include "admins_document.h"

#include <string>
#include <string_view>
#include <vector>

namespace doc {

struct Preview {
    std::string refusal;             // why Save would refuse, or empty
    std::vector<Conflict> conflicts; // what Save would ask about
    // The hunks of the diff, a line each: both sides' line numbers, the mark (' ', '-', '+'), the line with its
    // line end made visible ("␍␊" for CR LF, "␊" for LF, "[no line end]"), and "  ◀ changed by another program"
    // after a line of the disk's that belongs to an entry another writer changed since the file was read or saved.
    std::string text;
    bool changes = false; // whether Save would change the file at all
};

Preview preview(const AdminsDocument& d, std::string_view onDisk, std::string_view name);

} // namespace doc
