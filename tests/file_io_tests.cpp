#include <file_io.h>

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
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

fs::path freshFolder(const char* name)
{
    const fs::path folder = fs::temp_directory_path() / name;
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

// A change either happens whole, with the file's owner, group and mode, through a symbolic link to its target, or
// not at all; an unchanged text is not written; either way no lock is left behind.
TEST(LockedFile, ReplacesWholeOrNotAtAll)
{
    // Non-ASCII names (Äöü, файл.txt), which Windows takes only through its wide API.
    const fs::path root = freshFolder("vantorel_locked_file"), folder = root / u8"\u00C4\u00F6\u00FC";
    const fs::path file = folder / u8"\u0444\u0430\u0439\u043B.txt",
                   lock = folder / u8"\u0444\u0430\u0439\u043B.txt.lock";
    fs::create_directories(folder);
    const std::string before = "\"Name:a\"\r\n{\r\n}\r\n", after = "\"Name:b\"\n{\n\tbaseLevel = 1\n}\n";
    std::string error, seen;
    const auto change = [&](const fs::path& path, const std::string& text, cli::InPlaceOptions options = {}) {
        return cli::changeFile(
            asUtf8(path), options, [&](std::string_view old) { return seen = old, text; }, error);
    };
    const auto entries = [&] { return std::distance(fs::recursive_directory_iterator(root), {}); };

    EXPECT_FALSE(change(file, before)) << "a missing file is created only when asked";
    EXPECT_EQ(error, "no such file");
    ASSERT_TRUE(change(file, before, {0, true})) << error;
    EXPECT_EQ(bytesOf(file), before);
    fs::path written = file;
#ifndef _WIN32 // a new file gets mode 0640; the owner's, group's and mode are kept, through a symbolic link
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0640));
    ASSERT_EQ(chown(file.c_str(), 65534, 65534) == 0, geteuid() == 0);
    fs::permissions(file, fs::perms(0604));
    written = folder / "link";
    fs::create_symlink(file.filename(), written);
#endif
    ASSERT_TRUE(change(written, after)) << error;
    EXPECT_EQ(seen, before);
    EXPECT_EQ(bytesOf(file), after);
    EXPECT_EQ(entries(), written == file ? 2 : 3);
#ifndef _WIN32
    struct stat info {};
    stat(file.c_str(), &info);
    EXPECT_EQ(info.st_mode & 07777, 0604u);
    EXPECT_EQ(info.st_uid, geteuid() == 0 ? 65534u : geteuid());
    EXPECT_TRUE(fs::is_symlink(written));
#endif
    const auto stamp = fs::last_write_time(file) - std::chrono::hours(1);
    fs::last_write_time(file, stamp);
    ASSERT_TRUE(change(file, after));
    EXPECT_EQ(fs::last_write_time(file), stamp) << "an unchanged text is not written";

    // Each row fails at another step; the file stays as it was and no lock is left.
    const auto failLate = [&] {
#ifdef _WIN32 // Windows refuses to replace a file that is open elsewhere
        const std::ifstream held(file);
        return change(file, before);
#else // the file size limit stands in for a full disk
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit small{4, limit.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
        const bool replaced = change(file, before);
        setrlimit(RLIMIT_FSIZE, &limit);
        return replaced;
#endif
    };
    const auto lockHeld = [&] {
        std::ofstream{lock};
        fs::last_write_time(lock, fs::file_time_type::clock::now() - std::chrono::minutes(3));
        const bool replaced = change(file, before, {0.2, false});
        fs::remove(lock);
        return replaced;
    };
    const struct {
        const char* name;
        std::function<bool()> attempt;
        std::string reason;
    } rows[] = {
        {"folder missing",
         [&] {
             return change(root / "missing" / "KZ_admins.txt", before, {0, true});
         },
         "no such file"},
        {"target is a folder", [&] { return change(folder, before); }, "is a directory"},
        {"late failure", failLate,
#ifdef _WIN32
         "cannot rename"},
#else
         "file too large"},
#endif
        {"lock held", lockHeld,
         "another writer holds the lock " + asUtf8(lock) + ", 3 minutes old (waited 0.2 s); if no other writer is " +
#ifdef _WIN32
             "running, remove it: del \"" + asUtf8(lock) + "\""},
#else
             "running, remove it: rm '" + asUtf8(lock) + "'"},
#endif
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

} // namespace
