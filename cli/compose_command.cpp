#include "commands.h"
#include "exit_codes.h"

#include <composer.h>

namespace cli {

CLI::App* setupCompose(CLI::App& app, ComposeOptions& options)
{
    CLI::App* cmd = app.add_subcommand("compose", "Write one entry exactly as the window shows it");
    addEntryOptions(*cmd, options, "the default ticks");
    cmd->footer(cmd->get_footer() +
                "\nThe entry ends its lines with CR LF.\n"
                "Example:\n  vantorel-admins compose --type steamid --id STEAM_0:1:12345 --level 2 --grant kick,ban");
    return cmd;
}

int runCompose(const ComposeOptions& options, Console& console)
{
    EntryChoice choice;
    if (std::string why; !choice.check(options, why)) {
        complain(console, "compose: " + why);
        return kExitTrouble;
    }
    const model::Permissions& p = choice.tick(std::nullopt);
    const std::string_view password = options.password ? std::string_view(*options.password) : std::string_view();
    const entry::EntryInputs in{choice.type(), choice.identity(), options.password ? 1 : 0, password};
    return emit(console, entry::composeEntry(p.colLevels, p.colCommands, in), kExitClean);
}

} // namespace cli
