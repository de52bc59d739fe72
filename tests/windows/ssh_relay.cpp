// Stands where ssh.exe would, for vantorel-admins.exe under Wine, and hands every byte on to this machine's own
// OpenSSH client unchanged. Wine starts a Linux program through CreateProcessW but gives it only handles backed by a
// Unix file descriptor as its standard input and output, which a pipe's are not; a FIFO's are. So the Linux ssh gets
// the FIFOs DIR/in.fifo and DIR/out.fifo (made by the test script) as its standard input and output, this relay
// copies its own pipes to and from them, and ssh's messages, which go to Wine's own standard error, are written to
// DIR/ssh.log (ssh -E) and copied to this relay's standard error once ssh has ended.
// Environment: VANTOREL_RELAY_DIR (DIR, a Unix path), VANTOREL_RELAY_SSH (the Linux ssh, a Windows path).
#include <windows.h>

#include <cstdlib>
#include <string>

namespace {

std::wstring wide(const std::string& text)
{
    std::wstring result(text.size(), L'\0');
    result.resize(static_cast<std::size_t>(::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                                                 result.data(), static_cast<int>(result.size()))));
    return result;
}

void appendQuoted(std::wstring& line, const std::wstring& argument)
{
    line += line.empty() ? L"\"" : L" \"";
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

HANDLE open(const std::wstring& path, DWORD access, BOOL inherited)
{
    SECURITY_ATTRIBUTES attributes{sizeof attributes, nullptr, inherited};
    return ::CreateFileW(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes, OPEN_EXISTING, 0,
                         nullptr);
}

void copy(HANDLE from, HANDLE to)
{
    char buffer[65536];
    DWORD got = 0;
    DWORD put = 0;
    while (::ReadFile(from, buffer, sizeof buffer, &got, nullptr) && got > 0)
        if (!::WriteFile(to, buffer, got, &put, nullptr))
            return;
}

HANDLE toFifo = nullptr;

DWORD WINAPI forward(void*)
{
    copy(::GetStdHandle(STD_INPUT_HANDLE), toFifo);
    ::CloseHandle(toFifo); // the Linux ssh's end of input
    return 0;
}

} // namespace

int main()
{
    const char* dir = std::getenv("VANTOREL_RELAY_DIR");
    const char* ssh = std::getenv("VANTOREL_RELAY_SSH");
    if (dir == nullptr || ssh == nullptr)
        return 255;
    const std::wstring unixDir = wide(dir);
    std::wstring windowsDir = L"Z:" + unixDir;
    for (wchar_t& c : windowsDir)
        c = c == L'/' ? L'\\' : c;
    // Each FIFO is opened for reading and writing first, which does not wait for the other side, so that the ends
    // opened for one direction do not wait either; the Linux ssh then holds the only other end of each.
    toFifo = open(windowsDir + L"\\in.fifo", GENERIC_READ | GENERIC_WRITE, FALSE);
    HANDLE sshInput = open(windowsDir + L"\\in.fifo", GENERIC_READ, TRUE);
    HANDLE both = open(windowsDir + L"\\out.fifo", GENERIC_READ | GENERIC_WRITE, FALSE);
    HANDLE sshOutput = open(windowsDir + L"\\out.fifo", GENERIC_WRITE, TRUE);
    HANDLE fromFifo = open(windowsDir + L"\\out.fifo", GENERIC_READ, FALSE);
    ::CloseHandle(both);
    const std::wstring log = windowsDir + L"\\ssh.log";
    ::DeleteFileW(log.c_str());

    std::wstring line;
    appendQuoted(line, wide(ssh));
    appendQuoted(line, L"-E");
    appendQuoted(line, unixDir + L"/ssh.log");
    int count = 0;
    wchar_t** arguments = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    for (int i = 1; i < count; ++i)
        appendQuoted(line, arguments[i]);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = sshInput;
    startup.hStdOutput = sshOutput;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    // No creation flags: with a console of its own, Wine would give the Linux program /dev/null instead.
    if (!::CreateProcessW(wide(ssh).c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started))
        return 254;
    ::CloseHandle(sshInput);
    ::CloseHandle(sshOutput);
    ::CreateThread(nullptr, 0, forward, nullptr, 0, nullptr);
    copy(fromFifo, ::GetStdHandle(STD_OUTPUT_HANDLE));
    // ssh has ended: its output is closed, its log complete.
    HANDLE messages = ::CreateFileW(log.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (messages != INVALID_HANDLE_VALUE)
        copy(messages, ::GetStdHandle(STD_ERROR_HANDLE));
    ::ExitProcess(0);
}
