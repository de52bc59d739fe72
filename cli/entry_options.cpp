#include "entry_options.h"

#include "exit_codes.h"

#include <admins_file.h>
#include <bulk_selection.h>
#include <entry_request.h>

namespace cli {

namespace {

// The command nodes of the keys, or false with the first unknown key named.
bool commandNodes(const model::Permissions& p, const std::vector<std::string>& keys, std::vector<model::Node*>& nodes,
                  std::string& why)
{
    for (const std::string& key : keys) {
        const std::optional<std::size_t> index = model::commandIndex(key);
        if (!index) {
            why = "unknown command key \"" + key + "\"";
            return false;
        }
        nodes.push_back(p.colCommands[*index]);
    }
    return true;
}

} // namespace

void addIdentityOptions(CLI::App& command, EntryOptions& options)
{
    command.add_option("--type", options.type, "The kind of identity")
        ->required()
        ->check(CLI::IsMember(std::vector<std::string>(entry::kTypeNames.begin(), entry::kTypeNames.end())));
    command.add_option("--id", options.id,
                       "The identity (for ip, name and steamid; at most " + std::to_string(entry::kMaxIdentityLength) +
                           " characters)");
}

CLI::Option* addEntryOptions(CLI::App& command, EntryOptions& options, const std::string& start)
{
    addIdentityOptions(command, options);
    CLI::Option* password = command.add_option("--password", options.password,
                                               "A password: at most " + std::to_string(entry::kMaxPasswordLength) +
                                                   " characters, no spaces");
    CLI::Option* all = command.add_flag("--all", options.all, "Start from every command ticked");
    CLI::Option* none = command.add_flag("--none", options.none, "Start from no command ticked")->excludes(all);
    command.add_flag("--defaults", options.defaults, "Start from the default ticks")->excludes(all)->excludes(none);
    command.add_option("--level", options.levels, "Tick a whole level (0, 1, 2, 4, ..., 65536); may be repeated");
    command.add_option("--grant", options.grant, "Commands to tick, by key")->delimiter(',');
    command.add_option("--deny", options.deny, "Commands to untick, by key")->delimiter(',');
    command.footer("Starts from " + start +
                   "\n(--all: every command, --none: none, --defaults: the default ticks), then ticks the levels,\n"
                   "then the granted commands, then unticks the denied ones, as a user ticks them in the window.");
    return password;
}

bool EntryChoice::check(const EntryOptions& options, std::string& why)
{
    options_ = &options;
    const std::optional<entry::UserType> type = entry::typeFromName(options.type);
    if (!type) {
        why = "unknown type \"" + options.type + "\"";
        return false;
    }
    type_ = *type;
    identity_ = entry::kDefaultIdentity;
    if (type_ == entry::UserType::Default && options.id) {
        why = "a default entry has no identity of its own; --id is for ip, name and steamid";
        return false;
    }
    if (type_ != entry::UserType::Default && !options.id) {
        why = "--id is required for --type " + options.type;
        return false;
    }
    if (options.id)
        identity_ = *options.id;
    if (const auto refusal = entry::refusalOf({type_, identity_, options.password})) {
        why = entry::describe(*refusal);
        return false;
    }

    model::loadCatalogue(p_);
    for (const int level : options.levels) {
        model::Node* node = p_.levelNode(level);
        if (node == nullptr) {
            why = "unknown level " + std::to_string(level) + " (levels are 0 and the powers of two 1 to 65536)";
            return false;
        }
        levels_.push_back(node);
    }
    return commandNodes(p_, options.grant, grants_, why) && commandNodes(p_, options.deny, denials_, why);
}

std::string EntryChoice::name() const
{
    return std::string(entry::typeCaption(type_)) + std::string(identity_);
}

const model::Permissions& EntryChoice::tick(const std::optional<model::CommandSet>& current)
{
    if (options_->all)
        model::checkAll(p_);
    else if (options_->none)
        model::uncheckAll(p_);
    else if (current && !options_->defaults)
        model::setCommands(p_, *current);
    for (model::Node* level : levels_)
        model::userTick(*level, true);
    for (model::Node* command : grants_)
        model::userTick(*command, true);
    for (model::Node* command : denials_)
        model::userTick(*command, false);
    return p_;
}

int EntryChoice::rewriteEntry(Console& console, std::string_view command, const std::string& file,
                              const std::optional<store::InPlaceOptions>& inPlace, const EntryEdit& edit,
                              bool dryRun) const
{
    const std::string name = displayName(file);
    return rewrite(
        console, command, file, inPlace,
        [&](std::string_view text) {
            const entry::ReadResult result = entry::read(text);
            if (result.errors > 0) {
                std::string report;
                for (const entry::Diagnostic& d : result.diagnostics)
                    if (d.severity == entry::Severity::Error)
                        report += formatDiagnostic(name, d, false);
                console.err(report);
                return Edited{std::nullopt, kExitFindings, name + ": not changed, because it has errors"};
            }
            const std::vector<const entry::Block*> found = entry::entriesOf(result, type_, identity_);
            if (found.size() > 1) {
                std::string lines;
                for (const entry::Block* b : found)
                    lines += (lines.empty() ? "" : ", ") + std::to_string(b->line);
                return Edited{std::nullopt, kExitFindings,
                              name + ": not changed: " + this->name() + " stands in " + std::to_string(found.size()) +
                                  " entries (lines " + lines + ")"};
            }
            return edit(text, found.empty() ? nullptr : found.front());
        },
        dryRun);
}

} // namespace cli
