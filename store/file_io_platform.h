// What the portable part of the file layer (file_io.cpp) asks of the system's own part, file_io_posix.cpp or
// file_io_win32.cpp, chosen by CMake. Private to the three; everyone else includes file_io.h. Calls that fail
// return -1 or false with errno set, as the C library's do.
#pragma once

#include "file_io.h"

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace store::platform {

namespace fs = std::filesystem;

// A UTF-8 file name as the system's path; nullopt when it is not valid UTF-8 and the system needs it converted.
std::optional<fs::path> fromUtf8(const std::string& utf8);
std::string toUtf8(const fs::path& path);

// Opens a file for reading. Without `mayWait`, neither the open nor a read ever waits, as they would for a pipe
// without a writer.
int openForReading(const fs::path& path, bool mayWait);
long readSome(int fd, char* buffer, std::size_t size);
long writeSome(int fd, const char* bytes, std::size_t size);
bool closeFile(int fd);
bool syncToDisk(int fd);

// What the path names after symbolic links, asked without opening it: nullopt with errno set when it cannot be
// told (ENOENT when nothing is there); only `regular` is filled in.
std::optional<Metadata> kindOf(const fs::path& path);
// Everything the writer keeps of an open file.
bool metadataOf(int fd, Metadata& metadata);
// Gives the lock file the owner, group, extended attributes and mode of the file it will replace (`metadata`), or
// leaves it as it was created for a new file (null). Called before any byte is written, since the text may hold
// passwords. On failure `what` names what could not be kept ("the file's owner 0, group 4 and mode 640", "the
// file's extended attribute user.x").
bool giveMetadata(int fd, const Metadata* metadata, std::string& what);

// Creates the lock file exclusively with the mode a new admins file gets (0640, through the umask as open(2) applies
// it), and registers it for removal when the program is interrupted. The descriptor, or -1 with errno EEXIST while
// another writer holds it.
int createLock(const fs::path& lock);
// Whether something, even a symbolic link that points nowhere, stands at the lock's name; its age in seconds when
// it can be read, or nullopt with errno set.
bool lockExists(const fs::path& lock);
std::optional<long long> lockAgeSeconds(const fs::path& lock);
// Puts the lock in the target's place in one step, then unregisters it; an interruption cannot come in between and
// remove a lock that another writer has taken since.
bool renameLock(const fs::path& lock, const fs::path& target);
// Flushes a folder's entries to disk once a name in it changed; true where the system cannot do that.
bool syncFolder(const fs::path& folder);
// Removes the lock and unregisters it.
void removeLock(const fs::path& lock);
// The shell command that removes a lock left behind, for the message that names it.
std::string removalCommand(const fs::path& lock);

} // namespace store::platform
