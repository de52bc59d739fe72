#pragma once

// Properties that the unit tests, the soak and the fuzz targets all check.
// Each returns an empty text when it holds, otherwise what went wrong.

#include <composer.h>
#include <reader.h>
#include <shortest_form.h>
#include <text_rules.h>

#include <string>

namespace properties {

// Every node that has children is ticked exactly when all its children are.
inline std::string treeConsistency(const model::PermissionTree& tree)
{
    for (int i = 1; i <= tree.Count(); ++i) {
        const model::Node* n = tree.item(i);
        bool all = n->Children() > 0;
        for (int r = 0; r < n->Children(); ++r)
            all = all && n->childAt(r)->Checked();
        if (n->Children() > 0 && all != n->Checked())
            return "node disagrees with its children: " + n->Text();
    }
    return {};
}

// Every line ends with CR LF, and no other line end or control character
// stands anywhere but the tab that indents a setting.
inline std::string entryShape(std::string_view text)
{
    if (!text.ends_with("\r\n"))
        return "the entry does not end with CR LF";
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t end = text.find("\r\n", pos);
        std::string_view line = text.substr(pos, end - pos);
        if (line.starts_with('\t'))
            line.remove_prefix(1);
        if (entry::firstUnsafe(line) != std::string_view::npos)
            return "line end or control character inside the line: " + std::string(line);
        pos = end + 2;
    }
    return {};
}

// Composing, reading back and composing from what was read gives the same
// bytes; the entry grants exactly the ticked commands, keeps the identity and
// the password, and is in its shortest form (the reader counts the lines).
inline std::string roundTrip(const model::Permissions& p, const entry::EntryInputs& in)
{
    const std::string text = entry::composeEntry(p.colLevels, p.colCommands, in);
    const entry::ReadResult r = entry::read(text);
    if (r.blocks.size() != 1 || r.errors != 0 || r.notes != 0)
        return "not read back as one clean entry in its shortest form:\n" + text;
    const entry::Block& b = r.blocks[0];
    model::CommandSet ticked;
    for (std::size_t i = 0; i < p.colCommands.size(); ++i)
        ticked[i] = p.colCommands[i]->Checked();
    if (b.granted != ticked)
        return "grants other commands than the ticked ones:\n" + text;
    const bool hasPassword = in.passwordValue == 1 && !in.password.empty();
    if (b.type != in.userType || b.identity != in.id || b.password.has_value() != hasPassword ||
        (hasPassword && *b.password != in.password))
        return "identity or password not read back:\n" + text;
    if (entry::composeBlock(b) != text)
        return "composing what was read gives other bytes:\n" + text;
    // The count the reader's shortest-form note relies on is the composer's.
    int commandLines = 0;
    for (std::size_t pos = text.find("\r\n{\r\n") + 5; pos < text.size(); pos = text.find("\r\n", pos) + 2)
        commandLines += text.compare(pos, 2, "\tb") != 0 && text.compare(pos, 2, "\tp") != 0 && text[pos] != '}';
    if (commandLines != entry::shortestCommandLines(b.granted))
        return "the reader counts other command lines than the composer writes:\n" + text;
    return {};
}

// Whatever a text holds, formatting keeps what every clean entry grants, and
// formatting again changes nothing.
inline std::string formatKeepsMeaning(std::string_view text)
{
    const entry::ReadResult before = entry::read(text);
    const std::string once = entry::formatText(text, before);
    const entry::ReadResult after = entry::read(once);
    if (after.blocks.size() != before.blocks.size())
        return "formatting changed the number of entries";
    for (std::size_t i = 0; i < before.blocks.size(); ++i)
        if (!before.blocks[i].hasErrors &&
            (after.blocks[i].hasErrors || after.blocks[i].granted != before.blocks[i].granted))
            return "formatting changed what the entry at line " + std::to_string(before.blocks[i].line) + " grants";
    if (entry::formatText(once, after) != once)
        return "formatting twice changed more";
    return {};
}

} // namespace properties
