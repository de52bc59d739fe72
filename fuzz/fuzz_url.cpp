// The address parser from arbitrary text: it never fails but with a reason, an address it takes is shown in a form
// that reads back as the same address, and neither the reason nor what messages show ever holds a password written
// into the address.
#include <url.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const auto check = [](bool holds, const char* what) {
        if (!holds) {
            std::fprintf(stderr, "violated: %s\n", what);
            std::abort();
        }
    };
    std::string error;
    const std::optional<remote::Url> url = remote::parseUrl(text, error);
    const std::string shownAny = remote::withoutPassword(text);
    const std::size_t start = shownAny.find("://");
    if (remote::isUrl(text)) {
        const std::string authority = shownAny.substr(start + 3, shownAny.find('/', start + 3) - start - 3);
        const std::size_t at = authority.rfind('@');
        check(at == std::string::npos || authority.substr(0, at).find(':') == std::string::npos,
              "a shown address keeps no password");
    } else {
        check(shownAny == text, "a file name is shown as it is");
    }
    if (!url) {
        check(!error.empty(), "a refusal says why");
        return 0;
    }
    check(!url->host.empty() && !url->path.empty() && url->port >= 0 && url->port <= 65535, "an address is whole");
    const std::string shown = remote::shownUrl(*url);
    for (const char c : shown)
        check(static_cast<unsigned char>(c) >= 0x20 && c != 0x7F, "a shown address has no control character");
    std::string again;
    const std::optional<remote::Url> back = remote::parseUrl(shown, again);
    check(back.has_value(), "a shown address reads back");
    check(std::tie(back->scheme, back->user, back->host, back->port, back->path) ==
              std::tie(url->scheme, url->user, url->host, url->port, url->path),
          "a shown address reads back as the same address");
    return 0;
}
