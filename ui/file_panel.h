// The panel of the open admins file: the list of its entries, a line that says what the last action did, and the
// buttons that add, remove and save entries and close the file. It only shows the session's document and hands the
// user's choices to the session.
#pragma once

#include <QGroupBox>

class QLabel;
class QPushButton;
class QTreeView;

namespace ui {

class EntryListModel;
class FileSession;

class FilePanel : public QGroupBox {
    Q_OBJECT

public:
    FilePanel(FileSession* session, QWidget* window);

    QTreeView* lstEntries;
    QLabel* lblFileStatus;
    QPushButton* cmdShowChanges;
    QPushButton* cmdNewEntry;
    QPushButton* cmdRemoveEntry;
    QPushButton* cmdSave;
    QPushButton* cmdCloseFile;

private:
    void reset();
    void changed(const std::vector<int>& rows, bool linesMoved);

    FileSession* session_;
    EntryListModel* model_;
};

} // namespace ui
