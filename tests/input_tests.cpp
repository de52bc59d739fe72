#include "window_fixture.h"

#include <mod_browser.h>

#include <QAccessible>
#include <QClipboard>
#include <QRadioButton>
#include <QTimer>

#include <tuple>

namespace {

const QString kSteamWarning = "// The SteamID you entered appears to be invalid\n\n";
const QString kEmptyBody = "{\n\tbaseLevel = 0\n}\n";

void paste(QLineEdit* box, const QString& text)
{
    QApplication::clipboard()->setText(text);
    QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
}

} // namespace

// Choose SteamID, enter the box, type a SteamID, tick level 2.
TEST_F(Window, RoadOfOneChange)
{
    QTest::mouseClick(w->optSteamID, Qt::LeftButton);
    EXPECT_EQ(w->lblType->width(), w->lblType->sizeHint().width());
    EXPECT_EQ(w->txtID->ForeColor(), ui::kGrayText);
    EXPECT_EQ(result(), kSteamWarning + "\"SteamID:Enter SteamID here\"\n" + kEmptyBody);

    QTest::mouseClick(w->txtID, Qt::LeftButton);
    EXPECT_EQ(w->txtID->ForeColor(), ui::kWindowText);
    EXPECT_EQ(result(), kSteamWarning + "\"SteamID:\"\n" + kEmptyBody);
    const QString id = "STEAM_0:1:12345";
    for (int i = 0; i < id.size(); ++i) {
        QTest::keyClick(w->txtID, id[i].toLatin1());
        const QString typed = id.left(i + 1);
        ASSERT_EQ(result(), (typed.size() < 11 ? kSteamWarning : "") + "\"SteamID:" + typed + "\"\n" + kEmptyBody);
    }
    clickCheck("lvl2");
    EXPECT_EQ(result(), "\"SteamID:STEAM_0:1:12345\"\n{\n\tbaseLevel = 2\n}\n");
    QTest::mouseClick(w->chkPassword, Qt::LeftButton);
    QTest::mouseClick(w->txtID, Qt::LeftButton); // entering again keeps the identity
    EXPECT_EQ(w->txtID->text(), id);
}

TEST_F(Window, ChoosingAnotherTypeDiscardsTheIdentity)
{
    QTest::mouseClick(w->optIP, Qt::LeftButton);
    QTest::mouseClick(w->txtID, Qt::LeftButton);
    QTest::keyClicks(w->txtID, "10.0.0.1");
    EXPECT_EQ(result(), "\"IP:10.0.0.1\"\n" + kEmptyBody);
    QTest::mouseClick(w->optName, Qt::LeftButton);
    EXPECT_EQ(w->txtID->ForeColor(), ui::kGrayText);
    EXPECT_EQ(result(), "\"Name:Enter name here\"\n" + kEmptyBody);
    QTest::keyClick(w->optName, Qt::Key_Tab); // entering by keyboard clears the prompt too
    ASSERT_EQ(QApplication::focusWidget(), w->txtID);
    EXPECT_EQ(result(), "\"Name:\"\n" + kEmptyBody);
    QTest::mouseClick(w->chkPassword, Qt::LeftButton);
    EXPECT_EQ(w->txtID->text(), ""); // left empty, it gets no prompt back
    QTest::mouseClick(w->optDefault, Qt::LeftButton);
    EXPECT_FALSE(w->txtID->isEnabled() || w->chkPassword->isEnabled());
    EXPECT_EQ(w->txtID->ForeColor(), ui::kWindowText);
    EXPECT_EQ(result(), "\"Default:Default\"\n" + kEmptyBody);
}

TEST_F(Window, PasswordFlows)
{
    QTest::mouseClick(w->optName, Qt::LeftButton);
    QTest::mouseClick(w->chkPassword, Qt::LeftButton);
    EXPECT_EQ(w->txtPassword->ForeColor(), ui::kGrayText);
    EXPECT_TRUE(result().endsWith("\tpassword = Enter_password_here\n}\n"));

    // A typed space is refused and shows the warning until the timer's tick.
    w->tmrPasswordSpace_Timer();
    QTest::mouseClick(w->txtPassword, Qt::LeftButton);
    EXPECT_EQ(result(), "\"Name:Enter name here\"\n" + kEmptyBody);
    QTest::keyClicks(w->txtPassword, "ab c");
    EXPECT_FALSE(w->lblPasswordSpace->isHidden());
    EXPECT_TRUE(w->tmrPasswordSpace->isActive());
    EXPECT_TRUE(result().endsWith("\tbaseLevel = 0\n\tpassword = abc\n}\n"));
    w->tmrPasswordSpace_Timer();
    EXPECT_TRUE(w->lblPasswordSpace->isHidden());

    // Pasted spaces disappear silently; the caret stays after the pasted text.
    QTest::keyClick(w->txtPassword, Qt::Key_Left);
    paste(w->txtPassword, " x y ");
    EXPECT_EQ(w->txtPassword->text(), "abxyc");
    EXPECT_EQ(w->txtPassword->cursorPosition(), 4);
    EXPECT_TRUE(w->lblPasswordSpace->isHidden());
    w->txtPassword->selectAll();
    QTest::keyClick(w->txtPassword, Qt::Key_Space); // refused before it could replace the selection
    EXPECT_EQ(w->txtPassword->text(), "abxyc");
    w->txtPassword->selectAll();
    paste(w->txtPassword, "   ");
    EXPECT_EQ(w->txtPassword->text(), "");

    // Unticking discards the password and ticking shows the prompt again;
    // other identity types keep it, Default discards it.
    QTest::keyClicks(w->txtPassword, "pw");
    QTest::mouseClick(w->chkPassword, Qt::LeftButton);
    QTest::mouseClick(w->chkPassword, Qt::LeftButton);
    EXPECT_EQ(w->txtPassword->text(), "Enter_password_here");
    QTest::mouseClick(w->txtPassword, Qt::LeftButton);
    QTest::keyClicks(w->txtPassword, "kept");
    QTest::mouseClick(w->optSteamID, Qt::LeftButton);
    EXPECT_EQ(w->txtPassword->text(), "kept");
    QTest::mouseClick(w->optDefault, Qt::LeftButton);
    EXPECT_FALSE(w->chkPassword->isChecked() || w->txtPassword->isEnabled());
    EXPECT_EQ(w->txtPassword->text(), "");
}

TEST_F(Window, BoxesNeverHoldLineBreaksOrTooMuch)
{
    QTest::mouseClick(w->optName, Qt::LeftButton);
    QTest::mouseClick(w->chkPassword, Qt::LeftButton);
    // Whatever some reader takes for a line end ends the pasted text; other
    // control characters are dropped; the text around the caret stays.
    const QString breaks[] = {"\r\n", "\n", "\r", "\v", "\f", "\u0085", "\u2028", "\u2029"};
    const QString dropped[] = {"\t", QString(QChar(0)), "\x1b", "\x7f", "\u0080", "\u009f"};
    for (ui::TextBox* box : {w->txtID, w->txtPassword}) {
        QTest::mouseClick(box, Qt::LeftButton);
        for (size_t i = 0; i < std::size(breaks); ++i) {
            box->setText("abcd");
            box->setCursorPosition(2);
            paste(box, "f" + dropped[i % std::size(dropped)] + "irst" + breaks[i] + "second");
            EXPECT_EQ(box->text(), "abfirstcd") << box->objectName().toStdString() << " " << i;
            EXPECT_EQ(box->cursorPosition(), 7);
        }
    }
    EXPECT_EQ(resultShowsTheControls(), "");
    EXPECT_EQ(properties::entryShape(result().replace("\n", "\r\n").toStdString()), "");
    w->txtID->selectAll();
    paste(w->txtID, QString(100, 'n'));
    EXPECT_EQ(w->txtID->text(), QString(64, 'n'));
    w->txtID->setText(QString(70, 'p') + "\r\nq");
    EXPECT_EQ(w->txtID->text(), QString(64, 'p'));

    w->txtPassword->clear();
    paste(w->txtPassword, "pa ss\r\nword");
    EXPECT_EQ(w->txtPassword->text(), "pass");
    paste(w->txtPassword, QString(200, 'x'));
    EXPECT_EQ(w->txtPassword->text().size(), 128);
    EXPECT_EQ(resultShowsTheControls(), "");
}

TEST_F(Window, HelpLinkOpensTheCommandsPage)
{
    const QString base = ui::kWikiBase;
    QTest::mouseClick(w->lblMoreInfo, Qt::LeftButton);
    QStringList expected{base + "Admin_Commands"};
    // clang-format off
    const std::vector<std::pair<const char*, const char*>> rows{
        {"timelimit", "Admin_timelimit"}, {"jetpack_override", "Jetpack_Override"}, {"grabent", "%2Bgrabent"},
        {"buyexempt", "Buy_Exempt_(Free_Buying)"}, {"vantorelname", "Admin_change_name_to"},
        {"lvl8", "Admin_Commands"},
    };
    // clang-format on
    for (const auto& [key, page] : rows) {
        clickText(key);
        QTest::mouseClick(w->lblMoreInfo, Qt::LeftButton);
        expected << base + page;
    }
    EXPECT_EQ(opened, expected);
    // The address reaches the browser as written: %2B is not encoded again.
    EXPECT_EQ(modBrowser::toUrl(base + "%2Bgrabent").toEncoded(), (base + "%2Bgrabent").toUtf8());
}

TEST_F(Window, ScreenReadersKnowWhatEachBoxIsFor)
{
    EXPECT_EQ(w->lblType->buddy(), w->txtID);
    EXPECT_FALSE(w->txtPassword->accessibleName().isEmpty());
    // What a screen reader announces; the tree's first child is its hidden column header.
    QAccessibleInterface* tree = QAccessible::queryAccessibleInterface(w->treCommands);
    ASSERT_NE(tree, nullptr);
    const std::vector<std::tuple<QAccessibleInterface*, QAccessible::Role, QString>> rows{
        {QAccessible::queryAccessibleInterface(w->lblMoreInfo), QAccessible::Link, "Click here for more info."},
        {tree, QAccessible::Tree, "Commands"},
        {tree->child(0), QAccessible::ColumnHeader, "Commands"},
    };
    for (const auto& [item, role, name] : rows) {
        ASSERT_NE(item, nullptr) << name.toStdString();
        EXPECT_EQ(item->role(), role) << name.toStdString();
        EXPECT_EQ(item->text(QAccessible::Name), name);
    }
}
