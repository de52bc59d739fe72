#include "permissions.h"

#include <string>

namespace model {

std::string levelKey(int level)
{
    return "lvl" + std::to_string(level);
}

void Permissions::AddRoot()
{
    Node* root = tree.add("root", "All Commands", {NodeKind::Root});
    if (root != nullptr)
        tree.add(*root, levelKey(0), "Commands with no level", {NodeKind::NoLevel, 0});
}

void Permissions::AddLevel(int level)
{
    Node* root = tree.item(1);
    if (root == nullptr)
        return;
    if (Node* node = tree.add(*root, levelKey(level), "Level " + std::to_string(level), {NodeKind::Level, level}))
        colLevels.push_back(node);
}

void Permissions::AddCommand(int level, std::string_view text, std::string_view key, bool defaultOn, bool isAdmin)
{
    Node* parent = levelNode(level);
    if (parent == nullptr)
        return;
    const NodeFacts facts{NodeKind::Command, level, static_cast<int>(colCommands.size()), defaultOn, isAdmin};
    Node* node = tree.add(*parent, std::string(key), std::string(text), facts);
    if (node == nullptr)
        return;
    node->setBold(true);
    node->setChecked(defaultOn);
    node->setTag(std::string(defaultOn ? "1" : "0") + (isAdmin ? "1" : "0") + std::to_string(level));
    colCommands.push_back(node);
}

Node* Permissions::levelNode(int level) const
{
    // The root's children are the no-level node and the level nodes.
    const Node* root = tree.item(1);
    for (int row = 0; root != nullptr && row < root->Children(); ++row)
        if (root->childAt(row)->facts().level == level)
            return root->childAt(row);
    return nullptr;
}

void CheckParents(Node& node)
{
    // Nodes are told apart by identity. Every text in the tree is distinct, so
    // this is the same test as comparing their display texts.
    if (node.Root() == &node)
        return;
    bool allChecked = true;
    const Node* last = node.LastSibling();
    for (Node* s = node.FirstSibling(); s != nullptr; s = s->Next()) {
        if (!s->Checked()) {
            allChecked = false;
            break;
        }
        if (s == last)
            break;
    }
    Node* p = node.Parent();
    if (allChecked != p->Checked()) {
        p->setChecked(allChecked);
        CheckParents(*p);
    }
}

void CheckChildren(Node& node)
{
    const int n = node.Children();
    Node* c = node.Child();
    for (int i = 0; i < n; ++i) {
        c->setChecked(node.Checked());
        CheckChildren(*c);
        c = c->Next();
    }
}

void userTick(Node& node, bool checked)
{
    node.setChecked(checked);
    CheckParents(node);
    CheckChildren(node);
}

} // namespace model
