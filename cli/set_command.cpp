#include "commands.h"
#include "entry_options.h"
#include "exit_codes.h"

#include <admins_file.h>

namespace cli {

namespace {

// The first line of standard input, without its line end: a password given so stays out of the process list.
std::optional<std::string> passwordFromStdin(Console& console, std::string& why)
{
    std::optional<std::string> input = console.read("-", why);
    if (!input)
        return std::nullopt;
    std::string line = input->substr(0, input->find('\n'));
    if (line.ends_with('\r'))
        line.pop_back();
    if (line.empty()) {
        why = "the first line of standard input, the password, is empty (--no-password writes an entry without one)";
        return std::nullopt;
    }
    return line;
}

} // namespace

CLI::App* setupSet(CLI::App& app, SetOptions& options)
{
    CLI::App* cmd = app.add_subcommand("set", "Add or change one entry of an admins file");
    addTargetOptions(*cmd, options.targets);
    CLI::Option* password =
        addEntryOptions(*cmd, options.entry, "what the entry grants now, a new one from the default ticks");
    CLI::Option* fromStdin = cmd->add_flag("--password-stdin", options.passwordStdin,
                                           "Take the password from the first line of standard input")
                                 ->excludes(password);
    cmd->add_flag("--no-password", options.noPassword, "Write the entry without a password")
        ->excludes(password)
        ->excludes(fromStdin);
    CLI::Option* inPlace =
        cmd->add_flag("-i,--in-place", options.inPlace, "Change the file under its lock instead of printing it");
    cmd->add_flag("--create", options.writer.create,
                  "With -i: create FILE (mode 0640 less the umask) when it does not exist")
        ->needs(inPlace);
    addWaitOption(*cmd, options.writer, inPlace);
    cmd->add_flag("--dry-run", options.dryRun, "Print the change as a unified diff instead, and write nothing");
    cmd->footer(cmd->get_footer() +
                "\nThe entry of the same type and identity is rewritten in its place, in its shortest form, keeping\n"
                "its password unless told otherwise; a new one is appended. Every other byte stays as it was.\n"
                "Standard error says \"added\", \"updated\" or \"unchanged\"; an unchanged file is not written.\n"
                "Example:\n"
                "  vantorel-admins set -i KZ_admins.txt --type steamid --id STEAM_0:1:12345 --level 2 --grant kick\n"
                "  vantorel-admins set -i --targets servers.txt --type name --id Alice --level 2");
    return cmd;
}

int runSet(const SetOptions& options, Console& console)
{
    const auto refuse = [&console](const std::string& message) {
        complain(console, "set: " + message);
        return kExitTrouble;
    };
    const std::optional<std::vector<std::string>> names = targetNames(console, "set", options.targets);
    if (!names || !oneTargetUnlessWritten(console, "set", names->size(), options.inPlace, options.dryRun))
        return kExitTrouble;
    EntryOptions entryOptions = options.entry;
    std::string why;
    if (options.passwordStdin) {
        if (names->front() == "-")
            return refuse("--password-stdin needs a FILE, since standard input holds the password");
        entryOptions.password = passwordFromStdin(console, why);
        if (!entryOptions.password)
            return refuse(why);
    }
    if (!EntryChoice().check(entryOptions, why))
        return refuse(why);

    return forEachTarget(console, *names, options.targets.jobs, [&](Console& each, const std::string& file) {
        // Each target ticks a tree of its own, from its own entry, and targets run side by side.
        EntryChoice choice;
        std::string checked;
        choice.check(entryOptions, checked);
        const std::string name = displayName(file);
        const auto edit = [&](std::string_view text, const entry::Block* old) {
            if (old != nullptr && old->hasComments)
                return Edited{std::nullopt, kExitFindings,
                              name + ": not changed: the entry of " + choice.name() + " (line " +
                                  std::to_string(old->line) +
                                  ") has comment lines of its own, which a rewrite would lose"};

            entry::Block block;
            block.type = choice.type();
            block.identity = choice.identity();
            if (entryOptions.password)
                block.password = *entryOptions.password;
            else if (old != nullptr && !options.noPassword)
                block.password = old->password;
            const model::Permissions& p = choice.tick(old != nullptr ? std::optional(old->granted) : std::nullopt);
            for (std::size_t i = 0; i < p.colCommands.size(); ++i)
                block.granted[i] = p.colCommands[i]->Checked();

            entry::EditedText next =
                old != nullptr ? entry::replaceEntry(text, *old, block) : entry::appendEntry(text, block);
            const char* done = old == nullptr ? "added " : next.text == text ? "unchanged " : "updated ";
            return Edited{std::move(next.text), kExitClean,
                          name + ": " + done + choice.name() + " (line " + std::to_string(next.line) + ")"};
        };
        return choice.rewriteEntry(each, "set", file, options.inPlace ? std::optional(options.writer) : std::nullopt,
                                   edit, options.dryRun);
    });
}

} // namespace cli
