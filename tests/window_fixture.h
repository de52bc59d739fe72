#pragma once

#include "properties.h"

#include <composer.h>
#include <file_session.h>
#include <frm_main.h>

#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

#include <deque>
#include <memory>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << s.toStdString();
}

// A shown, active main window with the help link's opener captured.
struct Window : ::testing::Test {
    std::unique_ptr<ui::frmMain> w;
    QStringList opened;

    void SetUp() override
    {
        w = std::make_unique<ui::frmMain>();
        w->setUrlOpener([this](const QString& address) { opened << address; });
        w->show();
        w->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(w.get()));
    }

    model::Node* node(const char* key) const { return w->permissions().tree.find(key); }
    QModelIndex indexOf(const char* key) const
    {
        return static_cast<ui::CommandTreeModel*>(w->treCommands->model())->indexOf(node(key));
    }

    // A real mouse click on the node's check box, or on its text.
    void clickCheck(const char* key)
    {
        w->treCommands->scrollTo(indexOf(key));
        QTest::mouseClick(w->treCommands->viewport(), Qt::LeftButton, {},
                          w->treCommands->checkRect(indexOf(key)).center());
    }
    void clickText(const char* key)
    {
        w->treCommands->scrollTo(indexOf(key));
        const QRect check = w->treCommands->checkRect(indexOf(key));
        QTest::mouseClick(w->treCommands->viewport(), Qt::LeftButton, {},
                          QPoint(check.right() + 12, check.center().y()));
    }

    // The result box holds, with CR LF line ends, one entry in its shortest form of what the controls show: the
    // type of the option chosen, with lblType's caption before the identity box's text on the identity line, the
    // password when one is required and typed, and the ticked commands. Empty when it does.
    std::string resultShowsTheControls() const
    {
        const std::pair<QRadioButton*, entry::UserType> options[] = {{w->optDefault, entry::UserType::Default},
                                                                     {w->optIP, entry::UserType::IPAddress},
                                                                     {w->optName, entry::UserType::Name},
                                                                     {w->optSteamID, entry::UserType::SteamID}};
        entry::UserType type{};
        for (const auto& [option, optionType] : options)
            type = option->isChecked() ? optionType : type;
        const std::string text = QString(result()).replace('\n', "\r\n").toStdString();
        const std::string id = w->txtID->text().toStdString(), pw = w->txtPassword->text().toStdString();
        if (text.find('"' + w->lblType->text().toStdString() + id + "\"\r\n{") == std::string::npos)
            return "the identity line is not the type's caption and the identity:\n" + text;
        const bool password = w->chkPassword->isChecked() && !pw.empty();
        return properties::readsBackAs(text, type, id, password ? std::optional<std::string_view>(pw) : std::nullopt,
                                       properties::ticked(w->permissions()));
    }
    QString result() const { return w->txtResult->toPlainText(); }
};

// The session's questions answered from a script instead of dialogs: each leave question takes the next answer
// (Discard when none is left), each conflict question keeps the window's or the file's version of every entry, or
// cancels; messages are kept.
struct ScriptedPrompts : ui::FilePrompts {
    std::deque<Leave> leave;
    std::deque<std::optional<bool>> keepWindow; // nullopt: cancel
    std::vector<doc::Conflict> asked;
    QStringList said;

    Leave askLeave(const QString& file) override
    {
        said << file + " has changes that are not saved";
        const Leave answer = leave.empty() ? Leave::Discard : leave.front();
        if (!leave.empty())
            leave.pop_front();
        return answer;
    }
    std::optional<std::vector<doc::Answer>> askConflicts(const QString&,
                                                         const std::vector<doc::Conflict>& conflicts) override
    {
        asked.insert(asked.end(), conflicts.begin(), conflicts.end());
        const std::optional<bool> keep = keepWindow.empty() ? std::optional(true) : keepWindow.front();
        if (!keepWindow.empty())
            keepWindow.pop_front();
        if (!keep)
            return std::nullopt;
        std::vector<doc::Answer> answers;
        for (const doc::Conflict& c : conflicts)
            answers.push_back({c.key(), *keep});
        return answers;
    }
    void showError(const QString& message) override { said << message; }
    void showChanges(const QString&, const doc::Preview& preview) override { shown.push_back(preview); }
    std::vector<doc::Preview> shown;
    HostKey hostKey = HostKey::Refuse;
    HostKey askHostKey(const QString& address, const QString& key, bool canRemember) override
    {
        said << address + (canRemember ? " host key " : " certificate key ") + key;
        return hostKey;
    }
    Address address;
    std::optional<Address> askAddress() override { return address; }
};

// The window with its file session, whose questions a script answers.
struct SessionWindow : Window {
    ui::FileSession* session = nullptr;
    ScriptedPrompts* prompts = nullptr;

    void SetUp() override
    {
        Window::SetUp();
        session = new ui::FileSession(w.get());
        auto owned = std::make_unique<ScriptedPrompts>();
        prompts = owned.get();
        session->setPrompts(std::move(owned));
    }
    const doc::AdminsDocument& document() const { return *session->document(); }
};
