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
std::string read(const fs::path& path)
{
    std::string error;
    return cli::readInput(asUtf8(path), error).value_or("unreadable: " + error);
}
long entries(const fs::path& folder)
{
    return std::distance(fs::directory_iterator(folder), fs::directory_iterator());
}

// A fresh folder per test under the system's temporary folder.
class FileIo : public testing::Test {
protected:
    void SetUp() override
    {
        fs::remove_all(root);
        fs::create_directories(root);
    }
    void TearDown() override { fs::remove_all(root); }
    const fs::path root = fs::temp_directory_path() /
        (std::string("file_io_") + testing::UnitTest::GetInstance()->current_test_info()->name());
    const std::string before = "\"Name:a\"\r\n{\r\n}\r\n", after = "\"Name:b\"\r\n{\r\n\tBaseLevel 1\r\n}\r\n\r\n";
};

TEST_F(FileIo, ReplaceKeepsBytesPermissionsAndNoTemporaryFile)
{
    const std::pair<std::string, std::string> folderAndFile[] = {
        {"admins", "KZ_admins.txt"},
        {"\xC3\x84\xC3\xB6\xC3\xBC", "\xC3\x84\xC3\xB6\xC3\xBC.txt"},                         // Äöü
        {"\xD0\x90\xD0\xB4\xD0\xBC\xD0\xB8\xD0\xBD", "\xD1\x84\xD0\xB0\xD0\xB9\xD0\xBB.txt"}, // Админ, файл
    };
    for (const auto& [name, fileName] : folderAndFile) {
        SCOPED_TRACE(name);
        const fs::path folder = root / utf8Path(name), file = folder / utf8Path(fileName);
        fs::create_directory(folder);
        std::string error;
        ASSERT_TRUE(cli::replaceFile(asUtf8(file), before, error)) << error;
        EXPECT_EQ(read(file), before);
        fs::path written = file;
#ifndef _WIN32 // the target's permissions are kept, and a symbolic link is followed and stays a link
        const auto mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
        fs::permissions(file, mode);
        written = folder / "link";
        fs::create_symlink(file.filename(), written);
#endif
        ASSERT_TRUE(cli::replaceFile(asUtf8(written), after, error)) << error;
        EXPECT_EQ(read(file), after);
        EXPECT_EQ(entries(folder), written == file ? 1 : 2);
#ifndef _WIN32
        EXPECT_TRUE(fs::is_symlink(written));
        EXPECT_EQ(fs::status(file).permissions(), mode);
#endif
    }
}

// Each row makes the replace fail at another step; the original and the folder must stay as they were.
TEST_F(FileIo, FailedReplaceLeavesTheOriginalUntouched)
{
    const fs::path original = root / "KZ_admins.txt", folder = root / "folder";
    std::string error;
    ASSERT_TRUE(cli::replaceFile(asUtf8(original), before, error) && fs::create_directory(folder)) << error;
    const auto failLate = [&] {
#ifdef _WIN32 // Windows refuses to rename over a file that is open elsewhere
        const std::ifstream held(original);
        return cli::replaceFile(asUtf8(original), after, error);
#else // the file size limit stands in for a full disk
        rlimit limit{};
        getrlimit(RLIMIT_FSIZE, &limit);
        const rlimit small{4, limit.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
        const bool replaced = cli::replaceFile(asUtf8(original), after, error);
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
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        std::string readError;
        EXPECT_FALSE(row.target.empty() ? failLate() : cli::replaceFile(asUtf8(row.target), after, error));
        EXPECT_NE(error.find(row.reason), std::string::npos) << error;
        EXPECT_TRUE(row.target.empty() || (!cli::readInput(asUtf8(row.target), readError) && readError == row.reason))
            << readError;
        EXPECT_EQ(read(original), before);
        EXPECT_EQ(entries(root), 2);
        EXPECT_EQ(entries(folder), 0);
    }
}

} // namespace
