// The admins file open in the window: one object owns the document (doc/) and the whole flow around it (open,
// choose, edit, add, remove, save over another writer's changes, leave), shows its panel beside the window's
// controls, and says what changed. The window's inputs and the panel's list only show what it holds.
#pragma once

#include <admins_document.h>
#include <ftp_files.h>
#include <preview.h>
#include <remote_files.h>

#include <QObject>
#include <QPointer>
#include <QString>

#include <map>
#include <memory>
#include <optional>
#include <vector>

class QTemporaryFile;
class QUndoStack;

namespace ui {

class frmMain;
class FilePanel;
struct ShownEntry;
class StepCommand;

// How the session asks the user and tells him what failed; the window's dialogs unless replaced (the tests answer
// through their own).
class FilePrompts {
public:
    virtual ~FilePrompts() = default;
    enum class Leave { Save, Discard, Cancel };
    // `file` has changes that are not saved: save them, throw them away, or stay.
    virtual Leave askLeave(const QString& file) = 0;
    // Which version of each entry changed on both sides to keep: the answers, or nullopt to save nothing.
    virtual std::optional<std::vector<doc::Answer>> askConflicts(const QString& file,
                                                                 const std::vector<doc::Conflict>& conflicts) = 0;
    virtual void showError(const QString& message) = 0;
    // What Save would write, shown before it is written.
    virtual void showChanges(const QString& file, const doc::Preview& preview) = 0;
    // A server whose host key (SSH) or certificate (FTPS) is not trusted yet, named by its key: trust it for this
    // session, remember it in known_hosts (where `canRemember`), or not.
    enum class HostKey { Once, Remember, Refuse };
    virtual HostKey askHostKey(const QString& address, const QString& key, bool canRemember) = 0;
    // The address of a file on a server and whether plain FTP may carry its password, or nullopt when the user
    // cancelled.
    struct Address {
        QString text;
        bool allowPlainFtp = false;
    };
    virtual std::optional<Address> askAddress() = 0;
};

// The window's own dialogs, with `parent` as their owner.
std::unique_ptr<FilePrompts> dialogPrompts(QWidget* parent);

class FileSession : public QObject {
    Q_OBJECT

public:
    // Takes the files of `window`: what it asks to open, its edits while a file is open, and its closing.
    explicit FileSession(frmMain* window);
    ~FileSession() override;

    void setPrompts(std::unique_ptr<FilePrompts> prompts) { prompts_ = std::move(prompts); }
    // The open file, or null.
    const doc::AdminsDocument* document() const { return doc_ ? &*doc_ : nullptr; }
    FilePanel* panel() const { return panel_; }

    // How ssh is started for sftp:// addresses.
    remote::SshSettings& ssh() { return ssh_; }

    // Asks for an address and opens the file there.
    void openRemote();
    // Opens `path` (a file, or the address of one on a server: read off the GUI thread, the server's unknown host
    // key asked about), after asking about the unsaved changes of the file open before; reports with opened or
    // failed. A file that cannot be opened leaves the open one as it is, unasked.
    void open(const QString& path);
    // Saves the open file; reports with saved.
    void save();
    // Closes the open file after asking about its unsaved changes; false when the user kept it open.
    bool close();
    // Asks, while there are unsaved changes, whether to save them: true when the file may be left.
    bool mayLeave();

    void choose(int row);
    void edit(const ShownEntry& shown);
    void newEntry();
    void removeChosen();
    // Shows the difference between the file on disk now and what Save would write.
    void showChanges();

    // The open file's history of the window's changes: each user action one step (a tick with the ticks it
    // derives, a bulk button, a change of user type, a run of typing in one box, a paste, New Entry, Remove Entry),
    // taken back and made again through the document's own steps. Its clean state is the last save; a save that
    // took in another writer's changes starts it anew, since the steps before it no longer describe the file.
    QUndoStack* history() const { return history_; }
    // Undo, Redo and Show Changes... as actions of `to` (a menu, or a widget's context menu).
    void addFileActions(QWidget* to);
    // A step of the history taken back or made again.
    void takeBack(const doc::Step& step);
    void makeAgain(const doc::Step& step);

signals:
    void opened(const QString& path);
    void failed(const QString& message);
    void saved(bool ok);
    // The rows were laid out anew (after an addition, a removal, a save or an open): views reset.
    void rowsReset();
    // Only these rows show something else; with `linesMoved` also the line numbers after the chosen row.
    void rowsChanged(const std::vector<int>& rows, bool linesMoved);
    // The window shows this entry's ticks and inputs.
    void entryChosen(const entry::Block& entry, bool identityIsPrompt);
    void modifiedChanged(bool modified);
    // What the last action did, said once under the list.
    void status(const QString& text);

protected:
    // Counts the user's actions, so that the changes one of them makes are one step, and takes Ctrl+Z and Ctrl+Y
    // (Ctrl+Shift+Z) in every box of the window while a file is open.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool saveNow();
    // One pass of Save: the plan over the file as it is now, written when it has no conflicts. False, with `why`,
    // when the file could not be read or written.
    bool writeOnce(const std::vector<doc::Answer>& answers, doc::SavePlan& plan, std::string& why);
    // The whole file at `path`, refused when it is not an admins file.
    std::optional<std::string> readFile(const std::string& path, std::string& why);
    std::optional<std::string> readRemote(const std::string& address, std::string& why);
    // FTP's settings for an address: the window's, with the key accepted for it, if any.
    remote::FtpSettings ftpFor(const std::string& address) const;
    void record(const std::optional<doc::Step>& step);
    void afterStep(const doc::Step& step);
    void showChosen();
    void setTitle();
    QString name() const;

    frmMain* window_;
    QString baseTitle_;
    remote::SshSettings ssh_;
    remote::FtpSettings ftp_;
    std::map<std::string, std::string> pins_;        // FTPS keys accepted for this session, by address
    std::unique_ptr<QTemporaryFile> onceKnownHosts_; // the host keys trusted for this session only
    std::unique_ptr<FilePrompts> prompts_;
    std::optional<doc::AdminsDocument> doc_;
    FilePanel* panel_ = nullptr; // owned by the window
    QUndoStack* history_;
    unsigned action_ = 0;        // the user's actions so far
    QPointer<QObject> typingIn_; // the box the last key typed into, if it typed
    unsigned typingRun_ = 0;     // runs of typing, ended by any other action or a change of focus
};

} // namespace ui
