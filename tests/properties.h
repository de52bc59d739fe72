#pragma once

// Properties that the unit tests, the soak and the fuzz targets all check.
// Each returns an empty text when it holds, otherwise what went wrong.

#include <admins_file.h>
#include <composer.h>
#include <file_merge.h>
#include <reader.h>
#include <shortest_form.h>
#include <text_rules.h>

#include <string>
#include <utility>

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

// The commands ticked in the tree, by catalogue position.
inline model::CommandSet ticked(const model::Permissions& p)
{
    model::CommandSet set;
    for (std::size_t i = 0; i < p.colCommands.size(); ++i)
        set[i] = p.colCommands[i]->Checked();
    return set;
}

// The text reads back as one clean entry in its shortest form (the reader counts
// the lines the composer writes) of this type, identity and password that grants
// exactly `granted`, and composing what was read gives the same bytes.
inline std::string readsBackAs(const std::string& text, entry::UserType type, std::string_view id,
                               std::optional<std::string_view> password, const model::CommandSet& granted)
{
    const entry::ReadResult r = entry::read(text);
    if (r.blocks.size() != 1 || r.errors != 0 || r.notes != 0)
        return "not read back as one clean entry in its shortest form:\n" + text;
    const entry::Block& b = r.blocks[0];
    if (b.granted != granted)
        return "grants other commands than the ticked ones:\n" + text;
    if (b.type != type || b.identity != id || b.password != password)
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

// Composing, reading back and composing from what was read gives the same
// bytes, and the entry holds what the inputs and the ticks say.
inline std::string roundTrip(const model::Permissions& p, const entry::EntryInputs& in)
{
    const bool hasPassword = in.passwordValue == 1 && !in.password.empty();
    return readsBackAs(entry::composeEntry(p.colLevels, p.colCommands, in), in.userType, in.id,
                       hasPassword ? std::optional(in.password) : std::nullopt, ticked(p));
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

// One set or remove, as the unit tests and fuzz_reader draw it: of a type and identity; for set, a start (what the
// entry grants now, all, none or the defaults), one level, one grant and one denial by catalogue position, and a
// password (nullopt: keep it; "": none). A default entry's identity is always "Default".
struct EditAsked {
    entry::UserType type = entry::UserType::Default;
    std::string identity;
    bool remove = false;
    enum class Start { Current, All, None, Defaults } start = Start::Current;
    int level = 0;
    std::size_t grant = 0, deny = 0;
    std::optional<std::string> password;

    // An edit drawn by `pick(n)`, a number below n, of one of the four types and `identity`.
    template <class Pick>
    static EditAsked drawn(Pick&& pick, std::string identity)
    {
        EditAsked a{
            entry::UserType(pick(4)),   std::move(identity),        pick(4) == 0, Start(pick(4)), (1 << pick(18)) >> 1,
            pick(model::kCommandCount), pick(model::kCommandCount), std::nullopt};
        if (pick(3) == 0)
            a.password = pick(2) == 0 ? "" : "pw";
        return a;
    }

    // The command's arguments, FILE "f.txt" included.
    std::vector<std::string> arguments() const
    {
        std::vector<std::string> args{"vantorel-admins", remove ? "remove" : "set", "f.txt", "--type",
                                      std::string(entry::typeName(type))};
        if (type != entry::UserType::Default)
            args.insert(args.end(), {"--id", identity});
        if (remove)
            return args;
        const auto catalogue = model::commandCatalogue();
        args.insert(args.end(),
                    {"--level", std::to_string(level), "--grant", std::string(catalogue[grant].key), "--deny",
                     std::string(catalogue[deny].key)});
        if (start != Start::Current)
            args.push_back(start == Start::All ? "--all" : start == Start::None ? "--none" : "--defaults");
        if (password && password->empty())
            args.push_back("--no-password");
        else if (password)
            args.insert(args.end(), {"--password", *password});
        return args;
    }
};

// After a set, the one entry of that type and identity grants and holds what was asked, in its shortest form, in
// the old entry's place or appended after nothing but line ends; every other byte is unchanged. After a remove,
// only that entry is gone, with at most one empty line beside it.
inline std::string editKeepsTheRest(std::string_view before, std::string_view after, const EditAsked& asked)
{
    const entry::ReadResult old = entry::read(before), now = entry::read(after);
    const auto find = [&asked](const entry::ReadResult& r) {
        std::vector<const entry::Block*> found;
        for (const entry::Block& b : r.blocks)
            if (b.type == asked.type &&
                b.identity == (asked.type == entry::UserType::Default ? entry::kDefaultIdentity : asked.identity))
                found.push_back(&b);
        return found;
    };
    const auto was = find(old), is = find(now);
    if (old.errors > 0 || was.size() > 1)
        return "edited a file with errors or with the identity in several entries";
    if (asked.remove) {
        if (was.empty() || !is.empty())
            return "not removed, or removed though it was not there";
        const entry::Block& b = *was[0];
        for (const std::string_view line : {"", "\n", "\r\n"}) {
            const bool beforeIt = b.begin >= line.size() && before.substr(b.begin - line.size()).starts_with(line);
            const bool afterIt = before.substr(b.end).starts_with(line);
            if ((beforeIt &&
                 std::string(before.substr(0, b.begin - line.size())).append(before.substr(b.end)) == after) ||
                (afterIt && std::string(before.substr(0, b.begin)).append(before.substr(b.end + line.size())) == after))
                return {};
        }
        return "removed more than the entry and one empty line";
    }
    if (is.size() != 1 || now.errors > 0)
        return "the identity is not in exactly one entry, or the edit made errors";
    // The start, then the level, grant and denial as plain set operations on the commands.
    using Start = EditAsked::Start;
    const auto catalogue = model::commandCatalogue();
    model::CommandSet granted = asked.start == Start::All ? model::CommandSet().set()
        : asked.start == Start::None                      ? model::CommandSet()
        : asked.start == Start::Current && !was.empty()   ? was[0]->granted
                                                          : model::defaultCommands();
    for (std::size_t i = 0; i < catalogue.size(); ++i)
        granted[i] = (granted[i] || catalogue[i].level == asked.level || i == asked.grant) && i != asked.deny;
    const std::string_view password = asked.password ? std::string_view(*asked.password)
        : was.empty()                                ? ""
                                                     : was[0]->password.value_or("");
    const entry::Block& b = *is[0];
    if (b.granted != granted || b.password.value_or("") != password)
        return "the entry grants or holds other than what was asked";
    if (after.substr(b.begin, b.end - b.begin) != entry::composeBlock(b))
        return "the entry is not in its shortest form";
    if (was.empty()) {
        const std::string_view gap = after.substr(0, b.begin).substr(std::min(before.size(), b.begin));
        if (!after.starts_with(before) || b.begin < before.size() || b.end != after.size() || gap.size() > 4 ||
            gap.find_first_not_of("\r\n") != std::string_view::npos)
            return "not appended after the old text and line ends alone";
    } else if (after.substr(0, b.begin) != before.substr(0, was[0]->begin) ||
               after.substr(b.end) != before.substr(was[0]->end)) {
        return "bytes outside the entry changed";
    }
    return {};
}

// An open file's text as entry/'s edit functions make it from the user's actions, one at a time: the entry being
// edited rewritten as the result box shows it, a new entry appended in the window's start-up state, the entry being
// edited removed. Each action says what went wrong, if anything: bytes outside the entry it edits that changed. The
// window's open file is held against it after every action; fuzz_reader drives it over any bytes.
class FileEdits {
public:
    explicit FileEdits(std::string text) : text_(std::move(text)) {}
    const std::string& text() const { return text_; }
    int selected() const { return selected_; }

    // Chooses entry `row` of the reader's entries, as the panel lists them, or none.
    void select(int row) { selected_ = row; }

    // The result box shows `shown` (its line ends either way): the entry being edited becomes that entry.
    std::string show(std::string_view shown)
    {
        const entry::ReadResult file = entry::read(text_), wanted = entry::read(shown);
        if (selected_ < 0)
            return {};
        if (wanted.blocks.size() != 1 || wanted.errors > 0)
            return "the result box holds other than one clean entry";
        const entry::Block& old = file.blocks.at(static_cast<std::size_t>(selected_));
        const std::string before = std::exchange(text_, entry::replaceEntry(text_, old, wanted.blocks[0]).text);
        const std::size_t tail = before.size() - old.end;
        if (text_.compare(0, old.begin, before, 0, old.begin) != 0 || text_.size() < old.begin + tail ||
            text_.compare(text_.size() - tail, tail, before, old.end) != 0)
            return "an edit changed bytes outside its entry";
        return {};
    }

    // New Entry: the start-up state (Default, the default ticks, no password), appended and chosen.
    std::string append()
    {
        entry::Block startUp;
        startUp.identity = entry::kDefaultIdentity;
        startUp.granted = model::defaultCommands();
        const std::string before = std::exchange(text_, entry::appendEntry(text_, startUp).text);
        selected_ = static_cast<int>(entry::read(text_).blocks.size()) - 1;
        return text_.starts_with(before) ? "" : "appending changed the text before";
    }

    // Remove Entry: the entry being edited goes, with at most its warning comment and one empty line.
    std::string remove()
    {
        if (selected_ < 0)
            return {};
        const entry::Block old = entry::read(text_).blocks.at(static_cast<std::size_t>(std::exchange(selected_, -1)));
        const std::string before = std::exchange(text_, entry::removeEntry(text_, old).text);
        const std::size_t gone = before.size() - text_.size();
        return gone >= old.end - old.begin && gone <= old.end - old.begin + 2 ? "" : "removed more than its entry";
    }

private:
    std::string text_;
    int selected_ = -1;
};

// Saving over a file that holds what the window would write changes nothing and asks nothing; nor does saving a
// window's text as read over any file. `edited` holds no identity twice (the window saves no such text).
inline std::string mergeKeepsAgreement(std::string_view asRead, std::string_view edited, std::string_view other)
{
    const entry::Merged same = entry::mergeEdits(asRead, edited, edited),
                        none = entry::mergeEdits(asRead, asRead, other);
    if (!same.conflicts.empty() || same.text != edited)
        return "saving over the same text merged into something else";
    if (!none.conflicts.empty() || none.text != other)
        return "saving no edits over another text changed it";
    return {};
}

} // namespace properties
