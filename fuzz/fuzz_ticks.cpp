// Tick states from bytes through the real tree routines: each byte is a user's
// tick of one node (propagated as the tree's node-check handler does) or a bulk
// selection. After every step each parent agrees with its children; at the end
// the entry, read as the plugin reads it, grants exactly the ticked commands.

#include "../tests/entry_decoder.h"
#include "../tests/tree_invariant.h"

#include <bulk_selection.h>
#include <catalogue.h>
#include <composer.h>

#include <cstdio>
#include <cstdlib>

namespace {

void require(bool ok, const char* what)
{
    if (ok)
        return;
    std::fprintf(stderr, "violated: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    model::Permissions p;
    model::loadCatalogue(p);
    const int nodes = p.tree.Count();
    for (size_t i = 0; i < size; ++i) {
        const int op = data[i] % (nodes + 3);
        if (op == nodes) {
            model::checkAll(p);
        } else if (op == nodes + 1) {
            model::uncheckAll(p);
        } else if (op == nodes + 2) {
            model::restoreDefaults(p);
        } else {
            model::Node& n = *p.tree.item(op + 1);
            n.setChecked(!n.Checked());
            model::CheckParents(n);
            model::CheckChildren(n);
        }
        require(nodeDisagreeingWithChildren(p.tree).empty(), "a parent is ticked exactly when all its children are");
    }

    const std::string text =
        entry::composeEntry(p.colLevels, p.colCommands, {"Default:", "Default", entry::UserType::Default, 0, ""});
    const decoder::Decoded d = decoder::decodeEntry(text);
    require(d.error.empty(), "the entry is well formed");
    std::set<std::string> ticked;
    for (const model::Node* c : p.colCommands)
        if (c->Checked())
            ticked.insert(c->Key());
    require(d.granted == ticked, "the entry grants exactly the ticked commands");
    return 0;
}
