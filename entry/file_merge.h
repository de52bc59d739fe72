// Saving an admins file that another writer changed since it was read: a three-way merge at the grain of an entry,
// as version control merges at the grain of a line. The window's edits (the text as read against the text as
// edited) are re-applied, entry by entry, by type and identity, onto the text on disk; only an entry that both
// sides changed is put to the user.
#pragma once

#include "reader.h"

#include <string>
#include <string_view>
#include <vector>

namespace entry {

// An entry that the window and the file on disk both changed since the file was read. Versions are the entry's
// bytes, its warning comment included; an empty one is an entry that is not there (removed, or never added).
struct MergeConflict {
    UserType type = UserType::Default; // the entry as the window names it
    std::string identity;
    std::string asRead;   // empty for an entry the window added
    std::string inWindow; // empty when the window removed it
    std::string onDisk;   // empty when it was removed on disk
    int lineInWindow = 0; // where each version's identity line stands; 0 for a missing one
    int lineOnDisk = 0;
};

// The user's answer to one conflict, matched by the two versions it was asked about.
struct MergeDecision {
    std::string inWindow;
    std::string onDisk;
    bool keepWindow = false; // false: the file's version stays
};

struct Merged {
    std::string text; // the text to write, when no conflict is left undecided
    std::vector<MergeConflict> conflicts;
};

// The text that saving `edited` over `onDisk` writes, given that the window read `asRead`: `edited` itself while the
// disk still holds `asRead`; otherwise the window's changed, removed and added entries applied to `onDisk` with the
// edits of admins_file.h, each located there by the type and identity it had when it was read (and, for an identity
// read in several entries, by its place among them while the disk has as many). An identity whose entries the
// window holds as it read them, or as the disk holds them, needs nothing. Entries are matched between `asRead` and
// `edited` by their bytes where those are unique, and by type and identity, then by position, in between. Conflicts
// that `decided` answers are settled as answered.
Merged mergeEdits(std::string_view asRead, std::string_view edited, std::string_view onDisk,
                  const std::vector<MergeDecision>& decided = {});

} // namespace entry
