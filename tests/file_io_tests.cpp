#include <commands.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <random>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
extern char** environ;
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

// A change either happens whole, through a symbolic link to its target, or not at all; an unchanged text is not
// written; either way no lock is left behind. (Owner, group and mode kept, a new file's mode, a held lock and
// non-ASCII names are tried through the real program by the cli_set_* and cli_remove_* runs.)
TEST(LockedFile, ReplacesWholeOrNotAtAll)
{
    const fs::path root = freshFolder("vantorel_locked_file"), folder = root / "admins";
    const fs::path file = folder / "KZ_admins.txt";
    fs::create_directories(folder);
    const std::string before = "\"Name:a\"\r\n{\r\n}\r\n", after = "\"Name:b\"\n{\n\tbaseLevel = 1\n}\n";
    std::string error, seen;
    const auto change = [&](const fs::path& path, const std::string& text, store::InPlaceOptions options = {}) {
        return store::changeFile(
            asUtf8(path), options, [&](std::string_view old) { return seen = old, text; }, error);
    };
    const auto entries = [&] { return std::distance(fs::recursive_directory_iterator(root), {}); };

    EXPECT_FALSE(change(file, before)) << "a missing file is created only when asked";
    EXPECT_EQ(error, "no such file");
    const store::InPlaceOptions create{0, true};
    ASSERT_TRUE(change(file, before, create)) << error;
    EXPECT_EQ(bytesOf(file), before);
    fs::path written = file;
#ifndef _WIN32 // through a symbolic link, its target is changed and the link stays
    written = folder / "link";
    fs::create_symlink(file.filename(), written);
#endif
    ASSERT_TRUE(change(written, after)) << error;
    EXPECT_EQ(seen, before);
    EXPECT_EQ(bytesOf(file), after);
    EXPECT_EQ(entries(), written == file ? 2 : 3);
#ifndef _WIN32
    EXPECT_TRUE(fs::is_symlink(written));
#endif
    const auto stamp = fs::last_write_time(file) - std::chrono::hours(1);
    fs::last_write_time(file, stamp);
    ASSERT_TRUE(change(file, after));
    EXPECT_EQ(fs::last_write_time(file), stamp) << "an unchanged text is not written";

    // Each row fails at another step; the file stays as it was and no lock is left.
#ifdef _WIN32 // Windows refuses to replace a file that is open elsewhere
    const char* const late = "cannot rename";
    const auto failLate = [&] {
        const std::ifstream held(file);
        return change(file, before);
    };
#else // the file size limit stands in for a full disk
    const char* const late = "file too large";
    const auto failLate = [&] {
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit small{4, limit.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
        const bool replaced = change(file, before);
        setrlimit(RLIMIT_FSIZE, &limit);
        return replaced;
    };
#endif
    const struct {
        const char* name;
        std::function<bool()> attempt;
        std::string reason;
    } rows[] = {
        {"folder missing", [&] { return change(root / "missing" / "KZ_admins.txt", before, create); }, "no such file"},
        {"target is a folder", [&] { return change(folder, before); }, "is a directory"},
        {"late failure", failLate, late},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_FALSE(row.attempt());
        EXPECT_NE(error.find(row.reason), std::string::npos) << error;
        EXPECT_EQ(bytesOf(file), after);
        EXPECT_EQ(entries(), written == file ? 2 : 3);
    }
#ifndef _WIN32
    // A user who is only in the file's group could write it, but not give the new file its owner: nothing happens.
    if (geteuid() == 0) {
        fs::permissions(folder, fs::perms::all);
        chown(file.c_str(), 0, 65534);
        fs::permissions(file, fs::perms(0660));
        if (const pid_t child = fork(); child == 0) {
            const bool refused = setgid(65534) == 0 && setuid(65534) == 0 && !change(file, before) &&
                error.find("cannot give the new text the file's owner 0, group 65534 and mode 660") == 0;
            _exit(refused ? 0 : 1);
        } else {
            int status = -1;
            waitpid(child, &status, 0);
            EXPECT_EQ(status, 0);
        }
        EXPECT_EQ(bytesOf(file), after);
        EXPECT_EQ(entries(), 3);
    }
#endif
    fs::remove_all(root);
}

// The real program, started once for each list of arguments, all at the same moment. Each one's standard error
// goes to a file of its own; `killAfter`, when given, sends the first one `signal` (on Windows: TerminateProcess)
// that long after its start. Returns the exit codes (-1 for a killed process) and the standard error texts.
struct Finished {
    std::vector<int> codes;
    std::vector<std::string> errors;
};
Finished runTogether(const std::vector<std::vector<std::string>>& commands, const fs::path& folder,
                     std::optional<std::chrono::microseconds> killAfter = std::nullopt, int signal = 9)
{
    Finished done;
    std::vector<fs::path> errors;
    for (std::size_t i = 0; i < commands.size(); ++i)
        errors.push_back(folder / ("stderr" + std::to_string(i)));
#ifdef _WIN32
    std::vector<HANDLE> processes;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        std::wstring line = L"\"" + fs::path(VANTOREL_PROGRAM).wstring() + L"\"";
        for (const std::string& arg : commands[i])
            line += L" \"" + fs::path(std::u8string(arg.begin(), arg.end())).wstring() + L"\"";
        SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
        const HANDLE err = CreateFileW(errors[i].c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
        STARTUPINFOW start{};
        start.cb = sizeof start;
        start.dwFlags = STARTF_USESTDHANDLES;
        start.hStdError = err;
        PROCESS_INFORMATION process{};
        EXPECT_TRUE(
            CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &process));
        CloseHandle(err);
        CloseHandle(process.hThread);
        processes.push_back(process.hProcess);
    }
    if (killAfter) {
        std::this_thread::sleep_for(*killAfter);
        TerminateProcess(processes[0], static_cast<UINT>(signal));
    }
    for (const HANDLE process : processes) {
        DWORD code = 0;
        WaitForSingleObject(process, INFINITE);
        GetExitCodeProcess(process, &code);
        done.codes.push_back(killAfter ? -1 : static_cast<int>(code));
        CloseHandle(process);
    }
#else
    std::vector<pid_t> processes;
    for (std::size_t i = 0; i < commands.size(); ++i) {
        std::vector<std::string> words{VANTOREL_PROGRAM};
        words.insert(words.end(), commands[i].begin(), commands[i].end());
        std::vector<char*> argv;
        for (std::string& word : words)
            argv.push_back(word.data());
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 2, errors[i].c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = -1;
        EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        processes.push_back(pid);
    }
    if (killAfter) {
        std::this_thread::sleep_for(*killAfter);
        kill(processes[0], signal);
    }
    for (const pid_t pid : processes) {
        int status = 0;
        waitpid(pid, &status, 0);
        done.codes.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }
#endif
    for (const fs::path& err : errors)
        done.errors.push_back(bytesOf(err));
    return done;
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
    // A loaded machine can make the first two runs a poor measure of a writer's life: past the planned runs, kills
    // go on, sooner or later, until both outcomes have occurred.
    const int planned = 200 + 20 * others;
    for (int run = 0; run < planned || ((completed == 0 || locksLeft == 0) && run < 4 * planned); ++run) {
        if (run >= planned)
            lifetime = lifetime * (locksLeft == 0 ? 9 : 11) / 10;
        const int signal = signals[run < 200 || run >= planned ? 0 : 1 + run % std::max(others, 1)];
        const auto delay = std::chrono::duration_cast<std::chrono::microseconds>(
            lifetime * std::uniform_real_distribution<double>(0, 1.2)(random));
        runTogether({commands[1 - current]}, folder, delay, signal);
        const std::string text = bytesOf(file);
        ASSERT_TRUE(text == states[0] || text == states[1]) << "run " << run << ":\n" << text;
        completed += text != states[current] ? 1 : 0;
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
