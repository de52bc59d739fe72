#pragma once

// What an entry may hold: the one check that the window makes of a pasted
// entry and compose and set make of their options, and the rule of the
// password that the reader's diagnostics share.

#include "user_type.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace entry {

// An entry as it is asked for: a type, an identity, and perhaps a password.
struct EntryRequest {
    UserType type = UserType::Default;
    std::string_view identity;
    std::optional<std::string_view> password;
};

// Why the window's inputs cannot hold an entry.
struct Refusal {
    enum class Kind : std::uint8_t {
        DefaultIdentity, // a Default entry with an identity other than "Default"
        DefaultPassword, // a Default entry with a password
        NotUtf8,         // the text is not UTF-8
        TooLong,         // more characters than the box takes
        NotSingleLine,   // a line break or another control character
        Space,           // a space in the password
    };
    enum class Field : std::uint8_t { Identity, Password };

    Kind kind;
    Field field = Field::Identity;
    std::size_t length = 0; // TooLong: the text's length, in the units a box counts
    std::size_t limit = 0;  // TooLong: the most the box takes
    char32_t character = 0; // NotSingleLine: the first character refused
};

// The first reason why the window's inputs cannot hold the entry, in the order
// they are filled: the type, the identity, the password. Nullopt when they can.
std::optional<Refusal> refusalOf(const EntryRequest& request);

// The refusal in words, as the command line gives it, for example "the
// identity has 65 characters; at most 64 are allowed".
std::string describe(const Refusal& refusal);

// The plugin ends a password at its first space, so a password holds none.
constexpr bool hasSpace(std::string_view password)
{
    return password.find(' ') != std::string_view::npos;
}
inline constexpr std::string_view kPasswordSpace = "the password contains a space";

} // namespace entry
