#pragma once

#include <QStringList>

class QStyle;

namespace ui {

// The faces the window asks for, best first, as this system names them; Qt takes the first one installed.
// One source file per system, chosen by CMake.
QStringList windowFaces();

// The style the window's frames are drawn in, or null to keep the application's.
QStyle* frameStyle();

} // namespace ui
