#include <commands.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string asUtf8(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

std::string bytesOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// A folder of this run's own, so that two runs of the suite at once never share one.
fs::path freshFolder(const char* name)
{
    const fs::path folder = fs::temp_directory_path() / (name + ("_" + std::to_string(std::random_device()())));
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

// How the program runs: on POSIX under a umask, when run as root as the account "nobody" if asked, and with files
// limited to a few bytes as on a full disk; or in-process (so that its messages are not limited too), where the
// change it makes may throw.
struct Surroundings {
    unsigned umask = 022;
    bool asNobody = false;
    bool fullDisk = false;
    bool inProcess = false;
    bool throws = false; // in-process, the change throws
};

// The real program started with its standard error into a file; while a SmallFiles stands, this process writes
// files of a few bytes at most.
#ifdef _WIN32
struct SmallFiles {
    explicit SmallFiles(bool) {}
};
using Process = HANDLE;
Process start(const std::vector<std::string>& args, const fs::path& errFile, Surroundings = {})
{
    std::wstring line = L"\"" + fs::path(VANTOREL_PROGRAM).wstring() + L"\"";
    for (const std::string& arg : args)
        line += L" \"" + fs::path(std::u8string(arg.begin(), arg.end())).wstring() + L"\"";
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE err = CreateFileW(errFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    // Under Wine a start among many at once can fail now and then, on a loaded machine: a few tries.
    bool started = false;
    for (int tries = 0; !started && tries < 5; ++tries)
        if (!(started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                       &process) != 0))
            Sleep(500);
    EXPECT_TRUE(started) << "CreateProcessW: error " << GetLastError();
    CloseHandle(err);
    CloseHandle(process.hThread);
    return process.hProcess;
}
void stop(Process p, int signal)
{
    TerminateProcess(p, static_cast<UINT>(signal));
}
// The exit code; -1 when the program was stopped, or still ran after 20 seconds and was stopped then (it hung).
int finish(Process p)
{
    DWORD code = 0;
    const bool ended = WaitForSingleObject(p, 20000) == WAIT_OBJECT_0 && GetExitCodeProcess(p, &code) != 0;
    if (!ended)
        TerminateProcess(p, 9);
    CloseHandle(p);
    return ended && code != 9 ? static_cast<int>(code) : -1;
}
#else
struct SmallFiles {
    rlimit was{};
    explicit SmallFiles(bool small)
    {
        getrlimit(RLIMIT_FSIZE, &was);
        const rlimit few{small ? 4 : was.rlim_cur, was.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &few);
    }
    ~SmallFiles() { setrlimit(RLIMIT_FSIZE, &was); }
};
using Process = pid_t;
Process start(const std::vector<std::string>& args, const fs::path& errFile, Surroundings around = {})
{
    std::vector<std::string> words{VANTOREL_PROGRAM};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        umask(around.umask);
        const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (dup2(err, 2) < 0 || (around.asNobody && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)))
            _exit(126);
        execv(argv[0], argv.data());
        _exit(127);
    }
    return child;
}
void stop(Process p, int signal)
{
    kill(p, signal);
}
int finish(Process p)
{
    int status = 0;
    for (int waited = 0; waitpid(p, &status, WNOHANG) == 0; ++waited) {
        if (waited == 2000) {
            kill(p, SIGKILL);
            waitpid(p, &status, 0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

// The real program, started once for each list of arguments, all at the same moment; `killAfter`, when given, stops
// the first one with `signal` (on Windows: TerminateProcess) that long after its start. Returns the exit codes (-1
// for a stopped process) and the standard error texts.
struct Finished {
    std::vector<int> codes;
    std::vector<std::string> errors;
};
Finished runTogether(const std::vector<std::vector<std::string>>& commands, const fs::path& folder,
                     std::optional<std::chrono::microseconds> killAfter = std::nullopt, int signal = 9)
{
    std::vector<Process> processes;
    for (std::size_t i = 0; i < commands.size(); ++i)
        processes.push_back(start(commands[i], folder / ("stderr" + std::to_string(i))));
    if (killAfter) {
        std::this_thread::sleep_for(*killAfter);
        stop(processes[0], signal);
    }
    Finished done;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        done.codes.push_back(finish(processes[i]));
        done.errors.push_back(bytesOf(folder / ("stderr" + std::to_string(i))));
    }
    return done;
}

// What a file is besides its bytes, as a writer must keep it.
struct Facts {
    std::string bytes; // of a regular file
    fs::file_type type = fs::file_type::none;
    fs::perms mode = fs::perms::none;
    std::uintmax_t links = 0;
    std::string owner, attributes; // "uid:gid"; every extended attribute's name and value
    bool readOnly = false;
    fs::file_time_type written;
    bool operator==(const Facts&) const = default;
};
Facts factsOf(const fs::path& file)
{
    Facts f;
    std::error_code ec;
    f.type = fs::symlink_status(file, ec).type();
    if (f.type == fs::file_type::not_found)
        return f;
    f.mode = fs::status(file, ec).permissions();
    f.links = fs::hard_link_count(file, ec);
    if (fs::is_regular_file(file, ec)) // also through a symbolic link
        f.bytes = bytesOf(file), f.written = fs::last_write_time(file);
#ifdef _WIN32
    const DWORD attributes = GetFileAttributesW(file.c_str());
    f.readOnly = (attributes & FILE_ATTRIBUTE_READONLY) != 0;
    f.attributes = std::to_string(attributes & ~(FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NORMAL));
#else
    struct stat info {};
    lstat(file.c_str(), &info);
    f.owner = std::to_string(info.st_uid) + ":" + std::to_string(info.st_gid);
    char names[4096];
    const ssize_t size = llistxattr(file.c_str(), names, sizeof names);
    for (ssize_t at = 0; at < size; at += static_cast<ssize_t>(std::strlen(names + at)) + 1) {
        char value[4096];
        const ssize_t length = lgetxattr(file.c_str(), names + at, value, sizeof value);
        f.attributes += std::string(names + at) + "=" +
            std::string(value, static_cast<std::size_t>(std::max<ssize_t>(length, 0))) + ";";
    }
#endif
    return f;
}

// Surroundings that a careful writer must survive without a hang, a lock left behind, or anything of the file
// lost: each row makes them in an empty folder and names the file to change; the file's bytes and everything else
// of it either stay exactly as they were (its time stamp too), or (`changed`) only its bytes change, and the lock's
// name holds afterwards what it held before.
TEST(LockedFile, HostileSurroundings)
{
    const fs::path root = freshFolder("vantorel_hostile");
    const auto plain = [](const fs::path& folder) {
        std::ofstream(folder / "KZ_admins.txt", std::ios::binary) << "\"Name:a\"\r\n{\r\n\tbaseLevel = 0\r\n}\r\n";
        return folder / "KZ_admins.txt";
    };
    // The plain file, and `also` done to it and its folder.
    const auto with = [&plain](const std::function<void(const fs::path&, const fs::path&)>& also) {
        return [&plain, also](const fs::path& folder) {
            const fs::path file = plain(folder);
            also(folder, file);
            return file;
        };
    };
    [[maybe_unused]] const auto fresh = [](const fs::path& folder) { return folder / "new.txt"; };
    const std::vector<std::string> set{"set", "FILE", "--type", "name", "--id", "Bob", "-i", "--wait", "0.2"};
    const std::vector<std::string> unchanged{"set", "FILE", "--type", "name", "--id", "a", "-i"};
    const std::vector<std::string> create{"set", "FILE", "--type", "default", "-i", "--create"};
    const std::vector<std::string> format{"format", "-i", "FILE"};
    [[maybe_unused]] const Surroundings nobody{022, true}; // rows of POSIX alone use these two
    struct Row {
        const char* name;
        std::function<fs::path(const fs::path&)> setUp;
        std::vector<std::string> args;
        int code;
        std::string message;
        bool changed = false;
        fs::perms mode = fs::perms::none; // a changed or created file's mode, when it is not the old one
        Surroundings around = {};
    };
    // clang-format off
    const std::vector<Row> rows{
        {"a folder", [](const fs::path& f) { return f; }, format, 2, "is a directory"},
        {"a missing file", [](const fs::path& f) { return f / "none.txt"; }, set, 2, "no such file"},
        {"a missing folder", [](const fs::path& f) { return f / "none" / "new.txt"; }, create, 2, "no such file"},
        {"a file with a second name", with([](auto& f, auto& file) { fs::create_hard_link(file, f / "2"); }), set, 2,
         "the file has 2 names (hard links)"},
        {"an unchanged text", plain, unchanged, 0, "unchanged Name:a"},
        {"an exception inside the change", plain, set, 2, "stopped: std::bad_alloc", false, {},
         {022, false, false, true, true}},
#ifdef _WIN32
        {"a read-only file", with([](auto&, auto& file) { SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_READONLY); }),
         set, 2, "the file is read-only"},
        {"a hidden file", with([](auto&, auto& file) { SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_HIDDEN); }), set,
         0, "added Name:Bob", true},
#else
        {"a symbolic link to the file",
         [&plain](const fs::path& f) { return fs::create_symlink(plain(f).filename(), f / "link"), f / "link"; }, set, 0,
         "added Name:Bob", true},
        {"a lock that is a symbolic link to nowhere",
         with([](auto& f, auto& file) { fs::create_symlink(f / "nowhere", file.string() + ".lock"); }), set, 2,
         "another writer holds the lock "},
        {"a pipe", [](const fs::path& f) { return mkfifo((f / "p").c_str(), 0644), f / "p"; }, format, 2,
         "not a regular file"},
        {"a device", [](const fs::path&) { return fs::path("/dev/zero"); }, format, 2, "not a regular file"},
        {"a full disk", plain, set, 2, "cannot write", false, {}, {022, false, true, true}},
        {"a read-only folder", with([](auto& f, auto& file) {
             chown(file.c_str(), 65534, 65534), chown(f.c_str(), 65534, 65534), fs::permissions(f, fs::perms(0555)); }),
         set, 2, "cannot create the lock file", false, {}, nobody},
        {"a writer in the file's group alone", with([](auto& f, auto& file) {
             chown(file.c_str(), 0, 65534), chown(f.c_str(), 65534, 65534), fs::permissions(file, fs::perms(0660)); }),
         set, 2, "cannot give the new text the file's owner 0, group 65534 and mode 660", false, {}, nobody},
        {"an ACL entry for another account and a user attribute", with([](auto&, auto& file) {
             fs::permissions(file, fs::perms(0640));
             // user::rw- user:65534:r-- group::r-- mask::r-- other::---, in the kernel's little-endian form
             const unsigned char acl[] = {2, 0, 0, 0, 1, 0, 6, 0, 255, 255, 255, 255, 2, 0, 4, 0, 254, 255, 0, 0,
                 4, 0, 4, 0, 255, 255, 255, 255, 16, 0, 4, 0, 255, 255, 255, 255, 32, 0, 0, 0, 255, 255, 255, 255};
             setxattr(file.c_str(), "system.posix_acl_access", acl, sizeof acl, 0);
             setxattr(file.c_str(), "user.origin", "server", 6, 0); }),
         set, 0, "added Name:Bob", true},
        {"a file without the ACL its folder gives new files", with([](auto& f, auto&) {
             // The same ACL as the folder's default: the lock file is made with it, and must lose it again.
             const unsigned char acl[] = {2, 0, 0, 0, 1, 0, 6, 0, 255, 255, 255, 255, 2, 0, 4, 0, 254, 255, 0, 0,
                 4, 0, 4, 0, 255, 255, 255, 255, 16, 0, 4, 0, 255, 255, 255, 255, 32, 0, 0, 0, 255, 255, 255, 255};
             setxattr(f.c_str(), "system.posix_acl_default", acl, sizeof acl, 0); }),
         set, 0, "added Name:Bob", true},
        {"a new file under umask 077", fresh, create, 0, "added Default", true, fs::perms(0600), {077}},
        {"a new file under umask 022", fresh, create, 0, "added Default", true, fs::perms(0640), {022}},
#endif
    };
    // clang-format on
    int round = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path folder = root / std::to_string(++round),
                       file = row.setUp((fs::create_directories(folder), folder));
        const fs::path lock = file.string() + ".lock";
        const Facts before = factsOf(file), lockBefore = factsOf(lock);
        std::vector<std::string> args = row.args;
        std::replace(args.begin(), args.end(), std::string("FILE"), asUtf8(file));
        int code = 0;
        std::string err;
        if (row.around.inProcess) {
            args.insert(args.begin(), "vantorel-admins");
            cli::Console console{[](std::string_view) { return true; },
                                 [&err](std::string_view s) { return err.append(s), true; }, store::readInput,
                                 [&row](const std::string& path, const store::InPlaceOptions& options,
                                        const store::Change& change, std::string& error) {
                                     return store::changeFile(
                                         path, options,
                                         [&](std::string_view text) {
                                             return row.around.throws ? throw std::bad_alloc() : change(text);
                                         },
                                         error);
                                 }};
            const SmallFiles small(row.around.fullDisk);
            code = cli::runMain(args, console);
        } else {
            code = finish(start(args, root / "stderr", row.around));
            err = bytesOf(root / "stderr");
        }
        EXPECT_EQ(code, row.code) << err;
        EXPECT_NE(err.find(row.message), std::string::npos) << err;
        Facts after = factsOf(file);
        EXPECT_EQ(factsOf(lock), lockBefore);
        if (row.changed) {
            EXPECT_NE(after.bytes, before.bytes);
            EXPECT_EQ(after.mode, row.mode == fs::perms::none ? before.mode : row.mode);
            after.bytes = before.bytes, after.mode = before.mode, after.written = before.written;
            if (before.type == fs::file_type::not_found)
                continue;
        }
        EXPECT_EQ(after, before);
    }
    // Folders and files made removable again: a read-only folder, a read-only file on Windows.
    for (const auto& entry : fs::recursive_directory_iterator(root))
        if (std::error_code ec; !entry.is_symlink())
            fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(root);
}

// 32 writers, each adding another identity to one file at the same moment, lose nothing: ten times over, the file
// then holds all 32 entries and reads without error.
TEST(LockedFile, ConcurrentWritersLoseNothing)
{
    const fs::path folder = freshFolder("vantorel_concurrent"), file = folder / "KZ_admins.txt";
    for (int round = 0; round < 10; ++round) {
        fs::remove(file);
        std::vector<std::vector<std::string>> commands;
        for (int i = 0; i < 32; ++i)
            commands.push_back({"set", asUtf8(file), "--type", "name", "--id", "user" + std::to_string(i), "--level",
                                "2", "-i", "--create", "--wait", "60"});
        const Finished done = runTogether(commands, folder);
        ASSERT_EQ(done.codes, std::vector<int>(32))
            << std::accumulate(done.errors.begin(), done.errors.end(), std::string());
        const Finished check = runTogether({{"check", asUtf8(file)}}, folder);
        EXPECT_EQ(check.codes[0], 0) << check.errors[0];
        const std::string text = bytesOf(file);
        for (int i = 0; i < 32; ++i)
            EXPECT_NE(text.find("\"Name:user" + std::to_string(i) + "\"\r\n"), std::string::npos) << round << " " << i;
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 33) << "the file and 32 files of standard error";
    }
    fs::remove_all(folder);
}

// One change made to several files, a few at a time: each target ends changed or exactly as it was (t4 has an
// error), standard error has one line per target in the targets' order, and the exit code is the worst target's.
TEST(LockedFile, OneChangeOnManyTargets)
{
    const fs::path folder = freshFolder("vantorel_targets");
    const std::string a = "\"Name:a\"\n{\n\tbaseLevel = 2\n}\n", bob = "\n\"Name:Bob\"\n{\n\tbaseLevel = 1\n}\n",
                      crlfBob = "\r\n\"Name:Bob\"\r\n{\r\n\tbaseLevel = 1\r\n}\r\n";
    const std::string texts[] = {a, "", a + "\n// x\r\n", a, "\"Name:a\"\n{\n\tbaseLevel = x\n}\n", a};
    // An empty file takes CRLF; after a last line ending in CRLF, the entry follows an empty line in CRLF.
    const std::string changed[] = {a + bob, crlfBob.substr(2), texts[2] + crlfBob, a + bob, texts[4], a + bob};
    const struct {
        std::vector<std::string> args; // before the files
        std::string list;              // --targets, naming the last two files, when not empty
    } rows[] = {
        {{"set", "-i"}, ""}, {{"set", "-i", "--jobs", "1"}, "# two\n\n t4 \nt5\r\n"}, {{"set", "--dry-run"}, ""}};
    for (const auto& row : rows) {
        std::vector<std::string> args{"vantorel-admins"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        for (int i = 0; i < 6; ++i) {
            std::ofstream(folder / ("t" + std::to_string(i)), std::ios::binary) << texts[i];
            if (i < 4 || row.list.empty())
                args.push_back("t" + std::to_string(i));
        }
        std::ofstream(folder / "list", std::ios::binary) << row.list;
        if (!row.list.empty())
            args.insert(args.end(), {"--targets", "list"});
        args.insert(args.end(), {"--type", "name", "--id", "Bob", "--level", "1"});
        std::string out, err;
        cli::Console console{[&out](std::string_view s) { return out.append(s), true; },
                             [&err](std::string_view s) { return err.append(s), true; }, store::readInput,
                             store::changeFile};
        const fs::path here = fs::current_path();
        fs::current_path(folder);
        EXPECT_EQ(cli::runMain(args, console), 1);
        fs::current_path(here);
        EXPECT_EQ(err,
                  "vantorel-admins: t0: added Name:Bob (line 6)\n"
                  "vantorel-admins: t1: added Name:Bob (line 1)\n"
                  "vantorel-admins: t2: added Name:Bob (line 8)\n"
                  "vantorel-admins: t3: added Name:Bob (line 6)\n"
                  "t4:3: error: baseLevel \"x\" is not a plain decimal number\n"
                  "vantorel-admins: t4: not changed, because it has errors\n"
                  "vantorel-admins: t5: added Name:Bob (line 6)\n");
        const bool dry = row.args.back() == "--dry-run";
        for (int i = 0; i < 6; ++i) {
            EXPECT_EQ(bytesOf(folder / ("t" + std::to_string(i))), dry ? texts[i] : changed[i]) << i;
            EXPECT_EQ(out.find("+++ t" + std::to_string(i) + "\n") != std::string::npos, dry && i != 4) << i;
        }
    }
    fs::remove_all(folder);
}

// A writer killed at any moment leaves the file exactly as it was or exactly as it was to become; a lock it left
// behind is reported by the next writer, which waits for it no longer than asked. A writer ended by SIGTERM,
// SIGINT or SIGHUP leaves no lock.
TEST(LockedFile, KilledWriterLeavesOldOrNewText)
{
    const fs::path folder = freshFolder("vantorel_killed"), file = folder / "KZ_admins.txt";
    const fs::path lock = folder / "KZ_admins.txt.lock";
    const auto toLevel = [&](const char* level) {
        return std::vector<std::string>{"set",         asUtf8(file), "--type",  "steamid", "--id",
                                        "STEAM_0:1:2", "--none",     "--level", level,     "-i",
                                        "--create",    "--wait",     "0"};
    };
    const std::vector<std::string> commands[] = {toLevel("2"), toLevel("4")};
    std::string states[2];
    auto started = std::chrono::steady_clock::now();
    for (int i = 0; i < 2; ++i) {
        ASSERT_EQ(runTogether({commands[i]}, folder).codes[0], 0);
        states[i] = bytesOf(file);
    }
    auto lifetime = (std::chrono::steady_clock::now() - started) / 2;
    std::mt19937 random(20240607);
    int current = 1, locksLeft = 0, completed = 0;
#ifdef _WIN32
    const int signals[] = {9};
#else
    const int signals[] = {SIGKILL, SIGTERM, SIGINT, SIGHUP};
#endif
    const int others = static_cast<int>(std::size(signals)) - 1;
    // A loaded machine (or a sanitizer's slow start) can make the first two runs a poor measure of a writer's life:
    // past the planned runs, kills go on until both outcomes have occurred, later after a kill that came before the
    // writer changed anything, sooner after one that came once it had finished.
    const int planned = 200 + 20 * others;
    int lastOutcome = 0; // -1: killed before any change, 1: after the change, 0: while the lock was held
    for (int run = 0; run < planned || ((completed == 0 || locksLeft == 0) && run < 4 * planned); ++run) {
        if (run >= planned)
            lifetime = lifetime * (10 - lastOutcome) / 10;
        const int signal = signals[run < 200 || run >= planned ? 0 : 1 + run % std::max(others, 1)];
        const auto delay = std::chrono::duration_cast<std::chrono::microseconds>(
            lifetime * std::uniform_real_distribution<double>(0, 1.2)(random));
        runTogether({commands[1 - current]}, folder, delay, signal);
        const std::string text = bytesOf(file);
        ASSERT_TRUE(text == states[0] || text == states[1]) << "run " << run << ":\n" << text;
        completed += text != states[current] ? 1 : 0;
        lastOutcome = fs::exists(lock) ? 0 : text != states[current] ? 1 : -1;
        current = text == states[0] ? 0 : 1;
        if (fs::exists(lock)) {
            ASSERT_EQ(signal, signals[0]) << "run " << run;
            ++locksLeft;
            const Finished next = runTogether({commands[1 - current]}, folder);
            EXPECT_EQ(next.codes[0], 2);
            EXPECT_NE(next.errors[0].find("another writer holds the lock " + asUtf8(lock)), std::string::npos)
                << next.errors[0];
            EXPECT_EQ(bytesOf(file), states[current]);
            fs::remove(lock);
        }
    }
    // Both outcomes and left-over locks occur, or the kills did not land where they matter.
    EXPECT_GT(completed, 0);
    EXPECT_GT(locksLeft, 0);
    fs::remove_all(folder);
}

} // namespace
