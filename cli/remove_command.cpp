#include "commands.h"
#include "entry_options.h"
#include "exit_codes.h"

#include <admins_file.h>

namespace cli {

CLI::App* setupRemove(CLI::App& app, RemoveOptions& options)
{
    CLI::App* cmd = app.add_subcommand("remove", "Remove one entry from an admins file");
    addTargetOptions(*cmd, options.targets);
    addIdentityOptions(*cmd, options.entry);
    CLI::Option* inPlace =
        cmd->add_flag("-i,--in-place", options.inPlace, "Change the file under its lock instead of printing it");
    addWaitOption(*cmd, options.writer, inPlace);
    cmd->add_flag("--dry-run", options.dryRun, "Print the change as a unified diff instead, and write nothing");
    cmd->footer("Removes the entry of the same type and identity with its warning comment and the empty line that\n"
                "separated it; every other byte stays as it was. Standard error says \"removed\".\n"
                "Exit status 1 when there is no such entry.\n"
                "Example:\n  vantorel-admins remove -i KZ_admins.txt --type name --id \"Mod Alice\"");
    return cmd;
}

int runRemove(const RemoveOptions& options, Console& console)
{
    const std::optional<std::vector<std::string>> names = targetNames(console, "remove", options.targets);
    if (!names || !oneTargetUnlessWritten(console, "remove", names->size(), options.inPlace, options.dryRun))
        return kExitTrouble;
    EntryChoice choice;
    if (std::string why; !choice.check(options.entry, why)) {
        complain(console, "remove: " + why);
        return kExitTrouble;
    }
    return forEachTarget(console, *names, options.targets.jobs, [&](Console& each, const std::string& file) {
        const std::string name = displayName(file);
        const auto edit = [&](std::string_view text, const entry::Block* found) {
            if (found == nullptr)
                return Edited{std::nullopt, kExitFindings, name + ": no entry " + choice.name()};
            entry::EditedText next = entry::removeEntry(text, *found);
            return Edited{std::move(next.text), kExitClean,
                          name + ": removed " + choice.name() + " (line " + std::to_string(next.line) + ")"};
        };
        return choice.rewriteEntry(each, "remove", file, options.inPlace ? std::optional(options.writer) : std::nullopt,
                                   edit, options.dryRun);
    });
}

} // namespace cli
