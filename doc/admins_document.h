// The admins file open in the window: its text as read, its entries as the list shows them, and what the window did
// to them. Each row knows its origin, the entry as read that it stands for (or none when the window added it); the
// window's edits are the rows whose bytes differ from their origin's, the origins no row stands for any more, and
// the rows it added. The text shown and the text saved are both those edits written onto a text (replay.h): onto
// the text as read to show it, onto the text on disk to save it. An entry the window did not edit is never located,
// parsed or rewritten when saving: the disk's bytes stand.
#pragma once

#include "replay.h"

#include <reader.h>

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace doc {

// An entry as the list shows it and the window loads it.
struct Row {
    std::optional<std::size_t> origin; // the entry as read it stands for; none when the window added it
    std::optional<std::size_t> saved;  // the entry of the text as last saved it stands for; none when added since
    int generation = 0;                // of the saves, when `saved` was given
    std::string bytes;                 // its bytes now, with its warning comment
    std::string title;                 // the identity line as written, without its quotes: "SteamID:STEAM_0:1:5"
    int line = 0;                      // where its identity line stands now
    entry::UserType type = entry::UserType::Default;
    std::optional<std::string> identity; // missing when the identity line cannot be read
    std::optional<std::string> password;
    model::CommandSet granted;
    bool lfOnly = false;
    bool invalid = false;        // an invalid SteamID or IP address
    bool duplicate = false;      // another row has the same type and identity
    bool promptIdentity = false; // written while the identity box showed its prompt: it has no identity of its own
    std::string refusal;         // why the window cannot edit it, as the reader states it; empty when it can
    int lead = 0;                // lines of its bytes before the identity line (a warning comment and empty line)

    bool editable() const { return refusal.empty(); }
    // The entry as the edits and the window take it, its views pointing into this row.
    entry::Block block() const;
};

// An entry (or the entries of one identity) that both the window and another writer changed since the file was
// read. Versions are bytes; an empty one is no entry at all.
struct Conflict {
    entry::UserType type = entry::UserType::Default;
    std::string identity; // as read, or as added
    std::string asRead, inWindow, onDisk;
    int lineInWindow = 0, lineOnDisk = 0; // 0 for a missing version

    // What an answer is matched by when the disk changes again while the user decides.
    std::string key() const;
};

struct Answer {
    std::string key; // Conflict::key() of the conflict answered
    bool keepWindow = false;
};

// What saving writes over a text on disk.
struct SavePlan {
    std::string text;                    // valid when `conflicts` is empty
    std::vector<Conflict> conflicts;     // not yet answered
    std::optional<std::size_t> chosenAt; // where the chosen row's entry begins in `text`, when it was written there
    int othersKept = 0;                  // identities another writer changed whose change stands
    // When `text` is the text as edited: where each row's bytes begin in it, in the rows' order.
    std::vector<std::size_t> rowsAt;
};

// One of the window's changes as the document can take it back and make it again: the row it changed, as it was
// and as it became, and which row was chosen before and after. A row is named by its place, which is where it
// stands again whenever the changes after it have been taken back.
struct Step {
    enum class Kind { Edit, Add, Remove } kind = Kind::Edit;
    int row = 0;
    Row before, after; // Edit: both; Add: after; Remove: before
    int chosenBefore = -1, chosenAfter = -1;
};

class AdminsDocument {
public:
    AdminsDocument(std::string path, std::string text);

    const std::string& path() const { return path_; }
    const std::string& asRead() const { return asRead_; }
    // The text as last saved, or as read when it has not been saved since, and which of its entries a row stands
    // for (none for a row added since).
    const std::string& savedText() const { return saved_; }
    std::optional<std::size_t> savedIndex(const Row& row) const;
    const std::vector<Row>& rows() const { return rows_; }
    int chosen() const { return chosen_; }
    bool modified() const { return modified_; }
    // The text as edited: the window's edits written onto the text as read.
    std::string text() const;

    // Makes `row` the chosen one, or none for -1. Any row can be chosen (to be removed); only an editable one
    // takes edits.
    void choose(int row);

    // What an edit changed of the listing: the rows to show again, and whether the rows after the chosen one moved
    // to other lines.
    struct Changed {
        std::vector<int> rows;
        bool linesMoved = false;
    };
    // The chosen row becomes `wanted` (its type, identity, password and granted set) in its shortest form with its
    // own line ends. Nothing changes when it already means that: choosing an entry never rewrites it.
    // `step`, when given, receives what can take the change back (nothing when nothing changed).
    Changed edit(const entry::Block& wanted, bool identityIsPrompt = false, std::optional<Step>* step = nullptr);
    // Appends `entry` as set appends one, and chooses it.
    void add(const entry::Block& entry, std::optional<Step>* step = nullptr);
    // Removes the chosen row; an entry as read goes with its warning comment and separating empty line.
    void removeChosen(std::optional<Step>* step = nullptr);
    // Takes `step` back, or makes it again: the rows and the chosen one as they were before it, or after it. Only
    // the last step made (or the last one taken back) can be taken back (or made again).
    void undo(const Step& step);
    void redo(const Step& step);
    // Whether the text differs from the one last saved, as the caller's history of steps knows it.
    void setModified(bool modified) { modified_ = modified; }

    // Why the text cannot be saved while it stands, or empty: an identity that the window's edits put in more than
    // one entry, or an entry the window wrote while the identity box showed its prompt, named with their lines.
    std::string saveRefusal() const;

    // The window's edits written onto `onDisk`, the text the file holds now, with the conflicts `answers` settle
    // settled. `onDisk` equal to the text as read writes text().
    SavePlan plan(std::string_view onDisk, const std::vector<Answer>& answers = {}) const;
    // `text` was written. When it is the text as edited, it becomes the text the next save replays the window's
    // edits onto, and the rows stay (and what takes them back stays good); otherwise (another writer's changes were
    // taken in) it becomes the text as read, every row its origin, and the chosen row is the entry at `chosenAt`,
    // or else the first of the chosen row's identity, or none. Nothing is modified afterwards. True when the rows
    // were laid out anew.
    bool saved(std::string text, std::optional<std::size_t> chosenAt);
    // The same for the text of `plan`, which it was made from.
    bool saved(SavePlan plan);

private:
    void readAnew(std::string text, std::optional<std::size_t> chosenAt);
    void recount();
    void restore(int row, const Row& to);
    void apply(const Step& step, bool back);
    void layOut();
    void markDuplicates();
    std::vector<Edit> edits() const;
    std::vector<std::string> additions() const;
    bool edited(const Row& row) const;
    static std::string keyOf(const Row& row);

    std::string path_;
    std::string asRead_;
    std::vector<Span> origins_;           // the entries of the text as read
    std::vector<std::string> originKeys_; // their types and identities
    // The text as last saved (or read), onto whose copy on disk the next save replays the window's edits, its
    // entries and their types and identities.
    std::string saved_;
    std::vector<Span> savedSpans_;
    std::vector<std::string> savedKeys_;
    int generation_ = 0;
    std::vector<Row> rows_;
    int chosen_ = -1;
    bool modified_ = false;
    std::unordered_map<std::string, int> readCount_; // entries of each identity as last saved
    std::unordered_map<std::string, int> count_;     // rows of each identity now
};

// The row that entry `block`, read from `text`, makes; `firstLine` is the line of its first byte, `errors` the
// reader's errors in line order.
Row rowOf(std::string_view text, const entry::Block& block, int firstLine,
          const std::vector<const entry::Diagnostic*>& errors);

} // namespace doc
