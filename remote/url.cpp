#include "url.h"

#include <algorithm>
#include <cctype>

namespace remote {
namespace {

bool isAlpha(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

int hexValue(char c)
{
    if (isDigit(c))
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::string lower(std::string_view text)
{
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(), [](unsigned char c) { return std::tolower(c); });
    return out;
}

// "%41" becomes "A"; a NUL or a "%" without two hex digits refuses the whole part.
std::optional<std::string> percentDecoded(std::string_view text, std::string_view part, std::string& error)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? hexValue(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? hexValue(text[i + 2]) : -1;
        if (high < 0 || low < 0) {
            error = "the " + std::string(part) + " has a \"%\" that is not followed by two hexadecimal digits";
            return std::nullopt;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    if (out.find('\0') != std::string::npos) {
        error = "the " + std::string(part) + " holds a NUL character (%00)";
        return std::nullopt;
    }
    return out;
}

// Bytes that a shown address writes as "%XX": "%" itself, so that it reads back the same, the characters that end
// the part they stand in, and control characters, which must not reach a terminal.
std::string percentEncoded(std::string_view text, std::string_view special)
{
    constexpr std::string_view kHex = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x20 || b == 0x7F || c == '%' || special.find(c) != std::string_view::npos) {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        } else {
            out += c;
        }
    }
    return out;
}

bool isHostName(std::string_view host)
{
    return !host.empty() && host.front() != '-' && std::all_of(host.begin(), host.end(), [](char c) {
        return isAlpha(c) || isDigit(c) || c == '-' || c == '.' || c == '_';
    });
}

bool isIpv6(std::string_view host)
{
    return host.find(':') != std::string_view::npos &&
        std::all_of(host.begin(), host.end(), [](char c) { return hexValue(c) >= 0 || c == ':' || c == '.'; });
}

std::string_view passwordPlace(Scheme scheme)
{
    return scheme == Scheme::Sftp ? "ssh asks for it on the terminal, or log in with a key or the SSH agent"
                                  : "put it in ~/.netrc";
}

} // namespace

bool isUrl(std::string_view text)
{
    const std::size_t colon = text.find("://");
    if (colon == std::string_view::npos || colon == 0 || !isAlpha(text.front()))
        return false;
    return std::all_of(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(colon),
                       [](char c) { return isAlpha(c) || isDigit(c) || c == '+' || c == '-' || c == '.'; });
}

bool isFtpUrl(std::string_view text)
{
    if (!isUrl(text))
        return false;
    const std::string scheme = lower(text.substr(0, text.find("://")));
    return scheme == "ftp" || scheme == "ftps";
}

std::optional<Url> parseUrl(std::string_view text, std::string& error)
{
    if (!isUrl(text)) {
        error = "not an address of the form sftp://[user@]host[:port]/path";
        return std::nullopt;
    }
    const std::size_t schemeEnd = text.find("://");
    const std::string scheme = lower(text.substr(0, schemeEnd));
    Url url;
    if (scheme == "sftp") {
        url.scheme = Scheme::Sftp;
    } else if (scheme == "ftp") {
        url.scheme = Scheme::Ftp;
    } else if (scheme == "ftps") {
        url.scheme = Scheme::Ftps;
    } else {
        error =
            "unknown kind of address \"" + percentEncoded(scheme, "") + "://\"; sftp://, ftp:// and ftps:// are served";
        return std::nullopt;
    }
    const std::string_view rest = text.substr(schemeEnd + 3);
    const std::size_t slash = rest.find('/');
    std::string_view authority = rest.substr(0, slash);
    const std::string_view rawPath = slash == std::string_view::npos ? std::string_view{} : rest.substr(slash);

    if (const std::size_t at = authority.rfind('@'); at != std::string_view::npos) {
        const std::string_view userinfo = authority.substr(0, at);
        if (userinfo.find(':') != std::string_view::npos) {
            error = "a password never goes in the address; " + std::string(passwordPlace(url.scheme));
            return std::nullopt;
        }
        std::optional<std::string> user = percentDecoded(userinfo, "user name", error);
        if (!user)
            return std::nullopt;
        if (user->empty()) {
            error = "the user name before \"@\" is empty";
            return std::nullopt;
        }
        url.user = std::move(*user);
        authority.remove_prefix(at + 1);
    }

    // The text after the host's ":", when there is one.
    std::optional<std::string_view> port;
    if (authority.starts_with('[')) {
        const std::size_t close = authority.find(']');
        if (close == std::string_view::npos) {
            error = "the host's \"[\" is not closed by \"]\"";
            return std::nullopt;
        }
        url.host = authority.substr(1, close - 1);
        if (!isIpv6(url.host)) {
            error = "the host in brackets is not an IPv6 address";
            return std::nullopt;
        }
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty() && !after.starts_with(':')) {
            error = "the host's \"]\" is followed by something other than \":port\"";
            return std::nullopt;
        }
        if (!after.empty())
            port = after.substr(1);
    } else {
        const std::size_t colon = authority.find(':');
        url.host = authority.substr(0, colon);
        if (colon != std::string_view::npos)
            port = authority.substr(colon + 1);
        if (!isHostName(url.host)) {
            error = url.host.empty() ? "the address names no host"
                                     : "the host \"" + percentEncoded(url.host, "") +
                    "\" is not a host name (letters, digits, \"-\", \".\" and \"_\", not starting with \"-\")";
            return std::nullopt;
        }
    }
    if (port) {
        long number = 0;
        const bool digits = !port->empty() && port->size() <= 5 && std::all_of(port->begin(), port->end(), isDigit);
        for (const char c : *port)
            number = digits ? number * 10 + (c - '0') : 0;
        if (!digits || number < 1 || number > 65535) {
            error = "the port is not a number from 1 to 65535";
            return std::nullopt;
        }
        url.port = static_cast<int>(number);
    }

    if (rawPath.empty() || rawPath == "/") {
        error = "the address names no file (sftp://host/path/KZ_admins.txt; /~/ starts at the login's home)";
        return std::nullopt;
    }
    const bool home = rawPath.starts_with("/~/");
    std::optional<std::string> path = percentDecoded(home ? rawPath.substr(3) : rawPath, "path", error);
    if (!path)
        return std::nullopt;
    if (home)
        path->erase(0, path->find_first_not_of('/'));
    if (path->empty() || path->ends_with('/')) {
        error = "the address names a folder, not a file";
        return std::nullopt;
    }
    url.path = std::move(*path);
    return url;
}

std::string shownUrl(const Url& url)
{
    static constexpr std::string_view kSchemes[] = {"sftp://", "ftp://", "ftps://"};
    std::string text(kSchemes[static_cast<int>(url.scheme)]);
    if (!url.user.empty())
        text += percentEncoded(url.user, "@:/") + "@";
    text += url.host.find(':') != std::string::npos ? "[" + url.host + "]" : url.host;
    if (url.port != 0)
        text += ":" + std::to_string(url.port);
    if (url.path.starts_with('/'))
        text += url.path.starts_with("/~/") ? "/%7E" + percentEncoded(url.path.substr(2), "")
                                            : percentEncoded(url.path, "");
    else
        text += "/~/" + percentEncoded(url.path, "");
    return text;
}

std::string withoutPassword(std::string_view text)
{
    if (!isUrl(text))
        return std::string(text);
    const std::size_t start = text.find("://") + 3;
    const std::size_t end = std::min(text.find('/', start), text.size());
    const std::size_t at = text.substr(0, end).rfind('@');
    const std::size_t colon = text.substr(0, end).find(':', start);
    if (at == std::string_view::npos || at < start || colon == std::string_view::npos || colon > at)
        return std::string(text);
    return std::string(text.substr(0, colon)) + std::string(text.substr(at));
}

} // namespace remote
