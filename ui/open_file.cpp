#include "open_file.h"

#include <admins_file.h>
#include <entry_request.h>
#include <file_io.h>
#include <identity_validation.h>

#include <algorithm>

namespace ui {

namespace {

// How long Save waits for another writer's lock: the window is not answering meanwhile.
constexpr double kSaveWaitSeconds = 2;
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

} // namespace

entry::Block FileEntry::block() const
{
    entry::Block b;
    b.line = line;
    b.type = type;
    if (identity)
        b.identity = *identity;
    if (password)
        b.password = *password;
    b.granted = granted;
    b.begin = begin;
    b.end = end;
    b.lfOnly = lfOnly;
    return b;
}

std::optional<OpenFile> OpenFile::read(const std::string& utf8Path, FileError& error)
{
    std::string why;
    std::optional<std::string> text = store::readInput(utf8Path, why);
    if (text)
        if (const std::optional<std::string> notOne = entry::notAnAdminsFile(*text))
            why = *notOne, text.reset();
    if (!text) {
        error = {utf8Path + ": " + why};
        return std::nullopt;
    }
    return OpenFile(utf8Path, std::move(*text));
}

OpenFile::OpenFile(std::string utf8Path, std::string text) : path_(std::move(utf8Path)), asRead_(text)
{
    layOut(std::move(text));
}

std::string OpenFile::keyOf(const FileEntry& e)
{
    return e.identity ? std::string(entry::typeCaption(e.type)) + *e.identity : std::string();
}

void OpenFile::layOut(std::string text)
{
    const entry::ReadResult read = entry::read(text);
    std::vector<const entry::Diagnostic*> errors;
    for (const entry::Diagnostic& d : read.diagnostics)
        if (d.severity == entry::Severity::Error)
            errors.push_back(&d);

    entries_.clear();
    entries_.reserve(read.blocks.size());
    byIdentity_.clear();
    std::size_t counted = 0;
    int line = 1; // of the byte at `counted`
    for (const entry::Block& b : read.blocks) {
        const std::string_view bytes = std::string_view(text).substr(b.begin, b.end - b.begin);
        line += newlines(std::string_view(text).substr(counted, b.begin - counted));
        counted = b.end;
        const int first = line, last = line + newlines(bytes.substr(0, bytes.empty() ? 0 : bytes.size() - 1));
        line += newlines(bytes);

        FileEntry& e = entries_.emplace_back();
        e.title = titleOf(bytes);
        e.line = b.line;
        e.begin = b.begin;
        e.end = b.end;
        e.type = b.type;
        if (b.identity.data() != nullptr)
            e.identity = std::string(b.identity);
        if (b.password)
            e.password = std::string(*b.password);
        e.granted = b.granted;
        e.lfOnly = b.lfOnly;
        e.invalid = e.identity && isInvalid(e.type, *e.identity);
        if (b.hasErrors) {
            const auto found = std::lower_bound(errors.begin(), errors.end(), first,
                                                [](const entry::Diagnostic* d, int l) { return d->line < l; });
            e.refusal = found != errors.end() && (*found)->line <= last
                ? "line " + std::to_string((*found)->line) + ": " + (*found)->message
                : "the entry has errors";
        } else if (b.hasComments) {
            e.refusal = "the entry has comment lines of its own, which a rewrite would lose";
        } else if (const auto refusal = entry::refusalOf({b.type, b.identity, b.password})) {
            e.refusal = entry::describe(*refusal);
        }
        if (e.identity)
            byIdentity_[keyOf(e)].push_back(static_cast<int>(entries_.size() - 1));
    }
    for (const auto& [key, rows] : byIdentity_)
        for (const int row : rows)
            entries_[static_cast<std::size_t>(row)].duplicate = rows.size() > 1;
    before_ = std::move(text);
    editing_.clear();
    after_.clear();
    selected_ = -1;
    movedBytes_ = 0;
    movedLines_ = 0;
}

std::string OpenFile::text() const
{
    std::string whole;
    whole.reserve(before_.size() + editing_.size() + after_.size());
    return whole.append(before_).append(editing_).append(after_);
}

int OpenFile::lineOf(int row) const
{
    return entries_[static_cast<std::size_t>(row)].line + (selected_ >= 0 && row > selected_ ? movedLines_ : 0);
}

// Joins the text again and brings the entries after the one being edited to where they stand now.
void OpenFile::settle()
{
    if (selected_ < 0)
        return;
    for (std::size_t row = static_cast<std::size_t>(selected_) + 1; row < entries_.size(); ++row) {
        entries_[row].begin = static_cast<std::size_t>(static_cast<long long>(entries_[row].begin) + movedBytes_);
        entries_[row].end = static_cast<std::size_t>(static_cast<long long>(entries_[row].end) + movedBytes_);
        entries_[row].line += movedLines_;
    }
    FileEntry& e = entries_[static_cast<std::size_t>(selected_)];
    e.end = e.begin + editing_.size();
    before_.append(editing_).append(after_);
    editing_.clear();
    after_.clear();
    selected_ = -1;
    movedBytes_ = 0;
    movedLines_ = 0;
}

void OpenFile::select(int row)
{
    if (row == selected_)
        return;
    settle();
    if (row < 0 || !entries_[static_cast<std::size_t>(row)].refusal.empty())
        return;
    const FileEntry& e = entries_[static_cast<std::size_t>(row)];
    editing_.assign(before_, e.begin, e.end - e.begin);
    after_.assign(before_, e.end);
    before_.resize(e.begin);
    selected_ = row;
    editingLines_ = newlines(editing_);
    editingSize_ = editing_.size();
    // A clean entry begins with its identity line, or with a warning comment and an empty line above it.
    firstLine_ = e.line - (editing_.starts_with("//") ? 2 : 0);
}

OpenFile::Changed OpenFile::setSelected(const entry::Block& wanted)
{
    Changed changed;
    if (selected_ < 0)
        return changed;
    FileEntry& e = entries_[static_cast<std::size_t>(selected_)];
    entry::Block old;
    old.end = editing_.size();
    old.lfOnly = e.lfOnly;
    entry::EditedText edited = entry::replaceEntry(editing_, old, wanted);
    if (edited.text == editing_)
        return changed;
    editing_ = std::move(edited.text);
    modified_ = true;
    const int linesBefore = movedLines_;
    movedBytes_ = static_cast<long long>(editing_.size()) - static_cast<long long>(editingSize_);
    movedLines_ = newlines(editing_) - editingLines_;
    changed.linesMoved = movedLines_ != linesBefore;

    const std::string oldKey = keyOf(e);
    const int line = firstLine_ + edited.line - 1;
    std::string title = std::string(entry::typeCaption(wanted.type)).append(wanted.identity);
    const bool invalid = isInvalid(wanted.type, wanted.identity);
    // A tick changes the entry's bytes but not its row: the row is shown again only when what it shows changed.
    if (line != e.line || title != e.title || invalid != e.invalid)
        changed.rows.push_back(selected_);
    e.line = line;
    e.type = wanted.type;
    e.identity = std::string(wanted.identity);
    e.password = wanted.password ? std::optional<std::string>(*wanted.password) : std::nullopt;
    e.granted = wanted.granted;
    e.title = std::move(title);
    e.invalid = invalid;
    if (const std::string newKey = keyOf(e); newKey != oldKey) {
        std::vector<int>& was = byIdentity_[oldKey];
        was.erase(std::remove(was.begin(), was.end(), selected_), was.end());
        std::vector<int>& is = byIdentity_[newKey];
        is.insert(std::upper_bound(is.begin(), is.end(), selected_), selected_);
        markDuplicates(oldKey, changed.rows);
        markDuplicates(newKey, changed.rows);
        if (was.empty())
            byIdentity_.erase(oldKey);
    }
    return changed;
}

// Brings the marks of the entries of one identity in line with their number.
void OpenFile::markDuplicates(const std::string& key, std::vector<int>& changed)
{
    const auto found = byIdentity_.find(key);
    if (found == byIdentity_.end())
        return;
    for (const int row : found->second) {
        FileEntry& e = entries_[static_cast<std::size_t>(row)];
        if (e.duplicate != (found->second.size() > 1)) {
            e.duplicate = !e.duplicate;
            if (std::find(changed.begin(), changed.end(), row) == changed.end())
                changed.push_back(row);
        }
    }
}

void OpenFile::append(const entry::Block& wanted)
{
    settle();
    layOut(entry::appendEntry(before_, wanted).text);
    modified_ = true;
    select(static_cast<int>(entries_.size()) - 1);
}

void OpenFile::removeSelected()
{
    const int row = selected_;
    if (row < 0)
        return;
    settle();
    layOut(entry::removeEntry(before_, entries_[static_cast<std::size_t>(row)].block()).text);
    modified_ = true;
}

std::string OpenFile::saveRefusal() const
{
    // The identity whose first entry comes first, so that the message does not depend on the table's order.
    const std::vector<int>* first = nullptr;
    for (const auto& [key, rows] : byIdentity_)
        if (rows.size() > 1 && (first == nullptr || rows.front() < first->front()))
            first = &rows;
    if (first == nullptr)
        return {};
    std::string lines;
    for (const int row : *first)
        lines += (lines.empty() ? "" : ", ") + std::to_string(lineOf(row));
    return "not saved: " + keyOf(entries_[static_cast<std::size_t>(first->front())]) + " stands in " +
        std::to_string(first->size()) + " entries (lines " + lines + ")";
}

bool OpenFile::save(const AskConflicts& ask, FileError& error)
{
    if (const std::string why = saveRefusal(); !why.empty()) {
        error = {path_ + ": " + why};
        return false;
    }
    const std::string edited = text();
    std::vector<entry::MergeDecision> decided;
    for (;;) {
        entry::Merged merged;
        {
            store::LockedFile file;
            std::string why;
            if (!file.open(path_, {kSaveWaitSeconds, true}, why)) {
                error = {path_ + ": " + why};
                return false;
            }
            if (const std::optional<std::string> notOne = entry::notAnAdminsFile(file.text())) {
                error = {path_ + ": " + *notOne};
                return false;
            }
            // A file removed since it was opened is written anew with the window's text.
            merged =
                file.exists() ? entry::mergeEdits(asRead_, edited, file.text(), decided) : entry::Merged{edited, {}};
            if (merged.conflicts.empty() && (!file.exists() || merged.text != file.text()) &&
                !file.commit(merged.text, why)) {
                error = {path_ + ": " + why};
                return false;
            }
        }
        if (merged.conflicts.empty()) {
            asRead_ = merged.text;
            modified_ = false;
            if (merged.text != edited) {
                const int row = selected_;
                const std::string key = row >= 0 ? keyOf(entries_[static_cast<std::size_t>(row)]) : std::string();
                layOut(std::move(merged.text));
                if (const auto found = byIdentity_.find(key); row >= 0 && found != byIdentity_.end())
                    select(found->second.front());
            }
            return true;
        }
        // Asked with the lock released: another writer need not wait for the user.
        const std::optional<std::vector<entry::MergeDecision>> answers = ask(merged.conflicts);
        if (!answers) {
            error = {};
            return false;
        }
        decided.insert(decided.end(), answers->begin(), answers->end());
    }
}

} // namespace ui
