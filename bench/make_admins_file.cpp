// Writes a generated admins file to standard output: make_admins_file ENTRIES [SEED]. For measuring the whole
// vantorel-admins process on a large file.
#include "admins_text.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 2 || argc > 3) {
        std::fputs("usage: make_admins_file ENTRIES [SEED] > FILE\n", stderr);
        return 2;
    }
    const std::string text =
        bench::makeAdminsText(std::strtoull(argv[1], nullptr, 10),
                              argc == 3 ? static_cast<std::uint32_t>(std::strtoul(argv[2], nullptr, 10)) : 1);
    return std::fwrite(text.data(), 1, text.size(), stdout) == text.size() && std::fflush(stdout) == 0 ? 0 : 1;
}
