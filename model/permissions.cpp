#include "permissions.h"

#include <string>

namespace model {

void Permissions::AddLevel(int level)
{
    const std::string n = std::to_string(level);
    tree.add("root", Relationship::Child, "lvl" + n, "Level " + n);
    colLevels.push_back(tree.item(tree.Count()));
}

void Permissions::AddCommand(int level, std::string_view text, std::string_view key, bool defaultOn, bool isAdmin)
{
    const std::string n = std::to_string(level);
    tree.add("lvl" + n, Relationship::Child, std::string(key), std::string(text));
    Node* node = tree.item(tree.Count());
    node->setBold(true);
    node->setChecked(defaultOn);
    node->setTag(std::string(defaultOn ? "1" : "0") + (isAdmin ? "1" : "0") + n);
    colCommands.push_back(node);
}

void CheckParents(Node& node)
{
    if (node.Root()->Text() == node.Text())
        return;
    bool allChecked = true;
    const std::string& lastText = node.LastSibling()->Text();
    for (Node* s = node.FirstSibling(); s != nullptr; s = s->Next()) {
        if (!s->Checked()) {
            allChecked = false;
            break;
        }
        if (s->Text() == lastText)
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
