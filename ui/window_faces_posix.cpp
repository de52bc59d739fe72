#include "window_faces.h"

namespace ui {

// The one narrow face the package installs, asked for alone: where it is missing, fontconfig's metric aliases put
// Nimbus Sans Narrow and Arial Narrow next. The classic dialog face is not asked for: no free system has it, and
// looking it up, like a longer list, makes Qt search the font database at every start.
QStringList windowFaces()
{
    return {QStringLiteral("Liberation Sans Narrow")};
}

} // namespace ui
