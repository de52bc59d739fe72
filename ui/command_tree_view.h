#pragma once

#include <QStyledItemDelegate>
#include <QTreeView>

#include <functional>

namespace ui {

// The tree of commands as the user meets it:
// - a mouse click on a node's check box changes the tick only; the selection,
//   and so the help link, stay as they were;
// - Click is raised for every mouse click anywhere in the tree, empty space
//   included, and when the keyboard moves the current node;
// - before a node's text would be edited, BeforeLabelEdit is asked, and an
//   edit is only started if it leaves the cancel flag at 0.
class CommandTreeView : public QTreeView {
    Q_OBJECT

public:
    explicit CommandTreeView(QWidget* parent = nullptr);

    // The rectangle of the index's check box, in viewport coordinates.
    QRect checkRect(const QModelIndex& index) const;

    std::function<void(int& cancel)> BeforeLabelEdit;

signals:
    void Click();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    class Delegate;
    QModelIndex checkAt(const QPoint& pos) const;

    Delegate* delegate_;
    QPersistentModelIndex pressedCheck_;
};

} // namespace ui
