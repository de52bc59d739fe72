#pragma once

#include <permission_tree.h>

#include <QAbstractItemModel>

namespace ui {

// Shows the permission tree to a view. It holds no state of its own: every
// answer is read from the tree's nodes, and the tree's change reports become
// the model's notifications. A user's tick arrives as setData(CheckStateRole),
// which writes the node and then raises nodeCheck once.
class CommandTreeModel : public QAbstractItemModel, private model::TreeObserver {
    Q_OBJECT

public:
    explicit CommandTreeModel(model::PermissionTree& tree, QObject* parent = nullptr);
    ~CommandTreeModel() override;

    QModelIndex indexOf(const model::Node* node) const;
    static model::Node* nodeAt(const QModelIndex& index);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    // The column's caption. The view hides its header, but a screen reader
    // still announces it, and would otherwise read out the column number.
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

signals:
    // The user changed the node's tick.
    void nodeCheck(model::Node* node);
    void expandRequested(const QModelIndex& index, bool expanded);
    void scrollToRequested(const QModelIndex& index);

private:
    void nodeAboutToBeAdded(const model::Node* parent, int row) override;
    void nodeAdded(const model::Node& node) override;
    void checkedChanged(const model::Node& node) override;
    void expandedChanged(const model::Node& node) override;
    void ensureVisibleRequested(const model::Node& node) override;

    model::PermissionTree& tree_;
};

} // namespace ui
