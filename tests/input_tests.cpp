#include "window_fixture.h"

#include <mod_browser.h>

#include <QAccessible>
#include <QCheckBox>
#include <QClipboard>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

namespace {

const QString kSteamWarning = "// The SteamID you entered appears to be invalid\n\n";

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
    EXPECT_EQ(w->lblType->text(), "SteamID:");
    EXPECT_EQ(w->lblType->width(), w->lblType->sizeHint().width());
    EXPECT_EQ(w->txtID->text(), "Enter SteamID here");
    EXPECT_EQ(w->txtID->ForeColor(), ui::kGrayText);
    EXPECT_TRUE(w->IDPlaceholderShown);
    EXPECT_EQ(result(), kSteamWarning + "\"SteamID:Enter SteamID here\"\n{\n\tbaseLevel = 0\n}\n");

    QTest::mouseClick(w->txtID, Qt::LeftButton);
    EXPECT_EQ(w->txtID->text(), "");
    EXPECT_EQ(w->txtID->ForeColor(), ui::kWindowText);
    EXPECT_EQ(result(), kSteamWarning + "\"SteamID:\"\n{\n\tbaseLevel = 0\n}\n");

    const QString id = "STEAM_0:1:12345";
    for (int i = 0; i < id.size(); ++i) {
        QTest::keyClick(w->txtID, id[i].toLatin1());
        const QString typed = id.left(i + 1);
        const QString head = (typed.size() < 11 ? kSteamWarning : QString()) + "\"SteamID:" + typed + "\"\n";
        ASSERT_EQ(result(), head + "{\n\tbaseLevel = 0\n}\n") << i;
    }

    clickCheck("lvl2");
    EXPECT_EQ(result(), "\"SteamID:STEAM_0:1:12345\"\n{\n\tbaseLevel = 2\n}\n");

    // Entering the box again keeps the identity.
    QTest::mouseClick(w->chkPassword, Qt::LeftButton);
    QTest::mouseClick(w->txtID, Qt::LeftButton);
    EXPECT_EQ(w->txtID->text(), id);
}

TEST_F(Window, ChoosingAnotherTypeDiscardsTheIdentity)
{
    QTest::mouseClick(w->optIP, Qt::LeftButton);
    EXPECT_EQ(result(),
              "// The IP you entered appears to be invalid\n\n\"IP:Enter IP address here\"\n{\n\tbaseLevel = 0\n}\n");
    QTest::mouseClick(w->txtID, Qt::LeftButton);
    QTest::keyClicks(w->txtID, "10.0.0.1");
    EXPECT_EQ(result(), "\"IP:10.0.0.1\"\n{\n\tbaseLevel = 0\n}\n");
    QTest::mouseClick(w->optName, Qt::LeftButton);
    EXPECT_EQ(w->txtID->text(), "Enter name here");
    EXPECT_EQ(w->txtID->ForeColor(), ui::kGrayText);
    EXPECT_EQ(result(), "\"Name:Enter name here\"\n{\n\tbaseLevel = 0\n}\n");

    // Emptied by hand, the box does not get its prompt back.
    QTest::mouseClick(w->txtID, Qt::LeftButton);
    QTest::mouseClick(w->cmdDefault, Qt::LeftButton);
    EXPECT_EQ(w->txtID->text(), "");

    QTest::mouseClick(w->optDefault, Qt::LeftButton);
    EXPECT_EQ(w->txtID->text(), "Default");
    EXPECT_FALSE(w->txtID->isEnabled());
    EXPECT_EQ(w->txtID->ForeColor(), ui::kWindowText);
    EXPECT_FALSE(w->chkPassword->isEnabled());
    EXPECT_EQ(result(), "\"Default:Default\"\n{\n\tbaseLevel = 0\n}\n");
}

TEST_F(Window, TabIntoTheIdentityBoxClearsThePrompt)
{
    QTest::mouseClick(w->optSteamID, Qt::LeftButton);
    for (int i = 0; i < 5 && QApplication::focusWidget() != w->txtID; ++i)
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), w->txtID);
    EXPECT_EQ(w->txtID->text(), "");
    EXPECT_FALSE(w->IDPlaceholderShown);
    EXPECT_EQ(result(), kSteamWarning + "\"SteamID:\"\n{\n\tbaseLevel = 0\n}\n");
}

TEST_F(Window, PasswordFlows)
{
    QTest::mouseClick(w->optName, Qt::LeftButton);
    QTest::mouseClick(w->chkPassword, Qt::LeftButton);
    EXPECT_EQ(w->txtPassword->text(), "Enter_password_here");
    EXPECT_EQ(w->txtPassword->ForeColor(), ui::kGrayText);
    EXPECT_TRUE(result().contains("\tpassword = Enter_password_here\n"));

    // A typed space is refused with the warning; the timer hides it again.
    w->tmrPasswordSpace_Timer();
    QTest::mouseClick(w->txtPassword, Qt::LeftButton);
    EXPECT_EQ(w->txtPassword->text(), "");
    EXPECT_FALSE(result().contains("password"));
    QTest::keyClicks(w->txtPassword, "ab c");
    EXPECT_EQ(w->txtPassword->text(), "abc");
    EXPECT_FALSE(w->lblPasswordSpace->isHidden());
    EXPECT_TRUE(w->tmrPasswordSpace->isActive());
    EXPECT_EQ(w->tmrPasswordSpace->interval(), 4000);
    EXPECT_TRUE(result().endsWith("\tbaseLevel = 0\n\tpassword = abc\n}\n"));
    w->tmrPasswordSpace_Timer();
    EXPECT_TRUE(w->lblPasswordSpace->isHidden());
    EXPECT_FALSE(w->tmrPasswordSpace->isActive());

    // Pasted spaces disappear silently, wherever they stand.
    QTest::keyClick(w->txtPassword, Qt::Key_Left);
    paste(w->txtPassword, " x y ");
    EXPECT_EQ(w->txtPassword->text(), "abxyc");
    EXPECT_EQ(w->txtPassword->cursorPosition(), 4);
    EXPECT_TRUE(w->lblPasswordSpace->isHidden());
    w->txtPassword->selectAll();
    paste(w->txtPassword, "   ");
    EXPECT_EQ(w->txtPassword->text(), "");

    // Leaving and entering the box keeps a password; unticking discards it.
    QTest::keyClicks(w->txtPassword, "pw");
    QTest::mouseClick(w->txtID, Qt::LeftButton);
    QTest::mouseClick(w->txtPassword, Qt::LeftButton);
    EXPECT_EQ(w->txtPassword->text(), "pw");
    QTest::mouseClick(w->chkPassword, Qt::LeftButton);
    EXPECT_EQ(w->txtPassword->text(), "");
    EXPECT_FALSE(w->txtPassword->isEnabled());
    QTest::mouseClick(w->chkPassword, Qt::LeftButton);
    EXPECT_EQ(w->txtPassword->text(), "Enter_password_here");

    // Switching between typed identities keeps it; Default discards it.
    QTest::mouseClick(w->txtPassword, Qt::LeftButton);
    QTest::keyClicks(w->txtPassword, "kept");
    QTest::mouseClick(w->optSteamID, Qt::LeftButton);
    EXPECT_TRUE(w->chkPassword->isChecked());
    EXPECT_EQ(w->txtPassword->text(), "kept");
    QTest::mouseClick(w->optDefault, Qt::LeftButton);
    EXPECT_FALSE(w->chkPassword->isChecked());
    EXPECT_FALSE(w->chkPassword->isEnabled());
    EXPECT_FALSE(w->txtPassword->isEnabled());
    EXPECT_EQ(w->txtPassword->text(), "");
    EXPECT_EQ(result(), "\"Default:Default\"\n{\n\tbaseLevel = 0\n}\n");
}

TEST_F(Window, BoxesNeverHoldLineBreaksOrTooMuch)
{
    QTest::mouseClick(w->optName, Qt::LeftButton);
    QTest::mouseClick(w->txtID, Qt::LeftButton);
    QTest::keyClicks(w->txtID, "abcd");
    QTest::keyClick(w->txtID, Qt::Key_Left);
    QTest::keyClick(w->txtID, Qt::Key_Left);
    paste(w->txtID, "first line\nsecond line");
    EXPECT_EQ(w->txtID->text(), "abfirst linecd");
    EXPECT_EQ(w->txtID->cursorPosition(), 12);
    w->txtID->selectAll();
    paste(w->txtID, "\r\nonly after");
    EXPECT_EQ(w->txtID->text(), "");
    EXPECT_EQ(result(), "\"Name:\"\n{\n\tbaseLevel = 0\n}\n");

    w->txtID->selectAll();
    paste(w->txtID, QString(100, 'n'));
    EXPECT_EQ(w->txtID->text(), QString(64, 'n'));
    w->txtID->setText(QString(70, 'p') + "\nq");
    EXPECT_EQ(w->txtID->text(), QString(64, 'p'));

    QTest::mouseClick(w->chkPassword, Qt::LeftButton);
    QTest::mouseClick(w->txtPassword, Qt::LeftButton);
    paste(w->txtPassword, "pa ss\r\nword");
    EXPECT_EQ(w->txtPassword->text(), "pass");
    w->txtPassword->selectAll();
    paste(w->txtPassword, QString(200, 'x'));
    EXPECT_EQ(w->txtPassword->text().size(), 128);
    EXPECT_EQ(result(), expectedResult());
}

TEST_F(Window, HelpLinkOpensTheCommandsPage)
{
    const QString base = ui::kWikiBase;
    EXPECT_TRUE(base.endsWith("wiki/"));
    QTest::mouseClick(w->lblMoreInfo, Qt::LeftButton);
    const std::vector<std::pair<const char*, const char*>> rows{
        {"timelimit", "Admin_timelimit"},
        {"jetpack_override", "Jetpack_Override"},
        {"grabent", "%2Bgrabent"},
        {"buyexempt", "Buy_Exempt_(Free_Buying)"},
        {"vantorelname", "Admin_change_name_to"},
        {"whoisprivilege", "Whois_privilege"},
        {"lvl8", "Admin_Commands"},
    };
    for (const auto& [key, page] : rows) {
        clickText(key);
        QTest::mouseClick(w->lblMoreInfo, Qt::LeftButton);
    }
    QStringList expected{base + "Admin_Commands"};
    for (const auto& row : rows)
        expected << base + row.second;
    EXPECT_EQ(opened, expected);
    EXPECT_EQ(ui::helpPageName("x"), "X");
    // The address reaches the browser as it was written.
    EXPECT_EQ(modBrowser::toUrl(base + "%2Bgrabent").toEncoded(), (base + "%2Bgrabent").toUtf8());
    EXPECT_EQ(w->lblMoreInfo->cursor().shape(), Qt::PointingHandCursor);
}

TEST_F(Window, ScreenReadersKnowWhatEachBoxIsFor)
{
    EXPECT_EQ(w->lblType->buddy(), w->txtID);
    EXPECT_FALSE(w->txtPassword->accessibleName().isEmpty());
    QAccessibleInterface* link = QAccessible::queryAccessibleInterface(w->lblMoreInfo);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->role(), QAccessible::Link);
    EXPECT_EQ(link->text(QAccessible::Name), "Click here for more info.");
}
