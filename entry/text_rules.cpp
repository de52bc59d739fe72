#include "text_rules.h"

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace entry {

SingleLine singleLineRule(char32_t c)
{
    switch (c) {
    case U'\r':
    case U'\n':
    case U'\v':
    case U'\f':
    case U'\u0085':
    case U'\u2028':
    case U'\u2029':
        return SingleLine::LineBreak;
    default:
        break;
    }
    if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
        return SingleLine::Drop;
    return SingleLine::Keep;
}

namespace {

// Decodes the UTF-8 sequence at `pos` and sets `length` to its size. A byte that
// does not start a well-formed sequence is taken alone, as the character 0xFFFD.
char32_t decode(std::string_view s, std::size_t pos, std::size_t& length)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char b = byte(pos);
    length = 1;
    if (b < 0x80)
        return b;
    const std::size_t n = b >= 0xF5 ? 0 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 ? 2 : 0;
    if (n == 0 || pos + n > s.size())
        return 0xFFFD;
    char32_t c = b & (0x7F >> n);
    for (std::size_t i = 1; i < n; ++i) {
        if ((byte(pos + i) & 0xC0) != 0x80)
            return 0xFFFD;
        c = (c << 6) | (byte(pos + i) & 0x3F);
    }
    length = n;
    return c;
}

} // namespace

namespace {

// The bytes of a word, in memory order from its lowest byte, that are below
// 0x20, DEL or from 0x80 on, each marked by its top bit. A borrow can mark a
// byte wrongly only after a byte truly marked, so the first mark is exact.
std::uint64_t nonPrintableAscii(std::uint64_t x)
{
    constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
    constexpr std::uint64_t kHigh = 0x8080808080808080ULL;
    const std::uint64_t below20 = (x - 0x20 * kOnes) & ~x & kHigh;
    const std::uint64_t del = x ^ (0x7F * kOnes);
    const std::uint64_t isDel = (del - kOnes) & ~del & kHigh;
    return (x & kHigh) | below20 | isDel;
}

} // namespace

std::size_t firstNonPrintableAscii(std::string_view text, std::size_t pos)
{
    // Sixteen bytes at a time where SSE2 is there (every x86-64 processor), eight at a time elsewhere, then byte
    // by byte. As signed bytes, those from 0x80 on are below 0x20 too.
#ifdef __SSE2__
    const __m128i space = _mm_set1_epi8(0x20), del = _mm_set1_epi8(0x7F);
    for (; pos + 16 <= text.size(); pos += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + pos));
        if (const int marks = _mm_movemask_epi8(_mm_or_si128(_mm_cmplt_epi8(x, space), _mm_cmpeq_epi8(x, del))))
            return pos + static_cast<std::size_t>(std::countr_zero(static_cast<unsigned>(marks)));
    }
#endif
    static_assert(std::endian::native == std::endian::little);
    for (std::uint64_t word = 0; pos + sizeof word <= text.size(); pos += sizeof word) {
        std::memcpy(&word, text.data() + pos, sizeof word);
        if (const std::uint64_t marks = nonPrintableAscii(word); marks != 0)
            return pos + static_cast<std::size_t>(std::countr_zero(marks)) / 8;
    }
    for (; pos < text.size(); ++pos) {
        const auto b = static_cast<unsigned char>(text[pos]);
        if (b < 0x20 || b >= 0x7F)
            return pos;
    }
    return pos;
}

std::size_t firstUnsafe(std::string_view utf8)
{
    // Only from a byte that is not printable ASCII is the text decoded.
    for (std::size_t pos = firstNonPrintableAscii(utf8, 0), length = 1; pos < utf8.size(); pos += length) {
        const auto b = static_cast<unsigned char>(utf8[pos]);
        // Only C0, DEL, and C2 (C1 controls, U+0085) or E2 (U+2028, U+2029)
        // can start something that is not kept.
        if (b >= 0x20 && b != 0x7F && b != 0xC2 && b != 0xE2) {
            length = 1;
            continue;
        }
        if (singleLineRule(decode(utf8, pos, length)) != SingleLine::Keep)
            return pos;
    }
    return std::string_view::npos;
}

std::string keepSingleLine(std::string_view utf8)
{
    std::string kept;
    kept.reserve(utf8.size());
    for (std::size_t pos = 0, length = 0; pos < utf8.size(); pos += length) {
        const SingleLine rule = singleLineRule(decode(utf8, pos, length));
        if (rule == SingleLine::LineBreak)
            break;
        if (rule == SingleLine::Drop)
            continue;
        // A byte that starts no well-formed sequence is kept as U+FFFD: were it
        // kept as it is, dropping what follows it could join it with a later
        // byte into a new character, a control character among them.
        if (length == 1 && static_cast<unsigned char>(utf8[pos]) >= 0x80)
            kept += "\xEF\xBF\xBD";
        else
            kept += utf8.substr(pos, length);
    }
    return kept;
}

std::optional<std::size_t> boxLength(std::string_view utf8)
{
    // The smallest code point that needs a sequence of each length: anything
    // less is an overlong form.
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    std::size_t units = 0;
    for (std::size_t pos = 0, length = 0; pos < utf8.size(); pos += length) {
        const char32_t c = decode(utf8, pos, length);
        const bool alone = length == 1 && static_cast<unsigned char>(utf8[pos]) >= 0x80;
        if (alone || c < kSmallest[length] || (c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF)
            return std::nullopt;
        units += length == 4 ? 2 : 1;
    }
    return units;
}

char32_t codePointAt(std::string_view utf8, std::size_t pos)
{
    std::size_t length = 0;
    return pos < utf8.size() ? decode(utf8, pos, length) : 0;
}

std::string describeCharacter(char32_t c)
{
    struct Name {
        char32_t c;
        const char* name;
    };
    static constexpr Name kNames[] = {{U'\t', "tab"},
                                      {U'\r', "carriage return"},
                                      {U'\n', "line feed"},
                                      {0, "NUL"},
                                      {U'\u0085', "next line"},
                                      {U'\u2028', "line separator"},
                                      {U'\u2029', "paragraph separator"}};
    const char* name = singleLineRule(c) == SingleLine::Keep ? "character" : "control character";
    for (const Name& n : kNames)
        if (n.c == c)
            name = n.name;
    char text[48];
    std::snprintf(text, sizeof text, "U+%04X (%s)", static_cast<unsigned>(c), name);
    return text;
}

} // namespace entry
