// The file layer on Windows: wide-character file names and command line, so that no code page is assumed; binary
// standard streams; UTF-16 to the console; the lock created new, given the file's access list and attributes, and
// removed by a console control handler.
#include "file_io_platform.h"
#include "streams.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>

#include <fcntl.h>
#include <io.h>
#include <windows.h>
// windows.h must come first.
#include <aclapi.h>
#include <shellapi.h>

namespace store {

namespace {

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

// A name whose full form is MAX_PATH characters or longer reaches the system as an extended-length name
// ("\\?\C:\..."), which Windows takes at any length, whether or not long paths are enabled on the machine.
std::wstring systemName(const std::filesystem::path& path)
{
    const std::wstring& name = path.native();
    std::wstring full(GetFullPathNameW(name.c_str(), 0, nullptr, nullptr), L'\0');
    full.resize(GetFullPathNameW(name.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr));
    if (full.size() < MAX_PATH || full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0)
        return name;
    return full.rfind(L"\\\\", 0) == 0 ? L"\\\\?\\UNC\\" + full.substr(2) : L"\\\\?\\" + full;
}

int lastErrorAsErrno()
{
    switch (GetLastError()) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
        return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
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
    if (!consoleHandle(which, console))
        return std::fwrite(bytes.data(), 1, bytes.size(), stream) == bytes.size() && std::fflush(stream) == 0;
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

// The one lock this process holds, as the console control handler sees it. The handler runs on a thread of its
// own, so the record is changed under a mutex, which also keeps it from running between a rename and the end of
// the record.
std::mutex gLockGuard;
std::wstring gLockPath;

BOOL WINAPI removeLockAndDie(DWORD /*event*/)
{
    const std::lock_guard hold(gLockGuard);
    if (!gLockPath.empty())
        DeleteFileW(gLockPath.c_str()); // gone once the main thread's handle closes, at the latest when it exits
    gLockPath.clear();
    return FALSE; // the next handler, the system's, ends the process
}

// An abort (an uncaught exception ends the program through abort()) runs on the thread that may hold the record's
// mutex, so it only tries it.
extern "C" void removeLockOnAbort(int /*signal*/)
{
    if (gLockGuard.try_lock()) {
        if (!gLockPath.empty())
            DeleteFileW(gLockPath.c_str());
        gLockPath.clear();
        gLockGuard.unlock();
    }
}

} // namespace

std::string ownProgram()
{
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    path.resize(length < path.size() ? length : 0);
    return narrow(path);
}

std::vector<std::string> utf8Arguments(int argc, char** argv)
{
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
    return {argv, argv + argc};
}

void useBinaryStdio()
{
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

bool writeOut(std::string_view bytes)
{
    return writeStream(stdout, STD_OUTPUT_HANDLE, bytes);
}
bool writeErr(std::string_view bytes)
{
    return writeStream(stderr, STD_ERROR_HANDLE, bytes);
}

// _isatty also says yes for the NUL device; only a console has a console mode.
bool stdoutIsTerminal()
{
    HANDLE console = nullptr;
    return consoleHandle(STD_OUTPUT_HANDLE, console);
}

// Consoles before Windows 10 cannot interpret escape sequences and refuse the mode.
bool enableEscapeSequences()
{
    HANDLE console = nullptr;
    DWORD mode = 0;
    return consoleHandle(STD_OUTPUT_HANDLE, console) && GetConsoleMode(console, &mode) != 0 &&
        SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

namespace platform {

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

// The wide-name call bypasses the active code page. Shared for deletion too: a writer that has just renamed its lock
// over the file may still hold it for that rename when the next writer, holding the lock now, reads it. Opening a
// file never waits on Windows.
int openForReading(const fs::path& path, bool /*mayWait*/)
{
    const HANDLE handle =
        CreateFileW(systemName(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = lastErrorAsErrno();
        return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
    if (fd < 0)
        CloseHandle(handle);
    return fd;
}
long readSome(int fd, char* buffer, std::size_t size)
{
    return _read(fd, buffer, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}
long writeSome(int fd, const char* bytes, std::size_t size)
{
    return _write(fd, bytes, static_cast<unsigned>(std::min<std::size_t>(size, 1u << 30)));
}
bool closeFile(int fd)
{
    return _close(fd) == 0;
}
bool syncToDisk(int fd)
{
    return _commit(fd) == 0;
}

namespace {

// Only a file on a disk is an admins file: not a folder, nor a device such as NUL or CON, nor a pipe.
bool isRegular(HANDLE handle, DWORD attributes)
{
    return GetFileType(handle) == FILE_TYPE_DISK && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

} // namespace

std::optional<Metadata> kindOf(const fs::path& path)
{
    // Opened for no access at all, which neither reads nor waits, only to ask what it is.
    const HANDLE handle =
        CreateFileW(systemName(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        errno = lastErrorAsErrno();
        return std::nullopt;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    const bool known = GetFileInformationByHandle(handle, &info) != 0;
    Metadata kind;
    kind.regular = isRegular(handle, known ? info.dwFileAttributes : FILE_ATTRIBUTE_DIRECTORY);
    CloseHandle(handle);
    return kind;
}

bool metadataOf(int fd, Metadata& metadata)
{
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    PSECURITY_DESCRIPTOR security = nullptr;
    if (GetFileInformationByHandle(handle, &info) == 0 ||
        GetFileInformationByHandleEx(handle, FileBasicInfo, &basic, sizeof basic) == 0) {
        errno = lastErrorAsErrno();
        return false;
    }
    metadata = {};
    metadata.links = info.nNumberOfLinks;
    metadata.regular = isRegular(handle, info.dwFileAttributes);
    metadata.readOnly = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
    if (const DWORD error = GetSecurityInfo(handle, SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                            nullptr, nullptr, &security);
        error != ERROR_SUCCESS) {
        SetLastError(error);
        errno = lastErrorAsErrno();
        return false;
    }
    metadata.attributes.emplace_back(
        "security", std::string(static_cast<const char*>(security), GetSecurityDescriptorLength(security)));
    LocalFree(security);
    // Only what the new text must keep: the attributes and the creation time; the other times are its own.
    FILE_BASIC_INFO kept{};
    kept.FileAttributes = basic.FileAttributes & ~FILE_ATTRIBUTE_NORMAL;
    kept.CreationTime = basic.CreationTime;
    metadata.attributes.emplace_back("basic", std::string(reinterpret_cast<const char*>(&kept), sizeof kept));
    return true;
}

// The lock file takes the file's access list as it is, protected from its folder's or inheriting from it as the
// file did, then its attributes and creation time. Written before the text, so that the new file is never readable
// by anyone the old one was not. (The owner stays the writer's: Windows gives a file away only with a privilege.)
bool giveMetadata(int fd, const Metadata* metadata, std::string& what)
{
    if (metadata == nullptr)
        return true; // a new file takes its folder's access list, as every file saved there by an editor does
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
    for (const auto& [name, value] : metadata->attributes) {
        if (name == "security") {
            what = "the file's access list";
            const auto security = reinterpret_cast<PSECURITY_DESCRIPTOR>(const_cast<char*>(value.data()));
            BOOL present = FALSE, defaulted = FALSE;
            PACL dacl = nullptr;
            SECURITY_DESCRIPTOR_CONTROL control = 0;
            DWORD revision = 0;
            if (GetSecurityDescriptorDacl(security, &present, &dacl, &defaulted) == 0 ||
                GetSecurityDescriptorControl(security, &control, &revision) == 0) {
                errno = lastErrorAsErrno();
                return false;
            }
            const SECURITY_INFORMATION which = DACL_SECURITY_INFORMATION |
                ((control & SE_DACL_PROTECTED) != 0 ? PROTECTED_DACL_SECURITY_INFORMATION
                                                    : UNPROTECTED_DACL_SECURITY_INFORMATION);
            if (const DWORD error =
                    SetSecurityInfo(handle, SE_FILE_OBJECT, which, nullptr, nullptr, present ? dacl : nullptr, nullptr);
                error != ERROR_SUCCESS) {
                SetLastError(error);
                errno = lastErrorAsErrno();
                return false;
            }
        } else if (name == "basic") {
            what = "the file's attributes";
            FILE_BASIC_INFO basic{};
            std::memcpy(&basic, value.data(), std::min(value.size(), sizeof basic));
            if (SetFileInformationByHandle(handle, FileBasicInfo, &basic, sizeof basic) == 0) {
                errno = lastErrorAsErrno();
                return false;
            }
        }
    }
    return true;
}

int createLock(const fs::path& lock)
{
    static const bool installed =
        SetConsoleCtrlHandler(removeLockAndDie, TRUE) != 0 && std::signal(SIGABRT, removeLockOnAbort) != SIG_ERR;
    (void)installed;
    const std::lock_guard hold(gLockGuard);
    // Shared for deletion, so that the control handler can remove it while the main thread still writes.
    // Allowed to set its own access list, which it takes from the file it replaces.
    const HANDLE handle =
        CreateFileW(systemName(lock).c_str(), GENERIC_WRITE | READ_CONTROL | WRITE_DAC,
                    FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        // A lock that another writer is removing at this moment refuses access rather than saying it exists.
        errno = lastErrorAsErrno();
        if (errno == EACCES && GetFileAttributesW(systemName(lock).c_str()) != INVALID_FILE_ATTRIBUTES)
            errno = EEXIST;
        return -1;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        DeleteFileW(systemName(lock).c_str());
        errno = EMFILE;
        return -1;
    }
    gLockPath = systemName(lock);
    return fd;
}

bool lockExists(const fs::path& lock)
{
    return GetFileAttributesW(systemName(lock).c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::optional<long long> lockAgeSeconds(const fs::path& lock)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (GetFileAttributesExW(systemName(lock).c_str(), GetFileExInfoStandard, &data) == 0) {
        errno = lastErrorAsErrno();
        return std::nullopt;
    }
    FILETIME now{};
    GetSystemTimeAsFileTime(&now);
    const auto ticks = [](FILETIME t) { return (static_cast<long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return (ticks(now) - ticks(data.ftLastWriteTime)) / 10000000; // 100-nanosecond ticks
}

// MoveFileExW replaces the file in one step, so that it is always either the old text or the new one (ReplaceFileW
// keeps a file's security too, but in several steps, and a writer ended between them leaves neither: the lock file
// has been given all of it before). A file that another program has open for a moment (a virus scanner, a reader
// asking for its time stamp) refuses the rename; as git for Windows does, the rename is tried again for about a
// second before it fails.
bool renameLock(const fs::path& lock, const fs::path& target)
{
    const std::lock_guard hold(gLockGuard);
    for (DWORD pause = 1;; pause *= 2) {
        if (MoveFileExW(systemName(lock).c_str(), systemName(target).c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0)
            break;
        const DWORD error = GetLastError();
        if ((error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) || pause > 512) {
            errno = lastErrorAsErrno();
            return false;
        }
        Sleep(pause);
    }
    gLockPath.clear();
    return true;
}

// The rename itself is written through.
bool syncFolder(const fs::path& /*folder*/)
{
    return true;
}

void removeLock(const fs::path& lock)
{
    const std::lock_guard hold(gLockGuard);
    DeleteFileW(systemName(lock).c_str());
    gLockPath.clear();
}

std::string removalCommand(const fs::path& lock)
{
    return "del \"" + toUtf8(lock) + "\"";
}

} // namespace platform

} // namespace store
