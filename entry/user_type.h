#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace entry {

// The kind of identity chosen with the window's four options.
enum class UserType { Default, IPAddress, Name, SteamID };

// By UserType: the names the command line takes, and the prefixes the identity
// line and the window's type label show.
inline constexpr std::array<std::string_view, 4> kTypeNames{"default", "ip", "name", "steamid"};
inline constexpr std::array<std::string_view, 4> kTypeCaptions{"Default:", "IP:", "Name:", "SteamID:"};

// The identity a Default entry always has.
inline constexpr std::string_view kDefaultIdentity = "Default";

// The most characters (in the UTF-16 units a box counts) the identity box and
// the password box hold.
inline constexpr std::size_t kMaxIdentityLength = 64;
inline constexpr std::size_t kMaxPasswordLength = 128;

constexpr std::string_view typeCaption(UserType type)
{
    return kTypeCaptions[static_cast<std::size_t>(type)];
}
constexpr std::string_view typeName(UserType type)
{
    return kTypeNames[static_cast<std::size_t>(type)];
}
// The type a command-line name stands for, or nullopt.
constexpr std::optional<UserType> typeFromName(std::string_view name)
{
    for (std::size_t t = 0; t < kTypeNames.size(); ++t)
        if (kTypeNames[t] == name)
            return static_cast<UserType>(t);
    return std::nullopt;
}

} // namespace entry
