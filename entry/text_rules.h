#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace entry {

// What a single-line box (the identity, the password) may hold. A character
// that some reader takes as the end of a line is a line break; every other
// control character is dropped; everything else is kept.
enum class SingleLine { Keep, LineBreak, Drop };

// CR, LF, VT, FF, U+0085, U+2028 and U+2029 break a line; the rest of C0, DEL
// and C1 (the tab included) is dropped.
SingleLine singleLineRule(char32_t c);

// Where the first byte at or after `pos` stands that is not printable ASCII
// (a control character, DEL, or any byte from 0x80 on), or the text's size.
// Only from such a byte can a character start that a box does not keep.
std::size_t firstNonPrintableAscii(std::string_view text, std::size_t pos);

// The first character of UTF-8 text that a single-line box would not keep, or
// npos. Bytes that are not UTF-8 count as ordinary characters.
std::size_t firstUnsafe(std::string_view utf8);

// What a single-line box keeps of UTF-8 text that arrives in it: the text up
// to its first line break, without the other control characters, and with
// every byte that is not UTF-8 as U+FFFD.
std::string keepSingleLine(std::string_view utf8);

// The length of UTF-8 text in the UTF-16 units a box counts (a character
// beyond U+FFFF takes two), or nullopt when the text is not well-formed UTF-8,
// which no box can hold.
std::optional<std::size_t> boxLength(std::string_view utf8);

// The code point at `pos` of UTF-8 text, for messages.
char32_t codePointAt(std::string_view utf8, std::size_t pos);

// "U+2028 (line separator)", "U+0009 (tab)": how a message names a character.
std::string describeCharacter(char32_t c);

} // namespace entry
