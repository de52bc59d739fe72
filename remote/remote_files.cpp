#include "remote_files.h"

#include "sftp.h"
#include "transport.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <thread>

namespace remote {
namespace {

// A new admins file's mode, as the local writer gives it (less the server's umask).
constexpr std::uint32_t kNewFileMode = 0640;
// Polls for another writer's lock: each poll is a round trip, so they start at a tenth of a second and grow.
constexpr std::chrono::milliseconds kFirstPoll{100};
constexpr std::chrono::milliseconds kLongestPoll{1000};

// A path as the value of an ssh -o option: quoted when it holds a space, at which ssh would split it. On Windows
// with forward slashes, which ssh.exe takes as Windows does, since newer ones read a backslash before some characters
// as an escape.
std::string optionPath(std::string path)
{
#ifdef _WIN32
    std::replace(path.begin(), path.end(), '\\', '/');
#endif
    if (path.find_first_of(" \t") != std::string::npos)
        path = '"' + path + '"';
    return path;
}

void setEnvironment(const char* name, const std::string& value)
{
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

// ssh's standard error as one line for a message: its debug lines and the rows of "@" around its warnings left out,
// the fingerprint of the server's key taken from the debug line that names it.
std::string sshSays(const std::string& text, std::string& hostKey)
{
    std::string said;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string_view line(text.data() + start, end - start);
        start = end + 1;
        if (line.ends_with('\r'))
            line.remove_suffix(1);
        constexpr std::string_view kKey = "debug1: Server host key: ";
        if (line.starts_with(kKey)) {
            hostKey = line.substr(kKey.size());
            continue;
        }
        while (!line.empty() && (line.front() == '@' || line.front() == ' '))
            line.remove_prefix(1);
        while (!line.empty() && (line.back() == '@' || line.back() == ' '))
            line.remove_suffix(1);
        if (line.empty() || line.starts_with("debug"))
            continue;
        said += said.empty() ? "" : " ";
        said += line;
    }
    return said;
}

thread_local HostKeySeen seenHere;

// One SFTP session over ssh, ended when it goes out of scope.
class Session {
public:
    Session(const SshSettings& settings, const Url& url) : settings_(settings), url_(url) { seenHere = {}; }
    ~Session()
    {
        if (process_) {
            std::string hostKey;
            sshSays(process_->finish(), hostKey);
            if (!hostKey.empty())
                seenHere.key = hostKey;
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    bool connect(std::string& error)
    {
        if (url_.scheme != Scheme::Sftp) {
            error = "not an sftp:// address";
            return false;
        }
        process_ = startProcess(sshArguments(settings_, url_, settings_.mayUseTerminal && hasTerminal()), error);
        if (!process_)
            return false;
        sftp_ = std::make_unique<SftpClient>(*process_);
        if (sftp_->start())
            return true;
        error = why("cannot connect");
        return false;
    }

    SftpClient& sftp() { return *sftp_; }

    // A failure in words, after `what`: the server's reason, or, when the connection is gone, ssh's own message, and
    // for a host key that is not known yet, the key and how to accept it.
    std::string why(const std::string& what)
    {
        if (!sftp_->lost())
            return what + ": " + sftp_->error();
        std::string hostKey;
        const std::string said = sshSays(process_->finish(), hostKey);
        std::string message = what + ": " + (said.empty() ? sftp_->error() : said);
        const bool unknown = said.find("host key is known for") != std::string::npos ||
            said.find("authenticity of host") != std::string::npos;
        seenHere = {hostKey, unknown};
        if (unknown && !hostKey.empty())
            message += " The server's host key is " + hostKey +
                "; if that is its key, run again with --accept-new-host-key to add it to known_hosts.";
        return message;
    }

    std::string shown(const std::string& path) const
    {
        Url url = url_;
        url.path = path;
        return shownUrl(url);
    }

    std::string removal(const std::string& path) const
    {
        std::string command = "echo 'rm \"" + path + "\"' | sftp -b -";
        if (url_.port != 0)
            command += " -P " + std::to_string(url_.port);
        return command + " " + (url_.user.empty() ? "" : url_.user + "@") +
            (url_.host.find(':') != std::string::npos ? "[" + url_.host + "]" : url_.host);
    }

private:
    const SshSettings& settings_;
    const Url& url_;
    std::unique_ptr<Process> process_;
    std::unique_ptr<SftpClient> sftp_;
};

bool isRegular(const SftpAttributes& a)
{
    return !a.permissions || (*a.permissions & kTypeMask) == kTypeRegular;
}

std::string notRegular(const SftpAttributes& a)
{
    return a.permissions && (*a.permissions & kTypeMask) == kTypeDirectory ? "is a directory" : "not a regular file";
}

// The file a change replaces: the path, or the file its symbolic link names, whose folder the lock goes in.
std::optional<std::string> followed(Session& session, const std::string& path, std::string& error)
{
    SftpClient& sftp = session.sftp();
    const std::optional<SftpAttributes> link = sftp.lstat(path);
    if (!link) {
        if (sftp.status() == SftpStatus::NoSuchFile)
            return path;
        error = session.why("cannot look at the file");
        return std::nullopt;
    }
    if (!link->permissions || (*link->permissions & kTypeMask) != kTypeSymlink)
        return path;
    std::optional<std::string> target = sftp.realpath(path);
    if (!target)
        error = session.why("cannot follow the symbolic link");
    return target;
}

// The whole of an open file.
std::optional<std::string> readOpen(Session& session, const std::string& path, std::string& error)
{
    SftpClient& sftp = session.sftp();
    const std::optional<std::string> handle = sftp.open(path, kOpenRead, {});
    if (!handle) {
        error = session.why("cannot open the file");
        return std::nullopt;
    }
    std::optional<std::string> text = sftp.readAll(*handle, store::kMaxInputBytes);
    if (!text)
        error = session.why("cannot read the file");
    if (!sftp.close(*handle) && text) {
        error = session.why("cannot close the file");
        return std::nullopt;
    }
    return text;
}

// Holds FILE.lock, created exclusively, for one change, and removes it unless the change renamed it away.
class Lock {
public:
    Lock(Session& session, std::string path) : session_(session), path_(std::move(path)) {}
    ~Lock()
    {
        if (handle_)
            session_.sftp().close(*handle_);
        if (held_)
            session_.sftp().remove(path_);
    }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;

    bool take(double waitSeconds, const SshSettings& settings, std::string& error)
    {
        using namespace std::chrono;
        SftpClient& sftp = session_.sftp();
        const double wait = std::clamp(waitSeconds, 0.0, store::kMaxWaitSeconds);
        const auto deadline = steady_clock::now() + duration_cast<steady_clock::duration>(duration<double>(wait));
        milliseconds poll = kFirstPoll;
        for (bool told = false;;) {
            SftpAttributes attributes;
            attributes.permissions = kNewFileMode;
            handle_ = sftp.open(path_, kOpenWrite | kOpenCreate | kOpenExclusive, attributes);
            if (handle_)
                return held_ = true;
            // Servers answer a name that exists with a general failure: whether the lock stands tells the two apart.
            const std::string refused = session_.why("cannot create the lock file " + session_.shown(path_));
            const std::optional<SftpAttributes> lock = sftp.lstat(path_);
            if (!lock) {
                error = sftp.lost() ? session_.why("cannot create the lock file " + session_.shown(path_)) : refused;
                return false;
            }
            const auto now = steady_clock::now();
            if (now >= deadline) {
                std::optional<long long> age;
                if (lock->times)
                    age = std::max<long long>(0, static_cast<long long>(std::time(nullptr)) - lock->times->second);
                error = store::lockHeldMessage(session_.shown(path_), age, "the server sent no time", wait,
                                               session_.removal(path_));
                return false;
            }
            if (!told && settings.notice)
                settings.notice(session_.shown(path_) + " is held by another writer; waiting for it");
            told = true;
            std::this_thread::sleep_for(std::min<steady_clock::duration>(deadline - now, poll));
            poll = std::min(poll * 2, kLongestPoll);
        }
    }

    const std::string& handle() const { return *handle_; }
    // Once the lock's handle is closed, its text complete.
    bool closeHandle()
    {
        const bool closed = session_.sftp().close(*handle_);
        handle_.reset();
        return closed;
    }
    // Once the lock has become the file.
    void renamed() { held_ = false; }

private:
    Session& session_;
    std::string path_;
    std::optional<std::string> handle_;
    bool held_ = false;
};

// Puts the lock in the file's place: in one step where the server offers it; else the old file moved aside, the
// lock renamed in and the old file removed, the old file put back when the lock cannot take its place.
bool replace(Session& session, Lock& lock, const std::string& lockPath, const std::string& target, bool exists,
             std::string& error)
{
    SftpClient& sftp = session.sftp();
    if (sftp.offers("posix-rename@openssh.com")) {
        if (sftp.posixRename(lockPath, target)) {
            lock.renamed();
            return true;
        }
        if (sftp.lost()) {
            error = session.why("cannot rename the lock over the file");
            return false;
        }
    }
    if (!exists) {
        if (sftp.rename(lockPath, target)) {
            lock.renamed();
            return true;
        }
        error = session.why("cannot rename the lock to the file's name");
        return false;
    }
    const std::string aside = lockPath + ".old";
    if (!sftp.rename(target, aside)) {
        error = session.why("cannot move the file aside to " + session.shown(aside));
        return false;
    }
    if (!sftp.rename(lockPath, target)) {
        error = session.why("cannot rename the lock to the file's name");
        if (!sftp.rename(aside, target))
            error += "; the old text could not be put back either and is at " + session.shown(aside);
        return false;
    }
    lock.renamed();
    if (!sftp.remove(aside)) {
        error = session.why("the file was changed, but the old text stays at " + session.shown(aside));
        return false;
    }
    return true;
}

} // namespace

HostKeySeen lastHostKey()
{
    return seenHere;
}

void useAskpass(SshSettings& settings, const std::string& program)
{
    settings.askpass = program;
    setEnvironment("SSH_ASKPASS", program);
    setEnvironment("SSH_ASKPASS_REQUIRE", "force");
    setEnvironment("VANTOREL_ADMINS_ASKPASS", "1");
}

bool isAskpassRun()
{
    return !environment("VANTOREL_ADMINS_ASKPASS").empty();
}

std::optional<std::string> passwordFromEnvironment(std::string_view question)
{
    std::string lower(question);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    std::string password = environment("VANTOREL_ADMINS_LOGIN_PASSWORD");
    if (password.empty() || lower.find("password") == std::string::npos)
        return std::nullopt;
    return password;
}

SshSettings SshSettings::fromEnvironment()
{
    SshSettings settings;
    if (std::string program = environment("VANTOREL_ADMINS_SSH"); !program.empty())
        settings.program = std::move(program);
    settings.config = environment("VANTOREL_ADMINS_SSH_CONFIG");
    settings.knownHosts = environment("VANTOREL_ADMINS_KNOWN_HOSTS");
    return settings;
}

std::vector<std::string> sshArguments(const SshSettings& settings, const Url& url, bool terminal)
{
    // No X11 or agent forwarding and no terminal for a file transfer; a bounded wait for the connection and for a
    // server that stops answering; ssh's debug level only for the line that names the server's host key.
    std::vector<std::string> arguments{settings.program,
                                       "-x",
                                       "-a",
                                       "-T",
                                       "-o",
                                       "ConnectTimeout=15",
                                       "-o",
                                       "ServerAliveInterval=15",
                                       "-o",
                                       "ServerAliveCountMax=2",
                                       "-o",
                                       "LogLevel=DEBUG1",
                                       "-o",
                                       settings.acceptNewHostKey ? "StrictHostKeyChecking=accept-new"
                                                                 : "StrictHostKeyChecking=yes"};
    // Without a terminal only the asking program can answer a question, and only one try at a password: a wrong
    // one from a script is not worth the server's count of failed logins.
    if (!terminal && settings.askpass.empty())
        arguments.insert(arguments.end(), {"-o", "BatchMode=yes"});
    else if (!terminal)
        arguments.insert(arguments.end(), {"-o", "NumberOfPasswordPrompts=1"});
    if (!settings.config.empty())
        arguments.insert(arguments.end(), {"-F", settings.config});
    // Keys trusted for this session only come first: an accepted new key is written to the first file.
    if (!settings.sessionKnownHosts.empty())
        arguments.insert(arguments.end(),
                         {"-o",
                          "UserKnownHostsFile=" + optionPath(settings.sessionKnownHosts) + " " +
                              optionPath(settings.knownHosts.empty() ? "~/.ssh/known_hosts" : settings.knownHosts)});
    else if (!settings.knownHosts.empty())
        arguments.insert(arguments.end(), {"-o", "UserKnownHostsFile=" + optionPath(settings.knownHosts)});
    if (url.port != 0)
        arguments.insert(arguments.end(), {"-p", std::to_string(url.port)});
    if (!url.user.empty())
        arguments.insert(arguments.end(), {"-l", url.user});
    arguments.insert(arguments.end(), {"-s", "--", url.host, "sftp"});
    return arguments;
}

std::optional<std::string> RemoteFiles::read(const std::string& address, std::string& error)
{
    const std::optional<Url> url = parseUrl(address, error);
    if (!url)
        return std::nullopt;
    Session session(settings_, *url);
    if (!session.connect(error))
        return std::nullopt;
    // Asked before it is opened: opening a pipe on the server could wait for ever.
    const std::optional<SftpAttributes> attributes = session.sftp().stat(url->path);
    if (!attributes) {
        error = session.sftp().status() == SftpStatus::NoSuchFile ? "no such file" : session.why("cannot look at it");
        return std::nullopt;
    }
    if (!isRegular(*attributes)) {
        error = notRegular(*attributes);
        return std::nullopt;
    }
    return readOpen(session, url->path, error);
}

std::optional<store::Status> RemoteFiles::stat(const std::string& address, std::string& error)
{
    const std::optional<Url> url = parseUrl(address, error);
    if (!url)
        return std::nullopt;
    Session session(settings_, *url);
    if (!session.connect(error))
        return std::nullopt;
    const std::optional<SftpAttributes> a = session.sftp().stat(url->path);
    if (!a) {
        if (session.sftp().status() == SftpStatus::NoSuchFile)
            return store::Status{};
        error = session.why("cannot look at it");
        return std::nullopt;
    }
    return store::Status{true, isRegular(*a), a->permissions ? *a->permissions & 07777u : 0u, a->size.value_or(0)};
}

bool RemoteFiles::change(const std::string& address, const store::InPlaceOptions& options, const store::Change& change,
                         std::string& error)
{
    const std::optional<Url> url = parseUrl(address, error);
    if (!url)
        return false;
    Session session(settings_, *url);
    if (!session.connect(error))
        return false;
    SftpClient& sftp = session.sftp();
    const std::optional<std::string> target = followed(session, url->path, error);
    if (!target)
        return false;
    // Asked before the lock is taken, as the local writer does: a folder or a pipe is refused at once.
    if (const std::optional<SftpAttributes> before = sftp.stat(*target); before && !isRegular(*before)) {
        error = notRegular(*before);
        return false;
    }

    const std::string lockPath = *target + ".lock";
    Lock lock(session, lockPath);
    if (!lock.take(options.waitSeconds, settings_, error))
        return false;
    // Read only now, under the lock, so that no other writer's change is lost in between.
    const std::optional<SftpAttributes> kept = sftp.stat(*target);
    const bool exists = kept.has_value();
    if (!exists && !(sftp.status() == SftpStatus::NoSuchFile && options.create)) {
        error = sftp.status() == SftpStatus::NoSuchFile ? "no such file" : session.why("cannot look at the file");
        return false;
    }
    if (exists && !isRegular(*kept)) {
        error = notRegular(*kept);
        return false;
    }
    std::string text;
    if (exists) {
        std::optional<std::string> read = readOpen(session, *target, error);
        if (!read)
            return false;
        text = std::move(*read);
    }
    const std::optional<std::string> next = change(text);
    if (!next || *next == text)
        return true;

    // What the file has that its readers may depend on is given to the lock before its first byte is written.
    if (exists && kept->permissions) {
        SftpAttributes mode;
        mode.permissions = *kept->permissions & 07777u;
        if (!sftp.fsetstat(lock.handle(), mode)) {
            error = session.why("cannot give the new text the file's mode, so nothing was written");
            return false;
        }
    }
    if (exists && kept->owner) {
        const std::optional<SftpAttributes> mine = sftp.fstat(lock.handle());
        if (mine && mine->owner && mine->owner != kept->owner) {
            SftpAttributes owner;
            owner.owner = kept->owner;
            if (!sftp.fsetstat(lock.handle(), owner)) {
                error = session.why("cannot give the new text the file's owner " + std::to_string(kept->owner->first) +
                                    " and group " + std::to_string(kept->owner->second) + ", so nothing was written");
                return false;
            }
        }
    }
    if (!sftp.writeAll(lock.handle(), *next)) {
        error = session.why("cannot write " + session.shown(lockPath));
        return false;
    }
    if (sftp.offers("fsync@openssh.com") && !sftp.fsync(lock.handle())) {
        error = session.why("cannot flush " + session.shown(lockPath) + " to disk");
        return false;
    }
    if (!lock.closeHandle()) {
        error = session.why("cannot close " + session.shown(lockPath));
        return false;
    }
    return replace(session, lock, lockPath, *target, exists, error);
}

} // namespace remote
