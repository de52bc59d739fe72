#include "window_fixture.h"

#include <catalogue.h>

#include <QAbstractItemModelTester>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTimer>

TEST_F(Window, ControlsStandAtTheirRectangles)
{
    EXPECT_EQ(w->size(), QSize(577, 521));
    EXPECT_EQ(w->minimumSize(), w->maximumSize());
    EXPECT_EQ(w->windowTitle(), "Vantorel KZ_admins.txt Helper");
    EXPECT_FALSE(w->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(w->windowFlags() & Qt::WindowCloseButtonHint);

    const std::vector<std::pair<const char*, QRect>> rects{
        {"Frame3", {280, 8, 289, 505}},        {"txtResult", {288, 56, 273, 449}},
        {"lblResult", {288, 24, 273, 33}},     {"Frame2", {8, 152, 265, 361}},
        {"treCommands", {16, 224, 249, 249}},  {"cmdDefault", {192, 200, 73, 17}},
        {"cmdUncheckAll", {104, 200, 73, 17}}, {"cmdCheckAll", {16, 200, 73, 17}},
        {"lblMoreInfo", {16, 480, 249, 25}},   {"lblCommands", {16, 168, 249, 33}},
        {"Frame1", {8, 8, 265, 137}},          {"Picture1", {16, 24, 249, 113}},
        {"txtPassword", {136, 112, 129, 19}},  {"chkPassword", {16, 112, 113, 17}},
        {"txtID", {72, 56, 193, 19}},          {"optIP", {192, 40, 73, 17}},
        {"optName", {16, 40, 57, 13}},         {"optSteamID", {200, 24, 65, 17}},
        {"optDefault", {16, 24, 65, 17}},      {"lblPasswordSpace", {16, 80, 249, 33}},
        {"lblPassword", {16, 80, 249, 33}},    {"lblType", {16, 59, 0, 13}},
    };
    for (const auto& [name, rect] : rects) {
        auto* c = w->findChild<QWidget*>(name);
        ASSERT_NE(c, nullptr) << name;
        QRect actual(c->mapTo(w.get(), QPoint()), c->size());
        if (rect.width() == 0) // sizes itself to its caption
            actual.setWidth(0);
        EXPECT_EQ(actual, rect) << name;
    }
    // The space warning is drawn over the instructions and hides them.
    EXPECT_GT(w->Picture1->children().indexOf(w->lblPasswordSpace), w->Picture1->children().indexOf(w->lblPassword));
    EXPECT_TRUE(w->lblPasswordSpace->autoFillBackground());
    EXPECT_EQ(w->optIP->layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(w->optSteamID->layoutDirection(), Qt::RightToLeft);
}

TEST_F(Window, TabVisitsTheEnabledControlsInOrder)
{
    w->optDefault->setFocus();
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 12; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    // Qt lets Tab enter a set of options at its selected one only, as the
    // classic controls do; the disabled boxes are skipped.
    EXPECT_EQ(visited.join(' '),
              "optDefault chkPassword cmdCheckAll cmdUncheckAll cmdDefault treCommands txtResult "
              "optDefault chkPassword cmdCheckAll cmdUncheckAll cmdDefault treCommands");
}

TEST_F(Window, StartValues)
{
    EXPECT_TRUE(w->optDefault->isChecked());
    EXPECT_EQ(w->txtID->text(), "Default");
    EXPECT_FALSE(w->txtID->isEnabled());
    EXPECT_EQ(w->txtID->ForeColor(), ui::kGrayText);
    EXPECT_EQ(w->txtID->palette().color(QPalette::Disabled, QPalette::Text), ui::colorFor(ui::kGrayText));
    EXPECT_EQ(w->txtID->maxLength(), 64);
    EXPECT_EQ(w->lblType->text(), "Default:");
    EXPECT_EQ(w->lblType->width(), w->lblType->sizeHint().width());
    EXPECT_TRUE(w->chkPassword->isEnabled());
    EXPECT_FALSE(w->chkPassword->isChecked());
    EXPECT_EQ(w->txtPassword->text(), "");
    EXPECT_FALSE(w->txtPassword->isEnabled());
    EXPECT_EQ(w->txtPassword->echoMode(), QLineEdit::Normal);
    EXPECT_EQ(w->txtPassword->maxLength(), 128);
    EXPECT_TRUE(w->lblPasswordSpace->isHidden());
    EXPECT_EQ(w->lblPasswordSpace->text(), "Passwords cannot contain any spaces.");
    EXPECT_EQ(w->lblPasswordSpace->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_TRUE(w->tmrPasswordSpace->isActive());
    EXPECT_EQ(w->tmrPasswordSpace->interval(), 4000);
    EXPECT_EQ(w->lblMoreInfo->text(), "Click here for more info.");
    EXPECT_EQ(w->lblMoreInfo->Tag(), "");
    EXPECT_TRUE(w->lblMoreInfo->font().underline());
    EXPECT_EQ(w->lblMoreInfo->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_TRUE(w->txtResult->isReadOnly());
    EXPECT_EQ(w->txtResult->lineWrapMode(), QPlainTextEdit::NoWrap);
    EXPECT_EQ(w->txtResult->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(w->txtResult->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(result(), "\"Default:Default\"\n{\n\tbaseLevel = 0\n}\n");
    EXPECT_EQ(w->Frame1->title(), "User Type");
    EXPECT_EQ(w->Frame2->title(), "Commands");
    EXPECT_EQ(w->Frame3->title(), "Admin File Entry");

    // The whole tree is open and the root is at the top.
    auto* view = w->treCommands;
    EXPECT_EQ(view->indexAt(QPoint(view->viewport()->width() / 2, 2)), indexOf("root"));
    for (const char* key : {"root", "lvl0", "lvl1", "lvl1024", "lvl65536"})
        EXPECT_TRUE(view->isExpanded(indexOf(key))) << key;

    // The timer's first tick changes nothing that can be seen and stops it.
    w->tmrPasswordSpace_Timer();
    EXPECT_TRUE(w->lblPasswordSpace->isHidden());
    EXPECT_FALSE(w->tmrPasswordSpace->isActive());
}

TEST_F(Window, EveryCaptionFitsItsRectangle)
{
    for (auto* l : w->findChildren<ui::Label*>()) {
        const QRect need = l->fontMetrics().boundingRect(QRect(0, 0, l->width(), 1000),
                                                         l->wordWrap() ? Qt::TextWordWrap : 0, l->text());
        EXPECT_LE(need.width(), l->width()) << l->objectName().toStdString();
        EXPECT_LE(need.height(), l->height()) << l->objectName().toStdString();
    }
    for (auto* b : w->findChildren<QPushButton*>()) {
        const int margin = b->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, b);
        EXPECT_LE(b->fontMetrics().horizontalAdvance(b->text()) + 2 * margin, b->width())
            << b->objectName().toStdString();
    }
    for (auto* b : w->findChildren<QAbstractButton*>()) {
        if (!qobject_cast<QPushButton*>(b)) {
            EXPECT_LE(b->sizeHint().width(), b->width()) << b->objectName().toStdString();
        }
        EXPECT_LE(b->fontMetrics().height(), b->height()) << b->objectName().toStdString();
    }
    const QFontMetrics link(w->lblMoreInfo->font());
    for (const auto& e : model::commandCatalogue()) {
        const QString caption = "Click here for more info on " + QString::fromUtf8(e.text.data(), e.text.size());
        const QRect need = link.boundingRect(QRect(0, 0, 249, 1000), Qt::TextWordWrap, caption);
        EXPECT_LE(need.height(), 25) << caption.toStdString();
    }
}

TEST_F(Window, TicksByMouseAndBySpaceRebuildTheEntryOnce)
{
    QSignalSpy checks(w->treCommands->model(), SIGNAL(nodeCheck(model::Node*)));
    clickCheck("lvl2");
    EXPECT_EQ(checks.count(), 1);
    EXPECT_TRUE(node("timelimit")->Checked());
    EXPECT_TRUE(node("map")->Checked());
    EXPECT_EQ(result(), "\"Default:Default\"\n{\n\tbaseLevel = 2\n}\n");
    EXPECT_FALSE(w->treCommands->selectionModel()->hasSelection()); // a tick selects nothing

    clickText("slap");
    EXPECT_EQ(w->lblMoreInfo->Tag(), "admin_slap");
    QTest::keyClick(w->treCommands, Qt::Key_Space);
    EXPECT_EQ(checks.count(), 2);
    EXPECT_TRUE(node("slap")->Checked());
    clickCheck("map"); // unticks: the level goes, the other command is added
    EXPECT_EQ(checks.count(), 3);
    EXPECT_FALSE(node("lvl2")->Checked());
    EXPECT_EQ(w->lblMoreInfo->Tag(), "admin_slap");
    EXPECT_EQ(result(),
              "\"Default:Default\"\n{\n\taddAdminCmd = timelimit\n\taddAdminCmd = slap\n\tbaseLevel = 0\n}\n");

    // Program writes raise no node check; the view hears of each changed tick.
    QSignalSpy repaints(w->treCommands->model(), &QAbstractItemModel::dataChanged);
    QTest::mouseClick(w->cmdCheckAll, Qt::LeftButton);
    EXPECT_EQ(checks.count(), 3);
    EXPECT_EQ(repaints.count(), 97 - 8); // all but lvl0, its 5 commands, timelimit and slap
}

TEST_F(Window, ClickingTheTreeSetsTheHelpLink)
{
    struct Row {
        const char* clicked; // null: empty space below the last node
        const char* caption;
        const char* tag;
    };
    const std::vector<Row> rows{
        {"timelimit", "Click here for more info on admin_timelimit", "admin_timelimit"},
        {"root", "Click here for more info on admin_timelimit", "admin_timelimit"},
        {"lvl2", "Click here for more info.", ""},
        {"buyexempt", "Click here for more info on Buy Exempt (Free Buying)", "Buy Exempt (Free Buying)"},
        {nullptr, "Click here for more info on Buy Exempt (Free Buying)", "Buy Exempt (Free Buying)"},
        {"jetpack", "Click here for more info.", ""},
        {"lvl0", "Click here for more info.", ""},
    };
    for (const Row& row : rows) {
        if (row.clicked) {
            clickText(row.clicked);
        } else {
            w->treCommands->scrollToBottom();
            const QRect last = w->treCommands->visualRect(indexOf("rcon"));
            QTest::mouseClick(w->treCommands->viewport(), Qt::LeftButton, {}, QPoint(60, last.bottom() + 20));
        }
        EXPECT_EQ(w->lblMoreInfo->text(), row.caption) << (row.clicked ? row.clicked : "empty space");
        EXPECT_EQ(w->lblMoreInfo->Tag(), row.tag) << (row.clicked ? row.clicked : "empty space");
    }
    // The keyboard moves the link along with the selection.
    clickText("timelimit");
    QTest::keyClick(w->treCommands, Qt::Key_Down);
    EXPECT_EQ(w->lblMoreInfo->Tag(), "admin_map");
    // Texts cannot be edited.
    QTest::keyClick(w->treCommands, Qt::Key_F2);
    EXPECT_TRUE(w->treCommands->findChildren<QLineEdit*>().isEmpty());
    EXPECT_EQ(node("map")->Text(), "admin_map");
}

TEST_F(Window, BulkButtons)
{
    QTest::mouseClick(w->cmdCheckAll, Qt::LeftButton);
    EXPECT_EQ(result(), "\"Default:Default\"\n{\n\tbaseLevel = 131071\n}\n");
    EXPECT_EQ(indexOf("root").data(Qt::CheckStateRole).toInt(), Qt::Checked);
    QTest::mouseClick(w->cmdUncheckAll, Qt::LeftButton);
    EXPECT_EQ(result(),
              "\"Default:Default\"\n{\n\tdenyCmd = say\n\tdenyCmd = say_team\n\tdenyCmd = mapvote\n"
              "\tdenyCmd = hook\n\tdenyCmd = jetpack\n\tbaseLevel = 0\n}\n");
    EXPECT_EQ(indexOf("lvl0").data(Qt::CheckStateRole).toInt(), Qt::Unchecked);
    QTest::mouseClick(w->cmdDefault, Qt::LeftButton);
    EXPECT_EQ(result(), "\"Default:Default\"\n{\n\tbaseLevel = 0\n}\n");
    EXPECT_EQ(indexOf("lvl0").data(Qt::CheckStateRole).toInt(), Qt::Checked);
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
    EXPECT_EQ(adapter.rowCount(), 1);
    EXPECT_EQ(adapter.rowCount(adapter.index(0, 0)), 18);
    EXPECT_FALSE(adapter.setData(adapter.index(0, 0), "renamed", Qt::EditRole));
}

TEST_F(Window, PictureOfTheWindowAtStart)
{
    const QString path = QCoreApplication::applicationDirPath() + "/frmMain.png";
    ASSERT_TRUE(w->grab().save(path));
}
