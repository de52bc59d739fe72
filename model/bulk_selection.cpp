#include "bulk_selection.h"

#include <algorithm>

namespace model {

namespace {

void setAll(Permissions& p, bool checked)
{
    Node* root = p.tree.item(1);
    root->setChecked(checked);
    CheckChildren(*root);
}

} // namespace

void checkAll(Permissions& p)
{
    setAll(p, true);
}

void uncheckAll(Permissions& p)
{
    setAll(p, false);
}

void restoreDefaults(Permissions& p)
{
    // A level without commands has no default to derive; it is cleared.
    for (Node* level : p.colLevels)
        if (level->Children() == 0)
            level->setChecked(false);
    setCommands(p, defaultCommands());
}

void setCommands(Permissions& p, const CommandSet& commands)
{
    const size_t n = std::min(p.colCommands.size(), commands.size());
    for (size_t i = 0; i < n; ++i)
        p.colCommands[i]->setChecked(commands[i]);
    // With every command set, one derivation per level brings the level and,
    // through it, the root in line.
    for (size_t i = 0; i < n; ++i)
        if (i == 0 || p.colCommands[i]->Parent() != p.colCommands[i - 1]->Parent())
            CheckParents(*p.colCommands[i]);
}

} // namespace model
