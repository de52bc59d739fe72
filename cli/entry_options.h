// What compose, set and remove share: the options that name one entry by its type and identity, and for compose and
// set describe it; the refusal of what the window would not take; the ticks applied as a user's ticks in the tree;
// and the rewrite of a file's one entry of that type and identity.
#pragma once

#include "report.h"

#include <permissions.h>
#include <reader.h>

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

namespace cli {

struct EntryOptions {
    std::string type;
    std::optional<std::string> id;
    std::optional<std::string> password;
    std::vector<int> levels;
    std::vector<std::string> grant;
    std::vector<std::string> deny;
    bool all = false;
    bool none = false;
    bool defaults = false;
};

// Declares --type and --id, which name an entry.
void addIdentityOptions(CLI::App& command, EntryOptions& options);

// Declares --type, --id, --password, --all, --none, --defaults, --level, --grant and --deny; `start` says what the
// ticks start from when none of --all, --none and --defaults is given. Returns the --password option.
CLI::Option* addEntryOptions(CLI::App& command, EntryOptions& options, const std::string& start);

// The entry the options describe, checked as the window checks its boxes and its tree.
class EntryChoice {
public:
    // False, with `why` set, for input the window would not take: an unknown type, level or key, a missing or
    // superfluous identity, an identity or password too long, not UTF-8, with a line break or control character,
    // a space in the password, a password for the default entry.
    bool check(const EntryOptions& options, std::string& why);

    entry::UserType type() const { return type_; }
    std::string_view identity() const { return identity_; }
    // "Name:Bob", as messages name the entry.
    std::string name() const;

    // Once, after check(): starts from `current` (the default ticks when there is none, or all, none or the
    // default ticks when asked), then ticks the levels and the granted commands and unticks the denied ones, in
    // that order, each as a user's tick in the tree. Returns the tree, whose ticks the composer writes.
    const model::Permissions& tick(const std::optional<model::CommandSet>& current);

    // For set and remove: rewrites FILE as rewrite() does, through `edit`, which is given the text
    // and the one entry of this type and identity (byte for byte), or null when there is none. A file with errors,
    // which are reported, and an identity that stands in more than one entry are refused (exit code 1) first.
    using EntryEdit = std::function<Edited(std::string_view, const entry::Block*)>;
    int rewriteEntry(Console& console, std::string_view command, const std::string& file,
                     const std::optional<store::InPlaceOptions>& inPlace, const EntryEdit& edit,
                     bool dryRun = false) const;

private:
    const EntryOptions* options_ = nullptr;
    entry::UserType type_ = entry::UserType::Default;
    std::string_view identity_;
    model::Permissions p_;
    std::vector<model::Node*> levels_;
    std::vector<model::Node*> grants_;
    std::vector<model::Node*> denials_;
};

} // namespace cli
