#include "ftp_files.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <random>
#include <vector>

namespace remote {
namespace {

thread_local std::string untrustedHere;

constexpr long kConnectSeconds = 15;
// A server that sends or takes nothing for this long ends the command.
constexpr long kIdleSeconds = 30;
// How many times a change starts over while another writer keeps changing the file under it.
constexpr int kAttempts = 5;
// A new admins file's mode, as the local writer gives it.
constexpr unsigned kNewFileMode = 0640;
// A key no server has: asking for it makes curl name the key the server showed, and end before any login.
constexpr const char* kNoKey = "sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

// A path as a URL writes it: "/" separates folders; every byte but the unreserved ones as "%XX".
std::string urlEncoded(std::string_view text, bool path = true)
{
    constexpr std::string_view kHex = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto b = static_cast<unsigned char>(c);
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '.' || c == '_' || c == '~' || (path && c == '/');
        if (plain) {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 0xF];
        }
    }
    return out;
}

std::string lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    return out;
}

// What an MLST line says about a file: " type=file;size=12;unix.mode=0644; /path".
store::Status factsOf(std::string_view line)
{
    store::Status status{true, false, 0, 0};
    line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
    line = line.substr(0, line.find(' '));
    while (!line.empty()) {
        const std::size_t end = std::min(line.find(';'), line.size());
        const std::string_view fact = line.substr(0, end);
        line.remove_prefix(std::min(end + 1, line.size()));
        const std::size_t equals = fact.find('=');
        if (equals == std::string_view::npos)
            continue;
        const std::string name = lower(fact.substr(0, equals));
        std::string value(fact.substr(equals + 1));
        if (name == "type")
            status.regular = lower(value) == "file";
        else if (name == "size")
            status.size = std::strtoull(value.c_str(), nullptr, 10);
        else if (name == "unix.mode")
            // Some servers write the mode as "0644", others as Python writes octal, "0o644".
            status.mode = static_cast<unsigned>(
                std::strtoul(value.c_str() + (lower(value).starts_with("0o") ? 2 : 0), nullptr, 8) & 07777u);
    }
    return status;
}

// One FTP control connection, kept open from request to request; every request is a curl transfer on it.
class Connection {
public:
    Connection(const FtpSettings& settings, const Url& url) : settings_(settings), url_(url)
    {
        static std::once_flag once;
        std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
        curl_ = curl_easy_init();
    }
    ~Connection()
    {
        if (curl_ != nullptr)
            curl_easy_cleanup(curl_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // Logs in, and learns the login's home, from which "/~/" paths are made absolute: the commands this side sends
    // (RNFR, MLST) must name the same file whatever folder curl has gone into before.
    bool start(std::string& error)
    {
        if (curl_ == nullptr) {
            error = "cannot start curl";
            return false;
        }
        if (url_.path.find_first_of("\r\n") != std::string::npos) {
            error = "the path holds a line break, which FTP cannot send";
            return false;
        }
        prepare();
        curl_easy_setopt(curl_, CURLOPT_NOBODY, 1L);
        if (!perform("")) {
            error = why("cannot log in");
            return false;
        }
        char* entry = nullptr;
        curl_easy_getinfo(curl_, CURLINFO_FTP_ENTRY_PATH, &entry);
        home_ = entry != nullptr && entry[0] == '/' ? entry : "/";
        return true;
    }

    // The address's file as a path from the server's root.
    std::string path() const
    {
        if (url_.path.starts_with('/'))
            return url_.path;
        return home_ + (home_.ends_with('/') ? "" : "/") + url_.path;
    }

    std::string shown(const std::string& path) const
    {
        Url url = url_;
        url.path = path;
        return shownUrl(url);
    }

    // The whole file; nullopt on failure, with `missing` telling a file that is not there.
    std::optional<std::string> download(const std::string& path, bool* missing = nullptr)
    {
        prepare();
        std::string text;
        tooBig_ = false;
        curl_easy_setopt(curl_, CURLOPT_WRITEFUNCTION, &Connection::onWrite);
        curl_easy_setopt(curl_, CURLOPT_WRITEDATA, &text);
        const bool ok = perform(path);
        tooBig_ = !ok && code_ == CURLE_WRITE_ERROR;
        if (missing != nullptr)
            *missing = code_ == CURLE_REMOTE_FILE_NOT_FOUND;
        if (!ok)
            return std::nullopt;
        return text;
    }

    bool upload(const std::string& path, std::string_view bytes)
    {
        prepare();
        curl_easy_setopt(curl_, CURLOPT_UPLOAD, 1L);
        curl_easy_setopt(curl_, CURLOPT_READFUNCTION, &Connection::onRead);
        curl_easy_setopt(curl_, CURLOPT_READDATA, &bytes);
        curl_easy_setopt(curl_, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(bytes.size()));
        return perform(path);
    }

    // Commands sent as they are, each waiting for its answer; one starting with "*" may be refused.
    bool commands(const std::vector<std::string>& commands)
    {
        prepare();
        curl_slist* list = nullptr;
        for (const std::string& command : commands)
            list = curl_slist_append(list, command.c_str());
        curl_easy_setopt(curl_, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(curl_, CURLOPT_QUOTE, list);
        const bool ok = perform("");
        curl_slist_free_all(list);
        return ok;
    }

    // Whether the last request failed because the server refused one of the commands (rather than the connection).
    bool refused() const { return code_ == CURLE_QUOTE_ERROR; }

    // The server's answer to the last command sent that starts with `command`, a line each.
    std::vector<std::string> answer(std::string_view command) const
    {
        std::vector<std::string> lines;
        bool answering = false;
        for (const std::string& line : transcript_) {
            if (line.starts_with('>')) {
                answering = line.substr(1).starts_with(command);
                if (answering)
                    lines.clear();
            } else if (answering && line.starts_with('<')) {
                lines.push_back(line.substr(1));
            }
        }
        return lines;
    }

    // A failure in words after `what`: curl's reason, and what the user can do about it.
    std::string why(const std::string& what)
    {
        std::string detail = errors_[0] != '\0' ? errors_ : curl_easy_strerror(code_);
        switch (code_) {
        case CURLE_USE_SSL_FAILED:
            detail = "the server offers no TLS (AUTH TLS), and a password is never sent unencrypted; "
                     "--allow-plain-ftp allows plain FTP";
            break;
        case CURLE_PEER_FAILED_VERIFICATION:
            untrustedHere = serverKey();
            if (const std::string& key = untrustedHere; !key.empty())
                detail +=
                    ". The server's public key is " + key + "; if that is its key, run again with --pinned-key " + key;
            break;
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            if (const std::string key = serverKey(); !key.empty())
                detail = "the server's public key is " + key + ", not the one given with --pinned-key";
            break;
        case CURLE_LOGIN_DENIED:
            detail = "the server refused the login (the password comes from VANTOREL_ADMINS_LOGIN_PASSWORD or "
                     "~/.netrc): " +
                lastAnswer();
            break;
        case CURLE_QUOTE_ERROR:
            detail = "the server answered " + lastAnswer();
            break;
        case CURLE_WRITE_ERROR:
            if (tooBig_)
                detail = "larger than " + std::to_string(store::kMaxInputBytes >> 20) + " MB";
            break;
        default:
            break;
        }
        return what + ": " + detail;
    }

private:
    // Every request's options from the start: curl keeps the connection, not the options, between requests.
    void prepare(bool credentials = true)
    {
        curl_easy_reset(curl_);
        errors_[0] = '\0';
        curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, errors_);
        curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl_, CURLOPT_PROTOCOLS_STR, "ftp,ftps");
        curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT, kConnectSeconds);
        curl_easy_setopt(curl_, CURLOPT_SERVER_RESPONSE_TIMEOUT, kIdleSeconds);
        curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl_, CURLOPT_LOW_SPEED_TIME, kIdleSeconds);
        const bool plain = url_.scheme == Scheme::Ftp && settings_.allowPlainFtp;
        curl_easy_setopt(curl_, CURLOPT_USE_SSL, static_cast<long>(plain ? CURLUSESSL_TRY : CURLUSESSL_ALL));
        // TLS 1.2 only: some servers cut uploads short under 1.3, and every upload is read back besides.
        curl_easy_setopt(curl_, CURLOPT_SSLVERSION,
                         static_cast<long>(CURL_SSLVERSION_TLSv1_2) | static_cast<long>(CURL_SSLVERSION_MAX_TLSv1_2));
        const std::string& pin = credentials ? settings_.pinnedKey : std::string(kNoKey);
        if (!pin.empty()) {
            // The pinned key is who the server is; a certificate no authority signed is then no reason to refuse.
            curl_easy_setopt(curl_, CURLOPT_PINNEDPUBLICKEY, pin.c_str());
            curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYPEER, 0L);
            curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYHOST, 0L);
        }
        // The password from the environment with the address's user; else netrc's for the user, who is then named in
        // the address curl is given, since curl looks in netrc only for a login not set as an option.
        if (credentials && passwordGiven()) {
            curl_easy_setopt(curl_, CURLOPT_USERNAME, url_.user.c_str());
            curl_easy_setopt(curl_, CURLOPT_PASSWORD, settings_.password.c_str());
        } else if (credentials) {
            curl_easy_setopt(curl_, CURLOPT_NETRC, static_cast<long>(CURL_NETRC_OPTIONAL));
            curl_easy_setopt(curl_, CURLOPT_NETRC_FILE, settings_.netrc.c_str());
        }
        curl_easy_setopt(curl_, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(curl_, CURLOPT_DEBUGFUNCTION, &Connection::onDebug);
        curl_easy_setopt(curl_, CURLOPT_DEBUGDATA, this);
    }

    bool passwordGiven() const { return !url_.user.empty() && !settings_.password.empty(); }

    bool perform(const std::string& path)
    {
        std::string address = url_.scheme == Scheme::Ftps ? "ftps://" : "ftp://";
        if (!url_.user.empty() && !passwordGiven() && !probing_)
            address += urlEncoded(url_.user, false) + "@";
        address += url_.host.find(':') != std::string::npos ? "[" + url_.host + "]" : url_.host;
        if (url_.port != 0)
            address += ":" + std::to_string(url_.port);
        // curl takes a path from the server's root with its first "/" written as "%2F".
        address += path.empty() ? "/" : "/%2F" + urlEncoded(path.substr(1));
        curl_easy_setopt(curl_, CURLOPT_URL, address.c_str());
        transcript_.clear();
        code_ = curl_easy_perform(curl_);
        return code_ == CURLE_OK;
    }

    // The key the server shows, as --pinned-key takes it; empty when it cannot be learnt. A connection of its own
    // that ends at the key, before any login.
    std::string serverKey()
    {
        const CURLcode code = code_;
        const std::string errors = errors_;
        prepare(false);
        curl_easy_setopt(curl_, CURLOPT_NOBODY, 1L);
        curl_easy_setopt(curl_, CURLOPT_FRESH_CONNECT, 1L);
        curl_easy_setopt(curl_, CURLOPT_FORBID_REUSE, 1L);
        probing_ = true;
        perform("");
        probing_ = false;
        std::string key;
        constexpr std::string_view kHash = "public key hash: ";
        for (const std::string& line : transcript_)
            if (const std::size_t at = line.find(kHash); line.starts_with('*') && at != std::string::npos)
                key = line.substr(at + kHash.size());
        code_ = code;
        std::snprintf(errors_, sizeof errors_, "%s", errors.c_str());
        return key;
    }

    std::string lastAnswer() const
    {
        for (auto line = transcript_.rbegin(); line != transcript_.rend(); ++line)
            if (line->starts_with('<'))
                return line->substr(1);
        return "nothing";
    }

    static std::size_t onWrite(char* data, std::size_t, std::size_t size, void* text)
    {
        auto& into = *static_cast<std::string*>(text);
        if (into.size() + size > store::kMaxInputBytes)
            return 0;
        into.append(data, size);
        return size;
    }

    static std::size_t onRead(char* into, std::size_t, std::size_t size, void* bytes)
    {
        auto& rest = *static_cast<std::string_view*>(bytes);
        const std::size_t n = std::min(size, rest.size());
        std::copy_n(rest.data(), n, into);
        rest.remove_prefix(n);
        return n;
    }

    // The conversation, a line each: "<" what the server said, ">" what was sent (never the password), "*" curl's
    // own notes.
    static int onDebug(CURL*, curl_infotype type, char* data, std::size_t size, void* self)
    {
        const char mark = type == CURLINFO_HEADER_IN ? '<'
            : type == CURLINFO_HEADER_OUT            ? '>'
            : type == CURLINFO_TEXT                  ? '*'
                                                     : '\0';
        if (mark == '\0')
            return 0;
        std::string_view text(data, size);
        while (!text.empty()) {
            const std::size_t end = std::min(text.find('\n'), text.size());
            std::string_view line = text.substr(0, end);
            text.remove_prefix(std::min(end + 1, text.size()));
            if (line.ends_with('\r'))
                line.remove_suffix(1);
            if (mark == '>' && lower(line.substr(0, 5)) == "pass ")
                line = "PASS";
            static_cast<Connection*>(self)->transcript_.push_back(mark + std::string(line));
        }
        return 0;
    }

    const FtpSettings& settings_;
    const Url& url_;
    CURL* curl_ = nullptr;
    CURLcode code_ = CURLE_OK;
    char errors_[CURL_ERROR_SIZE] = {};
    bool tooBig_ = false;
    bool probing_ = false; // no login: the connection ends at the server's key
    std::vector<std::string> transcript_;
    std::string home_ = "/";
};

// What the path stands for: nullopt when the server cannot be asked.
std::optional<store::Status> statusOf(Connection& ftp, const std::string& path, std::string& error)
{
    if (!ftp.commands({"*OPTS MLST type;size;unix.mode;", "*MLST " + path})) {
        error = ftp.why("cannot look at the file");
        return std::nullopt;
    }
    const std::vector<std::string> answer = ftp.answer("MLST ");
    if (!answer.empty() && answer.front().starts_with('2')) {
        for (const std::string& line : answer)
            if (line.starts_with(' '))
                return factsOf(line);
    }
    if (!answer.empty() && answer.front().starts_with("550"))
        return store::Status{};
    // A server without MLST: SIZE answers for files alone.
    if (!ftp.commands({"*SIZE " + path})) {
        error = ftp.why("cannot look at the file");
        return std::nullopt;
    }
    const std::vector<std::string> size = ftp.answer("SIZE ");
    if (size.empty() || !size.front().starts_with("213"))
        return store::Status{};
    return store::Status{true, true, 0, std::strtoull(size.front().c_str() + 3, nullptr, 10)};
}

std::string notRegular(const store::Status&)
{
    return "not a regular file (a folder, or something else that is not a file)";
}

// An upload's temporary file, removed where the server allows unless it became the file.
class Upload {
public:
    Upload(Connection& ftp, std::string path) : ftp_(ftp), path_(std::move(path)) {}
    ~Upload()
    {
        if (!renamed_)
            ftp_.commands({"*DELE " + path_});
    }
    Upload(const Upload&) = delete;
    Upload& operator=(const Upload&) = delete;
    const std::string& path() const { return path_; }
    void renamed() { renamed_ = true; }

private:
    Connection& ftp_;
    std::string path_;
    bool renamed_ = false;
};

std::string temporaryName(const std::string& path)
{
    std::random_device random;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
    return path + ".upload-" + suffix;
}

// Renames the upload over the file; where the server refuses to rename onto a file that exists, the old file is
// moved aside, the upload renamed in and the old file removed, and the old file put back on any failure.
bool replace(Connection& ftp, Upload& upload, const std::string& path, bool exists, std::string& error)
{
    if (ftp.commands({"RNFR " + upload.path(), "RNTO " + path})) {
        upload.renamed();
        return true;
    }
    if (!exists || !ftp.refused()) {
        error = ftp.why("cannot rename the upload " + ftp.shown(upload.path()) + " to the file's name");
        return false;
    }
    const std::string aside = upload.path() + ".old";
    if (!ftp.commands({"RNFR " + path, "RNTO " + aside})) {
        error = ftp.why("cannot move the file aside to " + ftp.shown(aside));
        return false;
    }
    if (!ftp.commands({"RNFR " + upload.path(), "RNTO " + path})) {
        error = ftp.why("cannot rename the upload to the file's name");
        if (!ftp.commands({"RNFR " + aside, "RNTO " + path}))
            error += "; the old text could not be put back either and is at " + ftp.shown(aside);
        return false;
    }
    upload.renamed();
    if (!ftp.commands({"DELE " + aside})) {
        error = ftp.why("the file was changed, but the old text stays at " + ftp.shown(aside));
        return false;
    }
    return true;
}

} // namespace

FtpSettings FtpSettings::fromEnvironment()
{
    FtpSettings settings;
    settings.netrc = environment("VANTOREL_ADMINS_NETRC");
    if (settings.netrc.empty())
        settings.netrc = environment("HOME") + "/.netrc";
    settings.password = environment("VANTOREL_ADMINS_LOGIN_PASSWORD");
    return settings;
}

std::optional<store::Status> FtpFiles::stat(const std::string& address, std::string& error)
{
    const std::optional<Url> url = parseUrl(address, error);
    if (!url)
        return std::nullopt;
    Connection ftp(settings_, *url);
    if (!ftp.start(error))
        return std::nullopt;
    return statusOf(ftp, ftp.path(), error);
}

std::string lastUntrustedKey()
{
    return untrustedHere;
}

std::optional<std::string> FtpFiles::read(const std::string& address, std::string& error)
{
    untrustedHere.clear();
    const std::optional<Url> url = parseUrl(address, error);
    if (!url)
        return std::nullopt;
    Connection ftp(settings_, *url);
    if (!ftp.start(error))
        return std::nullopt;
    const std::optional<store::Status> status = statusOf(ftp, ftp.path(), error);
    if (!status)
        return std::nullopt;
    if (!status->exists || !status->regular) {
        error = status->exists ? notRegular(*status) : "no such file";
        return std::nullopt;
    }
    std::optional<std::string> text = ftp.download(ftp.path());
    if (!text)
        error = ftp.why("cannot read the file");
    return text;
}

bool FtpFiles::change(const std::string& address, const store::InPlaceOptions& options, const store::Change& change,
                      std::string& error)
{
    const std::optional<Url> url = parseUrl(address, error);
    if (!url)
        return false;
    Connection ftp(settings_, *url);
    if (!ftp.start(error))
        return false;
    const std::string path = ftp.path();
    const std::optional<store::Status> status = statusOf(ftp, path, error);
    if (!status)
        return false;
    if (status->exists && !status->regular) {
        error = notRegular(*status);
        return false;
    }
    if (!status->exists && !options.create) {
        error = "no such file";
        return false;
    }
    // The text the edit starts from; nullopt while there is no file.
    std::optional<std::string> text;
    if (status->exists) {
        text = ftp.download(path);
        if (!text) {
            error = ftp.why("cannot read the file");
            return false;
        }
    }
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        const std::optional<std::string> next = change(text.value_or(""));
        if (!next || (text && *next == *text))
            return true;
        Upload upload(ftp, temporaryName(path));
        if (!ftp.upload(upload.path(), *next)) {
            error = ftp.why("cannot upload the new text to " + ftp.shown(upload.path()));
            return false;
        }
        const std::optional<std::string> uploaded = ftp.download(upload.path());
        if (!uploaded || *uploaded != *next) {
            error = uploaded ? "the upload to " + ftp.shown(upload.path()) + " arrived with " +
                    std::to_string(uploaded->size()) + " of " + std::to_string(next->size()) + " bytes"
                             : ftp.why("cannot read back the upload " + ftp.shown(upload.path()));
            return false;
        }
        // FTP has no lock: the file is compared with the text the edit started from just before the rename, and
        // another writer's change meanwhile gets the edit applied to it instead.
        bool missing = false;
        std::optional<std::string> now = ftp.download(path, &missing);
        if (!now && !missing) {
            error = ftp.why("cannot read the file again before replacing it");
            return false;
        }
        if (now != text) {
            text = std::move(now);
            if (!text && !options.create) {
                error = "the file was removed on the server while it was being changed";
                return false;
            }
            continue;
        }
        const unsigned mode = status->exists ? status->mode : kNewFileMode;
        if (mode != 0) {
            char octal[16];
            std::snprintf(octal, sizeof octal, "%03o", mode);
            // Servers that do not allow SITE CHMOD give the file their own mode; that is no reason to stop.
            ftp.commands({"*SITE CHMOD " + std::string(octal) + " " + upload.path()});
        }
        if (!replace(ftp, upload, path, text.has_value(), error))
            return false;
        const std::optional<std::string> written = ftp.download(path);
        if (!written || *written != *next) {
            error = written
                ? "the file on the server does not hold the text written: " + std::to_string(written->size()) +
                    " bytes instead of " + std::to_string(next->size())
                : ftp.why("the file was replaced, but cannot be read back");
            return false;
        }
        return true;
    }
    error = "another writer kept changing the file on the server (" + std::to_string(kAttempts) +
        " tries); nothing was written";
    return false;
}

} // namespace remote
