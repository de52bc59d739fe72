#include "commands.h"
#include "exit_codes.h"

namespace cli {

CLI::App* setupFormat(CLI::App& app, FormatOptions& options)
{
    CLI::App* cmd = app.add_subcommand("format", "Rewrite every entry in its shortest form");
    cmd->add_option("FILE", options.file, "The admins file; standard input when none is given or for \"-\"");
    CLI::Option* inPlace = cmd->add_flag("-i,--in-place", options.inPlace,
                                         "Replace the file under its lock instead of printing; nothing is changed "
                                         "when it has errors");
    addWaitOption(*cmd, options.writer, inPlace);
    cmd->footer("Entries with errors, entries with comment lines of their own and all text between entries are\n"
                "kept byte for byte. Errors are reported on standard error and make the exit status 1.\n"
                "Example:\n  vantorel-admins format -i KZ_admins.txt");
    return cmd;
}

int runFormat(const FormatOptions& options, Console& console)
{
    const std::string name = displayName(options.file);
    const auto edit = [&](std::string_view text) {
        const entry::ReadResult result = entry::read(text);
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
        if (options.inPlace && result.errors > 0)
            return Edited{std::nullopt, kExitFindings, name + ": not changed, because it has errors"};
        return Edited{entry::formatText(text, result), result.errors > 0 ? kExitFindings : kExitClean, {}};
    };
    return rewrite(console, "format", options.file, options.inPlace ? std::optional(options.writer) : std::nullopt,
                   edit);
}

} // namespace cli
