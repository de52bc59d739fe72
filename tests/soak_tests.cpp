// A seeded random sequence of user events on the real window, with an admins
// file open. After every event the window must be consistent: the tree's
// parents agree with their children, the result box holds the entry of the
// controls' current values, the boxes respect their limits, the help link's
// caption matches its Tag, the chosen entry of the open file is what the
// inputs show, and every Save over another writer's changes keeps both sides.
// A failure names the seed and the event; VANTOREL_SOAK_SEED replays a run and
// VANTOREL_SOAK_EVENTS sets its length.

#include "properties.h"
#include "window_fixture.h"

#include <file_panel.h>

#include <QTreeView>

#include <QClipboard>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <QTemporaryDir>

#include <algorithm>
#include <fstream>
#include <random>
#include <set>

namespace {

// Letters, digits, blanks, quotes, signs, non-ASCII letters, line breaks and
// other control characters.
const QString kAlphabet = QStringLiteral("abcXYZ019.:_ \t\"'+-eE\u00e9\u00df\u0416\u4e2d\\/\r\n\u2028\u0085\x01");

// Entries to paste into the result box: loadable ones of each type, and some
// that are refused.
const QString kEntries[] = {
    "\"SteamID:STEAM_0:0:5\"\r\n{\r\n\taddAdminCmd = kick\r\n\tbaseLevel = 2\r\n\tpassword = pw\r\n}\r\n",
    "\"IP:1.2.3.4\"\n{\n\tdenyCmd = hook\n\tbaseLevel = 1024\n}\n",
    "\"Name:a b\"\r\n{\r\n\tbaseLevel = 131071\r\n}\r\n",
    "\"Default:Default\"\r\n{\r\n\tbaseLevel = 0\r\n}\r\n",
    "\"Name:x\"\r\n{\r\n\taddAdminCmd = e_stak\r\n}\r\n",
};

struct Soak : SessionWindow {
    std::mt19937 rng;
    int pick(int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); }

    QString randomText(int maxLength)
    {
        QString s;
        for (int n = pick(maxLength + 1); n > 0; --n)
            s += kAlphabet[pick(static_cast<int>(kAlphabet.size()))];
        return s;
    }

    // Types character by character into the focused box, until a tab moves on.
    void type(QWidget* box, const QString& text)
    {
        for (QChar ch : text) {
            const Qt::Key key = ch == u' ' ? Qt::Key_Space : ch == u'\t' ? Qt::Key_Tab : Qt::Key_unknown;
            QTest::sendKeyEvent(QTest::Press, box, key, QString(ch), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, box, key, QString(ch), Qt::NoModifier);
            if (QApplication::focusWidget() != box)
                return;
        }
    }

    // The admins file open beside the controls, and the identities the user's actions touched since the last save.
    QTemporaryDir dir;
    std::string path = dir.filePath("KZ_admins.txt").toStdString();
    const std::string start = "// soak\r\n\"SteamID:STEAM_0:1:5\"\r\n{\r\n\tbaseLevel = 2\r\n}\r\n\r\n"
                              "\"Name:bad\"\r\n{\r\n\taddAdminCmd = e_stak\r\n}\r\n"
                              "\"IP:1.2.3.4\"\n{\n\tbaseLevel = 131071\n}\n";
    std::set<std::string> touched;

    std::string onDisk() const
    {
        std::ifstream in(path, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }
    // The rows as identities and bytes, to tell which identities an event touched.
    std::multiset<std::pair<std::string, std::string>> rowsNow() const
    {
        std::multiset<std::pair<std::string, std::string>> rows;
        for (const doc::Row& r : document().rows())
            rows.emplace(properties::rowKey(r), r.bytes);
        return rows;
    }

    // A click on an entry of the open file, New Entry, Remove Entry, another writer's change of the file, or Save,
    // which must keep both sides' changes.
    QString fileEvent()
    {
        ui::FilePanel* panel = session->panel();
        const QAbstractItemModel* rows = panel->lstEntries->model();
        const int kind = rows->rowCount() == 0 ? 1 : pick(5);
        if (kind == 0) {
            const QModelIndex row = rows->index(pick(rows->rowCount()), 0);
            panel->lstEntries->scrollTo(row);
            QTest::mouseClick(panel->lstEntries->viewport(), Qt::LeftButton, {},
                              panel->lstEntries->visualRect(row).center());
            return "choose " + row.data().toString();
        }
        if (kind == 1) {
            QTest::mouseClick(panel->cmdNewEntry, Qt::LeftButton);
            return "new entry";
        }
        if (kind == 2) {
            QTest::mouseClick(panel->cmdRemoveEntry, Qt::LeftButton);
            return "remove entry";
        }
        if (kind == 3) {
            std::ofstream(path, std::ios::binary | std::ios::trunc)
                << properties::otherWriter(onDisk(), [this](std::size_t n) { return pick(static_cast<int>(n)); });
            return "another writer";
        }
        const std::string before = onDisk();
        const bool refused = !document().saveRefusal().empty();
        EXPECT_EQ(properties::saveKeepsBothSides(document(), before, touched), "");
        prompts->keepWindow.push_back(pick(2) == 0);
        QTest::mouseClick(panel->cmdSave, Qt::LeftButton);
        if (!refused && !prompts->said.isEmpty())
            ADD_FAILURE() << prompts->said.join(u'\n').toStdString();
        prompts->said.clear();
        prompts->keepWindow.clear();
        if (refused)
            return "no save";
        touched.clear();
        EXPECT_EQ(document().savedText(), onDisk());
        EXPECT_FALSE(w->isWindowModified());
        return "save";
    }

    // The chosen entry of the open file, when the window can edit it, is the entry the inputs show.
    std::string chosenIsShown() const
    {
        const doc::AdminsDocument& d = document();
        if (d.chosen() < 0 || !d.rows()[static_cast<std::size_t>(d.chosen())].editable() || w->PasswordPlaceholderShown)
            return {};
        std::string bytes = d.rows()[static_cast<std::size_t>(d.chosen())].bytes;
        for (std::size_t at = 0; (at = bytes.find("\r\n", at)) != std::string::npos;)
            bytes.erase(at, 1);
        return bytes == result().toStdString()
            ? ""
            : "the chosen entry is not what the inputs show:\n" + bytes + "\nbut:\n" + result().toStdString();
    }

    // One random user event, described for a failure message.
    QString step()
    {
        auto* view = w->treCommands;
        auto* box = qobject_cast<QLineEdit*>(QApplication::focusWidget());
        QWidget* clickable[] = {w->optDefault,  w->optIP,       w->optName,     w->optSteamID,    w->txtID,
                                w->txtPassword, w->chkPassword, w->cmdCheckAll, w->cmdUncheckAll, w->cmdDefault};
        const QModelIndex node = indexOf(w->permissions().tree.item(1 + pick(97))->Key().c_str());
        switch (pick(11)) {
        case 0:
        case 1: {
            QWidget* c = clickable[pick(std::size(clickable))];
            QTest::mouseClick(c, Qt::LeftButton);
            return "click " + c->objectName();
        }
        case 2:
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, pick(2) ? Qt::NoModifier : Qt::ShiftModifier);
            return "tab";
        case 3:
        case 4: {
            const QString text = randomText(pick(10) ? 12 : 150);
            if (box && pick(2)) {
                type(box, text);
                return "type " + text;
            }
            QApplication::clipboard()->setText(text);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_V, Qt::ControlModifier);
            return "paste " + text;
        }
        case 5:
            view->scrollTo(node);
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->checkRect(node).center());
            return "tick " + node.data().toString();
        case 6: {
            const Qt::Key keys[] = {Qt::Key_Space, Qt::Key_Down, Qt::Key_Up};
            QTest::keyClick(view, keys[pick(3)]);
            return "key in tree";
        }
        case 7: {
            view->scrollTo(node);
            const QPoint at(pick(view->viewport()->width()), pick(view->viewport()->height()));
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
            return QStringLiteral("click tree at %1,%2").arg(at.x()).arg(at.y());
        }
        case 8:
            if (pick(2)) {
                const QString& e = kEntries[pick(std::size(kEntries))];
                QApplication::clipboard()->setText(e);
                QTest::keyClick(w->txtResult, Qt::Key_V, Qt::ControlModifier);
                return "paste entry " + e;
            }
            QTest::mouseClick(w->lblMoreInfo, Qt::LeftButton);
            // The general page exactly when no command is chosen; an address holds no space.
            EXPECT_TRUE(opened.back().startsWith(ui::kWikiBase) && !opened.back().contains(u' '));
            EXPECT_EQ(opened.back() == ui::kWikiBase + QStringLiteral("Admin_Commands"),
                      w->lblMoreInfo->Tag().isEmpty());
            return "click help link";
        case 9:
            return fileEvent();
        default:
            if (w->tmrPasswordSpace->isActive())
                w->tmrPasswordSpace_Timer(); // its interval elapses
            return "timer";
        }
    }
};

} // namespace

TEST_F(Soak, RandomUserEventsKeepTheWindowConsistent)
{
    const int seed =
        qEnvironmentVariableIsSet("VANTOREL_SOAK_SEED") ? qEnvironmentVariableIntValue("VANTOREL_SOAK_SEED") : 20261206;
    const int events = qEnvironmentVariableIsSet("VANTOREL_SOAK_EVENTS")
        ? qEnvironmentVariableIntValue("VANTOREL_SOAK_EVENTS")
        : 20000;
    rng.seed(static_cast<unsigned>(seed));
    std::ofstream(path, std::ios::binary) << start;
    session->open(QString::fromStdString(path));
    ASSERT_NE(session->panel(), nullptr);
    for (int i = 0; i < events && !HasFailure(); ++i) {
        const auto rowsBefore = rowsNow();
        const QString what = step();
        const std::string where = QStringLiteral("seed %1 event %2 (%3)").arg(seed).arg(i).arg(what).toStdString();
        if (what != "save") {
            const auto rowsAfter = rowsNow();
            std::vector<std::pair<std::string, std::string>> changed;
            std::set_symmetric_difference(rowsBefore.begin(), rowsBefore.end(), rowsAfter.begin(), rowsAfter.end(),
                                          std::back_inserter(changed));
            for (const auto& [key, bytes] : changed)
                touched.insert(key);
        }
        ASSERT_EQ(chosenIsShown(), "") << where;
        ASSERT_EQ(properties::treeConsistency(w->permissions().tree), "") << where;
        ASSERT_EQ(resultShowsTheControls(), "") << where;
        const QString id = w->txtID->text(), pw = w->txtPassword->text();
        ASSERT_TRUE(id.size() <= 64 && pw.size() <= 128) << where;
        ASSERT_EQ(properties::entryShape(result().replace("\n", "\r\n").toStdString()), "") << where;
        ASSERT_FALSE(pw.contains(u' ')) << where;
        const QString tag = w->lblMoreInfo->Tag();
        ASSERT_EQ(w->lblMoreInfo->text(),
                  tag.isEmpty() ? "Click here for more info." : "Click here for more info on " + tag)
            << where;
    }
    EXPECT_FALSE(HasFailure()) << "seed " << seed;
}
