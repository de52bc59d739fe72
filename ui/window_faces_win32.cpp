#include "window_faces.h"

namespace ui {

// The classic dialog face, which Qt draws from its bitmap font where Windows has one (at its nearest size, 13 pixels
// high at 96 dpi); then its TrueType successor; then narrow sans faces for a system with neither, such as a Wine
// prefix, where the window would otherwise get the system's fallback face, a serif one there.
QStringList windowFaces()
{
    return {QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
            QStringLiteral("Liberation Sans Narrow"), QStringLiteral("Arial Narrow"), QStringLiteral("Arial")};
}

// The native style draws the frames as Windows does.
QStyle* frameStyle()
{
    return nullptr;
}

} // namespace ui
