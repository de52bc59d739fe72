#pragma once

// Properties that the unit tests, the soak and the fuzz targets all check.
// Each returns an empty text when it holds, otherwise what went wrong.

#include <admins_document.h>
#include <admins_file.h>
#include <composer.h>
#include <reader.h>
#include <shortest_form.h>
#include <text_rules.h>

#include <algorithm>
#include <map>
#include <set>
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

// ---- Saving the open file over another writer's changes ----
// Three texts: the text as read, the window's edits of it made through the document's own API, and another
// writer's edits of the same text made at the byte level on their own. What Save writes is checked against an
// account the generators keep of which identities each side touched, never against the edit functions.

// An entry's bytes up to the end of its last line that is not empty: a last entry without a line end gets one when
// an entry is added after it, and an entry the reader cannot close reaches as far as what follows it lets it.
inline std::string entryLines(std::string_view bytes)
{
    return std::string(bytes.substr(0, bytes.find_last_not_of("\r\n") + 1));
}

// The identity an entry is known by: its type and identity, or for an entry whose identity cannot be read its bytes.
inline std::string keyOf(const entry::Block& b, std::string_view text)
{
    if (b.identity.data() == nullptr)
        return "?" + entryLines(text.substr(b.begin, b.end - b.begin));
    return std::string(entry::typeCaption(b.type)).append(b.identity);
}

// The identity a row of the open file is known by, as keyOf knows an entry.
inline std::string rowKey(const doc::Row& r)
{
    return r.identity ? std::string(entry::typeCaption(r.type)).append(*r.identity) : "?" + entryLines(r.bytes);
}

// The entries of a text that read without error, by identity, each its lines in file order. (How far an entry with
// errors reaches depends on what follows it; its lines are held by linesBetween.)
inline std::map<std::string, std::vector<std::string>> entriesByKey(std::string_view text, bool withErrors = false)
{
    std::map<std::string, std::vector<std::string>> out;
    for (const entry::Block& b : entry::read(text).blocks)
        if (withErrors || !b.hasErrors)
            out[keyOf(b, text)].push_back(entryLines(text.substr(b.begin, b.end - b.begin)));
    return out;
}

// The lines of a text that are neither empty nor inside a clean entry: comments and whatever else stands between
// entries, which no edit of an entry may take, and the lines of entries the reader cannot read or close (which take
// in the lines after them), except those of the identities in `leftOut`.
inline std::vector<std::string> linesBetween(std::string_view text, const std::set<std::string>& leftOut = {})
{
    std::vector<std::string> out;
    std::size_t pos = 0;
    const auto take = [&out, text](std::size_t from, std::size_t to) {
        for (std::size_t at = from; at < to;) {
            const std::size_t end =
                std::min(to, text.find('\n', at) == std::string_view::npos ? to : text.find('\n', at) + 1);
            // Without its line end, which an addition may give the last line, and without a byte-order mark, which
            // a removal may bring onto another line.
            std::string line = entryLines(text.substr(at, end - at));
            for (std::size_t mark; (mark = line.find("\xEF\xBB\xBF")) != std::string::npos;)
                line.erase(mark, 3);
            if (!line.empty())
                out.push_back(line);
            at = end;
        }
    };
    for (const entry::Block& b : entry::read(text).blocks) {
        take(pos, b.begin);
        if (b.hasErrors && !leftOut.contains(keyOf(b, text)))
            take(b.begin, b.end);
        pos = b.end;
    }
    take(pos, text.size());
    return out;
}

// An admins text of the kinds files hold: entries with and without a final line end, LF and CR LF, a byte-order
// mark, comments between and inside entries, entries the reader cannot read or close, an identity twice, unknown
// keywords. `pick(n)` draws a number below n.
template <class Pick>
std::string drawnAdminsText(Pick&& pick)
{
    static const char* const names[] = {"a", "b", "c", "zed"};
    std::string text = pick(8) == 0 ? "\xEF\xBB\xBF" : "";
    const int count = static_cast<int>(pick(6));
    for (int i = 0; i < count; ++i) {
        const std::string eol = pick(3) == 0 ? "\n" : "\r\n";
        static const char* const between[] = {"", "\r\n", "\n", "// note\r\n", "\r\n\r\n", "junk line\r\n"};
        text += i == 0 ? "" : between[pick(6)];
        const std::string name = names[pick(4)];
        std::string head = pick(5) == 0 ? "\"SteamID:STEAM_0:1:" + name.substr(0, 1) + "\"" : "\"Name:" + name + "\"";
        if (pick(6) == 0)
            head = "// The SteamID you entered appears to be invalid" + eol + eol + "\"SteamID:STEAM_9\"";
        std::string body = "\tbaseLevel = " + std::to_string(1 << pick(4)) + eol;
        switch (pick(10)) {
        case 0:
            body += "\t// keep me" + eol;
            break;
        case 1:
            body += "\tfooCmd = x" + eol;
            break;
        case 2:
            body += "\taddAdminCmd = futurecmd" + eol;
            break;
        case 3:
            body += "\tpassword = pw" + eol;
            break;
        default:
            break;
        }
        // An entry the reader cannot close takes the lines after it into it: only the last one is left open here.
        text += head + eol + "{" + eol + body + (i == count - 1 && pick(4) == 0 ? "" : "}" + eol);
    }
    if (pick(3) == 0 && text.ends_with('\n'))
        text.resize(text.size() - (text.ends_with("\r\n") ? 2 : 1));
    return text;
}

// The window's actions on an open file through the document's API, with the identities they touched; the steps
// they made can be taken back and made again.
struct WindowActions {
    std::set<std::string> touched;
    std::vector<doc::Step> done, undone;

    void record(const std::optional<doc::Step>& step)
    {
        if (step)
            done.push_back(*step), undone.clear();
    }
    void touch(const doc::Step& step)
    {
        for (const doc::Row* r : {&step.before, &step.after})
            if (!r->bytes.empty())
                touched.insert(rowKey(*r));
    }

    // One action drawn by `pick`: choose a row, change the chosen one (sometimes with the identity box showing its
    // prompt), add one, remove the chosen one.
    template <class Pick>
    void act(doc::AdminsDocument& d, Pick&& pick)
    {
        static const char* const names[] = {"a", "b", "c", "new"};
        const int chosen = d.chosen();
        const auto keyOfRow = [&d](int row) { return rowKey(d.rows()[static_cast<std::size_t>(row)]); };
        switch (pick(7)) {
        case 0:
        case 1:
            d.choose(d.rows().empty() ? -1 : static_cast<int>(pick(d.rows().size())));
            break;
        case 5:
            if (!done.empty())
                d.undo(done.back()), touch(done.back()), undone.push_back(done.back()), done.pop_back();
            break;
        case 6:
            if (!undone.empty())
                d.redo(undone.back()), touch(undone.back()), done.push_back(undone.back()), undone.pop_back();
            break;
        case 2: {
            if (chosen < 0 || !d.rows()[static_cast<std::size_t>(chosen)].editable())
                break;
            entry::Block b;
            b.type = pick(3) == 0 ? entry::UserType::SteamID : entry::UserType::Name;
            const std::string id = b.type == entry::UserType::SteamID ? "STEAM_0:1:5" : names[pick(4)];
            b.identity = id;
            for (std::size_t i = 0; i < model::kCommandCount; ++i)
                b.granted[i] = pick(3) == 0;
            touched.insert(keyOfRow(chosen));
            std::optional<doc::Step> step;
            d.edit(b, pick(8) == 0, &step);
            record(step);
            touched.insert(keyOfRow(chosen));
            break;
        }
        case 3: {
            entry::Block b;
            b.identity = entry::kDefaultIdentity;
            b.granted = model::defaultCommands();
            std::optional<doc::Step> step;
            d.add(b, &step);
            record(step);
            touched.insert(keyOfRow(d.chosen()));
            break;
        }
        default:
            if (chosen >= 0) {
                touched.insert(keyOfRow(chosen));
                std::optional<doc::Step> step;
                d.removeChosen(&step);
                record(step);
            }
            break;
        }
    }
};

// Another writer's change of a text at the byte level: an entry changed or removed, one appended, two swapped, a
// comment or an empty line put between entries.
template <class Pick>
std::string otherWriter(std::string text, Pick&& pick)
{
    for (int n = static_cast<int>(pick(4)); n > 0; --n) {
        const std::vector<entry::Block> blocks = entry::read(text).blocks;
        const std::size_t i = blocks.empty() ? 0 : pick(blocks.size());
        const std::string eol = text.find("\r\n") == std::string::npos && !text.empty() ? "\n" : "\r\n";
        const std::string level = std::to_string(1 << pick(5));
        switch (blocks.empty() ? 2 : pick(6)) {
        case 0: { // a change: the entry's setting lines become one other level
            const entry::Block& b = blocks[i];
            const std::size_t open = text.find('{', b.begin);
            if (open < b.end && b.identity.data() != nullptr)
                text.replace(open, b.end - open, "{" + eol + "\tbaseLevel = " + level + eol + "}" + eol);
            break;
        }
        case 1:
            text.erase(blocks[i].begin, blocks[i].end - blocks[i].begin);
            break;
        case 2:
            if (!text.empty() && !text.ends_with('\n'))
                text += eol;
            text += eol + "\"Name:" + (pick(2) == 0 ? "b" : "other") + "\"" + eol + "{" + eol +
                "\tbaseLevel = " + level + eol + "}" + eol;
            break;
        case 3: { // the last entry and the one at i change places
            const entry::Block &x = blocks[i], &y = blocks.back();
            // An open entry, or one without a last line end, would take in what follows it.
            if (x.end > y.begin || x.hasErrors || y.hasErrors || text[y.end - 1] != '\n')
                break;
            const std::string first = text.substr(x.begin, x.end - x.begin),
                              last = text.substr(y.begin, y.end - y.begin);
            text.replace(y.begin, y.end - y.begin, first);
            text.replace(x.begin, x.end - x.begin, last);
            break;
        }
        default:
            text.insert(blocks[i].begin, pick(2) == 0 ? "// added by a script" + eol : eol);
            break;
        }
    }
    return text;
}

// What Save writes over `onDisk` keeps both sides, answered either way: it never throws and every conflict is
// settled by its answer; nothing is written that neither side holds; an identity the window did not touch stands
// as the disk has it; an identity only the window touched lands as the window holds it; every line between entries
// stands, in order; the window's rows stand at the lines they name; an entry without an identity of its own is
// never saved.
inline std::string saveKeepsBothSides(const doc::AdminsDocument& d, std::string_view onDisk,
                                      const std::set<std::string>& windowTouched)
{
    const std::string shown = d.text();
    for (const doc::Row& r : d.rows()) {
        const std::size_t at = shown.find(r.bytes);
        if (at == std::string::npos)
            return "a row's bytes are not in the text shown";
        const std::size_t identityLine = r.bytes.find('"') == std::string::npos ? 0 : r.bytes.find('"');
        const int line = 1 + static_cast<int>(std::count(shown.begin(), shown.begin() + at + identityLine, '\n'));
        // An entry the reader read whole has its identity line at its first quote.
        if (r.editable() && shown.find(r.bytes, at + 1) == std::string::npos && line != r.line)
            return "row " + r.title + " names line " + std::to_string(r.line) + " but stands at " +
                std::to_string(line);
        if (r.promptIdentity && d.saveRefusal().find("has no identity of its own") == std::string::npos)
            return "an entry without an identity of its own would be saved";
    }
    const auto read = entriesByKey(d.savedText()), disk = entriesByKey(onDisk);
    // Which identities the other writer touched, entries with errors among them.
    const auto readAll = entriesByKey(d.savedText(), true), diskAll = entriesByKey(onDisk, true);
    std::map<std::string, std::vector<std::string>> window;
    for (const doc::Row& r : d.rows())
        if (entry::read(r.bytes).errors == 0)
            window[rowKey(r)].push_back(entryLines(r.bytes));
    const auto of = [](const auto& map, const std::string& key) {
        const auto found = map.find(key);
        return found == map.end() ? std::vector<std::string>() : found->second;
    };
    const auto sorted = [](std::vector<std::string> v) { return std::sort(v.begin(), v.end()), v; };
    for (const bool keepWindow : {true, false}) {
        doc::SavePlan plan;
        try {
            plan = d.plan(onDisk);
            std::vector<doc::Answer> answers;
            for (const doc::Conflict& c : plan.conflicts)
                answers.push_back({c.key(), keepWindow});
            plan = d.plan(onDisk, answers);
        } catch (const std::exception& e) {
            return std::string("saving threw: ") + e.what();
        }
        if (!plan.conflicts.empty())
            return "an answered conflict was asked again";
        const auto saved = entriesByKey(plan.text);
        // Where an entry that does not end with its closing line, or text outside entries that looks like a piece
        // of one, stands in a text, how far the entries reach follows what comes after them, and what is an entry
        // and what stands between entries may change with any edit: such texts are held to the rest alone.
        const auto plain = [](std::string_view text) {
            std::size_t pos = 0;
            const auto outsideIsComments = [text](std::size_t from, std::size_t to) {
                for (std::size_t at = from; at < to;) {
                    const std::size_t end =
                        std::min(to, text.find('\n', at) == std::string_view::npos ? to : text.find('\n', at) + 1);
                    std::string line = entryLines(text.substr(at, end - at));
                    if (line.starts_with("\xEF\xBB\xBF"))
                        line.erase(0, 3);
                    if (!line.starts_with("//") && line.find_first_of("\"{}") != std::string::npos)
                        return false;
                    at = end;
                }
                return true;
            };
            for (const entry::Block& b : entry::read(text).blocks) {
                const std::string lines = entryLines(text.substr(b.begin, b.end - b.begin));
                if ((b.hasErrors && (!lines.ends_with('}') || !(lines.starts_with('"') || lines.starts_with("//")))) ||
                    !outsideIsComments(pos, b.begin))
                    return false;
                pos = b.end;
            }
            return outsideIsComments(pos, text.size());
        };
        const bool entriesCompare = plain(d.savedText()) && plain(onDisk) && plain(plan.text);
        for (const auto& [key, entries] : entriesCompare ? saved : decltype(saved){})
            for (const std::string& e : entries) {
                const auto mine = of(window, key), theirs = of(disk, key);
                // An entry the reader cannot close takes in the lines after it, wherever it is put.
                const auto same = [&e](const std::string& x) {
                    return x == e || (!e.ends_with('}') && e.starts_with(x));
                };
                const bool known =
                    std::any_of(theirs.begin(), theirs.end(), same) || std::any_of(mine.begin(), mine.end(), same);
                if (!known)
                    return "saved an entry that neither side holds: " + e;
            }
        std::set<std::string> keys;
        using ByKey = std::map<std::string, std::vector<std::string>>;
        for (const ByKey* m : std::initializer_list<const ByKey*>{&read, &disk, &window, &saved})
            for (const auto& [key, entries] : *m)
                keys.insert(key);
        // Rows that stand for an entry of an identity both sides changed: kept or not with that identity's answer.
        std::set<std::string> answered;
        const entry::ReadResult asSaved = entry::read(d.savedText());
        for (const doc::Row& r : d.rows())
            if (d.savedIndex(r) && !keepWindow) {
                const std::string from = keyOf(asSaved.blocks[*d.savedIndex(r)], d.savedText());
                if (of(readAll, from) != of(diskAll, from))
                    answered.insert(rowKey(r));
            }
        for (const std::string& key : keys) {
            const bool mine = windowTouched.contains(key), theirs = of(readAll, key) != of(diskAll, key);
            if (answered.contains(key) || !entriesCompare)
                continue;
            if (!mine && of(saved, key) != of(disk, key))
                return "an identity only the other writer changed is not as it wrote it: " + key;
            if (mine && !theirs && sorted(of(saved, key)) != sorted(of(window, key)))
                return "an identity only the window changed is not as the window holds it: " + key;
        }
        const std::vector<std::string> kept = entriesCompare ? linesBetween(onDisk, windowTouched)
                                                             : std::vector<std::string>{},
                                       now = linesBetween(plan.text);
        for (std::size_t i = 0, j = 0; i < kept.size(); ++i, ++j) {
            while (j < now.size() && now[j] != kept[i])
                ++j;
            if (j == now.size())
                return "a line between entries was lost: " + kept[i];
        }
        if (onDisk.starts_with("\xEF\xBB\xBF") && !plan.text.starts_with("\xEF\xBB\xBF"))
            return "the byte-order mark was lost";
    }
    return {};
}

} // namespace properties
