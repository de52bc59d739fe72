#include "window_fixture.h"

#include <file_panel.h>

#include <QClipboard>
#include <QDropEvent>
#include <QMimeData>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolTip>

namespace {

enum class How { Paste, DropText, DropFile };

// The text arrives as a user brings it: Ctrl+V in the result box, or a drop
// of text or of a file on the result box or the tree.
void bring(ui::frmMain& w, How how, const QString& text)
{
    if (how == How::Paste) {
        QApplication::clipboard()->setText(text);
        QTest::keyClick(w.txtResult, Qt::Key_V, Qt::ControlModifier);
        return;
    }
    QMimeData data;
    QTemporaryDir dir;
    if (how == How::DropFile) {
        QFile file(dir.filePath("KZ_admins.txt"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text.toUtf8());
        file.close();
        data.setUrls({QUrl::fromLocalFile(file.fileName())});
    } else {
        data.setText(text);
    }
    QWidget* target = how == How::DropFile ? w.treCommands->viewport() : w.txtResult->viewport();
    const QPoint at = target->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    ASSERT_TRUE(enter.isAccepted());
    QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &drop);
}

// What a user sees of the inputs.
QString inputs(const ui::frmMain& w)
{
    return QStringList{w.lblType->text(), w.txtID->text(), w.txtID->isEnabled() ? "on" : "off",
                       w.chkPassword->isChecked() ? "pw" : "-", w.txtPassword->text()}
        .join('|');
}

} // namespace

TEST_F(SessionWindow, LoadsOnePastedOrDroppedEntryAsIfEnteredByHand)
{
    struct Row {
        const char* name;
        How how;
        QString text;
        QString inputs;
        QString entry; // the result box afterwards
    };
    // clang-format off
    const std::vector<Row> rows{
        {"SteamID, password, not shortest", How::Paste,
         "\"SteamID:STEAM_0:1:7\"\r\n{\r\n\taddAdminCmd = timelimit\r\n\taddAdminCmd = map\r\n\tbaseLevel = 0\r\n"
         "\tpassword = pw\r\n}\r\n",
         "SteamID:|STEAM_0:1:7|on|pw|pw", "\"SteamID:STEAM_0:1:7\"\n{\n\tbaseLevel = 2\n\tpassword = pw\n}\n"},
        {"IP with its warning, LF alone", How::DropText,
         "// The IP you entered appears to be invalid\n\n\"IP:1.2.3\"\n{\n\tdenyCmd = say\n\tbaseLevel = 0\n}\n",
         "IP:|1.2.3|on|-|", "// The IP you entered appears to be invalid\n\n\"IP:1.2.3\"\n{\n\tdenyCmd = say\n"
         "\tbaseLevel = 0\n}\n"},
        {"Name after a byte-order mark", How::DropText,
         "\xEF\xBB\xBF\"Name:Mod Alice\"\r\n{\r\n\taddAdminCmd = kick\r\n\tbaseLevel = 0\r\n}\r\n",
         "Name:|Mod Alice|on|-|", "\"Name:Mod Alice\"\n{\n\taddAdminCmd = kick\n\tbaseLevel = 0\n}\n"},
        {"Default", How::Paste, "\"Default:Default\"\r\n{\r\n\tbaseLevel = 131071\r\n}\r\n",
         "Default:|Default|off|-|", "\"Default:Default\"\n{\n\tbaseLevel = 131071\n}\n"},
    };
    // clang-format on
    QSignalSpy checks(w->treCommands->model(), SIGNAL(nodeCheck(model::Node*)));
    QSignalSpy rebuilt(w->txtResult, &QPlainTextEdit::textChanged);
    for (const Row& row : rows) {
        QTest::mouseClick(w->optName, Qt::LeftButton); // a typed password must not survive a load without one
        if (!w->chkPassword->isChecked())
            QTest::mouseClick(w->chkPassword, Qt::LeftButton);
        QTest::mouseClick(w->txtPassword, Qt::LeftButton);
        QTest::keyClicks(w->txtPassword, "old");
        bring(*w, row.how, row.text);
        EXPECT_EQ(inputs(*w), row.inputs) << row.name;
        EXPECT_EQ(result(), row.entry) << row.name;
        EXPECT_EQ(w->txtID->ForeColor(), ui::kWindowText) << row.name;
        EXPECT_FALSE(w->IDPlaceholderShown || w->PasswordPlaceholderShown) << row.name;
    }
    EXPECT_EQ(checks.count(), 0);
    EXPECT_TRUE(properties::treeConsistency(w->permissions().tree).empty());

    EXPECT_FALSE(w->txtResult->toolTip().isEmpty()); // it says that an entry can be pasted there

    // A dropped file is opened beside the controls, which stay as they were.
    const QString before = inputs(*w) + result();
    bring(*w, How::DropFile, rows[0].text);
    ASSERT_NE(w->sidePanel(), nullptr);
    EXPECT_EQ(document().rows().size(), 1U);
    EXPECT_EQ(inputs(*w) + result(), before);
}

TEST_F(Window, RefusesWhatItCannotHoldAndChangesNothing)
{
    const QString one = "\"Name:x\"\r\n{\r\n\tbaseLevel = 0\r\n}\r\n";
    // clang-format off
    const std::vector<std::pair<QString, QString>> rows{
        {"just words", "line 1: text outside an entry: \"just words\""},
        {"// only a comment\r\n", "the text holds no entry"},
        {one + one, "the text holds 2 entries; paste one at a time"},
        {"\"Name:x\"\r\n{\r\n\tbaseLevel = 0\r\n\taddAdminCmd = e_stak\r\n}\r\n", "line 4: unknown command \"e_stak\""},
        {"\"Default:Default\"\r\n{\r\n\tpassword = pw\r\n}\r\n", "a Default entry has the identity Default and no password"},
        {"\"Default:Alice\"\r\n{\r\n}\r\n", "a Default entry has the identity Default and no password"},
        {"\"Name:" + QString(65, 'n') + "\"\r\n{\r\n}\r\n", "the identity is longer than 64 characters"},
        {"\"Name:x\"\r\n{\r\n\tpassword = " + QString(129, 'p') + "\r\n}\r\n", "the password is longer than 128 characters"},
    };
    // clang-format on
    QTest::mouseClick(w->optIP, Qt::LeftButton);
    clickCheck("lvl4");
    const QString before = inputs(*w) + result();
    for (const auto& [text, reason] : rows) {
        bring(*w, How::Paste, text);
        EXPECT_EQ(QToolTip::text(), "Not loaded: " + reason);
        EXPECT_EQ(inputs(*w) + result(), before) << reason.toStdString();
    }
    // Bytes that are not UTF-8, as a dropped file may hold them, are no identity a box can hold.
    EXPECT_EQ(w->loadEntry("\"Name:\xFF\"\r\n{\r\n}\r\n"), "Not loaded: the identity is not valid UTF-8");
    EXPECT_EQ(inputs(*w) + result(), before);
    EXPECT_TRUE(node("reload")->Checked());
}
