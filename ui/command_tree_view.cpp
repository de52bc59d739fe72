#include "command_tree_view.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTextLayout>

#include <memory>
#include <unordered_map>

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

    // A row that is neither selected nor focused is drawn by the style without
    // its text, and the text is then drawn from a layout shaped once per text
    // and font. The style would otherwise shape each row's text several times
    // on every paint (once per sub-rectangle it asks for, twice to draw it),
    // which is most of the cost of repainting the tree after Check All. The
    // other rows, whose highlight and focus frame depend on the text's
    // extent, and text that would not fit, are left to the style as they are.
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt = option;
        initStyleOption(&opt, index);
        const QWidget* w = opt.widget;
        QStyle* style = w ? w->style() : QApplication::style();
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, w) + 1;
        const QTextLayout* text = shaped(opt.text, opt.font);
        const bool plain = !(opt.state & (QStyle::State_Selected | QStyle::State_HasFocus)) &&
            opt.displayAlignment == (Qt::AlignLeft | Qt::AlignVCenter) && opt.direction == Qt::LeftToRight &&
            text->lineCount() == 1;
        QStyleOptionViewItem bare = opt;
        bare.text.clear();
        bare.features &= ~QStyleOptionViewItem::HasDisplay;
        const QRect display = style->subElementRect(QStyle::SE_ItemViewItemText, &bare, w);
        const QTextLine line = text->lineAt(0);
        if (!plain || line.naturalTextWidth() > display.width() - 2 * margin) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        style->drawControl(QStyle::CE_ItemViewItem, &bare, painter, w);
        const QPalette::ColorGroup group = !(opt.state & QStyle::State_Enabled) ? QPalette::Disabled
            : (opt.state & QStyle::State_Active)                                ? QPalette::Normal
                                                                                : QPalette::Inactive;
        painter->save();
        painter->setPen(opt.palette.color(group, QPalette::Text));
        text->draw(painter, QPointF(display.left() + margin, opt.rect.top() + (opt.rect.height() - line.height()) / 2));
        painter->restore();
    }

private:
    // A node's text with the font it was shaped in and its one-line layout.
    struct Shaped {
        QFont font;
        std::unique_ptr<QTextLayout> layout;
    };

    // The text laid out on one line in the font, shaped on first use. A node's
    // text keeps its font, so one entry per text is enough.
    const QTextLayout* shaped(const QString& text, const QFont& font) const
    {
        Shaped& entry = layouts_[text];
        if (!entry.layout || entry.font != font) {
            entry.font = font;
            entry.layout = std::make_unique<QTextLayout>(text, font);
            QTextOption option;
            option.setWrapMode(QTextOption::ManualWrap);
            entry.layout->setTextOption(option);
            entry.layout->setCacheEnabled(true); // keep the glyphs for every later paint
            entry.layout->beginLayout();
            QTextLine line = entry.layout->createLine();
            while (line.isValid()) {
                line.setLineWidth(1e6);
                line = entry.layout->createLine();
            }
            entry.layout->endLayout();
        }
        return entry.layout.get();
    }

    CommandTreeView* view_;
    mutable std::unordered_map<QString, Shaped> layouts_;
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
