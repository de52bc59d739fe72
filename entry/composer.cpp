#include "composer.h"

#include "shortest_form.h"

#include <array>
#include <charconv>

namespace entry {

namespace {

using model::Node;

constexpr std::string_view kEol = "\r\n";
constexpr std::string_view kAddAdmin = "addAdminCmd = ";
constexpr std::string_view kAdd = "addCmd = ";
constexpr std::string_view kDenyAdmin = "denyAdminCmd = ";
constexpr std::string_view kDeny = "denyCmd = ";

// Writes each command line of the shortest form as the entry lists it; key(i)
// gives the key of command i of the list.
template <class Key>
struct LineWriter {
    const CommandRuns& list;
    const Key& key;
    std::string& out;

    void line(std::string_view keyword, std::size_t i)
    {
        out += '\t';
        out += keyword;
        out += key(i);
        out += kEol;
    }
    void add(CommandMask commands, int /*count*/)
    {
        commands.forEach([this](std::size_t i) {
            if (!list.plain().has(i)) {
                line(kAddAdmin, i);
            } else {
                out += kAddCmdComment;
                out += kEol;
                line(kAdd, i);
            }
        });
    }
    void deny(CommandMask commands, int /*count*/)
    {
        commands.forEach([this](std::size_t i) { line(list.plain().has(i) ? kDeny : kDenyAdmin, i); });
    }
};

// An upper bound of the entry's length, so that the text is allocated once.
// A command yields at most a run line (with the addCmd comment) and a line of
// the no-level admin pass.
std::size_t capacityFor(const CommandRuns& list, const EntryInputs& in)
{
    constexpr std::size_t perCommand = 2 * (1 + kDenyAdmin.size() + kEol.size()) + kAddCmdComment.size() + kEol.size();
    return 128 + typeCaption(in.userType).size() + in.id.size() + in.password.size() + list.size() * perCommand +
        2 * list.keyBytes();
}

// Appends the whole entry from the list's granted commands and the levels that
// count without commands of their own.
template <class Key>
void appendText(std::string& out, const CommandRuns& list, CommandMask granted, const Key& key, int baseLevel,
                const EntryInputs& in)
{
    ValidateID(out, in.userType, in.id);
    out += '"';
    out += typeCaption(in.userType);
    out += in.id;
    out += '"';
    out += kEol;
    out += '{';
    out += kEol;
    baseLevel = shortestForm(list, granted, baseLevel, LineWriter<Key>{list, key, out});
    out += "\tbaseLevel = ";
    char digits[16];
    out.append(digits, std::to_chars(digits, digits + sizeof digits, baseLevel).ptr);
    out += kEol;
    if (in.passwordValue == 1 && !in.password.empty()) {
        out += "\tpassword = ";
        out += in.password;
        out += kEol;
    }
    out += '}';
    out += kEol;
}

const std::array<CommandFacts, model::kCommandCount>& catalogueTable()
{
    static const auto table = [] {
        std::array<CommandFacts, model::kCommandCount> t{};
        const auto entries = model::commandCatalogue();
        for (std::size_t i = 0; i < t.size(); ++i)
            t[i] = {entries[i].key, entries[i].level, entries[i].defaultOn, entries[i].isAdmin};
        return t;
    }();
    return table;
}

// Counts the lines the composer writes for each group of commands: one per
// command, and for an addition of one that is not an admin command, the
// comment line above it.
struct LineCounter {
    const CommandRuns& list;
    int lines = 0;

    void add(CommandMask commands, int count) { lines += count + (commands & list.plain()).count(); }
    void deny(CommandMask /*commands*/, int count) { lines += count; }
};

// The runs of the catalogue's commands.
const CommandRuns& catalogueRuns()
{
    static const CommandRuns runs(model::kCommandCount, [](std::size_t i) { return catalogueTable()[i]; });
    return runs;
}

} // namespace

int shortestCommandLines(const model::CommandSet& granted)
{
    // The reader asks once per entry: the runs are looked up once.
    static const CommandRuns& runs = catalogueRuns();
    LineCounter counter{runs};
    shortestForm(runs, CommandMask::of(granted), 0, counter);
    return counter.lines;
}

std::string composeEntry(std::span<Node* const> colLevels, std::span<Node* const> colCommands, const EntryInputs& in)
{
    // A level node without commands counts by its own tick; one with commands
    // is decided by them.
    int baseLevel = 0;
    for (const Node* level : colLevels)
        if (level->Checked() && level->Children() == 0)
            baseLevel += level->facts().level;

    const CommandRuns list(colCommands.size(), [colCommands](std::size_t i) {
        const model::NodeFacts& f = colCommands[i]->facts();
        return CommandFacts{colCommands[i]->Key(), f.level, f.defaultOn, f.isAdmin};
    });
    CommandMask granted{};
    for (std::size_t i = 0; i < list.size(); ++i)
        if (colCommands[i]->Checked())
            granted.set(i);
    const auto key = [colCommands](std::size_t i) -> std::string_view { return colCommands[i]->Key(); };
    std::string out;
    out.reserve(capacityFor(list, in));
    appendText(out, list, granted, key, baseLevel, in);
    return out;
}

void appendGranted(std::string& out, const model::CommandSet& granted, const EntryInputs& in)
{
    const auto key = [&table = catalogueTable()](std::size_t i) { return table[i].key; };
    appendText(out, catalogueRuns(), CommandMask::of(granted), key, 0, in);
}

std::string composeGranted(const model::CommandSet& granted, const EntryInputs& in)
{
    std::string out;
    out.reserve(capacityFor(catalogueRuns(), in));
    appendGranted(out, granted, in);
    return out;
}

} // namespace entry
