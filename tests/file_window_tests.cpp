#include "window_fixture.h"

#include <file_panel.h>

#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <filesystem>
#include <fstream>

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

// The window with an admins file in a folder of its own.
struct FileWindow : Window {
    QTemporaryDir dir;
    fs::path file = fs::path(dir.path().toStdString()) / "KZ_admins.txt";
    QString said; // the text of the last message box answered

    ui::FilePanel* panel() const { return w->filePanel(); }
    bool open(const std::string& text)
    {
        write(file, text);
        return w->openFile(QString::fromStdString(file.string()));
    }
    void clickRow(int row)
    {
        const QModelIndex index = panel()->lstEntries->model()->index(row, 0);
        panel()->lstEntries->scrollTo(index);
        QTest::mouseClick(panel()->lstEntries->viewport(), Qt::LeftButton, {},
                          panel()->lstEntries->visualRect(index).center());
    }
    // `act` on the next modal window, whenever it comes up.
    void onModal(const std::function<void(QWidget*)>& act)
    {
        QTimer::singleShot(0, w.get(), [this, act] {
            if (QWidget* modal = QApplication::activeModalWidget())
                act(modal);
            else
                onModal(act);
        });
    }
    // The next message box is answered with `button`, and its text kept.
    void answer(QMessageBox::StandardButton button)
    {
        onModal([this, button](QWidget* modal) {
            said = static_cast<QMessageBox*>(modal)->text();
            static_cast<QMessageBox*>(modal)->button(button)->click();
        });
    }
    // The conflict dialog keeps the window's version of the first entry, or the file's, or is cancelled.
    void answerConflicts(const std::string& keep)
    {
        onModal([keep](QWidget* dialog) {
            if (keep != "cancel")
                dialog->findChild<QRadioButton*>(QString::fromStdString(keep))->click();
            dialog->findChild<QDialogButtonBox*>()
                ->button(keep == "cancel" ? QDialogButtonBox::Cancel : QDialogButtonBox::Save)
                ->click();
        });
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
        EXPECT_EQ(list->flags(i).testFlag(Qt::ItemIsEnabled), rows[r].editable) << r;
        EXPECT_EQ(!i.data(Qt::DecorationRole).isNull(), rows[r].marked) << r;
        EXPECT_TRUE(i.data(Qt::ToolTipRole).toString().contains(rows[r].tip)) << r;
    }
    clickRow(1); // an entry as written stays so while the user changes nothing
    EXPECT_EQ(result(), "\"Name:Bob\"\n{\n\tbaseLevel = 0\n}\n");
    EXPECT_FALSE(w->isWindowModified());
    w->grab().save(QCoreApplication::applicationDirPath() + "/frmMain-file.png");

    QTest::keyClick(w.get(), Qt::Key_W, Qt::ControlModifier);
    EXPECT_EQ(panel(), nullptr);
    EXPECT_EQ(w->size(), QSize(577, 521));
    EXPECT_EQ(w->windowTitle(), "Vantorel KZ_admins.txt Helper");
    EXPECT_EQ(w->Frame1->mapTo(w.get(), QPoint()), QPoint(8, 8));
    EXPECT_EQ(bytesOf(file), text);
}

// Each of the user's actions leaves the open file's text as entry/'s edit functions make it, and Save writes it.
TEST_F(FileWindow, EditsAreTheEntryEditsOfTheFile)
{
    const std::string text = named("Alice", 2) + "\n// between\n" + named("Bob", 0);
    ASSERT_TRUE(open(text));
    properties::FileEdits expected(text);
    const auto shown = [this] { return result().replace('\n', "\r\n").toStdString(); };
    const struct {
        const char* name;
        std::function<void()> act;
        std::function<std::string()> mirror; // besides showing the result box's entry
    } steps[] = {
        // clang-format off
        {"choose Bob", [&] { clickRow(1); }, [&] { return expected.select(1), std::string(); }},
        {"tick level 4", [&] { clickCheck("lvl4"); }, {}},
        {"choose SteamID", [&] { QTest::mouseClick(w->optSteamID, Qt::LeftButton); }, {}},
        {"type a SteamID", [&] { QTest::mouseClick(w->txtID, Qt::LeftButton), QTest::keyClicks(w->txtID, "STEAM_0:1:5"); },
         {}},
        {"require a password", [&] { QTest::mouseClick(w->chkPassword, Qt::LeftButton),
             QTest::mouseClick(w->txtPassword, Qt::LeftButton), QTest::keyClicks(w->txtPassword, "pw"); }, {}},
        {"choose Alice", [&] { clickRow(0); }, [&] { return expected.select(0), std::string(); }},
        {"Check All", [&] { QTest::mouseClick(w->cmdCheckAll, Qt::LeftButton); }, {}},
        {"New Entry", [&] { QTest::keyClick(w.get(), Qt::Key_N, Qt::ControlModifier); }, [&] { return expected.append(); }},
        {"choose Name", [&] { QTest::mouseClick(w->optName, Qt::LeftButton); }, {}},
        {"remove Alice", [&] { clickRow(0), QTest::keyClick(panel()->lstEntries, Qt::Key_Delete); },
         [&] { return expected.select(0), expected.remove(); }},
        // clang-format on
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        step.act();
        EXPECT_EQ(step.mirror ? step.mirror() : "", "");
        EXPECT_EQ(expected.show(shown()), "");
        ASSERT_EQ(panel()->file().text(), expected.text());
    }
    EXPECT_TRUE(w->isWindowModified());
    QTest::keyClick(w.get(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_EQ(bytesOf(file), expected.text());
    EXPECT_FALSE(w->isWindowModified());
}

// Another writer changed the file between open and Save: its change is kept, and an entry changed on both sides
// is asked about.
TEST_F(FileWindow, SaveKeepsAnotherWritersChanges)
{
    const std::string a0 = named("a", 0), a2 = named("a", 2), a4 = named("a", 4), b0 = named("b", 0),
                      b4 = named("b", 4), d0 = "\"Default:Default\"\r\n{\r\n\tbaseLevel = 0\r\n}\r\n",
                      d1 = "\"Default:Default\"\r\n{\r\n\tbaseLevel = 1\r\n}\r\n";
    const std::string z1 = named("z", 1);
    const struct {
        const char* name;
        bool newEntry; // the window adds an entry; otherwise it ticks level 2 of the first
        std::string onDisk;
        std::string keep;  // the conflict dialog's answer, or "" when there is none
        std::string saved; // and what the window then holds, but after a cancel, when it keeps its own text
    } rows[] = {
        // clang-format off
        {"another entry changed", false, a0 + b4, "", a2 + b4},
        {"the same entry changed, the window's kept", false, a4 + b0, "optKeepWindow0", a2 + b0},
        {"the same entry changed, the file's kept", false, a4 + b0, "optKeepFile0", a4 + b0},
        {"the same entry changed, cancelled", false, a4 + b0, "cancel", a4 + b0},
        {"the entry removed on disk, the window's kept", false, b0, "optKeepWindow0", b0 + "\r\n" + a2},
        {"an entry of the same identity added on disk", true, a0 + b0 + d1, "optKeepFile0", a0 + b0 + d1},
        {"another entry added on disk", true, a0 + b0 + z1, "", a0 + b0 + z1 + "\r\n" + d0},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(open(a0 + b0));
        if (row.newEntry) {
            QTest::mouseClick(panel()->cmdNewEntry, Qt::LeftButton);
        } else {
            clickRow(0);
            clickCheck("lvl2");
        }
        write(file, row.onDisk);
        if (!row.keep.empty())
            answerConflicts(row.keep);
        QTest::mouseClick(panel()->cmdSave, Qt::LeftButton);
        EXPECT_EQ(bytesOf(file), row.saved);
        EXPECT_EQ(panel()->file().text(), row.keep == "cancel" ? a2 + b0 : row.saved);
        EXPECT_EQ(w->isWindowModified(), row.keep == "cancel");
        if (w->isWindowModified())
            answer(QMessageBox::Discard);
        ASSERT_TRUE(w->closeFile());
    }
}

// Unsaved changes are asked about before the window or the file is left; every failure is said with the
// command-line tool's words, leaves the file as it was and the edits in the window.
TEST_F(FileWindow, AsksBeforeLeavingAndSaysWhatFailed)
{
    const std::string text = named("a", 0), name = file.string();
    write(name + ".other", text);
    write(name + ".nul", std::string("\"Name:a\"\0", 9));
    write(name + ".big", "");
    fs::resize_file(name + ".big", 65 << 20);
    ASSERT_TRUE(open(text));
    clickRow(0);
    clickCheck("lvl2");
    const std::string edited = panel()->file().text();
    const auto openAt = [this](const std::string& path) { return [this, path] { return w->openFile(path.c_str()); }; };
    const auto save = [this](const std::function<void()>& before) {
        return [this, before] { return before(), panel()->save(); };
    };
    const struct {
        const char* name;
        std::function<bool()> act; // false: the window stayed as it was
        QMessageBox::StandardButton button;
        QString message;
    } rows[] = {
        // clang-format off
        {"closing the window, cancelled", [this] { return w->close(); }, QMessageBox::Cancel, "not saved. Save them?"},
        {"opening another file, cancelled", openAt(name + ".other"), QMessageBox::Cancel, "not saved. Save them?"},
        {"a missing file", openAt(name + ".none"), QMessageBox::Ok, "no such file"},
        {"a folder", openAt(dir.path().toStdString()), QMessageBox::Ok, "is a directory"},
        {"a binary file", openAt(name + ".nul"), QMessageBox::Ok, ".nul: binary file (it contains a NUL byte)"},
        {"a file too large", openAt(name + ".big"), QMessageBox::Ok, "file too large"},
        {"saving under another writer's lock", save([&] { write(name + ".lock", ""); }), QMessageBox::Ok,
         "another writer holds the lock"},
        {"saving a file of two names", save([&] { fs::remove(name + ".lock"), fs::create_hard_link(file, name + ".2"); }),
         QMessageBox::Ok, "the file has 2 names (hard links)"},
        {"saving an identity twice", save([&] { fs::remove(name + ".2"), QTest::mouseClick(panel()->cmdNewEntry,
             Qt::LeftButton), QTest::mouseClick(panel()->cmdNewEntry, Qt::LeftButton); }),
         QMessageBox::Ok, "not saved: Default:Default stands in 2 entries (lines 6, 11)"},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        answer(row.button);
        EXPECT_FALSE(row.act());
        EXPECT_TRUE(said.contains(row.message)) << said.toStdString();
        EXPECT_EQ(bytesOf(file), text);
        ASSERT_TRUE(w->isVisible() && panel() != nullptr && w->isWindowModified());
        EXPECT_EQ(panel()->file().text().substr(0, edited.size()), edited);
    }
    QTest::mouseClick(panel()->cmdRemoveEntry, Qt::LeftButton); // the identity stands once again
    const std::string saved = panel()->file().text();
    answer(QMessageBox::Discard);
    EXPECT_TRUE(w->close());
    EXPECT_EQ(bytesOf(file), text);
    w->show();
    answer(QMessageBox::Save);
    EXPECT_TRUE(w->close());
    EXPECT_EQ(bytesOf(file), saved);
}
