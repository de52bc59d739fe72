// Files at sftp:// addresses: the address parser's table, then vantorel-admins against a real OpenSSH sshd started
// for the suite on 127.0.0.1 (its own host key, a key login made for it, ssh's files all in a test folder), and
// against OpenSSH's sftp-server started directly with some requests refused, as servers without them behave.
#include "ftp_server.h"
#include "sshd_server.h"

#include <remote_files.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
namespace fs = std::filesystem;

namespace {

using namespace sshd_test;

TEST(RemoteUrl, AddressesAndRefusals)
{
    struct Row {
        const char* text;
        const char* user;
        const char* host;
        int port;
        const char* path; // or the start of the refusal
        bool ok;
    };
    const Row rows[] = {
        {"sftp://example.org/srv/KZ_admins.txt", "", "example.org", 0, "/srv/KZ_admins.txt", true},
        {"SFTP://gs.1a2b3c4d@panel.example:2022/KZ_admins.txt", "gs.1a2b3c4d", "panel.example", 2022, "/KZ_admins.txt",
         true},
        {"sftp://me@h/~/cstrike/KZ_admins.txt", "me", "h", 0, "cstrike/KZ_admins.txt", true},
        {"sftp://h/~//a", "", "h", 0, "a", true},
        {"sftp://h/%7E/a", "", "h", 0, "/~/a", true},
        {"sftp://a%40b@h/x%20y%25", "a@b", "h", 0, "/x y%", true},
        {"sftp://[::1]:22/x", "", "::1", 22, "/x", true},
        {"ftps://h/x", "", "h", 0, "/x", true},
        {"sftp://u:secret@h/x", "", "", 0, "a password never goes in the address; ssh asks", false},
        {"ftp://u:secret@h/x", "", "", 0, "a password never goes in the address; put it in ~/.netrc", false},
        {"http://h/x", "", "", 0, "unknown kind of address \"http://\"", false},
        {"sftp://h", "", "", 0, "the address names no file", false},
        {"sftp://h/", "", "", 0, "the address names no file", false},
        {"sftp://h/~/", "", "", 0, "the address names a folder", false},
        {"sftp://h/dir/", "", "", 0, "the address names a folder", false},
        {"sftp:///x", "", "", 0, "the address names no host", false},
        {"sftp://-oProxyCommand=x/y", "", "", 0, "the host \"-oProxyCommand=x\" is not a host name", false},
        {"sftp://h:0/x", "", "", 0, "the port is not a number from 1 to 65535", false},
        {"sftp://h:65536/x", "", "", 0, "the port is not", false},
        {"sftp://h:/x", "", "", 0, "the port is not", false},
        {"sftp://@h/x", "", "", 0, "the user name before \"@\" is empty", false},
        {"sftp://h/a%2", "", "", 0, "the path has a \"%\" that is not followed", false},
        {"sftp://h/a%00b", "", "", 0, "the path holds a NUL", false},
        {"sftp://[::1/x", "", "", 0, "the host's \"[\" is not closed", false},
        {"sftp://[h]/x", "", "", 0, "the host in brackets is not an IPv6", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        std::string error;
        const std::optional<remote::Url> url = remote::parseUrl(row.text, error);
        ASSERT_EQ(url.has_value(), row.ok) << error;
        if (!row.ok) {
            EXPECT_TRUE(error.starts_with(row.path)) << error;
            EXPECT_EQ(error.find("secret"), std::string::npos);
            continue;
        }
        EXPECT_EQ(url->user, row.user);
        EXPECT_EQ(url->host, row.host);
        EXPECT_EQ(url->port, row.port);
        EXPECT_EQ(url->path, row.path);
        // What messages show reads back as the same address.
        const std::optional<remote::Url> again = remote::parseUrl(remote::shownUrl(*url), error);
        ASSERT_TRUE(again) << remote::shownUrl(*url);
        EXPECT_EQ(std::tie(again->user, again->host, again->port, again->path, again->scheme),
                  std::tie(url->user, url->host, url->port, url->path, url->scheme));
    }
    EXPECT_EQ(remote::withoutPassword("sftp://u:secret@h:22/a:b@c"), "sftp://u@h:22/a:b@c");
    EXPECT_EQ(remote::withoutPassword("dir/a:b@c"), "dir/a:b@c");
    EXPECT_FALSE(remote::isUrl("C:/KZ_admins.txt"));
    EXPECT_FALSE(remote::isUrl("dir/sftp://x"));
}

// A text that a regular expression matches as it stands.
std::string literally(std::string_view text)
{
    return std::regex_replace(std::string(text), std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)");
}

struct Result {
    int exit = -1;
    std::string out, err;
};

// An sshd of the suite's own, as the current user, with every file of it and of the client in one folder.
class Sftp : public testing::Test, protected SshServer {
protected:
    static void SetUpTestSuite() { start(); }
    static void TearDownTestSuite() { stop(); }
    void SetUp() override
    {
        if (!skip_.empty())
            GTEST_SKIP() << "no SFTP server: " << skip_;
        fs::copy_file(VANTOREL_TEST_DATA "/sample_admins.txt", file(), fs::copy_options::overwrite_existing);
        fs::permissions(file(), static_cast<fs::perms>(0604));
        fs::remove(file().string() + ".lock");
    }

    // The real program, with ssh pointed at the suite's files; `env` adds or replaces settings. Started in the
    // background when `rc` names the file its exit code goes to.
    static Result run(const std::string& args, const std::string& env = "", const std::string& rc = "")
    {
        const std::string d = dir_.string();
        std::string command = "env -u SSH_AUTH_SOCK VANTOREL_ADMINS_SSH_CONFIG=" + shellQuoted(d + "/config") + " " +
            env + " " + VANTOREL_PROGRAM + " " + args + " </dev/null >" + shellQuoted(d + "/out") + " 2>" +
            shellQuoted(d + "/err");
        if (!rc.empty()) {
            std::system(("(" + command + "; echo $? >" + shellQuoted(rc) + ") &").c_str());
            return {};
        }
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, bytesOf(dir_ / "out"), bytesOf(dir_ / "err")};
    }
};

std::string golden(const char* name)
{
    return bytesOf(fs::path(VANTOREL_TEST_DATA) / ".." / "cli" / name);
}

TEST_F(Sftp, EachCommandReadsAndChangesTheFileKeepingItsMode)
{
    const std::string sample = bytesOf(file());
    // The same file through the login's home: its path from there.
    const std::string fromHome = "sftp://127.0.0.1:" + std::to_string(port_) + "/~/" +
        fs::relative(file(), ::getpwuid(::getuid())->pw_dir).string();
    struct Row {
        std::string args, out, after, err;
    };
    std::string check = golden("check_sample.txt");
    check = std::regex_replace(check, std::regex("<stdin>"), url());
    const Row rows[] = {
        {"check URL", check, sample, "0 errors, 0 warnings, 2 notes in 1 file"},
        {"show URL", golden("show_sample.txt"), sample, ""},
        {"show --json HOME", golden("show_sample.json"), sample, ""},
        {"format -i URL", "", golden("format_sample.txt"), ""},
        {"set URL --type steamid --id STEAM_0:1:12345 --grant ban -i", "", golden("set_sample.txt"),
         "updated SteamID:STEAM_0:1:12345 \\(line 8\\)"},
        {"remove HOME --type name --id 'Mod Alice' -i", "", golden("remove_sample.txt"),
         "removed Name:Mod Alice \\(line 18\\)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args);
        SetUp();
        const Result r = run(
            std::regex_replace(std::regex_replace(row.args, std::regex("URL"), url()), std::regex("HOME"), fromHome));
        EXPECT_EQ(r.exit, 0) << r.err;
        EXPECT_EQ(r.out, row.out);
        EXPECT_TRUE(std::regex_search(r.err, std::regex(row.err))) << r.err;
        EXPECT_EQ(bytesOf(file()), row.after);
        EXPECT_EQ(static_cast<unsigned>(fs::status(file()).permissions()), 0604u);
        EXPECT_FALSE(fs::exists(file().string() + ".lock"));
    }
}

TEST_F(Sftp, HostKeysAreOpenSshsOwn)
{
    const std::string fingerprint = bytesOf(dir_ / "fingerprint").substr(4, 50); // "SHA256:" and 43 characters
    struct Row {
        const char* knownHosts;
        const char* flag;
        int exit;
        std::string err;
        std::size_t linesAfter;
    };
    const Row rows[] = {
        {"", "", 2,
         "No ED25519 host key is known for .* The server's host key is ssh-ed25519 " + literally(fingerprint) +
             "; if that is its key, run again with --accept-new-host-key",
         0},
        {"", "--accept-new-host-key", 0, "0 errors, 0 warnings, 2 notes in 1 file", 1},
        {"changed", "--accept-new-host-key", 2, "Offending ED25519 key in .*new hosts:1", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.flag);
        const fs::path hosts = dir_ / "new hosts"; // a space, which the ssh option must keep
        write(hosts, std::string(row.knownHosts) == "changed" ? bytesOf(dir_ / "changed_hosts") : "");
        const Result r = run(std::string("check ") + row.flag + " " + url(),
                             "VANTOREL_ADMINS_KNOWN_HOSTS=" + shellQuoted(hosts.string()));
        EXPECT_EQ(r.exit, row.exit);
        EXPECT_TRUE(std::regex_search(r.err, std::regex(row.err))) << r.err;
        const std::string known = bytesOf(hosts);
        EXPECT_EQ(static_cast<std::size_t>(std::count(known.begin(), known.end(), '\n')), row.linesAfter);
    }
}

// The sample with both `set`'s and `remove`'s change of the golden texts: the bytes `remove` takes out, found as
// what the sample and its golden text do not share, taken out of `set`'s.
std::string setAndRemoved()
{
    const std::string sample = bytesOf(VANTOREL_TEST_DATA "/sample_admins.txt");
    const std::string removed = golden("remove_sample.txt");
    std::size_t prefix = 0;
    while (sample[prefix] == removed[prefix])
        ++prefix;
    const std::size_t cut = sample.size() - removed.size();
    std::string both = golden("set_sample.txt");
    return both.erase(both.find(sample.substr(prefix, cut)), cut);
}

// A local writer holds the lock while the remote one waits for it; then both changes are in the file.
TEST_F(Sftp, ALocalWriterAndARemoteOneBothKeepTheirChange)
{
    const std::string expected = setAndRemoved();

    const fs::path rc = dir_ / "rc";
    fs::remove(rc);
    std::string error;
    const bool changed = store::changeFile(
        file().string(), {},
        [&](std::string_view) {
            run("remove -i --wait 60 " + url() + " --type name --id 'Mod Alice'", "", rc.string());
            EXPECT_TRUE(eventually([&] { return bytesOf(dir_ / "err").find("waiting for it") != std::string::npos; }));
            return std::optional(golden("set_sample.txt"));
        },
        error);
    ASSERT_TRUE(changed) << error;
    ASSERT_TRUE(eventually([&] { return bytesOf(rc).ends_with("\n"); }));
    EXPECT_EQ(bytesOf(rc), "0\n") << bytesOf(dir_ / "err");
    EXPECT_EQ(bytesOf(file()), expected);
}

// ssh killed while the new text is on its way: the file stays whole, and the lock left on the server is named by
// the next change.
TEST_F(Sftp, AConnectionCutDuringTheUploadLeavesTheFileWholeAndTheLockNamed)
{
    std::string big = bytesOf(file());
    while (big.size() < (2u << 20))
        big += "\n// a line of a long file, so that the upload takes many writes\n";
    write(file(), big, 0604);
    const fs::path cut = dir_ / "cut-ssh";
    write(cut,
          "#!/bin/sh\nrm -f " + shellQuoted((dir_ / "fifo").string()) + "; mkfifo " +
              shellQuoted((dir_ / "fifo").string()) + "\nssh \"$@\" <" + shellQuoted((dir_ / "fifo").string()) +
              " & pid=$!\ndd bs=1 count=100000 status=none >" + shellQuoted((dir_ / "fifo").string()) +
              "\nkill -9 $pid\n",
          0755);
    const std::string set = "set -i " + url() + " --type name --id Bob --wait 0";
    const Result first = run(set, "VANTOREL_ADMINS_SSH=" + shellQuoted(cut.string()));
    EXPECT_EQ(first.exit, 2);
    EXPECT_TRUE(std::regex_search(first.err, std::regex("cannot write .*KZ_admins.txt.lock"))) << first.err;
    EXPECT_EQ(bytesOf(file()), big);
    EXPECT_TRUE(fs::exists(file().string() + ".lock"));
    const Result next = run(set);
    EXPECT_EQ(next.exit, 2);
    EXPECT_TRUE(std::regex_search(next.err,
                                  std::regex("another writer holds the lock " + url() +
                                             ".lock, [0-9]+ seconds? old \\(waited 0 s\\); if no other "
                                             "writer is running, remove it: echo 'rm ")))
        << next.err;
    EXPECT_EQ(bytesOf(file()), big);
}

// OpenSSH's sftp-server with requests refused, as servers that do not have them answer: without the one-step
// rename the file is moved aside and the new one renamed in; without any rename nothing changes.
TEST_F(Sftp, ServersWithoutTheOneStepRename)
{
    struct Row {
        const char* refused;
        int exit;
        std::string after;
        const char* log;
    };
    const Row rows[] = {
        {"posix-rename,fsync", 0, golden("set_sample.txt"),
         "rename old \"[^\"]*KZ_admins.txt\" new \"[^\"]*KZ_admins.txt.lock.old\"[^]*rename old "
         "\"[^\"]*KZ_admins.txt.lock\" "
         "new \"[^\"]*KZ_admins.txt\"[^]*remove name \"[^\"]*KZ_admins.txt.lock.old\""},
        {"posix-rename,rename", 2, bytesOf(file()), "Refusing denylisted rename request"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.refused);
        SetUp();
        const fs::path server = dir_ / "server", log = dir_ / "server.log";
        fs::remove(log);
        write(server,
              std::string("#!/bin/sh\nexec /usr/lib/openssh/sftp-server -e -l DEBUG1 -P ") + row.refused + " 2>" +
                  shellQuoted(log.string()) + "\n",
              0755);
        const Result r =
            run("set -i sftp://localhost" + file().string() + " --type steamid --id STEAM_0:1:12345 --grant ban",
                "VANTOREL_ADMINS_SSH=" + shellQuoted(server.string()));
        EXPECT_EQ(r.exit, row.exit) << r.err;
        EXPECT_EQ(bytesOf(file()), row.after);
        EXPECT_EQ(static_cast<unsigned>(fs::status(file()).permissions()), 0604u);
        EXPECT_FALSE(fs::exists(file().string() + ".lock"));
        EXPECT_FALSE(fs::exists(file().string() + ".lock.old"));
        EXPECT_TRUE(std::regex_search(bytesOf(log), std::regex(row.log))) << bytesOf(log);
    }
}

// A game panel's SFTP server (Debian's python3-asyncssh): a password login named like "gs.1a2b3c4d", which ssh asks
// the program itself for, given by a script in VANTOREL_ADMINS_LOGIN_PASSWORD; no renaming onto an existing file, so
// the old file is moved aside and removed. A wrong or missing password changes nothing.
TEST_F(Sftp, APanelsPasswordLoginWithoutRenamingOntoAFile)
{
    const fs::path root = dir_ / "panel", ready = dir_ / "panel.log";
    fs::create_directories(root);
    const std::string port = std::to_string(freePort());
    std::system(("/usr/bin/python3 -W ignore " VANTOREL_TEST_SERVERS "/panel_sftp.py " + port + " " +
                 shellQuoted((dir_ / "host").string()) + " " + shellQuoted(root.string()) + " gs.1a2b3c4d s3cret >" +
                 shellQuoted(ready.string()) + " 2>&1 & echo $! >" + shellQuoted((dir_ / "panel.pid").string()))
                    .c_str());
    if (!eventually([&] { return !bytesOf(ready).empty(); }) || !bytesOf(ready).starts_with("ready"))
        GTEST_SKIP() << "the panel's SFTP server (python3-asyncssh) did not start: " << bytesOf(ready);
    write(dir_ / "panel_hosts", "[127.0.0.1]:" + port + " " + bytesOf(dir_ / "host.pub"));
    const struct {
        std::string env;
        int exit;
        const char *after, *err;
    } rows[] = {
        {"VANTOREL_ADMINS_LOGIN_PASSWORD=wrong", 2, "sample_admins.txt", "Permission denied"},
        {"", 2, "sample_admins.txt", "Permission denied"},
        {"VANTOREL_ADMINS_LOGIN_PASSWORD=s3cret", 0, "../cli/set_sample.txt", "updated SteamID:STEAM_0:1:12345"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.env);
        fs::copy_file(VANTOREL_TEST_DATA "/sample_admins.txt", root / "KZ_admins.txt",
                      fs::copy_options::overwrite_existing);
        const Result r =
            run("set -i sftp://gs.1a2b3c4d@127.0.0.1:" + port +
                    "/KZ_admins.txt --type steamid --id STEAM_0:1:12345 --grant ban",
                "VANTOREL_ADMINS_KNOWN_HOSTS=" + shellQuoted((dir_ / "panel_hosts").string()) + " " + row.env);
        EXPECT_EQ(r.exit, row.exit) << r.err;
        EXPECT_NE(r.err.find(row.err), std::string::npos) << r.err;
        EXPECT_EQ(bytesOf(root / "KZ_admins.txt"), bytesOf(fs::path(VANTOREL_TEST_DATA) / row.after));
        EXPECT_EQ(std::distance(fs::directory_iterator(root), {}), 1) << "no lock and no old file left";
    }
    std::system(("kill $(cat " + shellQuoted((dir_ / "panel.pid").string()) + ")").c_str());
}

TEST_F(Sftp, StatTellsWhatTheNameStandsFor)
{
    remote::SshSettings settings;
    settings.config = (dir_ / "config").string();
    remote::RemoteFiles files(settings);
    std::string error;
    const std::optional<store::Status> there = files.stat(url(), error);
    ASSERT_TRUE(there) << error;
    EXPECT_TRUE(there->exists && there->regular);
    EXPECT_EQ(there->mode, 0604u);
    EXPECT_EQ(there->size, fs::file_size(file()));
    const std::optional<store::Status> folder = files.stat(url().substr(0, url().rfind('/')), error);
    ASSERT_TRUE(folder) << error;
    EXPECT_TRUE(folder->exists && !folder->regular);
    const std::optional<store::Status> missing = files.stat(url() + ".missing", error);
    ASSERT_TRUE(missing) << error;
    EXPECT_FALSE(missing->exists);
}

class Ftp : public testing::Test, protected FtpServer {
protected:
    static void SetUpTestSuite() { start(); }
    static void TearDownTestSuite() { stop(); }
    void SetUp() override
    {
        if (!skip_.empty())
            GTEST_SKIP() << "no FTP server: " << skip_;
    }
    void TearDown() override { stopServer(); }

    // The real program; the login's password from the suite's netrc unless `env` says otherwise.
    static Result run(const std::string& args, const std::string& env = "")
    {
        const std::string d = dir_.string();
        const std::string command =
            "env -u VANTOREL_ADMINS_LOGIN_PASSWORD VANTOREL_ADMINS_NETRC=" + shellQuoted(d + "/netrc") + " " + env +
            " " + VANTOREL_PROGRAM + " " + args + " </dev/null >" + shellQuoted(d + "/out") + " 2>" +
            shellQuoted(d + "/err");
        const int status = std::system(command.c_str());
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, bytesOf(dir_ / "out"), bytesOf(dir_ / "err")};
    }
};

// Each command over explicit TLS (ftp://) and TLS from the first byte (ftps://), a path from the login's home with
// the password from the environment and one from the root with netrc's; who is on the other end and who may log in;
// and a server that refuses to rename onto a file, one that cuts an upload short and calls it complete, another
// writer changing the file between the read and the rename. The file ends whole, old or new, with its mode, alone
// in its folder, and no message shows the password.
TEST_F(Ftp, CommandsTrustAndServersQuirks)
{
    const std::string sample = bytesOf(VANTOREL_TEST_DATA "/sample_admins.txt"), checked = golden("check_sample.txt");
    std::string big = sample;
    while (big.size() < 200000)
        big += "\n// a line of a long file, so that the upload takes many writes\n";
    write(dir_ / "other", golden("remove_sample.txt"));
    const std::string set = "set -i URL --type steamid --id STEAM_0:1:12345 --grant ban --pinned-key PIN";
    const std::string remove = "remove -i HOME --type name --id 'Mod Alice' --pinned-key PIN";
    const std::string env = "VANTOREL_ADMINS_LOGIN_PASSWORD=pw-secret VANTOREL_ADMINS_NETRC=/dev/null";
    struct Row {
        std::string server, args, env;
        int exit;
        std::string out, after, err;
    };
    const Row rows[] = {
        {"tls", "check HOME --pinned-key PIN", env, 0, checked, sample, "0 errors, 0 warnings, 2 notes in 1 file"},
        {"tls", "show --json URL --pinned-key PIN", "", 0, golden("show_sample.json"), sample, ""},
        {"tls", "format -i HOME --pinned-key PIN", env, 0, "", golden("format_sample.txt"), ""},
        {"tls", set, "", 0, "", golden("set_sample.txt"), "updated SteamID:STEAM_0:1:12345 \\(line 8\\)"},
        {"tls", remove, env, 0, "", golden("remove_sample.txt"), "removed Name:Mod Alice \\(line 18\\)"},
        {"ftps", "check URL --pinned-key PIN", "", 0, checked, sample, "0 errors, 0 warnings, 2 notes in 1 file"},
        {"ftps", "show --json HOME --pinned-key PIN", env, 0, golden("show_sample.json"), sample, ""},
        {"ftps", "format -i URL --pinned-key PIN", "", 0, "", golden("format_sample.txt"), ""},
        {"ftps", set, "", 0, "", golden("set_sample.txt"), "updated SteamID:STEAM_0:1:12345 \\(line 8\\)"},
        {"ftps", remove, env, 0, "", golden("remove_sample.txt"), "removed Name:Mod Alice \\(line 18\\)"},
        {"tls", "check URL", "", 2, "", sample,
         "SSL certificate problem: self.signed certificate.*The server's public key is " + literally(pin_) +
             "; if that is its key, run again with --pinned-key " + literally(pin_)},
        {"tls", "check URL --pinned-key sha256//47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=", "", 2, "", sample,
         "the server's public key is " + literally(pin_) + ", not the one given with --pinned-key"},
        {"tls", "check URL --pinned-key PIN", "VANTOREL_ADMINS_LOGIN_PASSWORD=not-it", 2, "", sample,
         "the server refused the login"},
        {"plain", "check URL", "", 2, "", sample,
         "the server offers no TLS \\(AUTH TLS\\), and a password is never sent unencrypted"},
        {"plain", "check URL --allow-plain-ftp", "", 0, checked, sample, "0 errors"},
        {"tls no-rename-over", set, "", 0, "", golden("set_sample.txt"), "updated"},
        {"tls cut", set, "", 2, "", big, "cannot upload|arrived with [0-9]+ of [0-9]+ bytes"},
        {"tls writer=" + (dir_ / "other").string(), set, "", 0, "", setAndRemoved(), "updated"},
    };
    std::string running;
    int port = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.server + ": " + row.args);
        if (row.server != running) {
            TearDown();
            const std::size_t space = std::min(row.server.find(' '), row.server.size());
            port = serve(row.server.substr(0, space), row.server.substr(std::min(space + 1, row.server.size())));
            running = row.server;
        }
        const std::string scheme = row.server == "ftps" ? "ftps://" : "ftp://";
        const std::string home = scheme + "gs@127.0.0.1:" + std::to_string(port) + "/~/KZ_admins.txt";
        const std::string address = row.args.find("HOME") != std::string::npos ? home : url(scheme, port);
        // A change refused leaves the file as it was.
        write(file(), row.exit == 0 ? sample : row.after, 0604);
        const Result r = run(
            std::regex_replace(std::regex_replace(row.args, std::regex("URL|HOME"), address), std::regex("PIN"), pin_),
            row.env);
        EXPECT_EQ(r.exit, row.exit) << r.err;
        EXPECT_EQ(r.out, std::regex_replace(row.out, std::regex("<stdin>"), address));
        EXPECT_TRUE(std::regex_search(r.err, std::regex(row.err))) << r.err;
        EXPECT_TRUE(row.exit == 0 || r.err.starts_with("vantorel-admins: " + address + ": ")) << r.err;
        EXPECT_EQ((r.out + r.err).find("pw-secret"), std::string::npos);
        EXPECT_EQ(bytesOf(file()), row.after);
        EXPECT_EQ(static_cast<unsigned>(fs::status(file()).permissions()), 0604u);
        EXPECT_TRUE(alone());
    }
}

} // namespace
