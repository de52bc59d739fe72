// Addresses of files on other machines: "sftp://[user@]host[:port]/path", and the same with ftp:// and ftps://.
// Parsing only; nothing here touches the network.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace remote {

enum class Scheme { Sftp, Ftp, Ftps };

struct Url {
    Scheme scheme = Scheme::Sftp;
    std::string user; // empty: the transport's own choice (ssh's config, or the local account)
    std::string host; // without the brackets of an IPv6 address
    int port = 0;     // 0: the transport's own choice (ssh's config, or the scheme's port)
    // The path on the server, percent-decoded: absolute ("/srv/KZ_admins.txt"), or relative to the login's home
    // when the address wrote "/~/" ("cstrike/KZ_admins.txt"), as SFTP servers resolve relative paths.
    std::string path;
};

// Whether an argument is meant as an address ("scheme://...") rather than a local file name.
bool isUrl(std::string_view text);

// Whether an argument is an ftp:// or ftps:// address, which FTP serves rather than SFTP.
bool isFtpUrl(std::string_view text);

// Parses an address. On failure returns nullopt with `error` saying why; the message never repeats a password.
std::optional<Url> parseUrl(std::string_view text, std::string& error);

// The address as messages show it: the scheme, user, host, port and path, never a password.
std::string shownUrl(const Url& url);

// Any argument as messages may show it: an address with its password, if one was written, left out; anything else
// as it is.
std::string withoutPassword(std::string_view text);

} // namespace remote
