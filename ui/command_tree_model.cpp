#include "command_tree_model.h"

#include <QFont>

namespace ui {

using model::Node;

CommandTreeModel::CommandTreeModel(model::PermissionTree& tree, QObject* parent)
    : QAbstractItemModel(parent), tree_(tree)
{
    tree_.setObserver(this);
}

CommandTreeModel::~CommandTreeModel()
{
    tree_.setObserver(nullptr);
}

Node* CommandTreeModel::nodeAt(const QModelIndex& index)
{
    return index.isValid() ? static_cast<Node*>(index.internalPointer()) : nullptr;
}

QModelIndex CommandTreeModel::indexOf(const Node* node) const
{
    return node ? createIndex(node->row(), 0, const_cast<Node*>(node)) : QModelIndex();
}

QModelIndex CommandTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!hasIndex(row, column, parent))
        return {};
    const Node* p = nodeAt(parent);
    return indexOf(p ? p->childAt(row) : tree_.topLevelAt(row));
}

QModelIndex CommandTreeModel::parent(const QModelIndex& child) const
{
    const Node* n = nodeAt(child);
    return n ? indexOf(n->Parent()) : QModelIndex();
}

int CommandTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    const Node* p = nodeAt(parent);
    return p ? p->Children() : tree_.topLevelCount();
}

int CommandTreeModel::columnCount(const QModelIndex&) const
{
    return 1;
}

QVariant CommandTreeModel::data(const QModelIndex& index, int role) const
{
    const Node* n = nodeAt(index);
    if (!n)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return QString::fromStdString(n->Text());
    case Qt::CheckStateRole:
        return n->Checked() ? Qt::Checked : Qt::Unchecked;
    case Qt::FontRole:
        if (n->Bold()) {
            QFont f;
            f.setBold(true);
            return f;
        }
        return {};
    default:
        return {};
    }
}

// Only a tick can be set; texts are never changed. Editable is reported so
// that the view asks before it would edit a text, and the window refuses.
bool CommandTreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    Node* n = nodeAt(index);
    if (!n || role != Qt::CheckStateRole)
        return false;
    const bool checked = value.toInt() == Qt::Checked;
    if (checked == n->Checked())
        return false;
    n->setChecked(checked);
    emit nodeCheck(n);
    return true;
}

Qt::ItemFlags CommandTreeModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsEditable;
}

QVariant CommandTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && section == 0 && role == Qt::DisplayRole)
        return QStringLiteral("Commands");
    return QAbstractItemModel::headerData(section, orientation, role);
}

void CommandTreeModel::nodeAboutToBeAdded(const Node* parent, int row)
{
    beginInsertRows(indexOf(parent), row, row);
}

void CommandTreeModel::nodeAdded(const Node&)
{
    endInsertRows();
}

void CommandTreeModel::checkedChanged(const Node& node)
{
    const QModelIndex i = indexOf(&node);
    emit dataChanged(i, i, {Qt::CheckStateRole});
}

void CommandTreeModel::expandedChanged(const Node& node)
{
    emit expandRequested(indexOf(&node), node.Expanded());
}

void CommandTreeModel::ensureVisibleRequested(const Node& node)
{
    emit scrollToRequested(indexOf(&node));
}

} // namespace ui
