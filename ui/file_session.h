// The admins file open in the window: one object owns the document (doc/) and the whole flow around it (open,
// choose, edit, add, remove, save over another writer's changes, leave), shows its panel beside the window's
// controls, and says what changed. The window's inputs and the panel's list only show what it holds.
#pragma once

#include <admins_document.h>

#include <QObject>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace ui {

class frmMain;
class FilePanel;
struct ShownEntry;

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

    // Opens `path`, after asking about the unsaved changes of the file open before; reports with opened or
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

signals:
    void opened(const QString& path);
    void failed(const QString& message);
    void saved(bool ok);
    // The rows were laid out anew (after an addition, a removal, a save or an open): views reset.
    void rowsReset();
    // Only these rows show something else; with `linesMoved` also the line numbers after the chosen row.
    void rowsChanged(const std::vector<int>& rows, bool linesMoved);
    // The window shows this entry's ticks and inputs.
    void entryChosen(const entry::Block& entry);
    void modifiedChanged(bool modified);
    // What the last action did, said once under the list.
    void status(const QString& text);

private:
    bool saveNow();
    void showChosen();
    void setTitle();
    QString name() const;

    frmMain* window_;
    QString baseTitle_;
    std::unique_ptr<FilePrompts> prompts_;
    std::optional<doc::AdminsDocument> doc_;
    FilePanel* panel_ = nullptr; // owned by the window
};

} // namespace ui
