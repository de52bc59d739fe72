#include "admins_document.h"

#include <admins_file.h>
#include <entry_request.h>
#include <identity_validation.h>

#include <algorithm>
#include <map>

namespace doc {

namespace {

constexpr std::size_t npos = std::string::npos;
// A title longer than this is cut: a row shows a line, not a whole broken file.
constexpr std::size_t kMaxTitle = 200;

int newlines(std::string_view text)
{
    return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

// The identity line as written: after a warning comment and its empty line, without its line end, blanks and
// quotes.
std::string titleOf(std::string_view bytes)
{
    for (int skip = bytes.starts_with("//") ? 2 : 0; skip > 0; --skip)
        bytes.remove_prefix(std::min(bytes.size(), bytes.find('\n') + 1));
    std::string_view line = bytes.substr(0, bytes.find('\n'));
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
        line.remove_suffix(1);
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t'))
        line.remove_prefix(1);
    if (line.size() >= 2 && line.front() == '"' && line.back() == '"')
        line = line.substr(1, line.size() - 2);
    return std::string(line.substr(0, kMaxTitle));
}

bool isInvalid(entry::UserType type, std::string_view identity)
{
    return (type == entry::UserType::SteamID && !entry::isValidSteamID(identity)) ||
        (type == entry::UserType::IPAddress && !entry::isValidIP(identity));
}

// An entry's bytes up to the end of its last line that is not empty: a last entry without a line end stays the same
// entry when one is added after it, and so does an entry the reader cannot close, which reaches as far as what
// follows it lets it.
std::string_view withoutLastLineEnd(std::string_view bytes)
{
    return bytes.substr(0, bytes.find_last_not_of("\r\n") + 1);
}

// An entry's type and identity as one key; an entry whose identity cannot be read is known by its lines alone.
std::string keyOf(const entry::Block& b, std::string_view bytes)
{
    if (b.identity.data() == nullptr)
        return std::string("\x01").append(withoutLastLineEnd(bytes));
    return std::string(entry::typeCaption(b.type)).append(b.identity);
}

bool sameEntry(std::string_view a, std::string_view b)
{
    return withoutLastLineEnd(a) == withoutLastLineEnd(b);
}

// Entries shown or written as one version, an empty line between each two.
std::string joined(const std::vector<std::string_view>& entries)
{
    std::string out;
    for (const std::string_view e : entries)
        (out.empty() ? out : out.append(lineEndOf(e))).append(e);
    return out;
}

} // namespace

entry::Block Row::block() const
{
    entry::Block b;
    b.line = line;
    b.type = type;
    if (identity)
        b.identity = *identity;
    if (password)
        b.password = *password;
    b.granted = granted;
    b.end = bytes.size();
    b.lfOnly = lfOnly;
    return b;
}

std::string Conflict::key() const
{
    std::string k = std::string(entry::typeCaption(type)) + identity;
    for (const std::string* version : {&asRead, &inWindow, &onDisk})
        k.append(1, '\0').append(std::to_string(version->size())).append(1, ':').append(*version);
    return k;
}

Row rowOf(std::string_view text, const entry::Block& b, int firstLine,
          const std::vector<const entry::Diagnostic*>& errors)
{
    const std::string_view bytes = text.substr(b.begin, b.end - b.begin);
    const int lastLine = firstLine + newlines(bytes.substr(0, bytes.empty() ? 0 : bytes.size() - 1));
    Row r;
    r.bytes = std::string(bytes);
    r.title = titleOf(bytes);
    r.line = b.line;
    r.lead = b.line - firstLine;
    r.type = b.type;
    if (b.identity.data() != nullptr)
        r.identity = std::string(b.identity);
    if (b.password)
        r.password = std::string(*b.password);
    r.granted = b.granted;
    r.lfOnly = b.lfOnly;
    r.invalid = r.identity && isInvalid(r.type, *r.identity);
    if (b.hasErrors) {
        const auto found = std::lower_bound(errors.begin(), errors.end(), firstLine,
                                            [](const entry::Diagnostic* d, int l) { return d->line < l; });
        r.refusal = found != errors.end() && (*found)->line <= lastLine
            ? "line " + std::to_string((*found)->line) + ": " + (*found)->message
            : "the entry has errors";
    } else if (b.hasComments) {
        r.refusal = "the entry has comment lines of its own, which a rewrite would lose";
    } else if (const auto refusal = entry::refusalOf({b.type, b.identity, b.password})) {
        r.refusal = entry::describe(*refusal);
    }
    return r;
}

AdminsDocument::AdminsDocument(std::string path, std::string text) : path_(std::move(path))
{
    readAnew(std::move(text), std::nullopt);
}

std::string AdminsDocument::keyOf(const Row& row)
{
    if (!row.identity)
        return std::string("\x01").append(withoutLastLineEnd(row.bytes));
    return std::string(entry::typeCaption(row.type)).append(*row.identity);
}

void AdminsDocument::readAnew(std::string text, std::optional<std::size_t> chosenAt)
{
    const std::string chosenKey = chosen_ >= 0 ? keyOf(rows_[static_cast<std::size_t>(chosen_)]) : std::string();
    asRead_ = std::move(text);
    const entry::ReadResult read = entry::read(asRead_);
    std::vector<const entry::Diagnostic*> errors;
    for (const entry::Diagnostic& d : read.diagnostics)
        if (d.severity == entry::Severity::Error)
            errors.push_back(&d);
    origins_.clear();
    originKeys_.clear();
    rows_.clear();
    readCount_.clear();
    rows_.reserve(read.blocks.size());
    std::size_t counted = 0;
    int line = 1; // of the byte at `counted`
    for (const entry::Block& b : read.blocks) {
        line += newlines(std::string_view(asRead_).substr(counted, b.begin - counted));
        counted = b.begin;
        Row& r = rows_.emplace_back(rowOf(asRead_, b, line, errors));
        r.origin = r.saved = origins_.size();
        r.generation = generation_;
        origins_.push_back({b.begin, b.end});
        originKeys_.push_back(doc::keyOf(b, r.bytes));
        ++readCount_[originKeys_.back()];
    }
    count_ = readCount_;
    markDuplicates();
    saved_ = asRead_;
    savedSpans_ = origins_;
    savedKeys_ = originKeys_;
    chosen_ = -1;
    if (chosenAt || !chosenKey.empty())
        for (std::size_t i = 0; i < rows_.size() && chosen_ < 0; ++i)
            if (chosenAt ? origins_[i].begin == *chosenAt : originKeys_[i] == chosenKey)
                chosen_ = static_cast<int>(i);
    if (chosen_ < 0 && chosenAt && !chosenKey.empty())
        for (std::size_t i = 0; i < rows_.size() && chosen_ < 0; ++i)
            if (originKeys_[i] == chosenKey)
                chosen_ = static_cast<int>(i);
    modified_ = false;
}

bool AdminsDocument::saved(std::string text, std::optional<std::size_t> chosenAt)
{
    ++generation_;
    const entry::ReadResult read = entry::read(text);
    if (text != this->text() || read.blocks.size() != rows_.size()) {
        readAnew(std::move(text), chosenAt);
        return true;
    }
    // The rows stand for the saved text's entries in order.
    saved_ = std::move(text);
    savedSpans_.clear();
    savedKeys_.clear();
    readCount_.clear();
    for (std::size_t i = 0; i < read.blocks.size(); ++i) {
        const entry::Block& b = read.blocks[i];
        savedSpans_.push_back({b.begin, b.end});
        savedKeys_.push_back(doc::keyOf(b, std::string_view(saved_).substr(b.begin, b.end - b.begin)));
        ++readCount_[savedKeys_.back()];
        rows_[i].saved = i;
        rows_[i].generation = generation_;
    }
    modified_ = false;
    return false;
}

bool AdminsDocument::saved(SavePlan plan)
{
    if (plan.rowsAt.size() != rows_.size())
        return saved(std::move(plan.text), plan.chosenAt);
    // The text as edited: each row's bytes stand where the plan put them, and need not be read again.
    ++generation_;
    saved_ = std::move(plan.text);
    savedSpans_.clear();
    savedKeys_.clear();
    readCount_.clear();
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        savedSpans_.push_back({plan.rowsAt[i], plan.rowsAt[i] + rows_[i].bytes.size()});
        savedKeys_.push_back(keyOf(rows_[i]));
        ++readCount_[savedKeys_.back()];
        rows_[i].saved = i;
        rows_[i].generation = generation_;
    }
    modified_ = false;
    return false;
}

bool AdminsDocument::edited(const Row& row) const
{
    if (!row.origin)
        return true;
    const Span& s = origins_[*row.origin];
    return std::string_view(asRead_).substr(s.begin, s.end - s.begin) != row.bytes;
}

std::vector<Edit> AdminsDocument::edits() const
{
    std::vector<Edit> out;
    std::vector<bool> present(origins_.size());
    for (const Row& r : rows_)
        if (r.origin) {
            present[*r.origin] = true;
            if (edited(r))
                out.push_back({*r.origin, r.bytes});
        }
    for (std::size_t k = 0; k < origins_.size(); ++k)
        if (!present[k])
            out.push_back({k, std::nullopt});
    return out;
}

std::vector<std::string> AdminsDocument::additions() const
{
    std::vector<std::string> out;
    for (const Row& r : rows_)
        if (!r.origin)
            out.push_back(r.bytes);
    return out;
}

std::string AdminsDocument::text() const
{
    return writeEdits(asRead_, origins_, edits(), additions()).text;
}

// Every row's line as it stands in the text now.
void AdminsDocument::layOut()
{
    const Written w = writeEdits(asRead_, origins_, edits(), additions());
    std::size_t counted = 0, added = 0;
    int line = 1;
    for (Row& r : rows_) {
        const std::size_t at = r.origin ? w.entryAt[*r.origin] : w.additionAt[added++];
        line += newlines(std::string_view(w.text).substr(counted, at - counted));
        counted = at;
        r.line = line + r.lead;
    }
}

void AdminsDocument::markDuplicates()
{
    for (Row& r : rows_)
        r.duplicate = r.identity && count_[keyOf(r)] > 1;
}

void AdminsDocument::choose(int row)
{
    chosen_ = row >= 0 && row < static_cast<int>(rows_.size()) ? row : -1;
}

std::optional<std::size_t> AdminsDocument::savedIndex(const Row& row) const
{
    return row.generation == generation_ ? row.saved : std::nullopt;
}

AdminsDocument::Changed AdminsDocument::edit(const entry::Block& wanted, bool identityIsPrompt,
                                             std::optional<Step>* step)
{
    Changed changed;
    if (chosen_ < 0 || !rows_[static_cast<std::size_t>(chosen_)].editable())
        return changed;
    Row& r = rows_[static_cast<std::size_t>(chosen_)];
    const std::optional<std::string> password =
        wanted.password ? std::optional<std::string>(*wanted.password) : std::nullopt;
    if (r.type == wanted.type && r.identity && *r.identity == wanted.identity && r.password == password &&
        r.granted == wanted.granted && r.promptIdentity == identityIsPrompt)
        return changed;
    entry::Block old;
    old.end = r.bytes.size();
    old.lfOnly = r.lfOnly;
    std::string bytes = entry::replaceEntry(r.bytes, old, wanted).text;
    const int moved = newlines(bytes) - newlines(r.bytes);
    const int lead = bytes.starts_with("//") ? 2 : 0;
    const int line = r.line - r.lead + lead;
    std::string title = std::string(entry::typeCaption(wanted.type)).append(wanted.identity);
    const bool invalid = isInvalid(wanted.type, wanted.identity);
    if (line != r.line || title != r.title || invalid != r.invalid || identityIsPrompt != r.promptIdentity)
        changed.rows.push_back(chosen_);
    if (step != nullptr)
        *step = Step{Step::Kind::Edit, chosen_, r, {}, chosen_, chosen_};
    const std::string oldKey = keyOf(r);
    r.bytes = std::move(bytes);
    r.line = line;
    r.lead = lead;
    r.type = wanted.type;
    r.identity = std::string(wanted.identity);
    r.password = password;
    r.granted = wanted.granted;
    r.title = std::move(title);
    r.invalid = invalid;
    r.promptIdentity = identityIsPrompt;
    modified_ = true;
    const std::size_t next = static_cast<std::size_t>(chosen_) + 1;
    if (r.origin && next < rows_.size() && !rows_[next].origin) {
        // The last entry as read, with entries added after it: whether it ends with a line end decides the
        // empty lines before them.
        layOut();
        changed.linesMoved = true;
    } else if (moved != 0) {
        for (std::size_t i = next; i < rows_.size(); ++i)
            rows_[i].line += moved;
        changed.linesMoved = true;
    }
    if (step != nullptr)
        (*step)->after = r;
    if (const std::string newKey = keyOf(r); newKey != oldKey) {
        --count_[oldKey];
        ++count_[newKey];
        for (std::size_t i = 0; i < rows_.size(); ++i) {
            Row& other = rows_[i];
            const bool duplicate = other.identity && count_[keyOf(other)] > 1;
            if (duplicate != other.duplicate) {
                other.duplicate = duplicate;
                if (std::find(changed.rows.begin(), changed.rows.end(), static_cast<int>(i)) == changed.rows.end())
                    changed.rows.push_back(static_cast<int>(i));
            }
        }
    }
    return changed;
}

void AdminsDocument::add(const entry::Block& wanted, std::optional<Step>* step)
{
    const int chosenBefore = chosen_;
    entry::Block b = wanted;
    b.lfOnly = lineEndOf(asRead_) == "\n";
    Row r;
    r.bytes = entry::composeBlock(b);
    r.lead = r.bytes.starts_with("//") ? 2 : 0;
    r.type = b.type;
    r.identity = std::string(b.identity);
    if (b.password)
        r.password = std::string(*b.password);
    r.granted = b.granted;
    r.lfOnly = b.lfOnly;
    r.title = std::string(entry::typeCaption(b.type)).append(b.identity);
    r.invalid = isInvalid(b.type, b.identity);
    ++count_[keyOf(r)];
    rows_.push_back(std::move(r));
    chosen_ = static_cast<int>(rows_.size()) - 1;
    modified_ = true;
    layOut();
    markDuplicates();
    if (step != nullptr)
        *step = Step{Step::Kind::Add, chosen_, {}, rows_.back(), chosenBefore, chosen_};
}

void AdminsDocument::removeChosen(std::optional<Step>* step)
{
    if (chosen_ < 0)
        return;
    const auto it = rows_.begin() + chosen_;
    if (step != nullptr)
        *step = Step{Step::Kind::Remove, chosen_, *it, {}, chosen_, -1};
    --count_[keyOf(*it)];
    rows_.erase(it);
    chosen_ = -1;
    modified_ = true;
    layOut();
    markDuplicates();
}

// A row as it was or became, in the place of the row that stands there now: what it stands for as read and as
// saved is the present row's, which is the same entry; a row taken back from before a save stands for none there.
void AdminsDocument::restore(int row, const Row& to)
{
    Row& r = rows_[static_cast<std::size_t>(row)];
    const std::optional<std::size_t> origin = r.origin, saved = r.saved;
    const int generation = r.generation;
    r = to;
    r.origin = origin, r.saved = saved, r.generation = generation;
}

void AdminsDocument::recount()
{
    count_.clear();
    for (const Row& r : rows_)
        ++count_[keyOf(r)];
    markDuplicates();
    layOut();
}

void AdminsDocument::undo(const Step& step)
{
    apply(step, true);
}

void AdminsDocument::redo(const Step& step)
{
    apply(step, false);
}

// A step taken back (`back`) or made again: an edit's row as it was or became; an added row taken out again or put
// back, a removed one put back or taken out again.
void AdminsDocument::apply(const Step& step, bool back)
{
    if (step.kind == Step::Kind::Edit)
        restore(step.row, back ? step.before : step.after);
    else if ((step.kind == Step::Kind::Add) == back)
        rows_.erase(rows_.begin() + step.row);
    else
        rows_.insert(rows_.begin() + step.row, step.kind == Step::Kind::Add ? step.after : step.before);
    chosen_ = back ? step.chosenBefore : step.chosenAfter;
    recount();
}

std::string AdminsDocument::saveRefusal() const
{
    for (const Row& r : rows_)
        if (r.promptIdentity)
            return "not saved: the entry on line " + std::to_string(r.line) +
                " has no identity of its own (the box shows its prompt); type its identity first";
    // Identities that the window's edits put in more than one entry; those the file already had do not count.
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        const std::string key = keyOf(rows_[i]);
        const auto read = readCount_.find(key);
        const int now = count_.at(key);
        if (!rows_[i].identity || now < 2 || (read != readCount_.end() && now <= read->second))
            continue;
        std::string lines;
        for (const Row& r : rows_)
            if (r.identity && keyOf(r) == key)
                lines += (lines.empty() ? "" : ", ") + std::to_string(r.line);
        return "not saved: " + key + " stands in " + std::to_string(now) + " entries (lines " + lines + ")";
    }
    return {};
}

SavePlan AdminsDocument::plan(std::string_view onDisk, const std::vector<Answer>& answers) const
{
    SavePlan out;
    // The chosen row's entry as read (npos for none), or, when the window added it, its place among the additions.
    const std::size_t chosenOrigin =
        chosen_ >= 0 ? rows_[static_cast<std::size_t>(chosen_)].origin.value_or(npos) : npos;
    int chosenAddition = -1;
    if (chosen_ >= 0 && chosenOrigin == npos)
        chosenAddition = static_cast<int>(
            std::count_if(rows_.begin(), rows_.begin() + chosen_, [](const Row& r) { return !r.origin; }));
    if (onDisk == saved_) {
        Written w = writeEdits(asRead_, origins_, edits(), additions());
        std::size_t added = 0;
        for (const Row& r : rows_)
            out.rowsAt.push_back(r.origin ? w.entryAt[*r.origin] : w.additionAt[added++]);
        if (chosenOrigin != npos && w.entryAt[chosenOrigin] != npos)
            out.chosenAt = w.entryAt[chosenOrigin];
        else if (chosenAddition >= 0)
            out.chosenAt = w.additionAt[static_cast<std::size_t>(chosenAddition)];
        out.text = std::move(w.text);
        return out;
    }

    // The chosen row's entry as last saved, or, when it was added since, its place among the additions.
    const std::size_t chosenSaved =
        chosen_ >= 0 ? savedIndex(rows_[static_cast<std::size_t>(chosen_)]).value_or(npos) : npos;
    int chosenAdded = -1;
    if (chosen_ >= 0 && chosenSaved == npos)
        chosenAdded = static_cast<int>(
            std::count_if(rows_.begin(), rows_.begin() + chosen_, [this](const Row& r) { return !savedIndex(r); }));

    // The disk's entries by identity.
    const entry::ReadResult disk = entry::read(onDisk);
    std::vector<Span> diskSpans;
    std::unordered_map<std::string, std::vector<std::size_t>> onDiskOf;
    std::vector<std::string_view> diskBytes;
    for (const entry::Block& b : disk.blocks) {
        diskSpans.push_back({b.begin, b.end});
        diskBytes.push_back(onDisk.substr(b.begin, b.end - b.begin));
        onDiskOf[doc::keyOf(b, diskBytes.back())].push_back(diskSpans.size() - 1);
    }
    const auto asReadBytes = [this](std::size_t k) {
        return std::string_view(saved_).substr(savedSpans_[k].begin, savedSpans_[k].end - savedSpans_[k].begin);
    };
    // The window's version of each entry as read (none when removed), and the row that holds it.
    std::vector<const Row*> rowOfOrigin(savedSpans_.size(), nullptr);
    for (const Row& r : rows_)
        if (const std::optional<std::size_t> k = savedIndex(r))
            rowOfOrigin[*k] = &r;
    const auto touched = [&](std::size_t k) {
        return rowOfOrigin[k] == nullptr || rowOfOrigin[k]->bytes != asReadBytes(k);
    };
    std::map<std::string, bool> answered;
    for (const Answer& a : answers)
        answered[a.key] = a.keepWindow;

    std::vector<Edit> onto;
    std::vector<std::string> appended;
    std::optional<std::size_t> chosenDisk;
    int chosenAppended = -1;
    std::unordered_map<std::string, std::vector<std::size_t>> extras; // entries of an identity the disk added
    std::unordered_map<std::string, bool> seen;
    // The identities the window edited, each with all its entries as saved, by the first of them.
    std::map<std::size_t, std::vector<std::size_t>> groups;
    {
        std::unordered_map<std::string_view, std::size_t> first;
        for (std::size_t k = 0; k < savedSpans_.size(); ++k)
            if (touched(k))
                first.emplace(savedKeys_[k], savedSpans_.size());
        for (std::size_t k = 0; k < savedSpans_.size() && !first.empty(); ++k)
            if (const auto it = first.find(savedKeys_[k]); it != first.end()) {
                it->second = std::min(it->second, k);
                groups[it->second].push_back(k);
            }
    }
    for (const auto& [firstOrigin, members] : groups) {
        const std::string& key = savedKeys_[firstOrigin];
        if (std::none_of(members.begin(), members.end(), touched))
            continue;
        seen[key] = true;
        const std::vector<std::size_t>& there = onDiskOf[key];
        // Each entry as read found on disk by its bytes, in order: the k-th of identical ones.
        std::vector<std::size_t> found;
        for (std::size_t j = 0; const std::size_t k : members) {
            while (j < there.size() && !sameEntry(diskBytes[there[j]], asReadBytes(k)))
                ++j;
            if (j == there.size())
                break;
            found.push_back(there[j++]);
        }
        if (found.size() == members.size()) {
            for (std::size_t i = 0; i < members.size(); ++i) {
                const std::size_t k = members[i];
                if (!touched(k))
                    continue;
                onto.push_back({found[i], rowOfOrigin[k] ? std::optional(rowOfOrigin[k]->bytes) : std::nullopt});
                if (chosenSaved == k)
                    chosenDisk = found[i];
            }
            for (const std::size_t d : there)
                if (std::find(found.begin(), found.end(), d) == found.end())
                    extras[key].push_back(d);
            continue;
        }
        // The other writer changed or removed entries of this identity: both sides' versions of all of them.
        std::vector<std::string_view> mine, theirs, read;
        int lineInWindow = 0;
        for (const std::size_t k : members) {
            read.push_back(asReadBytes(k));
            if (const Row* r = rowOfOrigin[k]) {
                mine.push_back(r->bytes);
                lineInWindow = lineInWindow == 0 ? r->line : lineInWindow;
            }
        }
        for (const std::size_t d : there)
            theirs.push_back(diskBytes[d]);
        if (std::equal(mine.begin(), mine.end(), theirs.begin(), theirs.end(), sameEntry))
            continue; // both made the same change
        Conflict c;
        const entry::Block probe = entry::read(asReadBytes(firstOrigin)).blocks.front();
        c.type = probe.type;
        c.identity = probe.identity.data() != nullptr ? std::string(probe.identity) : titleOf(asReadBytes(firstOrigin));
        c.asRead = joined(read);
        c.inWindow = joined(mine);
        c.onDisk = joined(theirs);
        c.lineInWindow = lineInWindow;
        c.lineOnDisk = there.empty() ? 0 : disk.blocks[there.front()].line;
        const auto answer = answered.find(c.key());
        if (answer == answered.end()) {
            out.conflicts.push_back(std::move(c));
            continue;
        }
        if (!answer->second) {
            ++out.othersKept;
            continue;
        }
        // The window's entries of the identity take the places of the disk's, one by one; the rest are added or
        // removed.
        for (std::size_t i = 0; i < std::max(mine.size(), there.size()); ++i) {
            if (i >= there.size())
                appended.emplace_back(mine[i]);
            else
                onto.push_back({there[i], i < mine.size() ? std::optional<std::string>(mine[i]) : std::nullopt});
        }
        if (!there.empty() && !mine.empty() && std::find(members.begin(), members.end(), chosenSaved) != members.end())
            chosenDisk = there.front();
    }

    // The window's additions: one the disk made too is written once; one whose identity the disk added otherwise
    // is asked about.
    int addition = -1;
    for (const Row& r : rows_) {
        if (savedIndex(r))
            continue;
        ++addition;
        const std::string key = keyOf(r);
        std::vector<std::size_t>& candidates = extras[key];
        if (!seen.contains(key) && readCount_.find(key) == readCount_.end())
            candidates = onDiskOf[key], seen[key] = true;
        const auto same = std::find_if(candidates.begin(), candidates.end(),
                                       [&](std::size_t d) { return sameEntry(diskBytes[d], r.bytes); });
        if (same != candidates.end()) {
            if (addition == chosenAdded)
                chosenDisk = *same;
            candidates.erase(same);
            continue;
        }
        if (candidates.empty()) {
            if (addition == chosenAdded)
                chosenAppended = static_cast<int>(appended.size());
            appended.push_back(r.bytes);
            continue;
        }
        const std::size_t d = candidates.front();
        candidates.erase(candidates.begin());
        Conflict c;
        c.type = r.type;
        c.identity = r.identity.value_or(r.title);
        c.inWindow = r.bytes;
        c.onDisk = std::string(diskBytes[d]);
        c.lineInWindow = r.line;
        c.lineOnDisk = disk.blocks[d].line;
        const auto answer = answered.find(c.key());
        if (answer == answered.end()) {
            out.conflicts.push_back(std::move(c));
        } else if (answer->second) {
            onto.push_back({d, r.bytes});
            if (addition == chosenAdded)
                chosenDisk = d;
        } else {
            ++out.othersKept;
        }
    }
    if (!out.conflicts.empty())
        return out;

    // What else the other writer changed stands: identities the window left alone whose entries differ, told by a
    // sum of their entries' hashes on each side, for the line that says so.
    std::unordered_map<std::string_view, std::pair<std::size_t, std::size_t>> sums;
    const std::hash<std::string_view> hash;
    for (std::size_t k = 0; k < savedSpans_.size(); ++k)
        sums[savedKeys_[k]].first += hash(asReadBytes(k));
    for (const auto& [key, indices] : onDiskOf)
        for (const std::size_t d : indices)
            sums[key].second += hash(diskBytes[d]);
    for (const auto& [key, sum] : sums)
        out.othersKept += !seen.contains(std::string(key)) && sum.first != sum.second ? 1 : 0;

    Written w = writeEdits(onDisk, diskSpans, std::move(onto), appended);
    if (chosenDisk && w.entryAt[*chosenDisk] != std::string::npos)
        out.chosenAt = w.entryAt[*chosenDisk];
    else if (chosenAppended >= 0)
        out.chosenAt = w.additionAt[static_cast<std::size_t>(chosenAppended)];
    out.text = std::move(w.text);
    return out;
}

} // namespace doc
