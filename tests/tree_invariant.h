#pragma once

#include <permission_tree.h>

#include <string>

// Every node that has children is ticked exactly when all its children are.
// Returns the text of the first node that disagrees, or an empty text.
inline std::string nodeDisagreeingWithChildren(const model::PermissionTree& tree)
{
    for (int i = 1; i <= tree.Count(); ++i) {
        const model::Node* n = tree.item(i);
        if (n->Children() == 0)
            continue;
        bool all = true;
        for (int r = 0; r < n->Children(); ++r)
            all = all && n->childAt(r)->Checked();
        if (all != n->Checked())
            return n->Text();
    }
    return {};
}
