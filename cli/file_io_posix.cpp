// The file layer on POSIX systems: file names are bytes (UTF-8 by convention) and pass unconverted; the lock is
// removed by a signal handler when the program is interrupted.
#include "file_io.h"
#include "file_io_platform.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {

namespace {

// The one lock this process holds, as the signal handler sees it: a fixed buffer and a flag, since a handler may
// call only async-signal-safe functions (unlink, signal, raise).
char gLockPath[4096];
volatile std::sig_atomic_t gLockArmed = 0;
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE};

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

int openForReading(const fs::path& path)
{
    return ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
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

bool ownerOf(int fd, Owner& owner)
{
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return false;
    owner = {info.st_uid, info.st_gid, info.st_mode & 07777u, S_ISREG(info.st_mode)};
    return true;
}

// The owner first: changing it may clear the set-user-ID and set-group-ID bits, which the mode then restores.
bool giveOwner(int fd, const Owner* owner)
{
    if (owner == nullptr)
        return ::fchmod(fd, 0640) == 0;
    return ::fchown(fd, owner->uid, owner->gid) == 0 && ::fchmod(fd, owner->mode) == 0;
}

int createLock(const fs::path& lock)
{
    installHandlers();
    if (lock.native().size() >= sizeof gLockPath) {
        errno = ENAMETOOLONG;
        return -1;
    }
    const SignalsHeld held;
    const int fd = ::open(lock.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0) {
        std::memcpy(gLockPath, lock.c_str(), lock.native().size() + 1);
        gLockArmed = 1;
    }
    return fd;
}

bool renameLock(const fs::path& lock, const fs::path& target)
{
    {
        const SignalsHeld held;
        if (std::rename(lock.c_str(), target.c_str()) != 0)
            return false;
        gLockArmed = 0;
    }
    // The new name is on the disk once the folder is.
    fs::path folder = target.parent_path();
    if (const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    return true;
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

} // namespace cli
