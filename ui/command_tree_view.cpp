#include "command_tree_view.h"

#include <QApplication>
#include <QMouseEvent>

namespace ui {

class CommandTreeView::Delegate : public QStyledItemDelegate {
public:
    explicit Delegate(CommandTreeView* view) : QStyledItemDelegate(view), view_(view) {}

    QRect checkRect(const QStyleOptionViewItem& base, const QModelIndex& index) const
    {
        QStyleOptionViewItem opt = base;
        initStyleOption(&opt, index);
        const QWidget* w = opt.widget;
        QStyle* style = w ? w->style() : QApplication::style();
        return style->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &opt, w);
    }

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        int cancel = 0;
        if (view_->BeforeLabelEdit)
            view_->BeforeLabelEdit(cancel);
        return cancel ? nullptr : QStyledItemDelegate::createEditor(parent, option, index);
    }

private:
    CommandTreeView* view_;
};

CommandTreeView::CommandTreeView(QWidget* parent) : QTreeView(parent), delegate_(new Delegate(this))
{
    setItemDelegate(delegate_);
    setHeaderHidden(true);
}

QRect CommandTreeView::checkRect(const QModelIndex& index) const
{
    QStyleOptionViewItem opt;
    initViewItemOption(&opt);
    opt.rect = visualRect(index);
    return delegate_->checkRect(opt, index);
}

QModelIndex CommandTreeView::checkAt(const QPoint& pos) const
{
    const QModelIndex index = indexAt(pos);
    if (index.isValid() && (model()->flags(index) & Qt::ItemIsUserCheckable) && checkRect(index).contains(pos))
        return index;
    return {};
}

// A press on a check box is kept from the view, which would otherwise select
// the node; the release on the same check box changes the tick.
void CommandTreeView::mousePressEvent(QMouseEvent* event)
{
    pressedCheck_ = event->button() == Qt::LeftButton ? checkAt(event->position().toPoint()) : QModelIndex();
    if (pressedCheck_.isValid()) {
        event->accept();
        return;
    }
    QTreeView::mousePressEvent(event);
}

void CommandTreeView::mouseDoubleClickEvent(QMouseEvent* event)
{
    // The second press of a double click on a check box is one more press.
    if (event->button() == Qt::LeftButton && checkAt(event->position().toPoint()).isValid()) {
        mousePressEvent(event);
        return;
    }
    QTreeView::mouseDoubleClickEvent(event);
}

void CommandTreeView::mouseReleaseEvent(QMouseEvent* event)
{
    const QPersistentModelIndex pressed = pressedCheck_;
    pressedCheck_ = QModelIndex();
    if (pressed.isValid()) {
        event->accept();
        if (checkAt(event->position().toPoint()) == pressed) {
            const bool checked = pressed.data(Qt::CheckStateRole).toInt() == Qt::Checked;
            model()->setData(pressed, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
        }
    } else {
        QTreeView::mouseReleaseEvent(event);
    }
    emit Click();
}

void CommandTreeView::keyPressEvent(QKeyEvent* event)
{
    const QModelIndex before = currentIndex();
    QTreeView::keyPressEvent(event);
    if (currentIndex() != before)
        emit Click();
}

} // namespace ui
