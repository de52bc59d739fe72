// The window with a file on a server: opened by Ctrl+Shift+O from a real OpenSSH sshd, the server's unknown host key
// asked about once, an entry removed and the file saved back through the server.
#include "sshd_server.h"
#include "window_fixture.h"

#include <file_panel.h>

#include <cstdlib>

namespace {

using namespace sshd_test;

struct RemoteWindow : SessionWindow, SshServer {
    static void SetUpTestSuite() { start(); }
    static void TearDownTestSuite() { stop(); }
    void SetUp() override
    {
        if (!skip_.empty())
            GTEST_SKIP() << "no SFTP server: " << skip_;
        // ssh's files are the suite's, and known_hosts one that starts without the server's key.
        ::setenv("VANTOREL_ADMINS_SSH_CONFIG", (dir_ / "config").c_str(), 1);
        ::setenv("VANTOREL_ADMINS_KNOWN_HOSTS", (dir_ / "window_hosts").c_str(), 1);
        ::unsetenv("SSH_AUTH_SOCK");
        SessionWindow::SetUp();
        fs::copy_file(VANTOREL_TEST_DATA "/sample_admins.txt", file(), fs::copy_options::overwrite_existing);
        fs::permissions(file(), static_cast<fs::perms>(0604));
        prompts->address = QString::fromStdString(url());
    }
    static std::size_t lines(const fs::path& path) { return std::ranges::count(bytesOf(path), '\n'); }
};

TEST_F(RemoteWindow, OpensEditsAndSavesAFileOnAServer)
{
    fs::remove(dir_ / "window_hosts");
    const std::string fingerprint = bytesOf(dir_ / "fingerprint").substr(4, 50); // "SHA256:" and 43 characters
    const struct {
        ScriptedPrompts::HostKey answer;
        bool asked, opened;
        std::size_t remembered; // lines of known_hosts afterwards
    } rows[] = {
        {ScriptedPrompts::HostKey::Refuse, true, false, 0},
        {ScriptedPrompts::HostKey::Once, true, true, 0},
        {ScriptedPrompts::HostKey::Remember, true, true, 1},
        {ScriptedPrompts::HostKey::Refuse, false, true, 1}, // known now: not asked again
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(static_cast<int>(&row - rows));
        TearDown();
        SetUp();
        prompts->hostKey = row.answer;
        QTest::keyClick(w.get(), Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
        const QString question = prompts->address + " host key ssh-ed25519 " + QString::fromStdString(fingerprint);
        EXPECT_EQ(prompts->said.contains(question), row.asked) << prompts->said.join('\n').toStdString();
        EXPECT_EQ(lines(dir_ / "window_hosts"), row.remembered);
        ASSERT_EQ(session->document() != nullptr, row.opened) << prompts->said.join('\n').toStdString();
        if (!row.opened)
            continue;
        EXPECT_EQ(w->windowTitle(), prompts->address + "[*] - Vantorel KZ_admins.txt Helper");
        const auto& rowsNow = document().rows();
        const auto alice = std::ranges::find(rowsNow, std::string("Name:Mod Alice"), &doc::Row::title);
        ASSERT_NE(alice, rowsNow.end());
        session->choose(static_cast<int>(alice - rowsNow.begin()));
        session->removeChosen();
        QTest::keyClick(w.get(), Qt::Key_S, Qt::ControlModifier);
        EXPECT_EQ(bytesOf(file()), bytesOf(VANTOREL_TEST_DATA "/../cli/remove_sample.txt"));
        EXPECT_EQ(static_cast<unsigned>(fs::status(file()).permissions()), 0604u);
        EXPECT_FALSE(document().modified());
    }
}

} // namespace
