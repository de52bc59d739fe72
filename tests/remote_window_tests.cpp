// The window with a file on a server: opened by Ctrl+Shift+O from a real OpenSSH sshd, the server's unknown host key
// asked about once, an entry removed and the file saved back through the server; and from a real FTP server, whose
// self-signed certificate's key is asked about, or which offers no TLS at all.
#include "ftp_server.h"
#include "sshd_server.h"
#include "window_fixture.h"

#include <file_panel.h>

#include <cstdlib>

namespace {

using namespace sshd_test;

// Removes the sample's entry of Mod Alice in the open file and saves with Ctrl+S.
void removeAliceAndSave(SessionWindow& window)
{
    const auto& rows = window.document().rows();
    const auto alice = std::ranges::find(rows, std::string("Name:Mod Alice"), &doc::Row::title);
    ASSERT_NE(alice, rows.end());
    window.session->choose(static_cast<int>(alice - rows.begin()));
    window.session->removeChosen();
    QTest::keyClick(window.w.get(), Qt::Key_S, Qt::ControlModifier);
}

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
        prompts->address.text = QString::fromStdString(url());
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
        const QString question = prompts->address.text + " host key ssh-ed25519 " + QString::fromStdString(fingerprint);
        EXPECT_EQ(prompts->said.contains(question), row.asked) << prompts->said.join('\n').toStdString();
        EXPECT_EQ(lines(dir_ / "window_hosts"), row.remembered);
        ASSERT_EQ(session->document() != nullptr, row.opened) << prompts->said.join('\n').toStdString();
        if (!row.opened)
            continue;
        EXPECT_EQ(w->windowTitle(), prompts->address.text + "[*] - Vantorel KZ_admins.txt Helper");
        removeAliceAndSave(*this);
        EXPECT_EQ(bytesOf(file()), bytesOf(VANTOREL_TEST_DATA "/../cli/remove_sample.txt"));
        EXPECT_EQ(static_cast<unsigned>(fs::status(file()).permissions()), 0604u);
        EXPECT_FALSE(document().modified());
    }
}

struct FtpWindow : SessionWindow, FtpServer {
    static void SetUpTestSuite() { start(); }
    static void TearDownTestSuite() { stop(); }
    void SetUp() override
    {
        if (!skip_.empty())
            GTEST_SKIP() << "no FTP server: " << skip_;
        ::setenv("VANTOREL_ADMINS_NETRC", (dir_ / "netrc").c_str(), 1);
        ::unsetenv("VANTOREL_ADMINS_LOGIN_PASSWORD");
        SessionWindow::SetUp();
    }
    void TearDown() override
    {
        stopServer();
        SessionWindow::TearDown();
    }
};

TEST_F(FtpWindow, ASelfSignedServerIsAskedAboutAndPlainFtpOnlyWhenTicked)
{
    const struct {
        const char* mode; // the server's: TLS with a self-signed certificate, or none
        ScriptedPrompts::HostKey answer;
        bool plainTicked, opened;
        std::string said; // a part of what the window asked or said
    } rows[] = {
        {"tls", ScriptedPrompts::HostKey::Refuse, false, false, " certificate key " + pin_},
        {"tls", ScriptedPrompts::HostKey::Once, false, true, " certificate key " + pin_},
        {"plain", ScriptedPrompts::HostKey::Refuse, false, false, "the server offers no TLS"},
        {"plain", ScriptedPrompts::HostKey::Refuse, true, true, ""},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(std::string(row.mode) + " " + std::to_string(row.plainTicked));
        TearDown();
        SetUp();
        fs::copy_file(VANTOREL_TEST_DATA "/sample_admins.txt", file(), fs::copy_options::overwrite_existing);
        prompts->address = {QString::fromStdString(url("ftp://", serve(row.mode))), row.plainTicked};
        prompts->hostKey = row.answer;
        QTest::keyClick(w.get(), Qt::Key_O, Qt::ControlModifier | Qt::ShiftModifier);
        const std::string said = prompts->said.join('\n').toStdString();
        EXPECT_NE(said.find(row.said), std::string::npos) << said;
        ASSERT_EQ(session->document() != nullptr, row.opened) << said;
        if (!row.opened)
            continue;
        removeAliceAndSave(*this);
        EXPECT_EQ(bytesOf(file()), bytesOf(VANTOREL_TEST_DATA "/../cli/remove_sample.txt")) << said;
        EXPECT_FALSE(document().modified());
        EXPECT_TRUE(alone());
    }
}

} // namespace
