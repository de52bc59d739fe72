// Platform layer of the command-line tool: arguments, standard streams and files, byte-exact on every system.
// file_io.cpp holds what is the same everywhere; file_io_posix.cpp or file_io_win32.cpp, chosen by file_io.cmake,
// what each system does its own way.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {
// The program's arguments as UTF-8 on every system (on Windows from the wide command line, so that non-ASCII
// file names survive whatever the console's code page is).
std::vector<std::string> utf8Arguments(int argc, char** argv);
// Standard input, output and error in binary mode: bytes pass exactly, "\r\n" stays "\r\n".
void useBinaryStdio();
// Writes all bytes to standard output / standard error; false on a write error.
bool writeOut(std::string_view bytes);
bool writeErr(std::string_view bytes);
// Whether standard output is a terminal. Only asks.
bool stdoutIsTerminal();
// Makes the terminal of standard output interpret escape sequences (colour); false where it cannot (consoles
// before Windows 10). Called once, where colour is decided.
bool enableEscapeSequences();
// Reads a whole file given by a UTF-8 path, or standard input for "-". On failure returns nullopt and sets `error`
// to a short reason ("no such file", "is a directory", "permission denied", ...).
std::optional<std::string> readInput(const std::string& utf8Path, std::string& error);

struct InPlaceOptions {
    double waitSeconds = 10; // how long to wait while another writer holds the lock
    bool create = false;     // a missing file is created (mode 0640) instead of refused
};

// A file held for an in-place change, in the manner of git's lockfile.c. open() creates FILE.lock exclusively
// beside the file a symbolic link resolves to, waiting while another writer holds it, and only then reads the file.
// commit() gives the lock file the file's owner, group and mode, writes the new text into it, syncs it and renames
// it over the file, which also releases the lock. Without a commit, the destructor removes the lock; so does an
// interruption (Ctrl+C, SIGTERM, SIGHUP). The file is never written over in place.
class LockedFile {
public:
    LockedFile() = default;
    ~LockedFile();
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;

    // False with `error` set when the lock is held longer than the wait (naming the lock, its age and how to remove
    // it), or the file cannot be read.
    bool open(const std::string& utf8Path, const InPlaceOptions& options, std::string& error);
    const std::string& text() const { return text_; }
    bool commit(std::string_view bytes, std::string& error);

private:
    bool takeLock(double waitSeconds, std::string& error);

    std::filesystem::path target_;
    std::filesystem::path lock_;
    int fd_ = -1;
    bool held_ = false;
    bool exists_ = true;
    unsigned uid_ = 0, gid_ = 0, mode_ = 0;
    std::string text_;
};

// Changes a file in place: `change` gets its text, read under the lock, and returns the new text, or nullopt to
// leave the file alone. A text equal to the old one is not written, so the file's time stamps stay.
using Change = std::function<std::optional<std::string>(std::string_view text)>;
bool changeFile(const std::string& utf8Path, const InPlaceOptions& options, const Change& change, std::string& error);
} // namespace cli
