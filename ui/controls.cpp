#include "controls.h"

#include <text_rules.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPalette>
#include <QScrollBar>
#include <QTextCursor>
#include <QTextDocumentFragment>

#include <algorithm>

namespace ui {

QColor colorFor(quint32 value)
{
    const QPalette pal = QApplication::palette();
    if (value == kWindowText)
        return pal.color(QPalette::Active, QPalette::Text);
    if (value == kGrayText)
        return pal.color(QPalette::Disabled, QPalette::Text);
    return QColor(value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF);
}

namespace {

// Whether a single-line box keeps every character of the text.
bool keepsAll(const QString& text)
{
    return std::all_of(text.begin(), text.end(),
                       [](QChar c) { return entry::singleLineRule(c.unicode()) == entry::SingleLine::Keep; });
}

// Where two texts differ: they share `prefix` characters at the start and
// `suffix` characters at the end, which do not overlap.
struct Difference {
    qsizetype prefix = 0;
    qsizetype suffix = 0;
};

Difference differenceOf(const QString& old, const QString& now)
{
    Difference d;
    while (d.prefix < old.size() && d.prefix < now.size() && old[d.prefix] == now[d.prefix])
        ++d.prefix;
    while (d.suffix < old.size() - d.prefix && d.suffix < now.size() - d.prefix &&
           old[old.size() - 1 - d.suffix] == now[now.size() - 1 - d.suffix])
        ++d.suffix;
    return d;
}

} // namespace

TextBox::TextBox(QWidget* parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textChanged, this, &TextBox::onTextChanged);
    applyForeColor();
}

void TextBox::setForeColor(quint32 value)
{
    foreColor_ = value;
    applyForeColor();
}

// The colour shows while the box is enabled; a disabled box draws its text in
// the system's grey, as every disabled control does.
void TextBox::applyForeColor()
{
    QPalette pal = palette();
    const QColor c = colorFor(foreColor_);
    pal.setColor(QPalette::Active, QPalette::Text, c);
    pal.setColor(QPalette::Inactive, QPalette::Text, c);
    pal.setColor(QPalette::Disabled, QPalette::Text, colorFor(kGrayText));
    setPalette(pal);
}

void TextBox::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::ApplicationPaletteChange)
        applyForeColor();
    QLineEdit::changeEvent(event);
}

void TextBox::onTextChanged(const QString& text)
{
    if (keepsAll(text)) {
        lastText_ = text;
        emit Change();
        return;
    }
    // Find what arrived: the part of the new text between what it shares with
    // the old text at the start and at the end. Keep what a single-line box
    // keeps of that part and leave the old text around it as it was.
    const auto [prefix, suffix] = differenceOf(lastText_, text);
    // The old text is clean, so everything to drop is in the part that arrived.
    const QString inserted =
        QString::fromStdString(entry::keepSingleLine(text.mid(prefix, text.size() - prefix - suffix).toStdString()));
    setText(text.left(prefix) + inserted + text.right(suffix)); // raises textChanged again, with clean text
    setCursorPosition(static_cast<int>(prefix + inserted.size()));
}

void TextBox::keyPressEvent(QKeyEvent* event)
{
    const QString typed = event->text();
    if (!KeyPress || typed.isEmpty() || !typed[0].isPrint()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    QString kept;
    for (QChar ch : typed) {
        int code = ch.unicode();
        KeyPress(code);
        if (code != 0)
            kept += QChar(static_cast<char16_t>(code));
    }
    if (kept == typed)
        QLineEdit::keyPressEvent(event);
    else if (!kept.isEmpty())
        insert(kept);
    else
        event->accept();
}

void TextBox::focusInEvent(QFocusEvent* event)
{
    QLineEdit::focusInEvent(event);
    emit GotFocus();
}

Label::Label(const QString& caption, QWidget* parent) : QLabel(caption, parent)
{
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
}

void Label::setForeColor(quint32 value)
{
    foreColor_ = value;
    QPalette pal = palette();
    pal.setColor(QPalette::WindowText, colorFor(value));
    setPalette(pal);
}

void Label::mousePressEvent(QMouseEvent* event)
{
    pressed_ = event->button() == Qt::LeftButton;
    QLabel::mousePressEvent(event);
}

void Label::mouseReleaseEvent(QMouseEvent* event)
{
    const bool click = pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
    pressed_ = false;
    QLabel::mouseReleaseEvent(event);
    if (click)
        emit Click();
}

namespace {

// The box's vertical scroll bar takes as its page the number of lines in view,
// which changes with nearly every rebuild. While the whole entry is in view the
// slider fills the groove whatever that number is, so such a change is not
// painted: repainting the bar was most of the cost of Check All.
class ResultScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

protected:
    void sliderChange(SliderChange change) override
    {
        if (change == SliderStepsChange && minimum() == maximum())
            return;
        QScrollBar::sliderChange(change);
    }
};

} // namespace

ResultBox::ResultBox(QWidget* parent) : QPlainTextEdit(parent)
{
    setVerticalScrollBar(new ResultScrollBar(Qt::Vertical, this));
    setReadOnly(true);
    setUndoRedoEnabled(false); // only the program writes, and keeps no history
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
}

void ResultBox::setEntry(const QString& entry)
{
    // The document keeps a line feed for every CR LF.
    QString text = entry;
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    const QString old = toPlainText();
    if (old == text)
        return;
    const auto [prefix, suffix] = differenceOf(old, text);
    QTextCursor cursor(document());
    cursor.setPosition(static_cast<int>(prefix));
    cursor.setPosition(static_cast<int>(old.size() - suffix), QTextCursor::KeepAnchor);
    cursor.insertText(text.mid(prefix, text.size() - prefix - suffix));
}

void ResultBox::paste(QClipboard::Mode mode)
{
    const QString text = QApplication::clipboard()->text(mode);
    if (!text.isEmpty())
        emit loadRequested(text.toUtf8());
}

void ResultBox::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Paste)) {
        event->accept();
        paste(QClipboard::Clipboard);
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void ResultBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::MiddleButton && QApplication::clipboard()->supportsSelection()) {
        event->accept();
        paste(QClipboard::Selection);
        return;
    }
    QPlainTextEdit::mouseReleaseEvent(event);
}

void ResultBox::contextMenuEvent(QContextMenuEvent* event)
{
    QMenu* menu = createStandardContextMenu(event->pos());
    QAction* pasteAction = new QAction(tr("&Paste"), menu);
    pasteAction->setShortcut(QKeySequence::Paste);
    pasteAction->setEnabled(!QApplication::clipboard()->text().isEmpty());
    connect(pasteAction, &QAction::triggered, this, [this] { paste(QClipboard::Clipboard); });
    const QList<QAction*> actions = menu->actions();
    menu->insertAction(actions.size() > 1 ? actions[1] : nullptr, pasteAction);
    menu->addSeparator();
    QAction* open = menu->addAction(tr("Open File..."), this, &ResultBox::openRequested);
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    QAction* openRemote = menu->addAction(tr("Open Remote..."), this, &ResultBox::openRemoteRequested);
    openRemote->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O));
    if (extendMenu)
        extendMenu(menu);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos());
}

namespace {

// Takes drops for a widget: text, or local files, are accepted and handed on.
class DropFilter : public QObject {
public:
    DropFilter(QWidget* widget, std::function<void(const QMimeData*)> take) : QObject(widget), take_(std::move(take)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::DragEnter:
        case QEvent::DragMove: {
            auto* e = static_cast<QDropEvent*>(event);
            if (e->mimeData()->hasText() || e->mimeData()->hasUrls())
                e->acceptProposedAction();
            return true;
        }
        case QEvent::Drop: {
            auto* e = static_cast<QDropEvent*>(event);
            e->acceptProposedAction();
            take_(e->mimeData());
            return true;
        }
        default:
            return false;
        }
    }

private:
    std::function<void(const QMimeData*)> take_;
};

} // namespace

void takeDrops(QWidget* widget, std::function<void(const QMimeData*)> take)
{
    widget->setAcceptDrops(true);
    widget->installEventFilter(new DropFilter(widget, std::move(take)));
}

QMimeData* ResultBox::createMimeDataFromSelection() const
{
    auto* data = new QMimeData;
    QString text = textCursor().selection().toPlainText();
    text.replace(u'\n', QStringLiteral("\r\n"));
    data->setText(text);
    return data;
}

} // namespace ui
