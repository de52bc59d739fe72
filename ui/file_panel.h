// The panel of an open admins file: the list of its entries and the buttons that add, remove and save them. It keeps
// the open file (open_file.h) and hands the window the entry to edit; the window hands back every change.
#pragma once

#include "open_file.h"

#include <QGroupBox>

#include <memory>

class QPushButton;
class QTreeView;

namespace ui {

class EntryListModel;

class FilePanel : public QGroupBox {
    Q_OBJECT

public:
    FilePanel(OpenFile file, QWidget* window);
    ~FilePanel() override;

    const OpenFile& file() const { return file_; }

    // The window's inputs changed: the entry being edited, if any, becomes what they describe.
    void entryEdited(const entry::Block& entry);

    // Selects entry `row` for editing, or none for -1.
    void selectRow(int row);
    void newEntry(const entry::Block& startUp);
    void removeEntry();
    // False when nothing was saved; the reason has been shown unless the user cancelled.
    bool save();
    // Asks, while there are unsaved changes, whether to save them first: true when the file may be left (saved,
    // or its changes discarded), false when the user cancelled or saving failed.
    bool mayLeave();

    QTreeView* lstEntries;
    QPushButton* cmdNewEntry;
    QPushButton* cmdRemoveEntry;
    QPushButton* cmdSave;
    QPushButton* cmdCloseFile;

signals:
    // An entry was chosen for editing: the window shows it as if it had been entered by hand.
    void entryChosen(const entry::Block& entry);
    void modifiedChanged(bool modified);
    void closeRequested();
    void newEntryRequested();

private:
    void showError(const FileError& error);
    void reload();
    void afterEdit();

    OpenFile file_;
    EntryListModel* model_;
};

// Asks which version of each entry changed both in the window and on disk to keep: the answers, or nullopt when the
// user cancels. The window's tests answer it through the dialog's own controls.
std::optional<std::vector<entry::MergeDecision>> askConflicts(QWidget* parent, const std::string& path,
                                                              const std::vector<entry::MergeConflict>& conflicts);

} // namespace ui
