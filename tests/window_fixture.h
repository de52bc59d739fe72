#pragma once

#include "properties.h"

#include <composer.h>
#include <frm_main.h>

#include <QApplication>
#include <QCheckBox>
#include <QRadioButton>
#include <QTest>

#include <gtest/gtest.h>

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
