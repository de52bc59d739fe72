#include "permission_tree.h"

#include <algorithm>

namespace model {

Node::Node(PermissionTree& tree, Node* parent, int index, int row, std::string key, std::string text, NodeFacts facts)
    : tree_(tree),
      parent_(parent),
      index_(index),
      row_(row),
      key_(std::move(key)),
      text_(std::move(text)),
      facts_(facts)
{
}

void Node::setChecked(bool checked)
{
    if (checked_ == checked)
        return;
    checked_ = checked;
    if (TreeObserver* o = tree_.observer())
        o->checkedChanged(*this);
}

void Node::setExpanded(bool expanded)
{
    if (expanded_ == expanded)
        return;
    expanded_ = expanded;
    if (TreeObserver* o = tree_.observer())
        o->expandedChanged(*this);
}

void Node::EnsureVisible()
{
    for (Node* p = parent_; p != nullptr; p = p->parent_)
        p->setExpanded(true);
    if (TreeObserver* o = tree_.observer())
        o->ensureVisibleRequested(*this);
}

Node* Node::Next() const
{
    const size_t next = static_cast<size_t>(row_) + 1;
    if (parent_ == nullptr)
        return next < static_cast<size_t>(tree_.topLevelCount()) ? tree_.topLevelAt(row_ + 1) : nullptr;
    return next < parent_->children_.size() ? parent_->children_[next] : nullptr;
}

Node* Node::Root()
{
    Node* n = this;
    while (n->parent_ != nullptr)
        n = n->parent_;
    return n;
}

Node* Node::FirstSibling()
{
    return parent_ == nullptr ? this : parent_->children_.front();
}

Node* Node::LastSibling()
{
    return parent_ == nullptr ? this : parent_->children_.back();
}

Node* PermissionTree::insert(Node* parent, std::string key, std::string text, NodeFacts facts)
{
    if (find(key) != nullptr)
        return nullptr;
    const int row = parent ? parent->Children() : topLevelCount();
    if (observer_)
        observer_->nodeAboutToBeAdded(parent, row);
    auto node =
        std::unique_ptr<Node>(new Node(*this, parent, Count() + 1, row, std::move(key), std::move(text), facts));
    Node* raw = node.get();
    nodes_.push_back(std::move(node));
    if (parent)
        parent->children_.push_back(raw);
    else
        topLevel_.push_back(raw);
    if (observer_)
        observer_->nodeAdded(*raw);
    return raw;
}

Node* PermissionTree::add(std::string key, std::string text, NodeFacts facts)
{
    return insert(nullptr, std::move(key), std::move(text), facts);
}

Node* PermissionTree::add(Node& parent, std::string key, std::string text, NodeFacts facts)
{
    return insert(&parent, std::move(key), std::move(text), facts);
}

Node* PermissionTree::item(int index) const
{
    if (index < 1 || index > Count())
        return nullptr;
    return nodes_[static_cast<size_t>(index - 1)].get();
}

Node* PermissionTree::find(std::string_view key) const
{
    // 97 nodes: a linear search is cheaper than keeping a map in step.
    auto it = std::find_if(nodes_.begin(), nodes_.end(), [key](const auto& n) { return n->Key() == key; });
    return it == nodes_.end() ? nullptr : it->get();
}

} // namespace model
