#pragma once

#include "identity_validation.h"

#include <catalogue.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace entry {

enum class Severity : std::uint8_t { Error, Warning, Note };

// One finding of the reader, on a line counted from 1.
struct Diagnostic {
    Severity severity;
    int line;
    std::string message;
};

// One entry of an admins file. Text views point into the text that was read.
struct Block {
    int line = 0; // the identity line
    UserType type = UserType::Default;
    std::string_view identity; // between the type's prefix and the closing quote
    std::optional<std::string_view> password;
    int baseLevel = 0;
    model::CommandSet granted; // what the plugin grants, by catalogue position
    // The bytes the entry came from: from its warning comment, or its identity
    // line, to the end of its closing brace's line. Text between entries is not
    // part of any entry.
    std::size_t begin = 0;
    std::size_t end = 0;
    bool hasErrors = false;
    // Comment lines of its own inside the entry, which a rewrite would lose.
    bool hasComments = false;
    // The identity line ended with LF alone.
    bool lfOnly = false;
};

struct ReadResult {
    std::vector<Block> blocks;
    // In line order, at most kMaxDiagnostics of them; the counts below
    // include those that were not kept.
    std::vector<Diagnostic> diagnostics;
    std::size_t errors = 0;
    std::size_t warnings = 0;
    std::size_t notes = 0;
    std::size_t omitted = 0; // diagnostics counted but not kept
};

inline constexpr std::size_t kMaxDiagnostics = 1000;

// Reads the text of a whole admins file. Never throws for any input, and
// takes time and memory in proportion to the text.
ReadResult read(std::string_view text);

// The keys of a granted set, in catalogue order.
std::vector<std::string_view> grantedKeys(const model::CommandSet& granted);

// Ticks exactly the granted commands of `p`; the level nodes and the root
// follow through CheckParents. Composing afterwards writes the shortest form.
void applyGranted(model::Permissions& p, const model::CommandSet& granted);

// The block in the composer's shortest form, with the block's own line end
// (CR LF, or LF alone when its identity line ended so).
std::string composeBlock(const Block& block);

// The text as `format` writes it: every entry that reads without error and
// holds no comment of its own in its shortest form (composeBlock), and
// everything else byte for byte. `result` is what read(text) gave.
std::string formatText(std::string_view text, const ReadResult& result);

} // namespace entry
