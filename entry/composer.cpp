#include "composer.h"

#include "shortest_form.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <vector>

namespace entry {

namespace {

using model::Node;

constexpr std::string_view kEol = "\r\n";
constexpr std::string_view kAddAdmin = "addAdminCmd = ";
constexpr std::string_view kAdd = "addCmd = ";
constexpr std::string_view kDenyAdmin = "denyAdminCmd = ";
constexpr std::string_view kDeny = "denyCmd = ";

// The commands of the window's tree: each fact is read from the node's tag
// when asked, every time, so nothing is kept between entries.
struct TreeCommands {
    std::span<Node* const> nodes;

    std::size_t size() const { return nodes.size(); }
    bool checked(std::size_t i) const { return nodes[i]->Checked(); }
    bool defaultOn(std::size_t i) const { return model::commandTag(*nodes[i]).defaultOn(); }
    bool isAdmin(std::size_t i) const { return model::commandTag(*nodes[i]).isAdmin(); }
    int level(std::size_t i) const { return model::commandTag(*nodes[i]).level(); }
    bool levelIsZero(std::size_t i) const { return model::commandTag(*nodes[i]).levelIsZero(); }
    std::string_view key(std::size_t i) const { return nodes[i]->Key(); }
};

// The catalogue's commands with a granted set.
struct GrantedCommands {
    std::span<const CommandFacts> facts;
    const model::CommandSet& granted;

    std::size_t size() const { return facts.size(); }
    bool checked(std::size_t i) const { return granted[i]; }
    bool defaultOn(std::size_t i) const { return facts[i].defaultOn; }
    bool isAdmin(std::size_t i) const { return facts[i].isAdmin; }
    int level(std::size_t i) const { return facts[i].level; }
    bool levelIsZero(std::size_t i) const { return facts[i].levelIsZero; }
    std::string_view key(std::size_t i) const { return facts[i].key; }
};

// Writes each command line of the shortest form as the entry lists it.
template <class Commands>
struct LineWriter {
    const Commands& commands;
    std::string& out;

    void line(std::string_view keyword, std::size_t i)
    {
        out += '\t';
        out += keyword;
        out += commands.key(i);
        out += kEol;
    }
    void add(std::size_t i)
    {
        if (commands.isAdmin(i)) {
            line(kAddAdmin, i);
        } else {
            out += kAddCmdComment;
            out += kEol;
            line(kAdd, i);
        }
    }
    void deny(std::size_t i) { line(commands.isAdmin(i) ? kDenyAdmin : kDeny, i); }
};

// An upper bound of the entry's length, so that the text is allocated once.
// A command yields at most a run line (with the addCmd comment) and a line of
// the no-level admin pass.
template <class Commands>
std::size_t capacityFor(const Commands& commands, const EntryInputs& in)
{
    constexpr std::size_t perCommand = 2 * (1 + kDenyAdmin.size() + kEol.size()) + kAddCmdComment.size() + kEol.size();
    std::size_t size = 128 + in.typeCaption.size() + in.id.size() + in.password.size();
    for (std::size_t i = 0; i < commands.size(); ++i)
        size += perCommand + 2 * commands.key(i).size();
    return size;
}

// Appends the whole entry from the commands and the levels that count without
// commands of their own.
template <class Commands>
void appendText(std::string& out, const Commands& commands, int baseLevel, const EntryInputs& in)
{
    ValidateID(out, in.userType, in.id);
    out += '"';
    out += in.typeCaption;
    out += in.id;
    out += '"';
    out += kEol;
    out += '{';
    out += kEol;
    baseLevel = shortestForm(commands, baseLevel, LineWriter<Commands>{commands, out});
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
            t[i] = {entries[i].key, entries[i].level, entries[i].defaultOn, entries[i].isAdmin, entries[i].level == 0};
        return t;
    }();
    return table;
}

} // namespace

std::span<const CommandFacts> catalogueFacts()
{
    return catalogueTable();
}

namespace {

// The catalogue's runs as masks of two 64-bit words, so that counting an
// entry's lines takes a few word operations per level instead of a walk over
// every command.
struct Mask {
    std::uint64_t low = 0, high = 0;

    static Mask of(const model::CommandSet& set)
    {
        static const model::CommandSet kLow(~std::uint64_t{0});
        return {(set & kLow).to_ullong(), (set >> 64).to_ullong()};
    }
    void set(std::size_t i) { (i < 64 ? low : high) |= std::uint64_t{1} << (i % 64); }
    Mask operator&(Mask m) const { return {low & m.low, high & m.high}; }
    Mask operator~() const { return {~low, ~high}; }
    // Without a popcount instruction to rely on, a few shifts and masks beat
    // the library's call.
    int count() const { return (low != 0 ? bits(low) : 0) + (high != 0 ? bits(high) : 0); }
    static int bits(std::uint64_t x)
    {
        x -= (x >> 1) & 0x5555555555555555ULL;
        x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
        x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
        return static_cast<int>((x * 0x0101010101010101ULL) >> 56);
    }
};

struct CatalogueRuns {
    struct Run {
        int level = 0;
        int size = 0;  // commands of the run that are off by default
        Mask optional; // and which they are
    };
    std::vector<Run> runs;
    Mask plain;     // commands that are not admin commands
    Mask defaults;  // commands on by default
    Mask zeroAdmin; // admin commands of level 0 off by default

    CatalogueRuns()
    {
        const auto facts = catalogueFacts();
        for (std::size_t i = 0; i < facts.size(); ++i) {
            const CommandFacts& c = facts[i];
            if (i == 0 || c.level != facts[i - 1].level)
                runs.push_back({c.level, 0, {}});
            if (!c.defaultOn) {
                runs.back().optional.set(i);
                ++runs.back().size;
            }
            if (!c.isAdmin)
                plain.set(i);
            if (c.defaultOn)
                defaults.set(i);
            if (c.levelIsZero && c.isAdmin && !c.defaultOn)
                zeroAdmin.set(i);
        }
    }
};

} // namespace

// The same lines as shortestForm writes, counted run by run from the same
// decision: a run of additions gives a line per granted command and a comment
// above each that is not an admin command, a run of denials a line per
// withheld command.
int shortestCommandLines(const model::CommandSet& set)
{
    static const CatalogueRuns catalogue;
    const Mask granted = Mask::of(set);
    int lines = 0;
    int baseLevel = 0;
    for (const CatalogueRuns::Run& run : catalogue.runs) {
        const Mask grantedHere = granted & run.optional;
        const int added = grantedHere.count();
        const int withheld = run.size - added;
        const LevelForm form = levelForm(added, withheld);
        if (form != LevelForm::Additions)
            baseLevel += run.level;
        if (form == LevelForm::Additions)
            lines += added + (grantedHere & catalogue.plain).count();
        else if (form == LevelForm::LevelAndDenials)
            lines += withheld;
    }
    lines += (catalogue.defaults & ~granted).count();
    lines += (catalogue.zeroAdmin & (baseLevel != 0 ? ~granted : granted)).count();
    return lines;
}

std::string composeEntry(std::span<Node* const> colLevels, std::span<Node* const> colCommands, const EntryInputs& in)
{
    // A level node without commands counts by its own tick; one with commands
    // is decided by them.
    int baseLevel = 0;
    for (const Node* level : colLevels)
        if (level->Checked() && level->Children() == 0) {
            int value = 0;
            const std::string& key = level->Key();
            if (key.size() > 3)
                std::from_chars(key.data() + 3, key.data() + key.size(), value);
            baseLevel += value;
        }

    const TreeCommands commands{colCommands};
    std::string out;
    out.reserve(capacityFor(commands, in));
    appendText(out, commands, baseLevel, in);
    return out;
}

void appendGranted(std::string& out, const model::CommandSet& granted, const EntryInputs& in)
{
    appendText(out, GrantedCommands{catalogueFacts(), granted}, 0, in);
}

std::string composeGranted(const model::CommandSet& granted, const EntryInputs& in)
{
    std::string out;
    out.reserve(capacityFor(GrantedCommands{catalogueFacts(), granted}, in));
    appendGranted(out, granted, in);
    return out;
}

} // namespace entry
