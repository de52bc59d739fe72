// The six commands of vantorel-admins. Each has an options struct, a setup function that declares its options on
// the parser, and a run function that does the work and returns the exit code.
#pragma once

#include "entry_options.h"
#include "report.h"
#include "targets.h"

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {

struct CheckOptions {
    std::vector<std::string> files;
};
CLI::App* setupCheck(CLI::App& app, CheckOptions& options);
int runCheck(const CheckOptions& options, Console& console);

struct ShowOptions {
    std::string file = "-";
    std::optional<std::string> identity;
    bool json = false;
};
CLI::App* setupShow(CLI::App& app, ShowOptions& options);
int runShow(const ShowOptions& options, Console& console);
// The readable form and the JSON array of the entries that read without error (all, or those whose identity, with
// or without its type's prefix, equals `identity`).
std::string showText(const entry::ReadResult& result, const std::optional<std::string>& identity);
std::string showJson(const entry::ReadResult& result, const std::optional<std::string>& identity);

using ComposeOptions = EntryOptions;
CLI::App* setupCompose(CLI::App& app, ComposeOptions& options);
int runCompose(const ComposeOptions& options, Console& console);

struct FormatOptions {
    std::string file = "-";
    bool inPlace = false;
    store::InPlaceOptions writer;
};
CLI::App* setupFormat(CLI::App& app, FormatOptions& options);
int runFormat(const FormatOptions& options, Console& console);

struct SetOptions {
    Targets targets;
    EntryOptions entry;
    bool passwordStdin = false;
    bool noPassword = false;
    bool inPlace = false;
    bool dryRun = false;
    store::InPlaceOptions writer;
};
CLI::App* setupSet(CLI::App& app, SetOptions& options);
int runSet(const SetOptions& options, Console& console);

struct RemoveOptions {
    Targets targets;
    EntryOptions entry; // the type and the identity
    bool inPlace = false;
    bool dryRun = false;
    store::InPlaceOptions writer;
};
CLI::App* setupRemove(CLI::App& app, RemoveOptions& options);
int runRemove(const RemoveOptions& options, Console& console);

// Refuses several targets without -i or --dry-run, whose new texts cannot all go to standard output.
bool oneTargetUnlessWritten(Console& console, std::string_view command, std::size_t targets, bool inPlace, bool dryRun);

// --wait SECONDS, for a command that changes a file in place when `inPlace` is given.
void addWaitOption(CLI::App& command, store::InPlaceOptions& options, CLI::Option* inPlace);

// Parses the arguments (the program's name first) and runs the command they name.
int runCli(const std::vector<std::string>& args, Console& console);

// runCli with every exception caught: the message goes to standard error and the exit code is 2, after the
// exception has unwound everything it passed, so that a file held for a change has its lock removed.
int runMain(const std::vector<std::string>& args, Console& console);

} // namespace cli
