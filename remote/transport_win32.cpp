// The transport program on Windows: started with CreateProcessW, its command line quoted the way
// CommandLineToArgvW reads it back; its standard input an anonymous pipe, so that writing to a program that has
// ended is an error (ERROR_NO_DATA, ERROR_BROKEN_PIPE) and never a crash; its standard output a named pipe read
// with overlapped I/O, so that a server that stops answering ends the session after the idle time; its standard
// error a temporary file, deleted when closed, read once it has ended. Only those three handles are inherited, so
// that sessions started at once from several threads never keep each other's pipes open.
#include "transport.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cwctype>
#include <utility>

namespace remote {
namespace {

// How long a reply may take before the session counts as lost; and how long an ended session's program may take
// to exit before it is ended.
constexpr DWORD kIdleMilliseconds = 30000;

std::wstring wide(const std::string& text)
{
    if (text.empty())
        return {};
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring result(static_cast<std::size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size);
    return result;
}

std::string narrow(const std::wstring& text)
{
    if (text.empty())
        return {};
    const int size =
        ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string result(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), result.data(), size, nullptr,
                          nullptr);
    return result;
}

// The system's words for an error code, on one line.
std::string systemMessage(DWORD code)
{
    wchar_t* text = nullptr;
    const DWORD length =
        ::FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                         nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length > 0 ? std::wstring(text, length) : L"error " + std::to_wstring(code);
    ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.'))
        message.pop_back();
    return narrow(message);
}

// One argument as CommandLineToArgvW (and the C runtime) reads it back: quoted when it is empty or holds a space,
// tab, line break or quote; inside quotes a run of backslashes is doubled before a quote and at the end.
void appendQuoted(std::wstring& line, const std::wstring& argument)
{
    if (!line.empty())
        line += L' ';
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += argument;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(backslashes * 2, L'\\');
    line += L'"';
}

bool isFile(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The program to start: a name with a folder as it is (".exe" added when it has no extension), a bare name looked
// up on PATH alone (not in this program's or the current folder, as CreateProcessW would), and ssh, when PATH has
// none, in Windows' own OpenSSH folder. Empty, with `error` set, when there is none.
std::wstring findProgram(const std::string& name, std::string& error)
{
    const std::wstring program = wide(name);
    const bool hasFolder = program.find_first_of(L"\\/:") != std::wstring::npos;
    const std::size_t base = program.find_last_of(L"\\/:");
    const bool hasExtension = program.find(L'.', base == std::wstring::npos ? 0 : base + 1) != std::wstring::npos;
    if (hasFolder) {
        for (const std::wstring& candidate : {program, program + L".exe"})
            if ((candidate == program || !hasExtension) && isFile(candidate))
                return candidate;
        error = "cannot start " + name + ": there is no such program";
        return {};
    }
    if (const DWORD size = ::GetEnvironmentVariableW(L"PATH", nullptr, 0); size > 0) {
        std::wstring path(size, L'\0');
        path.resize(::GetEnvironmentVariableW(L"PATH", path.data(), size));
        wchar_t found[MAX_PATH * 4];
        const DWORD length = ::SearchPathW(path.c_str(), program.c_str(), L".exe", MAX_PATH * 4, found, nullptr);
        if (length > 0 && length < MAX_PATH * 4 && isFile(found))
            return found;
    }
    std::wstring lower;
    for (const wchar_t c : program)
        lower += static_cast<wchar_t>(std::towlower(c));
    if (lower != L"ssh" && lower != L"ssh.exe") {
        error = "cannot start " + name + ": it is not on PATH";
        return {};
    }
    // This is a 64-bit program, so the system folder is System32 itself, not the SysWOW64 that a 32-bit one sees.
    wchar_t system[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    const std::wstring windows =
        (length > 0 && length < MAX_PATH ? std::wstring(system, length) : L"C:\\Windows\\System32") +
        L"\\OpenSSH\\ssh.exe";
    if (isFile(windows))
        return windows;
    error = "OpenSSH's client (ssh.exe) is missing: it is neither on PATH nor " + narrow(windows) +
        ". Add it in Settings > Apps > Optional features > Add a feature > OpenSSH Client, or name another ssh "
        "program in VANTOREL_ADMINS_SSH";
    return {};
}

class Handle {
public:
    explicit Handle(HANDLE handle = nullptr) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    HANDLE release() { return std::exchange(handle_, nullptr); }
    void reset(HANDLE handle = nullptr)
    {
        if (handle_ != nullptr)
            ::CloseHandle(handle_);
        handle_ = handle == INVALID_HANDLE_VALUE ? nullptr : handle;
    }

private:
    HANDLE handle_;
};

class Win32Process final : public Process {
public:
    Win32Process(HANDLE process, HANDLE input, HANDLE output, HANDLE errors)
        : process_(process),
          input_(input),
          output_(output),
          errors_(errors),
          event_(::CreateEventW(nullptr, TRUE, FALSE, nullptr))
    {
    }
    ~Win32Process() override { finish(); }

    bool send(std::string_view bytes) override
    {
        while (!bytes.empty()) {
            if (!input_)
                return false;
            DWORD put = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1u << 20));
            if (!::WriteFile(input_.get(), bytes.data(), chunk, &put, nullptr) || put == 0)
                return false;
            bytes.remove_prefix(put);
        }
        return true;
    }

    bool receive(char* into, std::size_t size) override
    {
        while (size > 0) {
            if (!output_ || !event_)
                return false;
            OVERLAPPED overlapped{};
            overlapped.hEvent = event_.get();
            ::ResetEvent(event_.get());
            DWORD got = 0;
            const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
            if (!::ReadFile(output_.get(), into, chunk, &got, &overlapped)) {
                if (::GetLastError() != ERROR_IO_PENDING)
                    return false;
                // A server that stops answering ends the session instead of holding it for ever.
                if (::WaitForSingleObject(event_.get(), kIdleMilliseconds) != WAIT_OBJECT_0) {
                    ::CancelIoEx(output_.get(), &overlapped);
                    ::GetOverlappedResult(output_.get(), &overlapped, &got, TRUE);
                    return false;
                }
                if (!::GetOverlappedResult(output_.get(), &overlapped, &got, FALSE))
                    return false;
            }
            if (got == 0)
                return false;
            into += got;
            size -= got;
        }
        return true;
    }

    std::string finish() override
    {
        if (finished_)
            return message_;
        finished_ = true;
        // The end of its input ends the session; ssh then exits on its own, or is ended when it does not.
        input_.reset();
        output_.reset();
        if (process_) {
            if (::WaitForSingleObject(process_.get(), kIdleMilliseconds) != WAIT_OBJECT_0) {
                ::TerminateProcess(process_.get(), 1);
                ::WaitForSingleObject(process_.get(), INFINITE);
            }
            process_.reset();
        }
        LARGE_INTEGER start{};
        if (errors_ && ::SetFilePointerEx(errors_.get(), start, nullptr, FILE_BEGIN)) {
            char buffer[4096];
            DWORD got = 0;
            while (::ReadFile(errors_.get(), buffer, sizeof buffer, &got, nullptr) && got > 0)
                message_.append(buffer, got);
        }
        errors_.reset();
        return message_;
    }

private:
    Handle process_;
    Handle input_;
    Handle output_;
    Handle errors_;
    Handle event_;
    bool finished_ = false;
    std::string message_;
};

} // namespace

std::unique_ptr<Process> startProcess(const std::vector<std::string>& arguments, std::string& error)
{
    const std::wstring program = findProgram(arguments.front(), error);
    if (program.empty())
        return nullptr;
    const auto failed = [&](const char* what) {
        const DWORD code = ::GetLastError();
        error = "cannot start " + narrow(program) + ": " + what + systemMessage(code);
        return nullptr;
    };
    std::wstring line;
    appendQuoted(line, program);
    for (std::size_t i = 1; i < arguments.size(); ++i)
        appendQuoted(line, wide(arguments[i]));

    // This side's ends are not inherited; the program's are, and only they (the list below).
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE inputRead = nullptr;
    HANDLE inputWrite = nullptr;
    if (!::CreatePipe(&inputRead, &inputWrite, &inherited, 1u << 16))
        return failed("no pipe: ");
    Handle childInput(inputRead);
    Handle input(inputWrite);
    ::SetHandleInformation(input.get(), HANDLE_FLAG_INHERIT, 0);

    static std::atomic<unsigned> sessions{0};
    const std::wstring pipeName = L"\\\\.\\pipe\\vantorel-admins-" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
        std::to_wstring(++sessions) + L"-" + std::to_wstring(::GetTickCount64());
    Handle output(::CreateNamedPipeW(
        pipeName.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
        PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1, 0, 1u << 16, 0, nullptr));
    if (!output)
        return failed("no pipe: ");
    Handle childOutput(
        ::CreateFileW(pipeName.c_str(), GENERIC_WRITE, 0, &inherited, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!childOutput)
        return failed("no pipe: ");

    wchar_t folder[MAX_PATH + 1];
    wchar_t name[MAX_PATH + 1];
    const DWORD folderLength = ::GetTempPathW(MAX_PATH + 1, folder);
    if (folderLength == 0 || folderLength > MAX_PATH || ::GetTempFileNameW(folder, L"vad", 0, name) == 0)
        return failed("no temporary file for its messages: ");
    Handle errors(::CreateFileW(name, GENERIC_READ | GENERIC_WRITE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &inherited, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    if (!errors) {
        const DWORD code = ::GetLastError();
        ::DeleteFileW(name);
        ::SetLastError(code);
        return failed("no temporary file for its messages: ");
    }

    HANDLE handles[] = {childInput.get(), childOutput.get(), errors.get()};
    SIZE_T size = 0;
    ::InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::string attributeBytes(size, '\0');
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(attributeBytes.data());
    if (!::InitializeProcThreadAttributeList(attributes, 1, 0, &size))
        return failed("");
    const bool listed = ::UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles,
                                                    sizeof handles, nullptr, nullptr);
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = childInput.get();
    startup.StartupInfo.hStdOutput = childOutput.get();
    startup.StartupInfo.hStdError = errors.get();
    startup.lpAttributeList = attributes;
    // ssh is a console program: it shares this program's console, where it can ask for a password; started from
    // the window, which has none, it gets none rather than a console window of its own flashing up.
    const DWORD flags = EXTENDED_STARTUPINFO_PRESENT | (::GetConsoleWindow() == nullptr ? CREATE_NO_WINDOW : 0);
    PROCESS_INFORMATION started{};
    const BOOL created = listed &&
        ::CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr,
                         &startup.StartupInfo, &started);
    const DWORD code = ::GetLastError();
    ::DeleteProcThreadAttributeList(attributes);
    if (!created) {
        ::SetLastError(code);
        return failed("");
    }
    if (started.hThread != nullptr)
        ::CloseHandle(started.hThread);
    return std::make_unique<Win32Process>(started.hProcess, input.release(), output.release(), errors.release());
}

std::string environment(const char* name)
{
    const std::wstring variable = wide(name);
    const DWORD size = ::GetEnvironmentVariableW(variable.c_str(), nullptr, 0);
    if (size == 0)
        return {};
    std::wstring value(size, L'\0');
    value.resize(::GetEnvironmentVariableW(variable.c_str(), value.data(), size));
    return narrow(value);
}

bool hasTerminal()
{
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) != 0;
}

} // namespace remote
