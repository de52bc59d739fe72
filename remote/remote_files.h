// Files on other machines, named by address (sftp://[user@]host[:port]/path), as a kind of file of store/: read
// whole, changed under the same lock name the local writer takes, asked about. SFTP runs over OpenSSH's own client,
// so its configuration, agent, known hosts and login methods are the user's own.
#pragma once

#include "url.h"

#include <file_kind.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace remote {

// How ssh is started. Every file it reads is its own choice unless set here, which scripts and tests do.
struct SshSettings {
    std::string program = "ssh"; // VANTOREL_ADMINS_SSH
    std::string config;          // VANTOREL_ADMINS_SSH_CONFIG: ssh -F, instead of ~/.ssh/config
    std::string knownHosts;      // VANTOREL_ADMINS_KNOWN_HOSTS: instead of ~/.ssh/known_hosts
    // Host keys trusted for this run only: a file read before known_hosts, and the one an accepted new key goes to.
    std::string sessionKnownHosts;
    bool acceptNewHostKey = false; // an unknown host key is added to known_hosts instead of refused
    bool mayUseTerminal = true;    // false in a window, whose terminal, if any, nobody watches
    // The program ssh runs to ask for a password where no terminal can (SSH_ASKPASS), set by useAskpass().
    std::string askpass;
    // Told once when a change waits for another writer's lock.
    std::function<void(const std::string&)> notice;

    static SshSettings fromEnvironment();
};

// The server's host key as the last connection of this thread showed it ("ED25519 SHA256:..."), and whether it
// was refused as not yet known.
struct HostKeySeen {
    std::string key;
    bool unknown = false;
};
HostKeySeen lastHostKey();

// Makes `program` the one ssh asks for passwords when there is no terminal, for every ssh this process starts:
// ssh runs it with the question as its argument and VANTOREL_ADMINS_ASKPASS set, and takes the first line it
// prints. Call before any thread starts.
void useAskpass(SshSettings& settings, const std::string& program);

// The answer of a program started as the asking program, for a question ssh asked (isAskpassRun()): the login
// password from VANTOREL_ADMINS_LOGIN_PASSWORD for a password question, else nothing (the login method is skipped).
bool isAskpassRun();
std::optional<std::string> passwordFromEnvironment(std::string_view question);

// ssh's arguments for an SFTP session with the address's host: never a password, which ssh asks for itself.
std::vector<std::string> sshArguments(const SshSettings& settings, const Url& url, bool terminal);

class RemoteFiles final : public store::FileKind {
public:
    explicit RemoteFiles(SshSettings settings) : settings_(std::move(settings)) {}
    SshSettings& settings() { return settings_; }

    std::optional<std::string> read(const std::string& address, std::string& error) override;
    // FILE.lock is created on the server exclusively, waited for while another writer holds it, and the file read
    // under it; the new text is written into it with the file's mode (and owner and group, where the login may),
    // flushed where the server offers that, and renamed over the file in one step. Where the server cannot rename
    // over a file, the old file is moved aside first and put back when the new one cannot take its place. A lock
    // left by a lost connection stays, and is named by the next change.
    bool change(const std::string& address, const store::InPlaceOptions& options, const store::Change& change,
                std::string& error) override;
    std::optional<store::Status> stat(const std::string& address, std::string& error) override;

private:
    SshSettings settings_;
};

} // namespace remote
