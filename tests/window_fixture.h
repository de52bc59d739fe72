#pragma once

#include "properties.h"

#include <composer.h>
#include <frm_main.h>

#include <QApplication>
#include <QCheckBox>
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

    // The entry that the controls' current values give, with the line ends the
    // result box shows.
    QString expectedResult() const
    {
        const std::string caption = w->lblType->text().toStdString();
        const std::string id = w->txtID->text().toStdString();
        const std::string pw = w->txtPassword->text().toStdString();
        const auto& p = w->permissions();
        const int value = w->chkPassword->isChecked() ? 1 : 0; // the box has no third state
        const entry::EntryInputs in{caption, id, w->selectedUserType(), value, pw};
        const std::string text = entry::composeEntry(p.colLevels, p.colCommands, in);
        return QString::fromStdString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    }
    QString result() const { return w->txtResult->toPlainText(); }
};
