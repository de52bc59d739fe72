#pragma once

#include "permissions.h"

namespace model {

// Ticks every node of the tree.
void checkAll(Permissions& p);
// Clears every node of the tree.
void uncheckAll(Permissions& p);
// Restores the ticks the tree had when it was built: each command to its
// default flag, its level and the root following through CheckParents.
void restoreDefaults(Permissions& p);

} // namespace model
