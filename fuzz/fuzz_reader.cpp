// The reader from arbitrary bytes: no crash or sanitizer report, and formatting keeps what every clean entry grants
// and is stable. The last bytes choose one set or remove of the text (of one of its identities, or a new one), which
// must change that entry alone.

#include "../tests/properties.h"

#include <commands.h>

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
    return 0;
}
