// Saving an open admins file over another writer's changes, from arbitrary bytes: the text as read is drawn from
// the input's first part, the window's actions (choose, change, add, remove, through the document's API) and
// another writer's byte-level changes from the rest. Save must keep both sides, answered either way.

#include "../tests/properties.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    // The first byte says how much of the rest is the text as read; what follows drives the choices.
    const std::size_t split = std::min<std::size_t>(size - 1, data[0] * 4);
    const std::string asRead(reinterpret_cast<const char*>(data) + 1, split);
    const uint8_t* choices = data + 1 + split;
    const std::size_t count = size - 1 - split;
    std::size_t next = 0;
    const auto pick = [&](std::size_t n) -> std::size_t { return count == 0 ? 0 : choices[next++ % count] % n; };
    if (entry::notAnAdminsFile(asRead))
        return 0;
    doc::AdminsDocument d("fuzz.txt", asRead);
    properties::WindowActions window;
    for (std::size_t n = pick(12); n > 0; --n)
        window.act(d, pick);
    const std::string onDisk = properties::otherWriter(asRead, pick);
    for (const std::string* disk : {&asRead, &onDisk})
        if (const std::string failure = properties::saveKeepsBothSides(d, *disk, window.touched); !failure.empty()) {
            std::fprintf(stderr, "violated: %s\n", failure.c_str());
            std::abort();
        }
    return 0;
}
