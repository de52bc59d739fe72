// The reader from arbitrary bytes: no crash or sanitizer report, and
// formatting keeps what every clean entry grants and is stable. The last
// bytes choose one set or remove of the text (of one of its identities, or a
// new one), which must change that entry alone, and a few edits of the text
// as a file open in the window, each of which must change its entry alone,
// and whose save merges as it must.

#include "../tests/properties.h"

#include <commands.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace {

void check(const std::string& failure)
{
    if (!failure.empty()) {
        std::fprintf(stderr, "violated: %s\n", failure.c_str());
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    check(properties::formatKeepsMeaning(bytes));
    if (size < 8)
        return 0;
    const std::string text(bytes.substr(0, size - 8));
    const uint8_t* c = data + size - 8;
    const entry::ReadResult read = entry::read(text);
    auto asked = properties::EditAsked::drawn([c, k = 0](std::size_t n) mutable { return c[k++ % 7] % n; }, "fuzz");
    if ((c[7] & 1) != 0 && !read.blocks.empty()) { // an identity the text holds
        const entry::Block& b = read.blocks[c[7] / 2 % read.blocks.size()];
        asked.type = b.type;
        asked.identity = b.identity;
    }

    std::string out;
    cli::Console console{
        [&out](std::string_view s) { return out.append(s), true; }, [](std::string_view) { return true; },
        [&text](const std::string&, std::string&) { return std::optional(text); },
        [](const std::string&, const store::InPlaceOptions&, const store::Change&, std::string&) { return false; }};
    if (cli::runCli(asked.arguments(), console) == 0)
        check(properties::editKeepsTheRest(text, out, asked));

    // The same bytes as a file open in the window: an entry chosen, rewritten as an entry the composer wrote from
    // the drawn edit's grants, a new entry and a removal, then saved over the text as read and over itself.
    properties::FileEdits edits(text);
    for (int step = 0; step < 4; ++step) {
        const std::vector<entry::Block> blocks = entry::read(edits.text()).blocks;
        const std::size_t row = c[step + 4] % (blocks.size() + 1);
        const uint8_t action = c[step] % 4;
        if (action == 0 && row < blocks.size() && !blocks[row].hasErrors && !blocks[row].hasComments)
            edits.select(static_cast<int>(row));
        else if (action == 1)
            check(edits.show(entry::composeGranted(model::CommandSet(c[7] * 0x9E3779B97F4A7C15ULL) << c[step],
                                                   {asked.type, "fuzz", 0, {}})));
        else if (action == 2)
            check(edits.append());
        else if (action == 3)
            check(edits.remove());
    }
    const entry::ReadResult edited = entry::read(edits.text());
    const bool twice = std::any_of(edited.blocks.begin(), edited.blocks.end(), [&edited](const entry::Block& b) {
        return entry::entriesOf(edited, b.type, b.identity).size() > 1;
    });
    if (!twice)
        check(properties::mergeKeepsAgreement(text, edits.text(), out));
    return 0;
}
