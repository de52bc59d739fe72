#include "window_fixture.h"

#include <window_faces.h>

#include <catalogue.h>

#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTimer>

TEST_F(Window, LayoutAndTabOrder)
{
    EXPECT_EQ(w->size(), QSize(577, 521));
    EXPECT_EQ(w->minimumSize(), w->maximumSize());
    EXPECT_FALSE(w->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    // clang-format off
    const std::vector<std::pair<const char*, QRect>> rects{
        {"Frame3", {280, 8, 289, 505}}, {"txtResult", {288, 56, 273, 449}}, {"lblResult", {288, 24, 273, 33}},
        {"Frame2", {8, 152, 265, 361}}, {"treCommands", {16, 224, 249, 249}}, {"cmdDefault", {192, 200, 73, 17}},
        {"cmdUncheckAll", {104, 200, 73, 17}}, {"cmdCheckAll", {16, 200, 73, 17}},
        {"lblMoreInfo", {16, 480, 249, 25}}, {"lblCommands", {16, 168, 249, 33}}, {"Frame1", {8, 8, 265, 137}},
        {"Picture1", {16, 24, 249, 113}}, {"txtPassword", {136, 112, 129, 19}}, {"chkPassword", {16, 112, 113, 17}},
        {"txtID", {72, 56, 193, 19}}, {"optIP", {192, 40, 73, 17}}, {"optName", {16, 40, 57, 13}},
        {"optSteamID", {200, 24, 65, 17}}, {"optDefault", {16, 24, 65, 17}}, {"lblPasswordSpace", {16, 80, 249, 33}},
        {"lblPassword", {16, 80, 249, 33}}, {"lblType", {16, 59, w->lblType->sizeHint().width(), 13}},
    };
    // clang-format on
    for (const auto& [name, rect] : rects) {
        auto* c = w->findChild<QWidget*>(name);
        ASSERT_NE(c, nullptr) << name;
        EXPECT_EQ(QRect(c->mapTo(w.get(), QPoint()), c->size()), rect) << name;
    }
    // The space warning is drawn over the instructions, and hides them.
    EXPECT_GT(w->Picture1->children().indexOf(w->lblPasswordSpace), w->Picture1->children().indexOf(w->lblPassword));
    EXPECT_TRUE(w->lblPasswordSpace->autoFillBackground());
    EXPECT_EQ(w->optIP->layoutDirection(), Qt::RightToLeft);

    // Tab enters the options at the selected one only and skips disabled boxes.
    w->optDefault->setFocus();
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 7; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(visited.join(' '),
              "optDefault chkPassword cmdCheckAll cmdUncheckAll cmdDefault treCommands txtResult optDefault");
}

TEST_F(Window, StartValues)
{
    // clang-format off
    const std::vector<std::pair<QString, QString>> texts{
        {"windowTitle", "Vantorel KZ_admins.txt Helper"}, {"Frame1", "User Type"}, {"Frame2", "Commands"},
        {"Frame3", "Admin File Entry"}, {"optDefault", "Default"}, {"optSteamID", "SteamID"}, {"optName", "Name"},
        {"optIP", "IP Address"}, {"lblType", "Default:"}, {"txtID", "Default"}, {"txtPassword", ""},
        {"chkPassword", "Require Password"},
        {"lblPassword", "Check the box below to require this user to login with a password "
                        "before having access to commands."},
        {"lblPasswordSpace", "Passwords cannot contain any spaces."},
        {"lblCommands", "Check the commands below that you want the user to have access to."},
        {"cmdCheckAll", "Check All"}, {"cmdUncheckAll", "Uncheck All"}, {"cmdDefault", "Defaults"},
        {"lblMoreInfo", "Click here for more info."},
        {"lblResult", "Copy and paste the text below into your KZ_admins.txt file."},
        {"txtResult", "\"Default:Default\"\n{\n\tbaseLevel = 0\n}\n"},
    };
    // clang-format on
    for (const auto& [name, text] : texts) {
        QObject* o = name == "windowTitle" ? w.get() : w->findChild<QObject*>(name);
        const char* property = name == "windowTitle" ? "windowTitle"
            : qobject_cast<QGroupBox*>(o)            ? "title"
            : name == "txtResult"                    ? "plainText"
                                                     : "text";
        EXPECT_EQ(o->property(property).toString(), text) << name.toStdString();
    }
    EXPECT_TRUE(w->optDefault->isChecked());
    EXPECT_FALSE(w->txtID->isEnabled());
    EXPECT_EQ(w->txtID->ForeColor(), ui::kGrayText);
    EXPECT_EQ(w->txtID->palette().color(QPalette::Disabled, QPalette::Text), ui::colorFor(ui::kGrayText));
    EXPECT_TRUE(w->chkPassword->isEnabled() && !w->chkPassword->isChecked());
    EXPECT_FALSE(w->txtPassword->isEnabled());
    EXPECT_EQ(w->txtPassword->echoMode(), QLineEdit::Normal);
    EXPECT_TRUE(w->lblPasswordSpace->isHidden());
    EXPECT_EQ(w->lblPasswordSpace->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(w->lblMoreInfo->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_TRUE(w->lblMoreInfo->font().underline());
    EXPECT_EQ(w->lblMoreInfo->Tag(), "");
    EXPECT_TRUE(w->txtResult->isReadOnly());
    EXPECT_EQ(w->txtResult->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(w->txtResult->verticalScrollBarPolicy() + w->txtResult->horizontalScrollBarPolicy(),
              2 * Qt::ScrollBarAlwaysOn);
    // The whole tree is open with the root at the top.
    EXPECT_EQ(w->treCommands->indexAt(QPoint(60, 2)), indexOf("root"));
    for (const char* key : {"root", "lvl0", "lvl1024", "lvl65536"})
        EXPECT_TRUE(w->treCommands->isExpanded(indexOf(key))) << key;
    // The timer runs from the start; its first tick shows nothing and stops it.
    EXPECT_TRUE(w->tmrPasswordSpace->isActive());
    EXPECT_EQ(w->tmrPasswordSpace->interval(), 4000);
    w->tmrPasswordSpace_Timer();
    EXPECT_TRUE(w->lblPasswordSpace->isHidden());
    EXPECT_FALSE(w->tmrPasswordSpace->isActive());
}

// A frame's line, where this system's frames are drawn by the window, runs through its caption, which has ink above
// and below it, and clear of every control inside the frame.
TEST_F(Window, FrameLinesCrossTheirCaptionsAndNothingElse)
{
    if (ui::frameStyle() == nullptr)
        GTEST_SKIP() << "the system draws the frames";
    for (QGroupBox* frame : {w->Frame1, w->Frame2, w->Frame3}) {
        const QImage image = frame->grab().toImage();
        int line = 0; // where the line down the left edge begins: the top line's row
        while (line < image.height() && image.pixel(0, line) != frame->palette().dark().color().rgb())
            ++line;
        int inkTop = image.height(), inkBottom = 0; // the caption's, the only text above the controls
        int inkLeft = image.width(), inkRight = 0;
        for (int y = 0; y < w->Picture1->y(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qGray(image.pixel(x, y)) < 100)
                    inkTop = std::min(inkTop, y), inkBottom = std::max(inkBottom, y), inkLeft = std::min(inkLeft, x),
                    inkRight = std::max(inkRight, x);
        EXPECT_TRUE(inkTop < line && line < inkBottom) << frame->title().toStdString() << " " << line;
        // The line stops short of the caption and goes on after it.
        const QRgb dark = frame->palette().dark().color().rgb();
        for (int x = inkLeft - 1; x <= inkRight + 1; ++x)
            EXPECT_NE(image.pixel(x, line), dark) << frame->title().toStdString() << " " << x;
        EXPECT_EQ(image.pixel(2, line), dark);
        EXPECT_EQ(image.pixel(inkRight + 8, line), dark);
        for (const QWidget* inside : frame->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            EXPECT_GT(inside->y(), line + 1) << inside->objectName().toStdString();
    }
}

TEST_F(Window, EveryCaptionFitsItsRectangle)
{
    const auto fits = [](const QWidget* c, const QFont& font, const QString& text, int width, bool wrap) {
        const QRect need = QFontMetrics(font).boundingRect(QRect(0, 0, width, 1000), wrap ? Qt::TextWordWrap : 0, text);
        return need.width() <= width && need.height() <= c->height();
    };
    for (auto* l : w->findChildren<ui::Label*>())
        EXPECT_TRUE(fits(l, l->font(), l->text(), l->width(), l->wordWrap())) << l->objectName().toStdString();
    for (auto* b : w->findChildren<QAbstractButton*>()) {
        // A push button's frame, or an option's or check box's indicator, takes room too.
        const int room = qobject_cast<QPushButton*>(b)
            ? b->width() - 2 * b->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b)
            : b->width() - (b->sizeHint().width() - b->fontMetrics().horizontalAdvance(b->text()));
        EXPECT_TRUE(fits(b, b->font(), b->text(), room, false)) << b->objectName().toStdString();
    }
    for (const auto& e : model::commandCatalogue()) {
        const QString caption = "Click here for more info on " + QString::fromUtf8(e.text.data(), e.text.size());
        EXPECT_TRUE(fits(w->lblMoreInfo, w->lblMoreInfo->font(), caption, 249, true)) << caption.toStdString();
    }
    // The face drawn is one the window asked for, not a default that the system put in its place.
    const QFontInfo face(w->font());
    EXPECT_TRUE(w->font().families().contains(face.family())) << face.family().toStdString();
#ifdef Q_OS_WIN
    EXPECT_EQ(w->style()->name(), "windowsvista"); // the native style, not Fusion
#endif
}

TEST_F(Window, TicksByMouseAndBySpaceRebuildTheEntryOnce)
{
    QSignalSpy checks(w->treCommands->model(), SIGNAL(nodeCheck(model::Node*)));
    clickCheck("lvl2");
    EXPECT_EQ(checks.count(), 1);
    EXPECT_TRUE(node("timelimit")->Checked() && node("map")->Checked());
    EXPECT_EQ(result(), "\"Default:Default\"\n{\n\tbaseLevel = 2\n}\n");
    EXPECT_FALSE(w->treCommands->selectionModel()->hasSelection()); // a tick selects nothing
    const QPoint lvl8 = w->treCommands->checkRect(indexOf("lvl8")).center();
    QTest::mousePress(w->treCommands->viewport(), Qt::LeftButton, {}, lvl8);
    QTest::mouseRelease(w->treCommands->viewport(), Qt::LeftButton, {}, lvl8 + QPoint(0, 40)); // let go elsewhere
    EXPECT_FALSE(node("lvl8")->Checked());

    clickText("slap");
    QTest::keyClick(w->treCommands, Qt::Key_Space);
    clickCheck("map");
    EXPECT_EQ(checks.count(), 3);
    EXPECT_FALSE(node("lvl2")->Checked());
    EXPECT_EQ(w->lblMoreInfo->Tag(), "admin_slap");
    EXPECT_EQ(result(),
              "\"Default:Default\"\n{\n\taddAdminCmd = timelimit\n\taddAdminCmd = slap\n\tbaseLevel = 0\n}\n");

    // The program's own writes raise no node check; the view hears of each
    // changed tick, and nothing else.
    QSignalSpy repaints(w->treCommands->model(), &QAbstractItemModel::dataChanged);
    QTest::mouseClick(w->cmdCheckAll, Qt::LeftButton);
    EXPECT_EQ(checks.count(), 3);
    EXPECT_EQ(repaints.count(), 97 - 8); // all but lvl0, its 5 commands, timelimit and slap
    EXPECT_EQ(result(), "\"Default:Default\"\n{\n\tbaseLevel = 131071\n}\n");
    QTest::mouseClick(w->cmdUncheckAll, Qt::LeftButton);
    EXPECT_EQ(indexOf("lvl0").data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    EXPECT_TRUE(result().startsWith("\"Default:Default\"\n{\n\tdenyCmd = say\n\tdenyCmd = say_team\n"));
    QTest::mouseClick(w->cmdDefault, Qt::LeftButton);
    EXPECT_EQ(indexOf("lvl0").data(Qt::CheckStateRole).toInt(), Qt::Checked);
    EXPECT_EQ(result(), "\"Default:Default\"\n{\n\tbaseLevel = 0\n}\n");
}

TEST_F(Window, ClickingTheTreeSetsTheHelpLink)
{
    // Node clicked (null: empty space below the last node), Tag afterwards.
    // clang-format off
    const std::vector<std::pair<const char*, QString>> rows{
        {"timelimit", "admin_timelimit"}, {"root", "admin_timelimit"}, {"lvl2", ""},
        {"buyexempt", "Buy Exempt (Free Buying)"}, {nullptr, "Buy Exempt (Free Buying)"}, {"jetpack", ""},
        {"lvl0", ""},
    };
    // clang-format on
    for (const auto& [clicked, tag] : rows) {
        if (clicked) {
            clickText(clicked);
        } else {
            w->treCommands->scrollToBottom();
            const QRect last = w->treCommands->visualRect(indexOf("rcon"));
            QTest::mouseClick(w->treCommands->viewport(), Qt::LeftButton, {}, QPoint(60, last.bottom() + 20));
        }
        EXPECT_EQ(w->lblMoreInfo->Tag(), tag) << (clicked ? clicked : "empty space");
        EXPECT_EQ(w->lblMoreInfo->text(),
                  tag.isEmpty() ? "Click here for more info." : "Click here for more info on " + tag);
    }
    clickText("timelimit");
    QTest::keyClick(w->treCommands, Qt::Key_Down); // the keyboard moves the link too
    EXPECT_EQ(w->lblMoreInfo->Tag(), "admin_map");
    QTest::keyClick(w->treCommands, Qt::Key_F2); // no text can be edited
    EXPECT_TRUE(w->treCommands->findChildren<QLineEdit*>().isEmpty());
}

TEST_F(Window, CopiedEntryKeepsCrLf)
{
    clickCheck("lvl2");
    w->txtResult->setFocus();
    QTest::keyClick(w->txtResult, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(w->txtResult, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "\"Default:Default\"\r\n{\r\n\tbaseLevel = 2\r\n}\r\n");
}

TEST(TreeAdapter, PassesTheModelTester)
{
    model::Permissions p;
    ui::CommandTreeModel adapter(p.tree);
    QAbstractItemModelTester tester(&adapter, QAbstractItemModelTester::FailureReportingMode::Fatal);
    model::loadCatalogue(p);
    EXPECT_EQ(adapter.rowCount(adapter.index(0, 0)), 18);
    EXPECT_FALSE(adapter.setData(adapter.index(0, 0), "renamed", Qt::EditRole));
}

// A rebuild that only changes how many lines are in view does not repaint the
// result box's scroll bar: while everything is in view, it looks the same.
TEST_F(Window, ResultScrollBarLooksTheSameWhileAllIsInView)
{
    QScrollBar* bar = w->txtResult->verticalScrollBar();
    const QImage before = bar->grab().toImage();
    const int page = bar->pageStep();
    QTest::mouseClick(w->cmdUncheckAll, Qt::LeftButton);
    ASSERT_NE(bar->pageStep(), page);
    EXPECT_EQ(bar->maximum(), 0);
    EXPECT_EQ(bar->grab().toImage(), before);
}
