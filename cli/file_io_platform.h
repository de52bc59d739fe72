// What the portable part of the file layer (file_io.cpp) asks of the system's own part, file_io_posix.cpp or
// file_io_win32.cpp, chosen by file_io.cmake. Private to the three; everyone else includes file_io.h. Calls that
// fail return -1 or false with errno set, as the C library's do.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace cli::platform {

namespace fs = std::filesystem;

// A UTF-8 file name as the system's path; nullopt when it is not valid UTF-8 and the system needs it converted.
std::optional<fs::path> fromUtf8(const std::string& utf8);
std::string toUtf8(const fs::path& path);

int openForReading(const fs::path& path);
long readSome(int fd, char* buffer, std::size_t size);
long writeSome(int fd, const char* bytes, std::size_t size);
bool closeFile(int fd);
bool syncToDisk(int fd);

// Who owns an open file, and its mode (all zero on Windows, where a new file takes its folder's access rights).
struct Owner {
    unsigned uid = 0;
    unsigned gid = 0;
    unsigned mode = 0;
    bool regular = true; // not a device, pipe or socket, which must never be renamed over
};
bool ownerOf(int fd, Owner& owner);
// Gives the lock file the owner, group and mode of the file it will replace; for a new file (`owner` null) the
// mode 0640. Called before any byte is written, since the text may hold passwords.
bool giveOwner(int fd, const Owner* owner);

// Creates the lock file exclusively, readable by its owner only, and registers it for removal when the program is
// interrupted (Ctrl+C, SIGTERM, SIGHUP). The descriptor, or -1 with errno EEXIST while another writer holds it.
int createLock(const fs::path& lock);
// Renames the lock over the target in one step, then unregisters it; an interruption cannot come in between and
// remove a lock that another writer has taken since.
bool renameLock(const fs::path& lock, const fs::path& target);
// Removes the lock and unregisters it.
void removeLock(const fs::path& lock);
// The shell command that removes a lock left behind, for the message that names it.
std::string removalCommand(const fs::path& lock);

} // namespace cli::platform
