// The part of the file layer that is the same on every system: reading whole inputs, following symbolic links,
// and the locked in-place writer, through the calls of file_io_platform.h.
#include "file_io.h"
#include "file_io_platform.h"
#include "file_kind.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <system_error>
#include <thread>

namespace store {
namespace {

namespace fs = std::filesystem;
using platform::toUtf8;

constexpr int kMaxSymlinkHops = 40;
constexpr const char* kNotUtf8 = "the file name is not valid UTF-8";
// Polls for another writer's lock start short, since a writer holds it for milliseconds, and grow to this.
constexpr std::chrono::milliseconds kLongestPoll{50};
// A lock that vanishes just as the wait ends is tried for this many more polls before the wait gives up.
constexpr int kTriesPastTheWait = 3;

std::string reasonFor(int error)
{
    switch (error) {
    case ENOENT:
        return "no such file";
    case ENOTDIR:
        return "a folder in the path is not a folder";
    case EISDIR:
        return "is a directory";
    case EACCES:
    case EPERM:
        return "permission denied";
    case ENOSPC:
        return "no space left on the device";
    case EROFS:
        return "read-only file system";
    case ENAMETOOLONG:
        return "file name too long";
    case EEXIST:
        return "file exists";
    case EFBIG:
        return "file too large";
    default:
        return std::generic_category().message(error);
    }
}

// Reads until the end of the descriptor; false with errno set on a read error, or EFBIG past the cap.
bool readAll(int fd, std::string& bytes)
{
    char buffer[1 << 16];
    for (;;) {
        const long got = platform::readSome(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        if (got == 0)
            return true;
        if (bytes.size() + static_cast<std::size_t>(got) > kMaxInputBytes) {
            errno = EFBIG;
            return false;
        }
        bytes.append(buffer, static_cast<std::size_t>(got));
    }
}

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const long put = platform::writeSome(fd, bytes.data(), bytes.size());
        if (put < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

// The file a path names after following symbolic links; a link's relative target is taken from the link's folder.
bool resolveLinks(fs::path& path, std::string& error)
{
    for (int hop = 0; hop < kMaxSymlinkHops; ++hop) {
        std::error_code ec;
        if (!fs::is_symlink(fs::symlink_status(path, ec)))
            return true;
        const fs::path target = fs::read_symlink(path, ec);
        if (ec) {
            error = "cannot read the symbolic link: " + reasonFor(ec.value());
            return false;
        }
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    error = "too many levels of symbolic links";
    return false;
}

// A file of any size: a file's size is known ahead, so one allocation instead of a string that grows and is copied
// again and again.
void reserveFor(const fs::path& path, std::string& bytes)
{
    std::error_code ec;
    if (const auto size = fs::file_size(path, ec); !ec)
        bytes.reserve(std::min(static_cast<std::size_t>(size), kMaxInputBytes));
}

template <typename Number>
std::string printed(const char* format, Number number)
{
    char text[32];
    std::snprintf(text, sizeof text, format, number);
    return text;
}

std::string age(long long seconds)
{
    const auto in = [](long long n, const char* unit) { return std::to_string(n) + " " + unit + (n == 1 ? "" : "s"); };
    if (seconds < 120)
        return in(std::max(seconds, 0LL), "second");
    if (seconds < 120 * 60)
        return in(seconds / 60, "minute");
    if (seconds < 48 * 3600)
        return in(seconds / 3600, "hour");
    return in(seconds / 86400, "day");
}

} // namespace

std::optional<std::string> readInput(const std::string& utf8Path, std::string& error)
{
    std::string bytes;
    int fd = 0;
    bool complete = false;
    if (utf8Path == "-") {
        complete = readAll(0, bytes);
    } else if (const std::optional<fs::path> path = platform::fromUtf8(utf8Path); !path) {
        error = kNotUtf8;
        return std::nullopt;
    } else if (std::error_code ec; fs::is_directory(*path, ec)) {
        error = "is a directory";
        return std::nullopt;
    } else {
        // A pipe is waited for, as any program that reads one does: `check <(ssh server cat KZ_admins.txt)`.
        reserveFor(*path, bytes);
        fd = platform::openForReading(*path, true);
        complete = fd >= 0 && readAll(fd, bytes);
        const int readError = errno;
        if (fd >= 0)
            platform::closeFile(fd);
        errno = readError;
    }
    if (!complete) {
        error = reasonFor(errno);
        return std::nullopt;
    }
    return bytes;
}

std::optional<std::string> readFileToChange(const std::string& utf8Path, std::string& error)
{
    if (utf8Path == "-") {
        error = "standard input cannot be replaced";
        return std::nullopt;
    }
    if (const std::optional<fs::path> path = platform::fromUtf8(utf8Path))
        if (const std::optional<Metadata> kind = platform::kindOf(*path); kind && !kind->regular) {
            std::error_code ec;
            error = fs::is_directory(*path, ec) ? "is a directory" : "not a regular file";
            return std::nullopt;
        }
    return readInput(utf8Path, error);
}

LockedFile::~LockedFile()
{
    if (fd_ >= 0)
        platform::closeFile(fd_);
    if (held_)
        platform::removeLock(lock_);
}

bool LockedFile::takeLock(double waitSeconds, std::string& error)
{
    using namespace std::chrono;
    const double wait = std::clamp(waitSeconds, 0.0, kMaxWaitSeconds);
    const auto deadline = steady_clock::now() + duration_cast<steady_clock::duration>(duration<double>(wait));
    milliseconds poll{1};
    for (int triesPast = 0;;) {
        fd_ = platform::createLock(lock_);
        if (fd_ >= 0)
            return held_ = true;
        if (const int e = errno; e != EEXIST) {
            error = "cannot create the lock file " + toUtf8(lock_) + ": " + reasonFor(e);
            return false;
        }
        const auto now = steady_clock::now();
        // The lock is looked at only when the wait is over: looking may open it, and an open file cannot be renamed
        // on Windows. Whatever stands at its name holds it, even when its age cannot be read (a symbolic link that
        // points nowhere, say); a lock that is gone by then is tried a few times more.
        if (now >= deadline && (platform::lockExists(lock_) || ++triesPast > kTriesPastTheWait)) {
            const std::optional<long long> seconds = platform::lockAgeSeconds(lock_);
            const int e = errno;
            error = lockHeldMessage(toUtf8(lock_), seconds, reasonFor(e), wait, platform::removalCommand(lock_));
            return false;
        }
        // Every try but the first waits, so that no loop can spin.
        std::this_thread::sleep_for(std::clamp<steady_clock::duration>(deadline - now, milliseconds{1}, poll));
        poll = std::min(poll * 2, kLongestPoll);
    }
}

bool LockedFile::open(const std::string& utf8Path, const InPlaceOptions& options, std::string& error)
{
    const std::optional<fs::path> path = platform::fromUtf8(utf8Path);
    if (!path) {
        error = kNotUtf8;
        return false;
    }
    target_ = *path;
    if (!resolveLinks(target_, error))
        return false;
    // Asked before anything is opened or locked: reading a pipe or a device could wait for ever.
    if (const std::optional<Metadata> kind = platform::kindOf(target_); kind && !kind->regular) {
        std::error_code ec;
        error = fs::is_directory(target_, ec) ? "is a directory" : "not a regular file";
        return false;
    }
    lock_ = target_;
    lock_ += ".lock";
    if (!takeLock(options.waitSeconds, error))
        return false;

    // Read only now, so that no other writer's change is lost in between; what it is is asked again of the open
    // file, which cannot have been swapped for another since.
    reserveFor(target_, text_);
    const int fd = platform::openForReading(target_, false);
    const bool complete = fd >= 0 && platform::metadataOf(fd, kept_) && (!kept_.regular || readAll(fd, text_));
    const int readError = errno;
    if (fd >= 0)
        platform::closeFile(fd);
    exists_ = fd >= 0;
    if (!exists_ && readError == ENOENT && options.create)
        return true;
    if (!complete) {
        error = reasonFor(readError);
        return false;
    }
    if (!kept_.regular) {
        error = "not a regular file";
        return false;
    }
    if (kept_.links > 1) {
        error = "the file has " + std::to_string(kept_.links) +
            " names (hard links); a new text would reach only this one, so nothing was written";
        return false;
    }
    if (kept_.readOnly) {
        error = "the file is read-only, so nothing was written";
        return false;
    }
    return true;
}

bool LockedFile::commit(std::string_view bytes, std::string& error)
{
    // Each step's errno is taken before its message is made, which could change it.
    std::string failed;
    const auto fail = [&failed](int e, const std::string& step) { failed = step + ": " + reasonFor(e); };
    if (std::string what; !platform::giveMetadata(fd_, exists_ ? &kept_ : nullptr, what)) {
        const int e = errno;
        fail(e,
             "cannot give the new text " + what + ", so nothing was written (run it as root or as the file's owner)");
    } else if (!writeAll(fd_, bytes)) {
        const int e = errno;
        fail(e, "cannot write " + toUtf8(lock_));
    } else if (!platform::syncToDisk(fd_)) {
        const int e = errno;
        fail(e, "cannot flush " + toUtf8(lock_) + " to disk");
    }
    if (!platform::closeFile(fd_) && failed.empty()) {
        const int e = errno;
        fail(e, "cannot close " + toUtf8(lock_));
    }
    fd_ = -1;
    if (failed.empty() && !platform::renameLock(lock_, target_)) {
        const int e = errno;
        fail(e, "cannot rename " + toUtf8(lock_) + " over the file");
    }
    if (!failed.empty()) {
        error = failed;
        return false;
    }
    held_ = false;
    // The new name is on the disk once the folder is.
    if (!platform::syncFolder(target_.parent_path())) {
        const int e = errno;
        error = "the file was changed, but its folder could not be flushed to disk: " + reasonFor(e);
        return false;
    }
    return true;
}

std::string lockHeldMessage(const std::string& lock, std::optional<long long> ageSeconds, const std::string& unknownAge,
                            double waitSeconds, const std::string& removal)
{
    const std::string howOld = ageSeconds ? age(*ageSeconds) + " old" : "of unknown age (" + unknownAge + ")";
    return "another writer holds the lock " + lock + ", " + howOld + " (waited " + printed("%g", waitSeconds) +
        " s); if no other writer is running, remove it: " + removal;
}

bool changeFile(const std::string& utf8Path, const InPlaceOptions& options, const Change& change, std::string& error)
{
    LockedFile file;
    if (!file.open(utf8Path, options, error))
        return false;
    const std::optional<std::string> text = change(file.text());
    return !text || *text == file.text() || file.commit(*text, error);
}

namespace {

class LocalFiles final : public FileKind {
public:
    std::optional<std::string> read(const std::string& name, std::string& error) override
    {
        return readInput(name, error);
    }
    bool change(const std::string& name, const InPlaceOptions& options, const Change& change,
                std::string& error) override
    {
        return changeFile(name, options, change, error);
    }
    std::optional<Status> stat(const std::string& name, std::string& error) override
    {
        const std::optional<fs::path> path = platform::fromUtf8(name);
        if (!path) {
            error = kNotUtf8;
            return std::nullopt;
        }
        std::error_code ec;
        const fs::file_status status = fs::status(*path, ec);
        if (status.type() == fs::file_type::not_found)
            return Status{};
        if (ec) {
            error = reasonFor(ec.value());
            return std::nullopt;
        }
        Status result{true, fs::is_regular_file(status), static_cast<unsigned>(status.permissions()) & 07777u, 0};
        if (const std::uintmax_t size = fs::file_size(*path, ec); result.regular && !ec)
            result.size = size;
        return result;
    }
};

} // namespace

FileKind& localFiles()
{
    static LocalFiles files;
    return files;
}

} // namespace store
