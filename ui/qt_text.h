// Text of the core (UTF-8 bytes) as Qt takes it.
#pragma once

#include <QString>

#include <string_view>

namespace ui {

inline QString fromUtf8(std::string_view s)
{
    return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace ui
