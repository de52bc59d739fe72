// An OpenSSH sshd of a test suite's own on 127.0.0.1 and a free port, as the current user: its own host key, a key
// login made for it, and ssh's client files (config, key, known_hosts) all in one test folder, never ~/.ssh.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace sshd_test {

namespace fs = std::filesystem;

inline std::string bytesOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

inline void write(const fs::path& path, std::string_view bytes, unsigned mode = 0644)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
    fs::permissions(path, static_cast<fs::perms>(mode));
}

inline std::string shellQuoted(std::string_view text)
{
    std::string out = "'";
    for (const char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

// Waits, a bounded time, for a condition that another process brings about.
template <typename Condition>
inline bool eventually(Condition condition)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!condition())
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return true;
}

// A port of 127.0.0.1 that nothing listens on now.
inline int freePort()
{
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(s, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(s);
    return ntohs(address.sin_port);
}

// Starts a program; -1 when it cannot be started.
inline pid_t spawn(std::vector<std::string> args)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    return ::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) == 0 ? pid : -1;
}

// Whether the process listens on the port (a bounded wait), rather than ending first.
inline bool listens(int port, pid_t pid)
{
    const bool up = pid > 0 && eventually([&] {
                        int c = ::socket(AF_INET, SOCK_STREAM, 0);
                        sockaddr_in to{};
                        to.sin_family = AF_INET;
                        to.sin_port = htons(static_cast<std::uint16_t>(port));
                        to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
                        const bool connected = ::connect(c, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
                        ::close(c);
                        return connected || ::waitpid(pid, nullptr, WNOHANG) != 0;
                    });
    return up && ::waitpid(pid, nullptr, WNOHANG) == 0;
}

inline void stopProcess(pid_t pid)
{
    if (pid > 0) {
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
}

// Started once for a suite (start() from SetUpTestSuite, stop() from TearDownTestSuite); `skip_` says why it is not
// running when it is not.
struct SshServer {
    static void start()
    {
        dir_ = fs::temp_directory_path() / ("vantorel_sftp_" + std::to_string(std::random_device()()));
        fs::create_directories(dir_);
        if (!fs::exists("/usr/sbin/sshd")) {
            skip_ = "no /usr/sbin/sshd (Debian's openssh-server)";
            return;
        }
        const auto sh = [](const std::string& command) { return std::system(command.c_str()) == 0; };
        if (!sh("ssh-keygen -q -t ed25519 -N '' -f " + shellQuoted((dir_ / "host").string()) +
                " && ssh-keygen -q -t ed25519 -N '' -f " + shellQuoted((dir_ / "user").string()) +
                " && ssh-keygen -lf " + shellQuoted((dir_ / "host.pub").string()) + " > " +
                shellQuoted((dir_ / "fingerprint").string()))) {
            skip_ = "ssh-keygen cannot make keys";
            return;
        }
        // sshd run by root needs its privilege separation folder, which the package's service makes at boot.
        std::error_code ec;
        if (::getuid() == 0)
            fs::create_directories("/run/sshd", ec);
        port_ = freePort();
        const std::string d = dir_.string();
        write(dir_ / "sshd_config",
              "ListenAddress 127.0.0.1\nPort " + std::to_string(port_) + "\nHostKey " + d + "/host\nPidFile " + d +
                  "/sshd.pid\nUsePAM no\nStrictModes no\nAuthorizedKeysFile " + d +
                  "/user.pub\nPasswordAuthentication no\nKbdInteractiveAuthentication no\n"
                  "Subsystem sftp internal-sftp\n");
        write(dir_ / "config",
              "UserKnownHostsFile " + d + "/known_hosts\nGlobalKnownHostsFile /dev/null\nIdentityFile " + d +
                  "/user\nIdentitiesOnly yes\n");
        const std::string hostKey = bytesOf(dir_ / "host.pub");
        write(dir_ / "known_hosts", "[127.0.0.1]:" + std::to_string(port_) + " " + hostKey);
        // Another key where the server's should be, for a key that changed.
        write(dir_ / "changed_hosts", "[127.0.0.1]:" + std::to_string(port_) + " " + bytesOf(dir_ / "user.pub"));
        sshd_ = spawn({"/usr/sbin/sshd", "-D", "-e", "-f", d + "/sshd_config", "-E", d + "/sshd.log"});
        if (!listens(port_, sshd_)) {
            skip_ = "sshd did not start: " + bytesOf(dir_ / "sshd.log");
            sshd_ = -1;
        }
    }
    static void stop()
    {
        stopProcess(sshd_);
        fs::remove_all(dir_);
    }

    static inline fs::path dir_;
    static inline int port_ = 0;
    static inline pid_t sshd_ = -1;
    static inline std::string skip_;

    static fs::path file() { return dir_ / "KZ_admins.txt"; }
    static std::string url() { return "sftp://127.0.0.1:" + std::to_string(port_) + file().string(); }
};

} // namespace sshd_test
