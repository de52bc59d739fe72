// Stands where ssh.exe would, for vantorel-admins.exe under Wine, and hands every byte on to this machine's own
// OpenSSH client unchanged. Wine starts a Linux program through CreateProcessW but gives it only handles backed by a
// Unix file descriptor as its standard input and output, which a pipe's are not; a FIFO's are. So the Linux ssh gets
// the FIFOs DIR/in.fifo and DIR/out.fifo (made by the test script) as its standard input and output, this relay
// copies its own pipes to and from them, and ssh's messages, which would go to Wine's own standard error, are
// written to DIR/ssh.log (ssh -E) and copied to this relay's standard error once ssh has ended.
// Environment: VANTOREL_RELAY_DIR (DIR, a Unix path), VANTOREL_RELAY_SSH (the Linux ssh, a Windows path).
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

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
    while (::ReadFile(from, buffer, sizeof buffer, &got, nullptr) && got > 0 &&
           ::WriteFile(to, buffer, got, &put, nullptr)) {}
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
    const wchar_t* dir = _wgetenv(L"VANTOREL_RELAY_DIR");
    const wchar_t* ssh = _wgetenv(L"VANTOREL_RELAY_SSH");
    if (dir == nullptr || ssh == nullptr)
        return 255;
    std::wstring windowsDir = L"Z:" + std::wstring(dir);
    std::replace(windowsDir.begin(), windowsDir.end(), L'/', L'\\');
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

    // This relay's arguments exactly as they came, after its own name (quoted or not), with ssh's log file first.
    const wchar_t* arguments = ::GetCommandLineW();
    for (bool quoted = false; *arguments != 0 && (quoted || (*arguments != L' ' && *arguments != L'\t')); ++arguments)
        quoted ^= *arguments == L'"';
    // No leading space: Wine would read it as an empty first argument.
    std::wstring line = L"\"" + std::wstring(ssh) + L"\" -E \"" + dir + L"/ssh.log\"" + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = sshInput;
    startup.hStdOutput = sshOutput;
    startup.hStdError = ::GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION started{};
    // No creation flags: with a console of its own, Wine would give the Linux program /dev/null instead.
    if (!::CreateProcessW(ssh, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &started))
        return 254;
    ::CloseHandle(sshInput);
    ::CloseHandle(sshOutput);
    ::CreateThread(nullptr, 0, forward, nullptr, 0, nullptr);
    copy(fromFifo, ::GetStdHandle(STD_OUTPUT_HANDLE));
    // ssh has ended: its output is closed, its log complete.
    HANDLE messages = open(log, GENERIC_READ, FALSE);
    if (messages != INVALID_HANDLE_VALUE)
        copy(messages, ::GetStdHandle(STD_ERROR_HANDLE));
    ::ExitProcess(0);
}
