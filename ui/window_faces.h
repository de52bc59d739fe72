#pragma once

#include <QStringList>

namespace ui {

// The faces the window asks for, best first, as this system names them; Qt takes the first one installed.
// One source file per system, chosen by CMake.
QStringList windowFaces();

} // namespace ui
