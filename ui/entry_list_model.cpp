#include "entry_list_model.h"

#include "file_session.h"
#include "qt_text.h"

#include <QApplication>
#include <QPalette>
#include <QStyle>

namespace ui {

EntryListModel::EntryListModel(const FileSession& session, QObject* parent)
    : QAbstractTableModel(parent), session_(session)
{
}

int EntryListModel::rowCount(const QModelIndex& parent) const
{
    const doc::AdminsDocument* d = session_.document();
    return parent.isValid() || d == nullptr ? 0 : static_cast<int>(d->rows().size());
}

int EntryListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const
{
    const doc::AdminsDocument* d = session_.document();
    if (d == nullptr || index.row() < 0 || index.row() >= static_cast<int>(d->rows().size()))
        return {};
    const doc::Row& r = d->rows()[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return index.column() == 0 ? fromUtf8(r.title) : QVariant(r.line);
    case Qt::DecorationRole:
        if (index.column() == 0 && (r.invalid || r.duplicate || r.promptIdentity))
            return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
        return {};
    case Qt::ForegroundRole:
        // An entry the window cannot edit is greyed; it can still be chosen to be removed.
        if (!r.editable())
            return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
        return {};
    case Qt::ToolTipRole: {
        QStringList why;
        if (!r.editable())
            why << QStringLiteral("Kept as written: ") + fromUtf8(r.refusal);
        if (r.promptIdentity)
            why << QStringLiteral("The identity box shows its prompt: type the identity before saving.");
        else if (r.invalid)
            why << (r.type == entry::UserType::SteamID ? QStringLiteral("The SteamID appears to be invalid.")
                                                       : QStringLiteral("The IP appears to be invalid."));
        if (r.duplicate)
            why << QStringLiteral("Another entry has the same identity.");
        return why.isEmpty() ? QVariant() : QVariant(why.join(u'\n'));
    }
    case Qt::TextAlignmentRole:
        return index.column() == 1 ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    default:
        return {};
    }
}

Qt::ItemFlags EntryListModel::flags(const QModelIndex&) const
{
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QVariant EntryListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return section == 0 ? QStringLiteral("Entry") : QStringLiteral("Line");
}

void EntryListModel::reset()
{
    beginResetModel();
    endResetModel();
}

void EntryListModel::changed(const std::vector<int>& rows, bool linesMoved, int first, int last)
{
    for (const int row : rows)
        emit dataChanged(index(row, 0), index(row, 1));
    const doc::AdminsDocument* d = session_.document();
    if (linesMoved && d != nullptr)
        for (int row = std::max(first, d->chosen() + 1); row <= last; ++row)
            emit dataChanged(index(row, 1), index(row, 1), {Qt::DisplayRole});
}

} // namespace ui
