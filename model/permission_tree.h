#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace model {

class PermissionTree;

// Told about every change of the tree that a view of it must follow. The tree
// knows nothing of any toolkit; a window adapter turns these calls into its own
// notifications. Every method has an empty default.
class TreeObserver {
public:
    virtual ~TreeObserver() = default;
    // A node is about to become child number `row` (0-based) of `parent`, or a
    // top-level node when `parent` is null.
    virtual void nodeAboutToBeAdded(const class Node* /*parent*/, int /*row*/) {}
    virtual void nodeAdded(const class Node& /*node*/) {}
    // Called only when the tick really changed.
    virtual void checkedChanged(const class Node& /*node*/) {}
    virtual void expandedChanged(const class Node& /*node*/) {}
    virtual void ensureVisibleRequested(const class Node& /*node*/) {}
};

// What a node of the permission tree is.
enum class NodeKind : std::uint8_t { Root, NoLevel, Level, Command };

// What the program knows of a node, given when the node is added and never
// changed. Keys, texts and tags are for people and files; the program asks these.
struct NodeFacts {
    NodeKind kind = NodeKind::Root;
    int level = 0;          // of a level node, of a command, and 0 for the no-level node
    int command = -1;       // a command's position in its list (colCommands), from 0
    bool defaultOn = false; // a command ticked by default
    bool isAdmin = false;   // an admin command
};

// One node of the permission tree. Nodes are created by the tree only and are
// never removed, so pointers to them stay valid as long as the tree lives.
class Node {
public:
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    const std::string& Key() const { return key_; }
    const std::string& Text() const { return text_; }
    int Index() const { return index_; }
    const NodeFacts& facts() const { return facts_; }

    bool Checked() const { return checked_; }
    // Writing the tick from the program raises no node-check event; observers
    // only learn that the tick changed, so that a view can repaint the node.
    void setChecked(bool checked);

    const std::string& Tag() const { return tag_; }
    void setTag(std::string tag) { tag_ = std::move(tag); }

    bool Bold() const { return bold_; }
    void setBold(bool bold) { bold_ = bold; }

    bool Expanded() const { return expanded_; }
    void setExpanded(bool expanded);

    // Expands every ancestor and asks the view to scroll the node into view.
    void EnsureVisible();

    int Children() const { return static_cast<int>(children_.size()); }
    Node* Child() const { return children_.empty() ? nullptr : children_.front(); }
    Node* childAt(int row) const { return children_[static_cast<size_t>(row)]; }
    Node* Next() const;
    Node* Parent() const { return parent_; }
    Node* Root();
    Node* FirstSibling();
    Node* LastSibling();
    // Position among the parent's children (or among the top-level nodes), from 0.
    int row() const { return row_; }

private:
    friend class PermissionTree;
    Node(PermissionTree& tree, Node* parent, int index, int row, std::string key, std::string text, NodeFacts facts);

    PermissionTree& tree_;
    Node* parent_;
    std::vector<Node*> children_;
    int index_;
    int row_;
    std::string key_;
    std::string text_;
    std::string tag_;
    NodeFacts facts_;
    bool checked_ = false;
    bool bold_ = false;
    bool expanded_ = false;
};

// A plain in-memory tree owning its nodes in creation order: node i (from 1)
// is the i-th node created.
class PermissionTree {
public:
    PermissionTree() = default;
    PermissionTree(const PermissionTree&) = delete;
    PermissionTree& operator=(const PermissionTree&) = delete;

    // Adds a top-level node, or a node as the last child of `parent`. Returns
    // null, and adds nothing, when the key is taken.
    Node* add(std::string key, std::string text, NodeFacts facts);
    Node* add(Node& parent, std::string key, std::string text, NodeFacts facts);

    int Count() const { return static_cast<int>(nodes_.size()); }
    // The node with that index, from 1; null outside 1..Count.
    Node* item(int index) const;
    Node* find(std::string_view key) const;

    int topLevelCount() const { return static_cast<int>(topLevel_.size()); }
    Node* topLevelAt(int row) const { return topLevel_[static_cast<size_t>(row)]; }

    // One observer at a time; null removes it.
    void setObserver(TreeObserver* observer) { observer_ = observer; }
    TreeObserver* observer() const { return observer_; }

private:
    Node* insert(Node* parent, std::string key, std::string text, NodeFacts facts);

    std::vector<std::unique_ptr<Node>> nodes_;
    std::vector<Node*> topLevel_;
    TreeObserver* observer_ = nullptr;
};

} // namespace model
