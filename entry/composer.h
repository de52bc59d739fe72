#pragma once

#include "identity_validation.h"

#include <catalogue.h>
#include <permission_tree.h>

#include <span>
#include <string>
#include <string_view>

namespace entry {

// What the window's inputs hold when the entry is built. The identity line's
// prefix is the type's ("Default:", "IP:", "Name:" or "SteamID:").
struct EntryInputs {
    UserType userType = UserType::Default;
    std::string_view id;       // the identity box's text, a prompt included
    int passwordValue = 0;     // the check box: 0 unticked, 1 ticked, 2 greyed
    std::string_view password; // the password box's text
};

// The admin entry for the ticks of the two lists and the inputs: an optional
// identity warning and empty line, the identity line, "{", the command lines,
// the base level, the optional password and "}", every line ended by CR LF.
// Each level is written the shorter way: as additions outside the level, or as
// the level plus denials; a tie is written as additions. Of colCommands, the
// first 128 are written.
std::string composeEntry(std::span<model::Node* const> colLevels, std::span<model::Node* const> colCommands,
                         const EntryInputs& in);

// The same entry for a granted set of the catalogue's commands, without a tree.
std::string composeGranted(const model::CommandSet& granted, const EntryInputs& in);
// The same, appended to `out`.
void appendGranted(std::string& out, const model::CommandSet& granted, const EntryInputs& in);

// The comment line the composer writes above an addCmd line.
inline constexpr std::string_view kAddCmdComment = "// this addCmd shouldn't happen";

} // namespace entry
