#include "bulk_selection.h"

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
    for (size_t i = 0; i < p.colCommands.size() && i < commands.size(); ++i) {
        p.colCommands[i]->setChecked(commands[i]);
        CheckParents(*p.colCommands[i]);
    }
}

} // namespace model
