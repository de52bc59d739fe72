#pragma once

#include "permission_tree.h"

#include <string>
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

    // Adds the root and, as its first child, the node of the commands with no
    // level: the tree's first two nodes.
    void AddRoot();
    // Adds the node of a level under the root and lists it.
    void AddLevel(int level);
    // Adds a command under its level's node, bold, ticked as its default, with
    // its facts and its tag (default flag, admin flag and level, as the admins
    // file's readers know them), and lists it. Nothing is added without the
    // level's node.
    void AddCommand(int level, std::string_view text, std::string_view key, bool defaultOn, bool isAdmin);

    // The node the commands of a level stand under: the level's node, or the
    // no-level node for 0; null when the tree has none.
    Node* levelNode(int level) const;
};

// The key of a level's node: "lvl" and the level in decimal.
std::string levelKey(int level);

// Derives the parent's tick from the node and its siblings, and climbs while
// that changes something.
void CheckParents(Node& node);

// Copies the node's tick to all its descendants, depth first.
void CheckChildren(Node& node);

// A user's tick of a node: the node takes the tick, then its parents and its
// descendants follow (CheckParents, then CheckChildren). The program's own
// writes of a tick do not go through here.
void userTick(Node& node, bool checked);

} // namespace model
