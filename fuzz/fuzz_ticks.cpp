// Tick states from bytes through the real tree routines: each byte is a user's
// tick of one node (propagated as the tree's node-check handler does) or a bulk
// selection. The tree stays consistent after every step, and the entry of the
// final state reads back as composed.

#include "../tests/properties.h"

#include <bulk_selection.h>
#include <catalogue.h>

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    model::Permissions p;
    model::loadCatalogue(p);
    const int nodes = p.tree.Count();
    void (*bulk[])(model::Permissions&) = {model::checkAll, model::uncheckAll, model::restoreDefaults};
    std::string failure;
    for (size_t i = 0; i < size && failure.empty(); ++i) {
        if (const int op = data[i] % (nodes + 3); op >= nodes) {
            bulk[op - nodes](p);
        } else {
            model::Node& n = *p.tree.item(op + 1);
            model::userTick(n, !n.Checked());
        }
        failure = properties::treeConsistency(p.tree);
    }
    if (failure.empty())
        failure = properties::roundTrip(p, {entry::UserType::Default, "Default", 0, ""});
    if (!failure.empty()) {
        std::fprintf(stderr, "violated: %s\n", failure.c_str());
        std::abort();
    }
    return 0;
}
