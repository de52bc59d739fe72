#include "controls.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QPalette>
#include <QTextCursor>
#include <QTextDocumentFragment>

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

// The position of the first CR or LF, or -1.
qsizetype lineBreakIn(const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] == u'\r' || text[i] == u'\n')
            return i;
    return -1;
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
    if (lineBreakIn(text) < 0) {
        lastText_ = text;
        emit Change();
        return;
    }
    // Find what arrived: the part of the new text between what it shares with
    // the old text at the start and at the end. Keep that part up to its first
    // line break and leave the old text around it as it was.
    const auto [prefix, suffix] = differenceOf(lastText_, text);
    // The old text holds no break, so every break is in the part that arrived.
    QString inserted = text.mid(prefix, text.size() - prefix - suffix);
    inserted.truncate(lineBreakIn(inserted));
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

ResultBox::ResultBox(QWidget* parent) : QPlainTextEdit(parent)
{
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

QMimeData* ResultBox::createMimeDataFromSelection() const
{
    auto* data = new QMimeData;
    QString text = textCursor().selection().toPlainText();
    text.replace(u'\n', QStringLiteral("\r\n"));
    data->setText(text);
    return data;
}

} // namespace ui
