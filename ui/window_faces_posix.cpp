#include "window_faces.h"

#include <QApplication>
#include <QGroupBox>
#include <QPainter>
#include <QProxyStyle>
#include <QStyleFactory>
#include <QStyleOption>

#include <algorithm>

namespace ui {

// The one narrow face the package installs, asked for alone: where it is missing, fontconfig's metric aliases put
// Nimbus Sans Narrow and Arial Narrow next. The classic dialog face is not asked for: no free system has it, and
// looking it up, like a longer list, makes Qt search the font database at every start.
QStringList windowFaces()
{
    return {QStringLiteral("Liberation Sans Narrow")};
}

namespace {

// The application's style, but a frame's border is an etched line, as a classic dialog's frames are, in the place
// where Fusion draws its rounded frame image. That image costs every start a look through the image plugins, a
// decode and, stretched over a tall frame, a blend on helper threads.
class EtchedFrames : public QProxyStyle {
public:
    EtchedFrames() : QProxyStyle(QStyleFactory::create(QApplication::style()->name())) { setParent(qApp); }

    void drawPrimitive(PrimitiveElement element, const QStyleOption* option, QPainter* painter,
                       const QWidget* widget) const override
    {
        if (element != PE_FrameGroupBox) {
            QProxyStyle::drawPrimitive(element, option, painter, widget);
            return;
        }
        const auto* box = qobject_cast<const QGroupBox*>(widget);
        const int title = box && box->title().isEmpty()
            ? 0
            : std::max(pixelMetric(PM_ExclusiveIndicatorHeight), option->fontMetrics.height());
        // Where Fusion's frame starts, 3 pixels below the title: two one-pixel outlines, the shadow's and, one pixel
        // lower right, the light's, each as four filled strips, which the raster engine fills without blending.
        const QRect frame = option->rect.adjusted(0, title + 3, -1, -1);
        for (const auto& [offset, color] :
             {std::pair{0, option->palette.dark().color()}, {1, option->palette.light().color()}}) {
            const QRect r = frame.translated(offset, offset);
            painter->fillRect(r.left(), r.top(), r.width(), 1, color);
            painter->fillRect(r.left(), r.bottom(), r.width(), 1, color);
            painter->fillRect(r.left(), r.top(), 1, r.height(), color);
            painter->fillRect(r.right(), r.top(), 1, r.height(), color);
        }
    }
};

} // namespace

QStyle* frameStyle()
{
    static QStyle* const style = new EtchedFrames;
    return style;
}

} // namespace ui
