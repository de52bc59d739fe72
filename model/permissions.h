#pragma once

#include "permission_tree.h"

#include <string_view>
#include <vector>

namespace model {

// The permission tree together with the two ordered lists through which the
// composer and the bulk selection visit it. The lists hold the tree's own
// nodes, so a tick made through one is seen through the other.
struct Permissions {
    PermissionTree tree;
    std::vector<Node*> colLevels;   // the level nodes, levels 1, 2, 4, ..., 65536
    std::vector<Node*> colCommands; // every command node, in catalogue order

    // Adds the node of a level under "root" and lists it.
    void AddLevel(int level);
    // Adds a command under its level's node, bold, ticked as its default,
    // tagged with its default flag, admin flag and level, and lists it.
    void AddCommand(int level, std::string_view text, std::string_view key, bool defaultOn, bool isAdmin);
};

// Derives the parent's tick from the node and its siblings, and climbs while
// that changes something. Siblings and the root are recognised by their
// display texts, which are distinct throughout the tree.
void CheckParents(Node& node);

// Copies the node's tick to all its descendants, depth first.
void CheckChildren(Node& node);

// A user's tick of a node: the node takes the tick, then its parents and its
// descendants follow (CheckParents, then CheckChildren). The program's own
// writes of a tick do not go through here.
void userTick(Node& node, bool checked);

// What a command node's tag says: its default flag, its admin flag and its
// level. The tag is the one place a command node keeps these.
struct CommandTag {
    bool defaultOn = false;
    bool isAdmin = false;
    int level = 0;
    bool levelIsZero = false; // the level part is exactly "0"
};
CommandTag commandTag(const Node& command);

} // namespace model
