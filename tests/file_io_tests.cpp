#include <file_io.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace fs = std::filesystem;

namespace {

fs::path utf8Path(const std::string& text)
{
    return fs::path(std::u8string(text.begin(), text.end()));
}
std::string asUtf8(const fs::path& path)
{
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

// A fresh folder per test under the system's temporary folder, removed afterwards.
class FileIo : public testing::Test {
protected:
    void SetUp() override
    {
        root = fs::temp_directory_path() /
            ("file_io_" + std::to_string(testing::UnitTest::GetInstance()->random_seed()) +
             testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override
    {
        fs::permissions(root, fs::perms::owner_all, fs::perm_options::add);
        fs::remove_all(root);
    }
    std::string read(const fs::path& path) const
    {
        std::string error;
        return cli::readInput(asUtf8(path), error).value_or("unreadable: " + error);
    }
    fs::path root;
};

TEST_F(FileIo, ReplaceKeepsBytesPermissionsAndNoTemporaryFile)
{
    struct Row {
        const char* name;
        std::string folder, file;
    };
    const Row rows[] = {
        {"ascii", "admins", "KZ_admins.txt"},
        {"latin", "\xC3\x84\xC3\xB6\xC3\xBC", "\xC3\x84\xC3\xB6\xC3\xBC.txt"},                            // Äöü
        {"cyrillic", "\xD0\x90\xD0\xB4\xD0\xBC\xD0\xB8\xD0\xBD", "\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.txt"}, // Админ, файл
    };
    const std::string before = "\"Name:a\"\r\n{\r\n}\r\n", after = "\"Name:b\"\r\n{\r\n\tBaseLevel 1\r\n}\r\n\r\n";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const fs::path folder = root / utf8Path(row.folder), file = folder / utf8Path(row.file);
        fs::create_directory(folder);
        std::string error;
        ASSERT_TRUE(cli::replaceFile(asUtf8(file), before, error)) << error;
        EXPECT_EQ(read(file), before);
#ifndef _WIN32
        const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
        fs::permissions(file, mode);
        fs::create_symlink(file.filename(), folder / "link");
        ASSERT_TRUE(cli::replaceFile(asUtf8(folder / "link"), after, error)) << error;
        EXPECT_TRUE(fs::is_symlink(folder / "link"));
        EXPECT_EQ(fs::status(file).permissions(), mode);
#else
        ASSERT_TRUE(cli::replaceFile(asUtf8(file), after, error)) << error;
#endif
        EXPECT_EQ(read(file), after);
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()),
                  fs::is_symlink(folder / "link") ? 2 : 1);
    }
}

// Each row makes the replace fail at a different step; the original and its folder must stay as they were.
TEST_F(FileIo, FailedReplaceLeavesTheOriginalUntouched)
{
    const fs::path original = root / "KZ_admins.txt", folder = root / "folder";
    const std::string bytes = "\"Name:a\"\r\n{\r\n}\r\n";
    std::string error;
    ASSERT_TRUE(cli::replaceFile(asUtf8(original), bytes, error)) << error;
    fs::create_directory(folder);
    ASSERT_TRUE(cli::replaceFile(asUtf8(folder / "inside.txt"), bytes, error)) << error;
    struct Row {
        const char* name;
        fs::path target;
        const char* reason; // of the failed replace and, where the target is not a file, of the failed read
        bool lateFailure;   // fails after the temporary file exists
    };
    const Row rows[] = {
        {"folder missing", root / "missing" / "KZ_admins.txt", "no such file", false},
        {"target is a folder", folder, "is a directory", false},
#ifdef _WIN32
        {"target open elsewhere", original, "permission denied", true}, // Windows refuses to rename over it
#else
        {"write fails", original, "too large", true}, // the file size limit stands in for a full disk
#endif
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        error.clear();
        bool replaced = true;
        if (!row.lateFailure) {
            replaced = cli::replaceFile(asUtf8(row.target), "new", error);
            EXPECT_NE(error.find(row.reason), std::string::npos) << error;
            std::string readError;
            EXPECT_FALSE(cli::readInput(asUtf8(row.target), readError));
            EXPECT_EQ(readError, row.reason);
        } else {
#ifdef _WIN32
            const std::ifstream held(original);
            replaced = cli::replaceFile(asUtf8(row.target), "new", error);
#else
            rlimit limit{}, small{};
            getrlimit(RLIMIT_FSIZE, &limit);
            small = {4, limit.rlim_max};
            std::signal(SIGXFSZ, SIG_IGN);
            setrlimit(RLIMIT_FSIZE, &small);
            replaced = cli::replaceFile(asUtf8(row.target), bytes + bytes, error);
            setrlimit(RLIMIT_FSIZE, &limit);
#endif
        }
        EXPECT_FALSE(replaced);
        EXPECT_NE(error.find(row.reason), std::string::npos) << error;
        EXPECT_EQ(read(original), bytes);
        EXPECT_EQ(read(folder / "inside.txt"), bytes);
        EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 2);
    }
}

} // namespace
