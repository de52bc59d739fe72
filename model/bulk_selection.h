#pragma once

#include "catalogue.h"
#include "permissions.h"

namespace model {

// Ticks every node of the tree.
void checkAll(Permissions& p);
// Clears every node of the tree.
void uncheckAll(Permissions& p);
// Ticks exactly the commands of the set, by catalogue position; each level and
// the root follow through CheckParents.
void setCommands(Permissions& p, const CommandSet& commands);
// Restores the ticks the tree had when it was built: each command to its
// default flag, its level and the root following through CheckParents.
void restoreDefaults(Permissions& p);

} // namespace model
