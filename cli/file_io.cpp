// One portable path through std::filesystem and the file-descriptor calls that both systems' C libraries offer;
// the Windows sections cover only what Windows does differently: wide-character file names, text-mode streams,
// the console, and renaming over an existing file.
#include "file_io.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <sys/stat.h>

#ifdef _WIN32
#include <io.h>
#include <windows.h>
// windows.h must come first.
#include <shellapi.h>
#else
#include <unistd.h>
#endif

namespace cli {
namespace {

namespace fs = std::filesystem;

// An admins file is a few kilobytes; anything beyond this is not one, and reading it (or an endless device) whole
// would only exhaust memory.
constexpr std::size_t kMaxInputBytes = std::size_t{64} << 20;
constexpr int kMaxSymlinkHops = 40;
constexpr int kTemporaryNameTries = 100;
constexpr const char* kNotUtf8 = "the file name is not valid UTF-8";

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
    default:
        return std::generic_category().message(error);
    }
}

#ifdef _WIN32

// Conversions through the system's own routines: they never throw, and a name that is not valid UTF-8 is refused
// rather than turned into the name of some other file.
std::optional<std::wstring> widen(std::string_view utf8)
{
    if (utf8.empty())
        return std::wstring();
    const int length = static_cast<int>(utf8.size());
    const int size = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, nullptr, 0);
    if (size <= 0)
        return std::nullopt;
    std::wstring wide(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), length, wide.data(), size);
    return wide;
}

std::string narrow(std::wstring_view wide, UINT codePage = CP_UTF8)
{
    if (wide.empty())
        return {};
    const int length = static_cast<int>(wide.size());
    const int size = WideCharToMultiByte(codePage, 0, wide.data(), length, nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<std::size_t>(std::max(size, 0)), '\0');
    WideCharToMultiByte(codePage, 0, wide.data(), length, text.data(), size, nullptr, nullptr);
    return text;
}

std::optional<fs::path> fromUtf8(const std::string& utf8)
{
    std::optional<std::wstring> wide = widen(utf8);
    if (!wide)
        return std::nullopt;
    return fs::path(std::move(*wide));
}
std::string toUtf8(const fs::path& path)
{
    return narrow(path.native());
}

int lastErrorAsErrno()
{
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
        return EACCES;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    default:
        return EIO;
    }
}

// The C library's text mode is per descriptor; the wide-name calls bypass the active code page.
int openForReading(const fs::path& path)
{
    return _wopen(path.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}
int openExclusively(const fs::path& path)
{
    return _wopen(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}
bool copyPermissions(int /*fd*/, const fs::path& /*from*/)
{
    // The new file takes its access rights from its folder, as every file saved there by an editor does.
    return true;
}
bool syncToDisk(int fd)
{
    return _commit(fd) == 0;
}

// The C library's rename refuses an existing target on Windows; MoveFileExW replaces it in one step on the same
// volume, and the temporary file is always in the target's folder.
bool renameOver(const fs::path& from, const fs::path& to)
{
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0)
        return true;
    errno = lastErrorAsErrno();
    return false;
}

bool consoleHandle(DWORD which, HANDLE& handle)
{
    DWORD mode = 0;
    handle = GetStdHandle(which);
    return handle != INVALID_HANDLE_VALUE && handle != nullptr && GetConsoleMode(handle, &mode) != 0;
}

// A console shows text in its own code page, so UTF-8 goes to it as UTF-16; files and pipes get the bytes.
bool writeStream(std::FILE* stream, DWORD which, std::string_view bytes)
{
    HANDLE console = nullptr;
    if (!consoleHandle(which, console)) {
        return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() && std::fflush(stream) == 0;
    }
    if (std::fflush(stream) != 0)
        return false;
    // Text that is not UTF-8 is shown byte by byte as Latin-1 rather than dropped.
    std::optional<std::wstring> wide = widen(bytes);
    if (!wide) {
        wide.emplace();
        for (const char c : bytes)
            wide->push_back(static_cast<wchar_t>(static_cast<unsigned char>(c)));
    }
    DWORD written = 0;
    return wide->empty() ||
        WriteConsoleW(console, wide->data(), static_cast<DWORD>(wide->size()), &written, nullptr) != 0;
}

#else

// File names are bytes here, and UTF-8 by convention: they pass unconverted.
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
int openExclusively(const fs::path& path)
{
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
}
// Set while the file is still empty. fchmod is not subject to the umask, so the new file gets exactly the target's
// bits; a file that did not exist yet keeps the umask's.
bool copyPermissions(int fd, const fs::path& from)
{
    struct stat info {};
    if (::stat(from.c_str(), &info) != 0)
        return errno == ENOENT;
    return ::fchmod(fd, info.st_mode & 07777) == 0;
}
bool syncToDisk(int fd)
{
    return ::fsync(fd) == 0;
}
bool renameOver(const fs::path& from, const fs::path& to)
{
    return std::rename(from.c_str(), to.c_str()) == 0;
}

bool writeStream(std::FILE* stream, std::string_view bytes)
{
    return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() && std::fflush(stream) == 0;
}

#endif

// Reads until the end of the descriptor; false with errno set on a read error, or EFBIG past the cap.
bool readAll(int fd, std::string& bytes)
{
    // A file's size is known ahead: one allocation instead of a string that
    // grows and is copied again and again.
    if (struct stat info{}; ::fstat(fd, &info) == 0 && info.st_size > 0)
        bytes.reserve(std::min(static_cast<std::size_t>(info.st_size), kMaxInputBytes));
    char buffer[1 << 16];
    for (;;) {
        const auto got = ::read(fd, buffer, sizeof buffer);
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
    constexpr std::size_t kChunk = std::size_t{1} << 20; // Windows' write takes an unsigned int count
    while (!bytes.empty()) {
        const auto put = ::write(fd, bytes.data(), static_cast<unsigned>(std::min(bytes.size(), kChunk)));
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

// A temporary file beside the target, created exclusively so that nothing already there is ever opened.
int createTemporary(const fs::path& target, fs::path& temporary)
{
    std::random_device seed;
    std::mt19937_64 random(seed());
    const fs::path folder = target.parent_path();
    for (int attempt = 0; attempt < kTemporaryNameTries; ++attempt) {
        char suffix[32];
        std::snprintf(suffix, sizeof suffix, ".%016llx.tmp", static_cast<unsigned long long>(random()));
        fs::path name(".");
        name += target.filename().native();
        name += suffix;
        temporary = folder / name;
        const int fd = openExclusively(temporary);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

} // namespace

std::vector<std::string> utf8Arguments(int argc, char** argv)
{
#ifdef _WIN32
    // The C library built argv in the active code page, which loses the characters outside it; the process's wide
    // command line has them all. It stands in for argv when it is the same list seen through that code page, so
    // that arguments a caller made up itself are taken as they are.
    int count = 0;
    if (wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count); wide != nullptr) {
        std::vector<std::string> arguments;
        bool same = count == argc;
        for (int i = 0; same && i < count; ++i) {
            same = i == 0 || narrow(wide[i], CP_ACP) == argv[i];
            arguments.push_back(narrow(wide[i]));
        }
        LocalFree(wide);
        if (same)
            return arguments;
    }
#endif
    return {argv, argv + argc};
}

void useBinaryStdio()
{
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
#endif
}

#ifdef _WIN32
bool writeOut(std::string_view bytes)
{
    return writeStream(stdout, STD_OUTPUT_HANDLE, bytes);
}
bool writeErr(std::string_view bytes)
{
    return writeStream(stderr, STD_ERROR_HANDLE, bytes);
}

bool stdoutIsTerminal()
{
    // _isatty also says yes for the NUL device. Colour needs the console's escape-sequence processing, which
    // consoles before Windows 10 do not have.
    HANDLE console = nullptr;
    DWORD mode = 0;
    return consoleHandle(STD_OUTPUT_HANDLE, console) && GetConsoleMode(console, &mode) != 0 &&
        SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}
#else
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
#endif

std::optional<std::string> readInput(const std::string& utf8Path, std::string& error)
{
    std::string bytes;
    if (utf8Path == "-") {
        if (!readAll(0, bytes)) {
            error = errno == EFBIG ? "input too large" : reasonFor(errno);
            return std::nullopt;
        }
        return bytes;
    }
    const std::optional<fs::path> name = fromUtf8(utf8Path);
    if (!name) {
        error = kNotUtf8;
        return std::nullopt;
    }
    const fs::path& path = *name;
    std::error_code ec;
    if (fs::is_directory(path, ec)) {
        error = "is a directory";
        return std::nullopt;
    }
    const int fd = openForReading(path);
    if (fd < 0) {
        error = reasonFor(errno);
        return std::nullopt;
    }
    const bool complete = readAll(fd, bytes);
    const int readError = errno;
    ::close(fd);
    if (!complete) {
        error = readError == EFBIG ? "file too large" : reasonFor(readError);
        return std::nullopt;
    }
    return bytes;
}

bool replaceFile(const std::string& utf8Path, std::string_view bytes, std::string& error)
{
    const std::optional<fs::path> name = fromUtf8(utf8Path);
    if (!name) {
        error = kNotUtf8;
        return false;
    }
    fs::path target = *name;
    if (!resolveLinks(target, error))
        return false;
    std::error_code ec;
    if (fs::is_directory(target, ec)) {
        error = "is a directory";
        return false;
    }
    fs::path temporary;
    const int fd = createTemporary(target, temporary);
    if (fd < 0) {
        error = "cannot create a temporary file in " + toUtf8(target.parent_path()) + ": " + reasonFor(errno);
        return false;
    }
    std::string failed;
    const auto fail = [&failed](const char* step) { failed = std::string(step) + ": " + reasonFor(errno); };
    if (!copyPermissions(fd, target))
        fail("cannot copy the permissions");
    else if (!writeAll(fd, bytes))
        fail("cannot write");
    else if (!syncToDisk(fd))
        fail("cannot flush to disk");
    if (::close(fd) != 0 && failed.empty())
        fail("cannot close");
    if (failed.empty() && !renameOver(temporary, target))
        fail("cannot replace the file");
    if (failed.empty())
        return true;
    error = failed;
    fs::remove(temporary, ec);
    return false;
}

} // namespace cli
