// The exit codes of vantorel-admins, the same for every command, so that scripts can trust them.
#pragma once

namespace cli {

inline constexpr int kExitClean = 0;    // nothing to report, or only warnings and notes
inline constexpr int kExitFindings = 1; // the input has errors (or `show --identity` found no entry)
inline constexpr int kExitTrouble = 2;  // a usage error, or a file that could not be read or written

} // namespace cli
