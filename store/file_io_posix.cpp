// The file layer on POSIX systems: file names are bytes (UTF-8 by convention) and pass unconverted; the lock is
// removed by a signal handler when the program is interrupted; extended attributes are kept on Linux.
#include "file_io_platform.h"
#include "streams.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/xattr.h>
#endif

namespace store {

namespace {

// The one lock this process holds, as the signal handler sees it: a fixed buffer and a flag, since a handler may
// call only async-signal-safe functions (unlink, signal, raise).
char gLockPath[4096];
volatile std::sig_atomic_t gLockArmed = 0;
// SIGABRT too: an uncaught exception ends the program through abort().
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, SIGABRT};

extern "C" void removeLockAndDie(int signal)
{
    if (gLockArmed != 0)
        ::unlink(gLockPath);
    gLockArmed = 0;
    std::signal(signal, SIG_DFL);
    std::raise(signal); // delivered, with the default action, once this handler returns
}

void installHandlers()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    for (const int signal : kCleanupSignals) {
        struct sigaction action {};
        // A signal the program was started to ignore (nohup, a shell's background job) stays ignored.
        if (::sigaction(signal, nullptr, &action) != 0 || action.sa_handler == SIG_IGN)
            continue;
        action.sa_handler = removeLockAndDie;
        sigemptyset(&action.sa_mask);
        action.sa_flags = 0;
        ::sigaction(signal, &action, nullptr);
    }
}

// Holds the cleanup signals back while the lock is created or renamed and the handler's record of it is changed.
class SignalsHeld {
public:
    SignalsHeld()
    {
        sigset_t set;
        sigemptyset(&set);
        for (const int signal : kCleanupSignals)
            sigaddset(&set, signal);
        ::sigprocmask(SIG_BLOCK, &set, &before_);
    }
    ~SignalsHeld()
    {
        const int saved = errno;
        ::sigprocmask(SIG_SETMASK, &before_, nullptr);
        errno = saved;
    }
    SignalsHeld(const SignalsHeld&) = delete;
    SignalsHeld& operator=(const SignalsHeld&) = delete;

private:
    sigset_t before_{};
};

bool writeStream(std::FILE* stream, std::string_view bytes)
{
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() && std::fflush(stream) == 0;
}

} // namespace

std::vector<std::string> utf8Arguments(int argc, char** argv)
{
    return {argv, argv + argc};
}

std::string ownProgram()
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.string();
}

void useBinaryStdio()
{
}

bool writeOut(std::string_view bytes)
{
    return writeStream(stdout, bytes);
}
bool writeErr(std::string_view bytes)
{
    return writeStream(stderr, bytes);
}

bool stdoutIsTerminal()
{
    return ::isatty(STDOUT_FILENO) == 1;
}

bool enableEscapeSequences()
{
    return true; // terminals take them as they are
}

namespace platform {

std::optional<fs::path> fromUtf8(const std::string& utf8)
{
    return fs::path(utf8);
}
std::string toUtf8(const fs::path& path)
{
    return path.native();
}

int openForReading(const fs::path& path, bool mayWait)
{
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (mayWait ? 0 : O_NONBLOCK));
}
long readSome(int fd, char* buffer, std::size_t size)
{
    return ::read(fd, buffer, size);
}
long writeSome(int fd, const char* bytes, std::size_t size)
{
    return ::write(fd, bytes, size);
}
bool closeFile(int fd)
{
    return ::close(fd) == 0;
}
bool syncToDisk(int fd)
{
    return ::fsync(fd) == 0;
}

namespace {

using Attributes = std::vector<std::pair<std::string, std::string>>;

#ifdef __linux__
// Asks twice when the list or a value grows between asking for its size and reading it.
template <class Call>
bool readSized(std::string& out, Call&& call)
{
    for (int attempt = 0; attempt < 4; ++attempt) {
        const ssize_t size = call(nullptr, 0);
        if (size < 0)
            return false;
        out.resize(static_cast<std::size_t>(size));
        const ssize_t got = call(out.data(), out.size());
        if (got >= 0) {
            out.resize(static_cast<std::size_t>(got));
            return true;
        }
        if (errno != ERANGE)
            return false;
    }
    return false;
}

// A file system without extended attributes has none to keep.
bool attributesOf(int fd, Attributes& attributes)
{
    attributes.clear();
    std::string names;
    if (!readSized(names, [fd](char* b, std::size_t n) { return ::flistxattr(fd, b, n); }))
        return errno == ENOTSUP;
    for (std::size_t at = 0; at < names.size(); at = names.find('\0', at) + 1) {
        const std::string name = names.c_str() + at;
        std::string value;
        if (!readSized(value, [&](char* b, std::size_t n) { return ::fgetxattr(fd, name.c_str(), b, n); })) {
            if (errno == ENODATA) // removed in the meantime
                continue;
            return false;
        }
        attributes.emplace_back(name, std::move(value));
    }
    return true;
}

// Gives `fd` exactly the attributes the file had: those it inherited with other values (a folder's default ACL, a
// security label) are set, those the file did not have are removed. An attribute that already has the file's value
// is left alone, so that a label or ACL the new file inherited need not be set by a user who may not set it.
bool giveAttributes(int fd, const Attributes& wanted, std::string& what)
{
    Attributes has;
    if (!attributesOf(fd, has)) {
        what = "the file's extended attributes";
        return false;
    }
    for (const auto& attribute : has) {
        const std::string& name = attribute.first;
        const bool kept = std::any_of(wanted.begin(), wanted.end(), [&](const auto& w) { return w.first == name; });
        if (!kept && ::fremovexattr(fd, name.c_str()) != 0 && errno != ENODATA) {
            what = "the file's lack of the extended attribute " + name;
            return false;
        }
    }
    for (const auto& [name, value] : wanted) {
        const auto same = std::find(has.begin(), has.end(), std::pair(name, value));
        if (same == has.end() && ::fsetxattr(fd, name.c_str(), value.data(), value.size(), 0) != 0) {
            what = "the file's extended attribute " + name;
            return false;
        }
    }
    return true;
}
#else
bool attributesOf(int, Attributes& attributes)
{
    attributes.clear();
    return true;
}
bool giveAttributes(int, const Attributes& wanted, std::string& what)
{
    what = "the file's extended attributes";
    errno = ENOTSUP;
    return wanted.empty();
}
#endif

} // namespace

std::optional<Metadata> kindOf(const fs::path& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    Metadata kind;
    kind.regular = S_ISREG(info.st_mode);
    return kind;
}

bool metadataOf(int fd, Metadata& metadata)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return false;
    metadata.uid = info.st_uid;
    metadata.gid = info.st_gid;
    metadata.mode = info.st_mode & 07777u;
    metadata.links = info.st_nlink;
    metadata.regular = S_ISREG(info.st_mode);
    return !metadata.regular || attributesOf(fd, metadata.attributes);
}

// The owner first: changing it may clear the set-user-ID and set-group-ID bits, which the mode then restores; the
// mode last, which also brings an ACL's mask back to the file's group bits.
bool giveMetadata(int fd, const Metadata* metadata, std::string& what)
{
    if (metadata == nullptr)
        return true; // created with 0640 through the umask, as a new file
    char owner[96];
    std::snprintf(owner, sizeof owner, "the file's owner %u, group %u and mode %03o", metadata->uid, metadata->gid,
                  metadata->mode);
    what = owner;
    if (::fchown(fd, metadata->uid, metadata->gid) != 0)
        return false;
    if (!giveAttributes(fd, metadata->attributes, what))
        return false;
    what = owner;
    return ::fchmod(fd, metadata->mode) == 0;
}

int createLock(const fs::path& lock)
{
    installHandlers();
    if (lock.native().size() >= sizeof gLockPath) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const SignalsHeld held;
    const int fd = ::open(lock.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0640);
    if (fd >= 0) {
        std::memcpy(gLockPath, lock.c_str(), lock.native().size() + 1);
        gLockArmed = 1;
    }
    return fd;
}

bool lockExists(const fs::path& lock)
{
    struct stat info {};
    return ::lstat(lock.c_str(), &info) == 0;
}

// The lock's own age, also for a symbolic link, whose target may be missing.
std::optional<long long> lockAgeSeconds(const fs::path& lock)
{
    struct stat info {};
    if (::lstat(lock.c_str(), &info) != 0)
        return std::nullopt;
    return static_cast<long long>(std::time(nullptr) - info.st_mtime);
}

bool renameLock(const fs::path& lock, const fs::path& target)
{
    const SignalsHeld held;
    if (std::rename(lock.c_str(), target.c_str()) != 0)
        return false;
    gLockArmed = 0;
    return true;
}

bool syncFolder(const fs::path& folder)
{
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    // Some file systems cannot sync a folder and say so; that is no failure of the write.
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL || errno == ENOTSUP || errno == EOPNOTSUPP;
    const int e = errno;
    ::close(fd);
    errno = e;
    return synced;
}

void removeLock(const fs::path& lock)
{
    const SignalsHeld held;
    ::unlink(lock.c_str());
    gLockArmed = 0;
}

std::string removalCommand(const fs::path& lock)
{
    std::string command = "rm '";
    for (const char c : lock.native())
        command += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return command + "'";
}

} // namespace platform

} // namespace store
