#include "window_faces.h"

#include <QApplication>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>

namespace ui {

// The one narrow face the package installs, asked for alone: where it is missing, fontconfig's metric aliases put
// Nimbus Sans Narrow and Arial Narrow next. The classic dialog face is not asked for: no free system has it, and
// looking it up, like a longer list, makes Qt search the font database at every start.
QStringList windowFaces()
{
    return {QStringLiteral("Liberation Sans Narrow")};
}

namespace {

// The application's style, but a frame is drawn as a classic dialog draws it: its caption 8 pixels in from the left,
// and an etched line through the caption's middle, broken where the caption stands. Fusion draws the caption above
// a rounded frame image instead, which costs every start a look through the image plugins, a decode and, stretched
// over a tall frame, a blend on helper threads.
class EtchedFrames : public QProxyStyle {
public:
    EtchedFrames() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) { setParent(qApp); }

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option, QPainter* painter,
                            const QWidget* widget) const override
    {
        const auto* box = qstyleoption_cast<const QStyleOptionGroupBox*>(option);
        if (control != CC_GroupBox || box == nullptr) {
            QProxyStyle::drawComplexControl(control, option, painter, widget);
            return;
        }
        constexpr int kCaptionLeft = 8;
        constexpr int kGap = 2; // between the line and the caption, on either side
        const QFontMetrics& metrics = box->fontMetrics;
        const int captionWidth = box->text.isEmpty() ? 0 : metrics.horizontalAdvance(box->text);
        const int gapBegin = kCaptionLeft - kGap;
        const int gapEnd = captionWidth == 0 ? gapBegin : kCaptionLeft + captionWidth + kGap;
        // Two one-pixel outlines, the shadow's and, one pixel lower right, the light's, each as filled strips,
        // which the raster engine fills without blending.
        const QRect frame = box->rect.adjusted(0, metrics.height() / 2, -1, -1);
        for (const auto& [offset, color] :
             {std::pair{0, box->palette.dark().color()}, {1, box->palette.light().color()}}) {
            const QRect r = frame.translated(offset, offset);
            painter->fillRect(r.left(), r.top(), gapBegin - r.left(), 1, color);
            painter->fillRect(gapEnd, r.top(), r.right() + 1 - gapEnd, 1, color);
            painter->fillRect(r.left(), r.bottom(), r.width(), 1, color);
            painter->fillRect(r.left(), r.top(), 1, r.height(), color);
            painter->fillRect(r.right(), r.top(), 1, r.height(), color);
        }
        // The window's captions hold no mnemonic, so the text is drawn as it stands.
        painter->setPen(box->palette.windowText().color());
        painter->drawText(box->rect.left() + kCaptionLeft, box->rect.top() + metrics.ascent(), box->text);
    }
};

} // namespace

QStyle* frameStyle()
{
    static QStyle* const style = new EtchedFrames;
    return style;
}

} // namespace ui
