// Files at ftp:// and ftps:// addresses, as a kind of file of store/. ftp:// asks the server for TLS (AUTH TLS) and
// sends no password unless it is granted; plain FTP only when allowed. ftps:// speaks TLS from the first byte (port
// 990). FTP has no lock: a change uploads beside the file, compares the file with what the edit started from just
// before renaming the upload over it, and reads the result back.
#pragma once

#include "url.h"

#include <file_kind.h>

#include <string>

namespace remote {

struct FtpSettings {
    bool allowPlainFtp = false; // ftp:// without TLS when the server offers none: the password travels in clear
    // "sha256//BASE64": the server's public key, which then stands instead of a certificate the system trusts.
    std::string pinnedKey;
    std::string netrc;    // VANTOREL_ADMINS_NETRC, else ~/.netrc: the login's password for its host
    std::string password; // VANTOREL_ADMINS_LOGIN_PASSWORD: the login's password, before netrc

    static FtpSettings fromEnvironment();
};

// The public key ("sha256//BASE64") of a server whose certificate the last connection of this thread refused as
// not trusted; empty when there was none.
std::string lastUntrustedKey();

class FtpFiles final : public store::FileKind {
public:
    explicit FtpFiles(FtpSettings settings) : settings_(std::move(settings)) {}
    FtpSettings& settings() { return settings_; }

    std::optional<std::string> read(const std::string& address, std::string& error) override;
    // Reads the file, applies the change, uploads the new text to a temporary name beside the file and checks it;
    // reads the file again just before the rename and, when another writer changed it meanwhile, applies the change
    // to that text and starts over (a bounded number of times). Then gives the upload the file's mode where the
    // server allows SITE CHMOD, renames it over the file (or, on servers that refuse that, moves the old file aside
    // first and puts it back on failure), and reads the file back.
    bool change(const std::string& address, const store::InPlaceOptions& options, const store::Change& change,
                std::string& error) override;
    std::optional<store::Status> stat(const std::string& address, std::string& error) override;

private:
    FtpSettings settings_;
};

} // namespace remote
