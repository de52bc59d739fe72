#include "admins_file.h"

#include <algorithm>

namespace entry {

namespace {

// The line at which byte `pos` stands, counted from 1.
int lineAt(std::string_view text, std::size_t pos)
{
    return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(pos), '\n'));
}

// Appends the entry and says at which line its identity line stands. A warning comment above it holds no quote.
int appendComposed(std::string& out, const Block& entry)
{
    const std::size_t at = out.size();
    out += composeBlock(entry);
    return lineAt(out, out.find('"', at));
}

} // namespace

std::vector<const Block*> entriesOf(const ReadResult& read, UserType type, std::string_view identity)
{
    std::vector<const Block*> found;
    for (const Block& b : read.blocks)
        if (b.type == type && b.identity == identity)
            found.push_back(&b);
    return found;
}

EditedText replaceEntry(std::string_view text, const Block& old, Block entry)
{
    entry.lfOnly = old.lfOnly;
    EditedText edited{std::string(text.substr(0, old.begin)), 0};
    edited.text.reserve(text.size() + 256);
    edited.line = appendComposed(edited.text, entry);
    edited.text += text.substr(old.end);
    return edited;
}

EditedText appendEntry(std::string_view text, Block entry)
{
    entry.lfOnly = text.find('\n') != std::string_view::npos && text.find("\r\n") == std::string_view::npos;
    const std::string_view eol = entry.lfOnly ? "\n" : "\r\n";
    EditedText edited{std::string(text), 0};
    if (!text.empty() && !text.ends_with('\n'))
        edited.text += eol;
    if (!text.empty() && emptyLineAtEnd(edited.text) == 0)
        edited.text += eol;
    edited.line = appendComposed(edited.text, entry);
    return edited;
}

EditedText removeEntry(std::string_view text, const Block& old)
{
    const std::size_t begin = old.begin - emptyLineAtEnd(text.substr(0, old.begin));
    std::size_t end = old.end;
    if (old.begin == 0)
        end += text.substr(end).starts_with("\r\n") ? 2 : text.substr(end).starts_with('\n') ? 1 : 0;
    EditedText edited{std::string(text.substr(0, begin)), old.line};
    edited.text += text.substr(end);
    return edited;
}

std::optional<std::string> notAnAdminsFile(std::string_view text)
{
    if (text.find('\0') == std::string_view::npos)
        return std::nullopt;
    return "binary file (it contains a NUL byte), not an admins file";
}

std::size_t emptyLineAtEnd(std::string_view text)
{
    for (const std::string_view eol : {std::string_view("\r\n"), std::string_view("\n")})
        if (text.ends_with(eol) && (text.size() == eol.size() || text[text.size() - eol.size() - 1] == '\n'))
            return eol.size();
    return 0;
}

} // namespace entry
