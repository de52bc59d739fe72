#pragma once

#include "permissions.h"

#include <bitset>
#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

namespace model {

// One command of the admin plugin: the arguments of Permissions::AddCommand.
struct CatalogueEntry {
    int level;             // 0, or a power of two from 1 to 65536
    std::string_view text; // shown in the tree; also names the help page
    std::string_view key;  // the command's name in the admins file
    bool defaultOn;
    bool isAdmin;
};

// The plugin's 78 commands, by ascending level, in tree order within a level.
std::span<const CatalogueEntry> commandCatalogue();

inline constexpr int kLevelCount = 17; // levels 1, 2, 4, ..., 65536
inline constexpr int kCommandCount = 78;

// A set of commands, by catalogue position.
using CommandSet = std::bitset<kCommandCount>;

// The catalogue position of a command key, compared exactly; nullopt for a
// key the plugin does not know. The one index every lookup by key goes through.
std::optional<std::size_t> commandIndex(std::string_view key);

// The commands that are on by default.
CommandSet defaultCommands();

// Builds the tree from the catalogue into an empty `p`: the root, the no-level
// node, the 17 level nodes and the commands with their default ticks; derives
// the no-level node's tick; expands every node that has children and brings
// the root into view.
void loadCatalogue(Permissions& p);

} // namespace model
