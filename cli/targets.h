// One change made to many files at once: the list of targets a command was given, and the runs over them, a few at a
// time, each target's messages kept together.
#pragma once

#include "report.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

// The targets of a command that changes files: its FILE arguments, then --targets FILE.
struct Targets {
    std::vector<std::string> files;
    std::string listFile; // one name or address per line; blank lines and '#' comments skipped
    unsigned jobs = 4;
};

// Declares FILE... (zero or more), --targets and --jobs on a command.
void addTargetOptions(CLI::App& command, Targets& targets);

// The names the targets stand for, in order: standard input ("-") when none is given. Nullopt after a message when
// the list file cannot be read, or a name comes twice (two runs of one change on one file would only wait for each
// other's lock), or standard input would be one of several.
std::optional<std::vector<std::string>> targetNames(Console& console, std::string_view command, const Targets& targets);

// Runs `one` on each name, up to `jobs` at a time. One name runs on `console` itself; with several, each run writes
// into buffers of its own, printed whole (standard output, then standard error) in the names' order as soon as the
// runs before it are done, so that no two targets' lines mix. The exit code is the worst of the runs' (0 only when
// every one ended clean).
int forEachTarget(Console& console, const std::vector<std::string>& names, unsigned jobs,
                  const std::function<int(Console&, const std::string&)>& one);

} // namespace cli
