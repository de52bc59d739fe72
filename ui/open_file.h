// The admins file open in the window: its text as read and as edited, its entries as the panel lists them, and the
// one entry being edited. Every change goes through the edits of entry/admins_file.h; saving goes through the one
// locked writer of store/ and, when another writer changed the file meanwhile, the merge of entry/file_merge.h.
#pragma once

#include <file_merge.h>
#include <reader.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace ui {

// An entry as the panel lists it and the window loads it. It keeps its own copies, so that it outlives the text.
struct FileEntry {
    std::string title;              // the identity line as written, without its quotes: "SteamID:STEAM_0:1:5"
    int line = 0;                   // where the identity line stands
    std::size_t begin = 0, end = 0; // the entry's bytes in the text
    entry::UserType type = entry::UserType::Default;
    std::optional<std::string> identity; // missing when the identity line cannot be read
    std::optional<std::string> password;
    model::CommandSet granted;
    bool lfOnly = false;
    bool invalid = false;   // an invalid SteamID or IP address
    bool duplicate = false; // another entry has the same type and identity
    std::string refusal;    // why the window cannot edit it, as the reader states it; empty when it can

    // The entry as the edits and the window take it, its views pointing into this object.
    entry::Block block() const;
};

// Why a file cannot be opened or saved, as the command-line tool words it, with the file's name in front.
struct FileError {
    std::string message;
};

class OpenFile {
public:
    // Reads the file: its whole text, which must not be binary. nullopt with `error` set on failure.
    static std::optional<OpenFile> read(const std::string& utf8Path, FileError& error);
    // The same from a text already read (and checked), named `utf8Path`.
    OpenFile(std::string utf8Path, std::string text);

    const std::string& path() const { return path_; }
    const std::vector<FileEntry>& entries() const { return entries_; }
    // Where the identity line of an entry stands now.
    int lineOf(int row) const;
    // The entry being edited, or -1.
    int selected() const { return selected_; }
    bool modified() const { return modified_; }
    std::string text() const;

    // Makes entry `row` the one being edited; -1 for none. Only entries without a refusal can be edited.
    void select(int row);
    // What an edit changed of the listing: the rows to show again, and whether the entries after the edited one
    // moved to other lines.
    struct Changed {
        std::vector<int> rows;
        bool linesMoved = false;
    };
    // Rewrites the entry being edited as `entry` says (type, identity, password, granted set), in its shortest
    // form with its own line ends; nothing when that leaves its bytes as they were.
    Changed setSelected(const entry::Block& entry);
    // Appends `entry` as set appends one, and selects it.
    void append(const entry::Block& entry);
    // Removes the entry being edited with its warning comment and separating empty line, as remove does.
    void removeSelected();

    // Why the text cannot be saved while it stands: an identity in more than one entry, named with their lines.
    std::string saveRefusal() const;

    // Asked when the file changed on disk and both sides changed the same entries: the answers, or nullopt to save
    // nothing.
    using AskConflicts =
        std::function<std::optional<std::vector<entry::MergeDecision>>(const std::vector<entry::MergeConflict>&)>;
    // Writes the text through the locked writer, merged onto what another writer wrote since it was read. False
    // when nothing was saved: `error` says why, or is empty when the user cancelled. Afterwards the entries are
    // those of the file as written.
    bool save(const AskConflicts& ask, FileError& error);

private:
    void layOut(std::string text);
    void settle();
    void markDuplicates(const std::string& key, std::vector<int>& changed);
    static std::string keyOf(const FileEntry& e);

    std::string path_;
    std::string asRead_; // the text as read or last saved
    // The text as edited, in three parts, so that an edit of one entry touches that entry's bytes alone: everything
    // before the entry being edited (all of it when none is), its bytes, and everything after it.
    std::string before_, editing_, after_;
    std::vector<FileEntry> entries_;
    int selected_ = -1;
    // The entry being edited when it was selected (its size and lines, the line it begins at), and how far the
    // entries after it have moved since.
    std::size_t editingSize_ = 0;
    int editingLines_ = 0;
    int firstLine_ = 0;
    long long movedBytes_ = 0;
    int movedLines_ = 0;
    bool modified_ = false;
    std::unordered_map<std::string, std::vector<int>> byIdentity_; // rows of each type and identity
};

} // namespace ui
