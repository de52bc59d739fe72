#pragma once

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include <functional>

class QMimeData;

class QMenu;

namespace ui {

// Colours as the window gives them to its controls: 0x00BBGGRR for a fixed
// colour, 0x800000nn for the window system's colour number nn.
inline constexpr quint32 kWindowText = 0x80000008;
inline constexpr quint32 kGrayText = 0x80000011;
inline constexpr quint32 kBlue = 0x00FF0000;
inline constexpr quint32 kRed = 0x000000FF;

// The colour a value stands for in the current application palette.
QColor colorFor(quint32 value);

// A single-line text box. Its text never holds a line break or any other
// control character: text that arrives with a line break (a paste, a drop, an
// input method, the program) keeps only the part before the first break, other
// control characters are dropped, and the rest of the box is left as it was.
// Change is
// raised for every change of the text, the program's own included, once the
// text is clean. KeyPress sees each typed character before it is inserted and
// may swallow it by setting the code to 0.
class TextBox : public QLineEdit {
    Q_OBJECT
    Q_PROPERTY(quint32 ForeColor READ ForeColor WRITE setForeColor)

public:
    explicit TextBox(QWidget* parent = nullptr);

    quint32 ForeColor() const { return foreColor_; }
    void setForeColor(quint32 value);

    std::function<void(int& keyAscii)> KeyPress;

signals:
    void Change();
    void GotFocus();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void onTextChanged(const QString& text);
    void applyForeColor();

    quint32 foreColor_ = kWindowText;
    QString lastText_;
};

// A label that carries a hidden free text, its Tag, and reports a click.
class Label : public QLabel {
    Q_OBJECT
    Q_PROPERTY(QString Tag READ Tag WRITE setTag)
    Q_PROPERTY(quint32 ForeColor READ ForeColor WRITE setForeColor)

public:
    explicit Label(const QString& caption, QWidget* parent = nullptr);

    QString Tag() const { return tag_; }
    void setTag(const QString& tag) { tag_ = tag; }
    quint32 ForeColor() const { return foreColor_; }
    void setForeColor(quint32 value);

signals:
    void Click();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QString tag_;
    quint32 foreColor_ = kWindowText;
    bool pressed_ = false;
};

// Lets a widget take dropped text or files, and hands what arrives to `take`.
void takeDrops(QWidget* widget, std::function<void(const QMimeData*)> take);

// The read-only result box. Its document keeps line feeds only; whatever is
// copied from it reaches the clipboard with CR LF line ends again, so that the
// whole selection is byte for byte the entry that was composed. Typing never
// changes it; a paste (keys, middle button, or its menu) or a drop hands the
// text to Load instead, for the window to read.
class ResultBox : public QPlainTextEdit {
    Q_OBJECT

public:
    explicit ResultBox(QWidget* parent = nullptr);

    // Replaces the whole text. Only the lines that differ are rewritten, so
    // that a rebuild repaints what changed rather than the whole box.
    void setEntry(const QString& entry);

    // Adds the open file's items to its menu, when set.
    std::function<void(QMenu*)> extendMenu;

signals:
    void loadRequested(const QByteArray& text);
    // Its menu's "Open File..." and "Open Remote...".
    void openRequested();
    void openRemoteRequested();

protected:
    QMimeData* createMimeDataFromSelection() const override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void paste(QClipboard::Mode mode);
};

} // namespace ui
