// Files as both programs read and change them: a whole file or standard input read at once, and the one locked
// writer that changes a file in place. file_io.cpp holds what is the same everywhere; file_io_posix.cpp or
// file_io_win32.cpp, chosen by CMake, what each system does its own way.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace store {

// An admins file is a few kilobytes; anything beyond this is not one, and reading it (or an endless device) whole
// would only exhaust memory.
inline constexpr std::size_t kMaxInputBytes = std::size_t{64} << 20;

// Reads a whole file given by a UTF-8 path, or standard input for "-". On failure returns nullopt and sets `error`
// to a short reason ("no such file", "is a directory", "permission denied", ...).
std::optional<std::string> readInput(const std::string& utf8Path, std::string& error);

// Reads a whole file to change it in place later, as the locked writer takes it: standard input ("-"), a folder, a
// pipe or a device is refused before anything is opened, with the writer's words, so that nothing waits for ever.
std::optional<std::string> readFileToChange(const std::string& utf8Path, std::string& error);

// The longest a writer waits for another writer's lock: a day.
inline constexpr double kMaxWaitSeconds = 86400;

struct InPlaceOptions {
    double waitSeconds = 10; // how long to wait while another writer holds the lock, 0 to kMaxWaitSeconds
    bool create = false;     // a missing file is created (mode 0640 through the umask) instead of refused
};

// What a file has besides its bytes, as the writer reads it before a change and gives it to the new text.
struct Metadata {
    unsigned uid = 0, gid = 0, mode = 0; // POSIX
    unsigned long links = 1;             // names of the file (hard links)
    bool regular = true;                 // not a device, pipe, socket or folder
    bool readOnly = false;               // Windows' read-only attribute
    // POSIX: extended attributes, which carry ACLs and security labels, as name and value. Windows: the file's
    // security descriptor (its access list, self-relative) under "security", and its attributes and creation time
    // under "basic".
    std::vector<std::pair<std::string, std::string>> attributes;
};

// A file held for an in-place change, in the manner of git's lockfile.c. open() refuses anything but a regular file
// before it opens anything, creates FILE.lock exclusively beside the file a symbolic link resolves to, waiting while
// another writer holds it, and only then reads the file; a file with more than one name (hard links) is refused,
// since replacing it would leave the other names with the old text. commit() gives the lock file what the file has
// that its readers may depend on (owner, group, extended attributes such as ACLs and security labels, and mode; on
// Windows its access list, attributes and creation time) before writing a byte, syncs it and renames it over the
// file in one step, which also releases the lock. Without a commit, the destructor removes the lock; so
// does an interruption (Ctrl+C, SIGTERM, SIGHUP, SIGQUIT, SIGPIPE, and an abort). The file is never written over in
// place, and nothing is ever written when something of the file cannot be kept.
class LockedFile {
public:
    LockedFile() = default;
    ~LockedFile();
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    // False with `error` set when the path is not a regular file, the lock is held longer than the wait (naming
    // the lock, its age and how to remove it), or the file cannot be read.
    bool open(const std::string& utf8Path, const InPlaceOptions& options, std::string& error);
    const std::string& text() const { return text_; }
    // Whether the file existed when it was opened (it may be missing when asked to create it).
    bool exists() const { return exists_; }
    // False with `error` set when nothing was written; also when the file was replaced but its folder could not
    // be flushed to disk, which `error` then says.
    bool commit(std::string_view bytes, std::string& error);

private:
    bool takeLock(double waitSeconds, std::string& error);

    std::filesystem::path target_;
    std::filesystem::path lock_;
    int fd_ = -1;
    bool held_ = false;
    bool exists_ = true;
    std::string text_;
    Metadata kept_; // what the file has that the new text must keep
};

// Changes a file in place: `change` gets its text, read under the lock, and returns the new text, or nullopt to
// leave the file alone. A text equal to the old one is not written, so the file's time stamps stay.
using Change = std::function<std::optional<std::string>(std::string_view text)>;
bool changeFile(const std::string& utf8Path, const InPlaceOptions& options, const Change& change, std::string& error);

} // namespace store
