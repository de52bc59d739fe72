// The rows of the open file as a list of two columns, the identity line and its line number, read from the
// document whenever the view asks: nothing is copied.
#pragma once

#include <QAbstractTableModel>

#include <vector>

namespace ui {

class FileSession;

class EntryListModel : public QAbstractTableModel {
public:
    EntryListModel(const FileSession& session, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void reset();
    // Only what changed is shown again: a row's title, line or marks, and the line numbers of the rows after the
    // chosen one when it grew or shrank by lines, of those from `first` to `last` alone: the rows in view. A row
    // scrolled into view later asks for its line then. A range of rows would repaint the whole list at every tick.
    void changed(const std::vector<int>& rows, bool linesMoved, int first, int last);

private:
    const FileSession& session_;
};

} // namespace ui
