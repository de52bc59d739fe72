#pragma once

#include "command_tree_model.h"
#include "command_tree_view.h"
#include "controls.h"

#include <identity_validation.h>
#include <permissions.h>
#include <reader.h>

#include <QWidget>

#include <functional>
#include <optional>
#include <string>

class QButtonGroup;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QMimeData;
class QCheckBox;
class QGroupBox;
class QPushButton;
class QRadioButton;
class QTimer;

namespace ui {

// The wiki's address; a page name is appended to it directly.
inline constexpr char kWikiBase[] = "https://wiki.vantorel.org/wiki/";

// The wiki page of a command's display text: its first character in upper
// case, the spaces after it as "_", and every "+" as "%2B". An empty text is
// the general page.
QString helpPageName(const QString& tag);

// The face the window uses: the first of this system's window faces that is
// installed, at 8.25 points.
QFont windowFont();

// Settings of the whole program, made once at its start before the window is
// built: the window's face becomes the application's, so that every control is
// laid out in it from the start (a control otherwise measures its empty text in
// Qt's default face first, which then has to be loaded too) and the window's
// tooltips and menus match it.
void setUpApplication();

// The entry the inputs show, as an admins file takes it: the identity box's
// grey prompt is no identity of its own, and the password box's no password.
struct ShownEntry {
    entry::UserType type = entry::UserType::Default;
    std::string identity;
    std::optional<std::string> password;
    model::CommandSet granted;
    bool identityIsPrompt = false;

    // Its views point into this object.
    entry::Block block() const;
};

// The one window of the program: the user type and password inputs, the
// command tree with its bulk buttons and help link, and the entry to copy.
class frmMain : public QWidget {
    Q_OBJECT

public:
    explicit frmMain(QWidget* parent = nullptr);
    ~frmMain() override;

    // Where the help link's address goes; the user's browser unless replaced.
    void setUrlOpener(std::function<void(const QString&)> opener) { openUrl_ = std::move(opener); }

    // The user type that the options select.
    entry::UserType selectedUserType() const;
    const model::Permissions& permissions() const { return perms_; }

    // Controls, named as the window's layout names them.
    QGroupBox* Frame1;
    QGroupBox* Frame2;
    QGroupBox* Frame3;
    QWidget* Picture1;
    QRadioButton* optDefault;
    QRadioButton* optSteamID;
    QRadioButton* optName;
    QRadioButton* optIP;
    Label* lblType;
    TextBox* txtID;
    Label* lblPassword;
    Label* lblPasswordSpace;
    QCheckBox* chkPassword;
    TextBox* txtPassword;
    QTimer* tmrPasswordSpace;
    Label* lblCommands;
    QPushButton* cmdCheckAll;
    QPushButton* cmdUncheckAll;
    QPushButton* cmdDefault;
    CommandTreeView* treCommands;
    Label* lblMoreInfo;
    Label* lblResult;
    ResultBox* txtResult;

    // True while the identity box shows a grey prompt not yet entered.
    bool IDPlaceholderShown = false;
    // True while the password box shows its grey prompt not yet entered.
    bool PasswordPlaceholderShown = false;

    // Event handlers.
    void Form_Load();
    void optDefault_Click();
    void optIP_Click();
    void optName_Click();
    void optSteamID_Click();
    void txtID_Change();
    void txtID_GotFocus();
    void chkPassword_Click();
    void txtPassword_GotFocus();
    void txtPassword_KeyPress(int& keyAscii);
    void txtPassword_Change();
    void tmrPasswordSpace_Timer();
    void cmdCheckAll_Click();
    void cmdUncheckAll_Click();
    void cmdDefault_Click();
    void treCommands_BeforeLabelEdit(int& cancel);
    void treCommands_Click();
    void treCommands_NodeCheck(model::Node* node);
    void lblMoreInfo_Click();

    // Rebuilds the entry in txtResult from the current inputs.
    void UpdateResult();
    // Shows the one entry of `text` as if it had been entered by hand, or, when
    // the window cannot hold it, changes nothing and says why at the result
    // box. Returns the reason, empty when it was loaded.
    QString loadEntry(const QByteArray& text);

    // The entry the inputs show now.
    ShownEntry shownEntry() const;
    // Shows `block` as if it had been entered by hand, in one step: the inputs'
    // changes on the way raise no entryEdited. With `identityIsPrompt` the
    // identity box shows the identity as its grey prompt, not yet entered.
    void showEntry(const entry::Block& block, bool identityIsPrompt = false);

    // Asks for a file with the system's dialog; openRequested names it.
    void openFileDialog();
    // Puts `panel` at the window's left, which widens by it (within the
    // screen), or takes the panel away for null. The window owns the panel.
    void setSidePanel(QWidget* panel);
    QWidget* sidePanel() const { return sidePanel_; }
    // Asked before the window closes; false keeps it open.
    void setCloseGuard(std::function<bool()> mayClose) { mayClose_ = std::move(mayClose); }

signals:
    // The user changed an input: the entry the inputs show is another.
    void entryEdited();
    // A file was named to be opened: by Ctrl+O, the result box's menu or a
    // drop.
    void openRequested(const QString& path);
    // The address of a file on a server is to be asked for: by Ctrl+Shift+O or the result box's menu.
    void openRemoteRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createControls();
    void placeControls();
    void connectHandlers();
    void applyIdentityRow(entry::UserType type, const QString& prompt);
    void setTypeCaption(entry::UserType type);
    void clearPrompt(TextBox* box, bool& placeholderShown);
    QString refusalOf(const entry::ReadResult& read) const;
    void dropped(const QMimeData* data);

    model::Permissions perms_;
    CommandTreeModel* treeModel_;
    QButtonGroup* userTypes_;
    std::function<void(const QString&)> openUrl_;
    QWidget* sidePanel_ = nullptr;
    int panelShift_ = 0; // how far the window moved left for the panel
    std::function<bool()> mayClose_;
};

} // namespace ui
