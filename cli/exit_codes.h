// The exit codes of vantorel-admins, the same for every command, so that scripts can trust them.
#pragma once

namespace cli {

// 0: no errors (warnings and notes may have been printed); also --help and --version.
inline constexpr int kExitClean = 0;
// 1: errors found; for show --identity and remove, no such entry; for format -i, set and remove, the file was not
// changed (it has errors, the identity stands in several entries, or the entry to set has comment lines of its own).
inline constexpr int kExitFindings = 1;
// 2: a usage error, input the window would not take, or a file that could not be read, or written as it must be.
inline constexpr int kExitTrouble = 2;

} // namespace cli
