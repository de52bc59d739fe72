#include "commands.h"
#include "exit_codes.h"

namespace cli {

CLI::App* setupCheck(CLI::App& app, CheckOptions& options)
{
    CLI::App* cmd = app.add_subcommand("check", "Report every error, warning and note of admins files");
    cmd->add_option("FILE", options.files, "Files to check; standard input when none is given or for \"-\"");
    cmd->footer("Prints FILE:LINE: severity: message for each finding and a summary on standard error.\n"
                "Exit status: 0 without errors, 1 with errors, 2 when a file cannot be read.\n"
                "Example:\n  vantorel-admins check KZ_admins.txt");
    return cmd;
}

int runCheck(const CheckOptions& options, Console& console)
{
    const std::vector<std::string> files = options.files.empty() ? std::vector<std::string>{"-"} : options.files;
    int code = kExitClean;
    std::size_t errors = 0;
    std::size_t warnings = 0;
    std::size_t notes = 0;
    std::size_t read = 0;
    // Every file is checked; the worst outcome decides the exit code.
    for (const std::string& file : files) {
        const std::optional<std::string> text = loadInput(console, file);
        if (!text) {
            code = kExitTrouble;
            continue;
        }
        const entry::ReadResult result = entry::read(*text);
        ++read;
        errors += result.errors;
        warnings += result.warnings;
        notes += result.notes;
        if (result.errors > 0 && code == kExitClean)
            code = kExitFindings;
        if (!console.out(formatDiagnostics(displayName(file), result, console.colour))) {
            complain(console, "cannot write to standard output");
            return kExitTrouble;
        }
    }
    const auto count = [](std::size_t n, std::string_view word) {
        return std::to_string(n) + " " + std::string(word) + (n == 1 ? "" : "s");
    };
    std::string summary = count(errors, "error") + ", " + count(warnings, "warning") + ", " + count(notes, "note") +
        " in " + count(read, "file");
    if (read != files.size())
        summary += " (" + count(files.size() - read, "file") + " not read)";
    complain(console, summary);
    return code;
}

} // namespace cli
