#pragma once

#include "permission_tree.h"

#include <cstddef>
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
// level. The tag is the one place a command node keeps these; each is read
// from it character by character when asked, as the composer asks for each
// many times per entry.
class CommandTag {
public:
    explicit CommandTag(const std::string& tag) : tag_(tag) {}
    // Any default flag but "0", a missing one included, is on.
    bool defaultOn() const { return tag_.empty() || tag_[0] != '0'; }
    // Only "1" makes an admin command.
    bool isAdmin() const { return tag_.size() > 1 && tag_[1] == '1'; }
    // The number written from the third character on: an optional minus sign
    // and the digits up to the first other character; 0 when there is none or
    // it does not fit an int. The composer asks for it once per command of an
    // entry, so it is read here digit by digit rather than by a general parser.
    int level() const
    {
        std::size_t i = 2;
        const bool negative = i < tag_.size() && tag_[i] == '-';
        long long value = 0;
        bool any = false;
        for (i += negative ? 1 : 0; i < tag_.size() && tag_[i] >= '0' && tag_[i] <= '9'; ++i, any = true) {
            value = value * 10 + (tag_[i] - '0');
            if (value > 2147483648LL)
                return 0;
        }
        // The loop stops past 2147483648, so only that one value, unsigned, is out of reach.
        return any && (negative || value < 2147483648LL) ? static_cast<int>(negative ? -value : value) : 0;
    }
    // The level is written as exactly "0".
    bool levelIsZero() const { return tag_.size() == 3 && tag_[2] == '0'; }

private:
    const std::string& tag_;
};
inline CommandTag commandTag(const Node& command)
{
    return CommandTag(command.Tag());
}

} // namespace model
