// The transport program on POSIX systems: its standard input is one end of a socket pair, so that writing to a
// program that has ended is an error (EPIPE) and never the SIGPIPE that would end this process; its standard output
// a pipe; its standard error an unnamed temporary file, read once it has ended.
#include "transport.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace remote {
namespace {

// How long a reply may take before the session counts as lost.
constexpr int kIdleMilliseconds = 30000;

class PosixProcess final : public Process {
public:
    PosixProcess(pid_t pid, int input, int output, std::FILE* errors)
        : pid_(pid), input_(input), output_(output), errors_(errors)
    {
    }
    ~PosixProcess() override { finish(); }
    PosixProcess(const PosixProcess&) = delete;
    PosixProcess& operator=(const PosixProcess&) = delete;

    bool send(std::string_view bytes) override
    {
        while (!bytes.empty()) {
            const ssize_t put = ::send(input_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (put < 0 && errno == EINTR)
                continue;
            if (put <= 0)
                return false;
            bytes.remove_prefix(static_cast<std::size_t>(put));
        }
        return true;
    }

    bool receive(char* into, std::size_t size) override
    {
        while (size > 0) {
            // A server that stops answering ends the session instead of holding it for ever.
            pollfd ready{output_, POLLIN, 0};
            const int polled = ::poll(&ready, 1, kIdleMilliseconds);
            if (polled < 0 && errno == EINTR)
                continue;
            if (polled <= 0)
                return false;
            const ssize_t got = ::read(output_, into, size);
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            into += got;
            size -= static_cast<std::size_t>(got);
        }
        return true;
    }

    std::string finish() override
    {
        if (pid_ <= 0)
            return message_;
        // The end of its input ends the session; ssh then exits on its own.
        ::close(input_);
        ::close(output_);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {}
        pid_ = -1;
        std::rewind(errors_);
        char buffer[4096];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, errors_)) > 0;)
            message_.append(buffer, got);
        std::fclose(errors_);
        return message_;
    }

private:
    pid_t pid_;
    int input_;
    int output_;
    std::FILE* errors_;
    std::string message_;
};

} // namespace

std::unique_ptr<Process> startProcess(const std::vector<std::string>& arguments, std::string& error)
{
    int input[2];
    int output[2];
    std::FILE* errors = std::tmpfile();
    if (errors == nullptr || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, input) != 0) {
        error = std::string("cannot start ") + arguments.front() + ": " + std::strerror(errno);
        if (errors != nullptr)
            std::fclose(errors);
        return nullptr;
    }
    ::fcntl(fileno(errors), F_SETFD, FD_CLOEXEC);
    if (::pipe2(output, O_CLOEXEC) != 0) {
        error = std::string("cannot start ") + arguments.front() + ": " + std::strerror(errno);
        ::close(input[0]);
        ::close(input[1]);
        std::fclose(errors);
        return nullptr;
    }
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[1], 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    posix_spawn_file_actions_adddup2(&actions, fileno(errors), 2);
    pid_t pid = -1;
    const int failed = ::posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(input[1]);
    ::close(output[1]);
    if (failed != 0) {
        error = "cannot start " + arguments.front() + ": " + std::strerror(failed);
        ::close(input[0]);
        ::close(output[0]);
        std::fclose(errors);
        return nullptr;
    }
    return std::make_unique<PosixProcess>(pid, input[0], output[0], errors);
}

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

bool hasTerminal()
{
    return ::isatty(0) == 1;
}

} // namespace remote
