#include "commands.h"
#include "exit_codes.h"

namespace cli {

CLI::App* setupFormat(CLI::App& app, FormatOptions& options)
{
    CLI::App* cmd = app.add_subcommand("format", "Rewrite every entry in its shortest form");
    cmd->add_option("FILE", options.file, "The admins file; standard input when none is given or for \"-\"");
    cmd->add_flag("-i,--in-place", options.inPlace,
                  "Replace the file atomically instead of printing; nothing is changed when it has errors");
    cmd->footer("Entries with errors, entries with comment lines of their own and all text between entries are\n"
                "kept byte for byte. Errors are reported on standard error and make the exit status 1.\n"
                "Example:\n  vantorel-admins format -i KZ_admins.txt");
    return cmd;
}

int runFormat(const FormatOptions& options, Console& console)
{
    if (options.inPlace && options.file == "-") {
        complain(console, "format: -i needs a file; standard input cannot be replaced");
        return kExitTrouble;
    }
    const std::optional<std::string> text = loadInput(console, options.file);
    if (!text)
        return kExitTrouble;
    const entry::ReadResult result = entry::read(*text);
    const std::string name = displayName(options.file);

    std::string report;
    for (const entry::Diagnostic& d : result.diagnostics)
        if (d.severity == entry::Severity::Error)
            report += formatDiagnostic(name, d, false);
    for (const entry::Block& block : result.blocks)
        if (block.hasComments && !block.hasErrors)
            report += formatDiagnostic(
                name, {entry::Severity::Note, block.line, "entry kept as written: it has comment lines of its own"},
                false);
    console.err(report);

    if (options.inPlace && result.errors > 0) {
        complain(console, name + ": not changed, because it has errors");
        return kExitFindings;
    }
    const std::string formatted = entry::formatText(*text, result);
    if (!options.inPlace)
        return emit(console, formatted, result.errors > 0 ? kExitFindings : kExitClean);
    // An unchanged file is left alone, so its time stamps and links stay as they were.
    if (formatted == *text)
        return kExitClean;
    std::string error;
    if (!console.replace(options.file, formatted, error)) {
        complain(console, name + ": " + error);
        return kExitTrouble;
    }
    return kExitClean;
}

} // namespace cli
