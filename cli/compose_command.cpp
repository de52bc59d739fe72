#include "commands.h"
#include "exit_codes.h"

#include <bulk_selection.h>
#include <composer.h>
#include <text_rules.h>

#include <algorithm>
#include <array>

namespace cli {

namespace {

// Why the window's box would not take `text`, or nullopt when it would.
std::optional<std::string> refusal(std::string_view what, std::string_view text, std::size_t limit)
{
    const std::optional<std::size_t> length = entry::boxLength(text);
    if (!length)
        return std::string(what) + " is not valid UTF-8";
    if (*length > limit)
        return std::string(what) + " has " + std::to_string(*length) + " characters; at most " + std::to_string(limit) +
            " are allowed";
    if (const std::size_t bad = entry::firstUnsafe(text); bad != std::string_view::npos)
        return std::string(what) + " contains " + entry::describeCharacter(entry::codePointAt(text, bad)) +
            "; it must be a single line without control characters";
    return std::nullopt;
}

// Catalogue positions of the keys, or the first unknown key.
bool positions(const std::vector<std::string>& keys, std::vector<std::size_t>& found, std::string& unknown)
{
    for (const std::string& key : keys) {
        const std::optional<std::size_t> index = model::commandIndex(key);
        if (!index) {
            unknown = key;
            return false;
        }
        found.push_back(*index);
    }
    return true;
}

} // namespace

CLI::App* setupCompose(CLI::App& app, ComposeOptions& options)
{
    CLI::App* cmd = app.add_subcommand("compose", "Write one entry exactly as the window shows it");
    cmd->add_option("--type", options.type, "The kind of identity")
        ->required()
        ->check(CLI::IsMember(std::vector<std::string>(entry::kTypeNames.begin(), entry::kTypeNames.end())));
    cmd->add_option("--id", options.id,
                    "The identity (for ip, name and steamid; at most " + std::to_string(entry::kMaxIdentityLength) +
                        " characters)");
    cmd->add_option("--password", options.password,
                    "A password: at most " + std::to_string(entry::kMaxPasswordLength) + " characters, no spaces");
    cmd->add_option("--grant", options.grant, "Commands to tick, by key")->delimiter(',');
    cmd->add_option("--deny", options.deny, "Commands to untick, by key")->delimiter(',');
    cmd->add_option("--level", options.levels, "Tick a whole level (0, 1, 2, 4, ..., 65536); may be repeated");
    CLI::Option* all = cmd->add_flag("--all", options.all, "Start from every command ticked");
    cmd->add_flag("--none", options.none, "Start from no command ticked")->excludes(all);
    cmd->footer("Starts from the default ticks (or all, or none), then ticks the levels, then the granted commands,\n"
                "then unticks the denied ones. The entry ends its lines with CR LF.\n"
                "Example:\n  vantorel-admins compose --type steamid --id STEAM_0:1:12345 --level 2 --grant kick,ban");
    return cmd;
}

int runCompose(const ComposeOptions& options, Console& console)
{
    const auto refuse = [&console](const std::string& message) {
        complain(console, "compose: " + message);
        return kExitTrouble;
    };
    const std::optional<entry::UserType> found = entry::typeFromName(options.type);
    if (!found)
        return refuse("unknown type \"" + options.type + "\"");
    const entry::UserType type = *found;

    std::string_view id = entry::kDefaultIdentity;
    if (type == entry::UserType::Default) {
        if (options.id)
            return refuse("a default entry has no identity of its own; --id is for ip, name and steamid");
        if (options.password)
            return refuse("a default entry cannot have a password");
    } else if (!options.id) {
        return refuse("--id is required for --type " + options.type);
    } else {
        id = *options.id;
        if (auto why = refusal("the identity", id, entry::kMaxIdentityLength))
            return refuse(*why);
    }
    const std::string_view password = options.password ? std::string_view(*options.password) : std::string_view();
    if (password.find(' ') != std::string_view::npos)
        return refuse("the password contains a space; passwords cannot contain any spaces");
    if (auto why = refusal("the password", password, entry::kMaxPasswordLength))
        return refuse(*why);

    model::Permissions p;
    model::loadCatalogue(p);
    std::vector<model::Node*> levels;
    for (const int level : options.levels) {
        model::Node* node = p.tree.find("lvl" + std::to_string(level));
        if (node == nullptr)
            return refuse("unknown level " + std::to_string(level) +
                          " (levels are 0 and the powers of two 1 to 65536)");
        levels.push_back(node);
    }
    std::vector<std::size_t> grants;
    std::vector<std::size_t> denials;
    std::string unknown;
    if (!positions(options.grant, grants, unknown) || !positions(options.deny, denials, unknown))
        return refuse("unknown command key \"" + unknown + "\"");

    if (options.all)
        model::checkAll(p);
    else if (options.none)
        model::uncheckAll(p);
    // Each change is made as a user's tick in the tree.
    for (model::Node* level : levels)
        model::userTick(*level, true);
    for (const std::size_t i : grants)
        model::userTick(*p.colCommands[i], true);
    for (const std::size_t i : denials)
        model::userTick(*p.colCommands[i], false);

    const entry::EntryInputs in{entry::typeCaption(type), id, type, options.password ? 1 : 0, password};
    return emit(console, entry::composeEntry(p.colLevels, p.colCommands, in), kExitClean);
}

} // namespace cli
