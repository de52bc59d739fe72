#include "identity_validation.h"

#include <algorithm>

namespace entry {

namespace {

bool containsAny(std::string_view text, std::string_view characters)
{
    return text.find_first_of(characters) != std::string_view::npos;
}

// The value of a numeric piece, saturated just above 255 so that a piece of
// any length is read without overflow and still compares as out of range.
int pieceValue(std::string_view digits)
{
    int value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > 255)
            return 256;
    }
    return value;
}

} // namespace

bool isNumeric(std::string_view text)
{
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Lengths are counted in bytes of UTF-8. Wherever that differs from a count of
// characters, the text holds a non-ASCII character, which the form checks
// below refuse anyway, so the outcome is the same.
bool isValidSteamID(std::string_view id)
{
    if (id.size() < 11 || containsAny(id, " .+-e"))
        return false;
    const std::string_view x = id.substr(8, 2);
    return id.substr(0, 6) == "STEAM_" && id.substr(6, 2) == "0:" && (x == "1:" || x == "0:") &&
        isNumeric(id.substr(10));
}

bool isValidIP(std::string_view id)
{
    // The first check that fails decides; the cheaper ones come first.
    if (id.size() < 7 || containsAny(id, " +-e"))
        return false;
    if (std::count(id.begin(), id.end(), '.') != 3)
        return false;
    size_t start = 0;
    for (int piece = 0; piece < 4; ++piece) {
        const size_t end = std::min(id.find('.', start), id.size());
        const std::string_view digits = id.substr(start, end - start);
        if (!isNumeric(digits) || pieceValue(digits) > 255)
            return false;
        start = end + 1;
    }
    return true;
}

void ValidateID(std::string& result, UserType type, std::string_view id)
{
    std::string_view warning;
    if (type == UserType::SteamID && !isValidSteamID(id))
        warning = kSteamIDWarning;
    else if (type == UserType::IPAddress && !isValidIP(id))
        warning = kIPWarning;
    if (warning.empty())
        return;
    result += warning;
    result += "\r\n\r\n";
}

} // namespace entry
