#include "window_faces.h"

namespace ui {

// Narrow sans faces with the metrics of the classic dialog face. The classic face itself is not asked for: no
// free system has it, and looking it up costs a search of the whole font database at start-up.
QStringList windowFaces()
{
    return {QStringLiteral("Liberation Sans Narrow"), QStringLiteral("Nimbus Sans Narrow"),
            QStringLiteral("Arial Narrow"), QStringLiteral("DejaVu Sans Condensed")};
}

} // namespace ui
