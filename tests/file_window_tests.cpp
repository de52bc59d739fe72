#include "window_fixture.h"

#include <conflict_dialog.h>
#include <file_panel.h>

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTreeView>
#include <QUndoStack>

#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace fs = std::filesystem;

namespace {

std::string bytesOf(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void write(const fs::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string named(const std::string& name, int level)
{
    return "\"Name:" + name + "\"\r\n{\r\n\tbaseLevel = " + std::to_string(level) + "\r\n}\r\n";
}
const std::string d0 = "\"Default:Default\"\r\n{\r\n\tbaseLevel = 0\r\n}\r\n"; // New Entry's start

// The window with an admins file in a folder of its own.
struct FileWindow : SessionWindow {
    QTemporaryDir dir;
    fs::path file = fs::path(dir.path().toStdString()) / "KZ_admins.txt";

    ui::FilePanel* panel() const { return session->panel(); }
    bool open(const std::string& text)
    {
        write(file, text);
        session->open(QString::fromStdString(file.string()));
        return session->document() != nullptr && document().savedText() == text;
    }
    void clickRow(int row)
    {
        const QModelIndex index = panel()->lstEntries->model()->index(row, 0);
        panel()->lstEntries->scrollTo(index);
        QTest::mouseClick(panel()->lstEntries->viewport(), Qt::LeftButton, {},
                          panel()->lstEntries->visualRect(index).center());
    }
    void save() { QTest::keyClick(w.get(), Qt::Key_S, Qt::ControlModifier); }
    // What the file's entry of `name` grants, by command key.
    bool grants(const std::string& name, const char* key) const
    {
        const std::string text = bytesOf(file);
        for (const entry::Block& b : entry::read(text).blocks)
            if (b.identity == name)
                return b.granted[*model::commandIndex(key)];
        return false;
    }
};

} // namespace

// An open file widens the window to the left by a list of its entries, each with its line, marked when its identity
// is invalid or stands twice, and greyed, with the reader's reason, when the window cannot edit it.
TEST_F(FileWindow, ListsTheEntriesBesideTheControls)
{
    const std::string text = "// admins\r\n" + named("Alice", 2) + "\r\n" + named("Bob", 0) +
        "\"SteamID:STEAM_9\"\r\n{\r\n\taddAdminCmd = e_stak\r\n}\r\n" + named("Alice", 0) +
        "\"Default:Default\"\r\n{\r\n\tpassword = pw\r\n}\r\n\"Name:Carol\"\r\n{\r\n// keep\r\n}\r\n";
    ASSERT_TRUE(open(text));
    EXPECT_EQ(w->size(), QSize(769, 521));
    EXPECT_EQ(w->minimumSize(), w->maximumSize());
    EXPECT_EQ(w->windowTitle(), "KZ_admins.txt[*] - Vantorel KZ_admins.txt Helper");
    EXPECT_EQ(w->Frame1->mapTo(w.get(), QPoint()), QPoint(200, 8));
    EXPECT_EQ(panel()->lstEntries->accessibleName(), "Entries");
    struct Row {
        QString title;
        int line;
        bool editable, marked;
        QString tip; // a part of the tooltip
    };
    const std::vector<Row> rows{
        {"Name:Alice", 2, true, true, "same identity"},
        {"Name:Bob", 7, true, false, ""},
        {"SteamID:STEAM_9", 11, false, true, "Kept as written: line 13: unknown command \"e_stak\""},
        {"Name:Alice", 15, true, true, "same identity"},
        {"Default:Default", 19, false, false, "Kept as written: a default entry cannot have a password"},
        {"Name:Carol", 23, false, false, "comment lines of its own"},
    };
    const QAbstractItemModel* list = panel()->lstEntries->model();
    ASSERT_EQ(list->rowCount(), static_cast<int>(rows.size()));
    for (int r = 0; r < list->rowCount(); ++r) {
        const QModelIndex i = list->index(r, 0);
        EXPECT_EQ(i.data().toString(), rows[r].title) << r;
        EXPECT_EQ(list->index(r, 1).data().toInt(), rows[r].line) << r;
        EXPECT_EQ(i.data(Qt::ForegroundRole).isNull(), rows[r].editable) << r;
        EXPECT_EQ(!i.data(Qt::DecorationRole).isNull(), rows[r].marked) << r;
        EXPECT_TRUE(i.data(Qt::ToolTipRole).toString().contains(rows[r].tip)) << r;
    }
    clickRow(1); // an entry as written stays so while the user changes nothing
    EXPECT_EQ(result(), "\"Name:Bob\"\n{\n\tbaseLevel = 0\n}\n");
    EXPECT_FALSE(w->isWindowModified());
    w->grab().save(QCoreApplication::applicationDirPath() + "/frmMain-file.png");
    // The file already had Alice twice: that does not stand in the way of a save, and a greyed entry can be
    // removed, though not edited.
    clickRow(5);
    EXPECT_EQ(panel()->lblFileStatus->text(), "This entry is kept as written: it can be removed, not edited.");
    clickCheck("lvl2");
    EXPECT_FALSE(w->isWindowModified());
    QTest::mouseClick(panel()->cmdRemoveEntry, Qt::LeftButton);
    save();
    EXPECT_EQ(prompts->said, QStringList());
    EXPECT_EQ(bytesOf(file), text.substr(0, text.find("\"Name:Carol\"")));
    EXPECT_EQ(panel()->lblFileStatus->text(), "Saved.");

    QTest::keyClick(w.get(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(panel(), nullptr);
    EXPECT_EQ(w->size(), QSize(577, 521));
    EXPECT_EQ(w->windowTitle(), "Vantorel KZ_admins.txt Helper");
    EXPECT_EQ(w->Frame1->mapTo(w.get(), QPoint()), QPoint(8, 8));
}

// The user's actions through the real inputs, saved: the file's bytes written out.
TEST_F(FileWindow, EditsThroughTheInputsAreSaved)
{
    ASSERT_TRUE(open(named("Alice", 2) + "\n// between\n" + named("Bob", 0)));
    clickRow(1);
    clickCheck("lvl4");
    QTest::mouseClick(w->optSteamID, Qt::LeftButton);
    EXPECT_EQ(panel()->lstEntries->model()->index(1, 0).data(Qt::ToolTipRole).toString(),
              "The identity box shows its prompt: type the identity before saving.");
    QTest::mouseClick(w->txtID, Qt::LeftButton);
    QTest::keyClicks(w->txtID, "STEAM_0:1:5");
    QTest::keyClick(w.get(), Qt::Key_N, Qt::ControlModifier);
    clickRow(0);
    QTest::keyClick(panel()->lstEntries, Qt::Key_Delete);
    EXPECT_TRUE(w->isWindowModified());
    save();
    EXPECT_EQ(bytesOf(file), "// between\n\"SteamID:STEAM_0:1:5\"\r\n{\r\n\tbaseLevel = 4\r\n}\r\n\r\n" + d0);
    EXPECT_FALSE(w->isWindowModified());
}

// No prompt text reaches the file: a chosen entry whose user type was changed has no identity of its own until one
// is typed, and Save says where; the password box's prompt is no password.
TEST_F(FileWindow, APromptIsNeverSaved)
{
    const std::string text = named("a", 0) + "\r\n" + named("b", 0);
    ASSERT_TRUE(open(text));
    clickRow(1);
    QTest::mouseClick(w->optIP, Qt::LeftButton);
    QTest::mouseClick(w->chkPassword, Qt::LeftButton);
    EXPECT_TRUE(result().contains("Enter IP address here") && result().contains("Enter_password_here"));
    save();
    ASSERT_EQ(prompts->said.size(), 1);
    EXPECT_EQ(prompts->said[0],
              QString::fromStdString(file.string()) +
                  ": not saved: the entry on line 8 has no identity of its own (the box shows its "
                  "prompt); type its identity first");
    EXPECT_EQ(bytesOf(file), text);
    QTest::mouseClick(w->txtID, Qt::LeftButton);
    QTest::keyClicks(w->txtID, "1.2.3.4");
    save();
    EXPECT_EQ(bytesOf(file), named("a", 0) + "\r\n\"IP:1.2.3.4\"\r\n{\r\n\tbaseLevel = 0\r\n}\r\n");
}

// After a save that took in another writer's changes the window shows what is on disk: the list rebuilt, the
// chosen entry reloaded, so that the next tick builds on the saved bytes, whichever version an answer kept.
TEST_F(FileWindow, AfterASaveTheWindowShowsTheDisk)
{
    const std::string bobKick = "\"Name:bob\"\r\n{\r\n\taddAdminCmd = kick\r\n\tbaseLevel = 0\r\n}\r\n";
    const struct {
        const char* name;
        bool tickBob;         // before the save; otherwise cat is changed
        bool keepWindow;      // the answer, when asked
        bool level2AfterSave; // what the reloaded bob holds
    } rows[] = {
        {"the other writer's change of the chosen entry kept", false, true, false},
        {"the file's version kept", true, false, false},
        {"the window's version kept", true, true, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(open(named("bob", 0) + "\r\n" + named("cat", 0) + "\r\n" + named("dan", 0)));
        clickRow(row.tickBob ? 0 : 1);
        clickCheck("lvl2");
        clickRow(0);
        // Another writer grants bob kick, removes dan and adds eve and fay.
        write(file, bobKick + "\r\n" + named("cat", 0) + "\r\n" + named("eve", 1) + "\r\n" + named("fay", 4));
        prompts->keepWindow = {row.keepWindow};
        save();
        EXPECT_EQ(prompts->asked.size(), row.tickBob ? 1U : 0U);
        prompts->asked.clear();
        EXPECT_EQ(w->isWindowModified(), false);
        EXPECT_EQ(node("kick")->Checked(), !row.keepWindow || !row.tickBob);
        EXPECT_EQ(node("lvl2")->Checked(), row.level2AfterSave);
        const QAbstractItemModel* list = panel()->lstEntries->model();
        ASSERT_EQ(list->rowCount(), 4);
        EXPECT_EQ(list->index(2, 0).data().toString(), "Name:eve");
        clickCheck("reload");
        save();
        EXPECT_EQ(grants("bob", "kick"), !row.keepWindow || !row.tickBob);
        EXPECT_TRUE(grants("bob", "reload"));
        EXPECT_EQ(grants("cat", "kick"), false);
        clickRow(3); // a row the list did not have before the save
        EXPECT_EQ(result(), "\"Name:fay\"\n{\n\tbaseLevel = 4\n}\n");
        EXPECT_EQ(panel()->lblFileStatus->text(), "");
    }
    // What a merged save did is said once under the list.
    clickCheck("lvl2");
    write(file, bytesOf(file) + "\r\n" + named("gus", 0));
    save();
    EXPECT_EQ(panel()->lblFileStatus->text(),
              "Saved. 1 entry changed by another program was kept. Earlier changes can no longer be undone.");
}

// Only what the locked writer would replace is opened, and nothing waits: standard input, a folder or a pipe is
// refused with the writer's words; a file that cannot be opened leaves the open one as it is. The same file opened
// again after its changes were saved shows the saved text.
TEST_F(FileWindow, OpensOnlyAFileItCanReplace)
{
    const std::string text = named("a", 0), name = file.string();
    write(name + ".nul", std::string("\"Name:a\"\0", 9));
    ASSERT_TRUE(open(text));
    clickRow(0);
    clickCheck("lvl2");
    struct Row {
        std::string path, message;
    };
    std::vector<Row> rows{
        {"-", "-: standard input cannot be replaced"},
        {dir.path().toStdString(), dir.path().toStdString() + ": is a directory"},
        {name + ".none", name + ".none: no such file"},
        {name + ".nul", name + ".nul: binary file (it contains a NUL byte), not an admins file"},
    };
#ifndef _WIN32
    ASSERT_EQ(mkfifo((name + ".fifo").c_str(), 0600), 0);
    rows.push_back({name + ".fifo", name + ".fifo: not a regular file"});
#endif
    for (const auto& row : rows) {
        prompts->said.clear();
        session->open(QString::fromStdString(row.path));
        EXPECT_EQ(prompts->said, QStringList{QString::fromStdString(row.message)});
        EXPECT_TRUE(w->isWindowModified());
    }
    prompts->leave = {ui::FilePrompts::Leave::Save};
    session->open(QString::fromStdString(name));
    EXPECT_EQ(document().savedText(), bytesOf(file));
    EXPECT_NE(bytesOf(file), text);
    EXPECT_FALSE(w->isWindowModified());
    prompts->leave = {ui::FilePrompts::Leave::Cancel};
    clickRow(0);
    clickCheck("lvl4");
    EXPECT_FALSE(w->close());
    EXPECT_TRUE(w->isVisible());
}

// The widened window stays on the screen: at the screen's left edge it widens to the right instead.
TEST_F(FileWindow, TheWidenedWindowStaysOnTheScreen)
{
    const QRect room = w->screen()->availableGeometry();
    w->move(room.topLeft());
    ASSERT_TRUE(open(named("a", 0)));
    EXPECT_GE(w->frameGeometry().left(), room.left());
    EXPECT_LE(w->frameGeometry().right(), room.right());
    QTest::keyClick(w.get(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(w->frameGeometry().topLeft(), room.topLeft());
    w->move(room.left() + 200, room.top()); // room enough on the left
    ASSERT_TRUE(open(named("a", 0)));
    EXPECT_EQ(w->frameGeometry().left(), room.left() + 200 - 192);
}

// Ctrl+Z takes the open file's changes back one user action at a time, in any box of the window; Ctrl+Y and
// Ctrl+Shift+Z make them again; the title's mark follows the last save. Ctrl+D shows what Save would write. With no
// file open a box takes back its own typing.
TEST_F(FileWindow, UndoRedoAndShowChanges)
{
    const std::string start = named("a", 0) + "\r\n" + named("b", 0);
    ASSERT_TRUE(open(start));
    const auto key = [this](Qt::Key k, Qt::KeyboardModifiers m = Qt::ControlModifier) {
        QTest::keyClick(QApplication::focusWidget(), k, m);
    };
    clickRow(1);
    clickCheck("lvl4");
    save();
    clickCheck("lvl2");
    QTest::mouseClick(w->txtID, Qt::LeftButton);
    QTest::keyClicks(w->txtID, "xy"); // one step
    EXPECT_EQ(document().rows()[1].title, "Name:bxy");
    key(Qt::Key_Z); // in the identity box: the file's step, not the box's own undo
    EXPECT_EQ(w->txtID->text(), "b");
    EXPECT_EQ(document().rows()[1].title, "Name:b");
    EXPECT_TRUE(w->isWindowModified());
    key(Qt::Key_Z); // back to the save
    EXPECT_FALSE(w->isWindowModified());
    EXPECT_EQ(document().text(), bytesOf(file));
    key(Qt::Key_Z); // past it, to the file as opened
    EXPECT_TRUE(w->isWindowModified());
    EXPECT_EQ(document().text(), start);
    EXPECT_FALSE(node("lvl4")->Checked());
    key(Qt::Key_Y);
    EXPECT_FALSE(w->isWindowModified());
    EXPECT_TRUE(node("lvl4")->Checked());

    clickRow(0);
    QTest::keyClick(panel()->lstEntries, Qt::Key_Delete);
    EXPECT_EQ(panel()->lstEntries->model()->rowCount(), 1);
    key(Qt::Key_Z);
    EXPECT_EQ(panel()->lstEntries->model()->rowCount(), 2);
    EXPECT_EQ(result(), "\"Name:a\"\n{\n\tbaseLevel = 0\n}\n");
    key(Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(panel()->lstEntries->model()->rowCount(), 1);

    key(Qt::Key_D);
    ASSERT_EQ(prompts->shown.size(), 1U);
    const std::string name = file.string();
    EXPECT_EQ(prompts->shown[0].text,
              "--- " + name + " (on disk now)\n+++ " + name +
                  " (as Save would write it)\n@@ -1,8 +1,3 @@\n"
                  "    1       - \"Name:a\"\u240D\u240A\n"
                  "    2       - {\u240D\u240A\n"
                  "    3       - \tbaseLevel = 0\u240D\u240A\n"
                  "    4       - }\u240D\u240A\n"
                  "    5       - \u240D\u240A\n"
                  "    6     1   \"Name:b\"\u240D\u240A\n"
                  "    7     2   {\u240D\u240A\n"
                  "    8     3   \tbaseLevel = 4\u240D\u240A\n");
    EXPECT_TRUE(prompts->shown[0].changes);

    // A save that takes in another writer's change starts the history anew.
    write(file, bytesOf(file) + "\r\n" + named("c", 0));
    save();
    EXPECT_EQ(session->history()->count(), 0);
    EXPECT_EQ(panel()->lblFileStatus->text(),
              "Saved. 1 entry changed by another program was kept. Earlier changes can no longer be undone.");
    const std::string saved = document().text();
    key(Qt::Key_Z);
    EXPECT_EQ(document().text(), saved);

    QTest::keyClick(w.get(), Qt::Key_W, Qt::ControlModifier);
    ASSERT_EQ(session->document(), nullptr);
    QTest::mouseClick(w->txtID, Qt::LeftButton);
    const QString before = w->txtID->text();
    QTest::keyClicks(w->txtID, "q");
    key(Qt::Key_Z);
    EXPECT_EQ(w->txtID->text(), before);
}

// The conflict dialog shows each side's version as it is, and its answers are the choices as they stand.
TEST_F(FileWindow, TheConflictDialogShowsBothVersions)
{
    doc::Conflict c;
    c.type = entry::UserType::Name;
    c.identity = "a";
    c.inWindow = named("a", 2);
    c.lineInWindow = 6;
    ui::ConflictDialog dialog(w.get(), "KZ_admins.txt", {c});
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    const auto texts = dialog.findChildren<QPlainTextEdit*>();
    ASSERT_EQ(texts.size(), 2);
    EXPECT_EQ(texts[0]->toPlainText().toStdString(), "\"Name:a\"\n{\n\tbaseLevel = 2\n}\n");
    EXPECT_EQ(texts[1]->toPlainText(), "(no such entry)");
    EXPECT_EQ(dialog.findChild<QRadioButton*>("optKeepWindow0")->text(), "Keep this window's version (line 6)");
    EXPECT_TRUE(dialog.answers().at(0).keepWindow);
    QTest::keyClick(dialog.findChild<QRadioButton*>("optKeepFile0"), Qt::Key_Space);
    EXPECT_FALSE(dialog.answers().at(0).keepWindow);
    EXPECT_EQ(dialog.answers().at(0).key, c.key());
}
