#pragma once

#include "user_type.h"

#include <string>
#include <string_view>

namespace entry {

// A number as the identity checks read it: a non-empty run of the ASCII digits
// 0-9 and nothing else (no sign, exponent, separator or other script's digit).
bool isNumeric(std::string_view text);

// STEAM_0:X:N with X 0 or 1 and N a number.
bool isValidSteamID(std::string_view id);
// Four numbers from 0 to 255 separated by points; leading zeros allowed.
bool isValidIP(std::string_view id);

inline constexpr std::string_view kSteamIDWarning = "// The SteamID you entered appears to be invalid";
inline constexpr std::string_view kIPWarning = "// The IP you entered appears to be invalid";

// Appends the warning of the user type and an empty line to `result` when the
// identity does not have the form that type needs. Default and Name identities
// are never checked.
void ValidateID(std::string& result, UserType type, std::string_view id);

} // namespace entry
