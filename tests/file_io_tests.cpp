#include <file_io.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string asUtf8(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

// A replace either succeeds, keeping the target's permissions and following a symbolic link, or fails leaving the
// original untouched; either way no temporary file is left behind.
TEST(FileIo, ReplaceIsAllOrNothing)
{
    const fs::path root = fs::temp_directory_path() / "vantorel_file_io_tests";
    fs::remove_all(root);
    // Non-ASCII names (Äöü, файл.txt), which Windows takes only through its wide API.
    const fs::path folder = root / u8"\u00C4\u00F6\u00FC", file = folder / u8"\u0444\u0430\u0439\u043B.txt";
    ASSERT_TRUE(fs::create_directories(folder));
    // The file's bytes as readInput gives them, and how many entries the tree holds (a temporary file is one more).
    const auto state = [&] {
        std::string error;
        const std::optional<std::string> bytes = cli::readInput(asUtf8(file), error);
        return std::pair(bytes.value_or(error),
                         static_cast<int>(std::distance(fs::recursive_directory_iterator(root), {})));
    };
    const std::string before = "\"Name:a\"\r\n{\r\n}\r\n", after = "\"Name:b\"\r\n{\r\n\tBaseLevel 1\r\n}\r\n\r\n";
    std::string error;
    ASSERT_TRUE(cli::replaceFile(asUtf8(file), before, error)) << error;
    EXPECT_EQ(state(), std::pair(before, 2));
    fs::path written = file;
#ifndef _WIN32 // the target's permissions are kept, and a symbolic link is followed and stays a link
    const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(file, mode);
    written = folder / "link";
    fs::create_symlink(file.filename(), written);
#endif
    ASSERT_TRUE(cli::replaceFile(asUtf8(written), after, error)) << error;
    EXPECT_EQ(state(), std::pair(after, written == file ? 2 : 3));
#ifndef _WIN32
    EXPECT_TRUE(fs::is_symlink(written));
    EXPECT_EQ(fs::status(file).permissions(), mode);
#endif

    // Each row makes the replace fail at another step.
    const auto failLate = [&] {
#ifdef _WIN32 // Windows refuses to rename over a file that is open elsewhere
        const std::ifstream held(file);
        return cli::replaceFile(asUtf8(file), before, error);
#else // the file size limit stands in for a full disk
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit small{4, limit.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
        const bool replaced = cli::replaceFile(asUtf8(file), before, error);
        setrlimit(RLIMIT_FSIZE, &limit);
        return replaced;
#endif
    };
    const struct {
        const char* name;
        fs::path target; // empty: the late failure
        const char* reason;
    } rows[] = {
        {"folder missing", root / "missing" / "KZ_admins.txt", "no such file"},
        {"target is a folder", folder, "is a directory"},
#ifdef _WIN32
        {"target open elsewhere", {}, "permission denied"},
#else
        {"write fails", {}, "too large"},
#endif
    };
    const auto replaced = state();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_FALSE(row.target.empty() ? failLate() : cli::replaceFile(asUtf8(row.target), before, error));
        EXPECT_NE(error.find(row.reason), std::string::npos) << error;
        EXPECT_EQ(state(), replaced);
    }
    fs::remove_all(root);
}

} // namespace
