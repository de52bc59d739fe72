#include "commands.h"
#include "exit_codes.h"

#include <nlohmann/json.hpp>

#include <array>

namespace cli {

namespace {

bool matches(const entry::Block& block, const std::optional<std::string>& identity)
{
    if (block.hasErrors)
        return false;
    if (!identity)
        return true;
    const std::string_view caption = entry::typeCaption(block.type);
    const std::string_view wanted = *identity;
    return wanted == block.identity ||
        (wanted.size() == caption.size() + block.identity.size() && wanted.starts_with(caption) &&
         wanted.ends_with(block.identity));
}

} // namespace

CLI::App* setupShow(CLI::App& app, ShowOptions& options)
{
    CLI::App* cmd = app.add_subcommand("show", "Show what each entry grants (never its password)");
    cmd->add_option("FILE", options.file, "The admins file; standard input when none is given or for \"-\"");
    cmd->add_option("--identity", options.identity,
                    "Only the entry of this identity, with or without its prefix (\"SteamID:STEAM_0:1:2\")");
    cmd->add_flag("--json", options.json,
                  "One JSON array of {line, type, identity, hasPassword, baseLevel, granted} for scripts");
    cmd->footer("Entries with errors are left out and their errors reported on standard error.\n"
                "Example:\n  vantorel-admins show KZ_admins.txt --identity STEAM_0:1:12345");
    return cmd;
}

std::string showText(const entry::ReadResult& result, const std::optional<std::string>& identity)
{
    const auto catalogue = model::commandCatalogue();
    std::string text;
    for (const entry::Block& block : result.blocks) {
        if (!matches(block, identity))
            continue;
        if (!text.empty())
            text += '\n';
        text += entry::typeCaption(block.type);
        text += block.identity;
        text += " (line " + std::to_string(block.line) + ")\n";
        text += block.password ? "  password: yes\n" : "  password: no\n";
        text += "  baseLevel: " + std::to_string(block.baseLevel) + "\n";
        // The granted commands by level, in the tree's order, one line per level that grants any.
        int level = -1;
        for (std::size_t i = 0; i < catalogue.size(); ++i) {
            if (!block.granted[i])
                continue;
            if (catalogue[i].level != level) {
                if (level != -1)
                    text += '\n';
                level = catalogue[i].level;
                text +=
                    level == 0 ? std::string("  Commands with no level: ") : "  Level " + std::to_string(level) + ": ";
            } else {
                text += ", ";
            }
            text += catalogue[i].text;
        }
        text += level == -1 ? "  grants nothing\n" : "\n";
    }
    return text;
}

std::string showJson(const entry::ReadResult& result, const std::optional<std::string>& identity)
{
    nlohmann::ordered_json entries = nlohmann::ordered_json::array();
    for (const entry::Block& block : result.blocks) {
        if (!matches(block, identity))
            continue;
        nlohmann::ordered_json keys = nlohmann::ordered_json::array();
        for (const std::string_view key : entry::grantedKeys(block.granted))
            keys.push_back(key);
        // Field by field, so that the order stays as documented.
        nlohmann::ordered_json e;
        e["line"] = block.line;
        e["type"] = entry::typeName(block.type);
        e["identity"] = block.identity;
        e["hasPassword"] = block.password.has_value();
        e["baseLevel"] = block.baseLevel;
        e["granted"] = std::move(keys);
        entries.push_back(std::move(e));
    }
    // An identity need not be UTF-8; such bytes become U+FFFD instead of ending the program.
    return entries.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

int runShow(const ShowOptions& options, Console& console)
{
    const std::optional<std::string> text = loadInput(console, options.file);
    if (!text)
        return kExitTrouble;
    const entry::ReadResult result = entry::read(*text);
    std::string errors;
    for (const entry::Diagnostic& d : result.diagnostics)
        if (d.severity == entry::Severity::Error)
            errors += formatDiagnostic(displayName(options.file), d, false);
    console.err(errors);

    int code = result.errors > 0 ? kExitFindings : kExitClean;
    const bool found = std::any_of(result.blocks.begin(), result.blocks.end(),
                                   [&](const entry::Block& b) { return matches(b, options.identity); });
    if (options.identity && !found) {
        complain(console, "no entry without errors has the identity \"" + *options.identity + "\"");
        code = kExitFindings;
    }
    return emit(console, options.json ? showJson(result, options.identity) : showText(result, options.identity), code);
}

} // namespace cli
