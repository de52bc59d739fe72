#pragma once

// Reads an admin entry the way the server's admin plugin does, written from
// the plugin's rules and not from the composer: a level in baseLevel grants all
// its commands, the default level-0 commands are granted without any level,
// add lines grant and deny lines remove. Used by the tests and the fuzzers.

#include <catalogue.h>

#include <map>
#include <set>
#include <string>
#include <string_view>

namespace decoder {

struct Decoded {
    std::string error; // empty when the entry is well formed
    std::set<std::string> granted;
    std::map<int, std::pair<int, int>> linesPerLevel; // level -> (add lines, deny lines)
};

inline Decoded decodeEntry(std::string_view text)
{
    Decoded d;
    const auto fail = [](std::string why) {
        Decoded f;
        f.error = std::move(why);
        return f;
    };
    std::map<std::string, const model::CatalogueEntry*, std::less<>> byKey;
    for (const auto& e : model::commandCatalogue())
        byKey[std::string(e.key)] = &e;

    std::vector<std::pair<bool, std::string>> changes;
    int baseLevel = -1;
    int stage = 0; // 0 before "{", 1 inside, 2 after "}"
    for (size_t pos = 0, end; pos < text.size(); pos = end + 2) {
        end = text.find("\r\n", pos);
        const std::string_view line = text.substr(pos, end == std::string_view::npos ? end : end - pos);
        if (end == std::string_view::npos || line.find_first_of("\r\n") != std::string_view::npos || stage == 2)
            return fail("bad line or line end: " + std::string(line));
        if (stage == 0 || line == "}" || line == "// this addCmd shouldn't happen") {
            stage += line == "{" || line == "}";
            continue;
        }
        const size_t eq = line.find(" = ");
        if (!line.starts_with('\t') || eq == std::string_view::npos)
            return fail("malformed setting: " + std::string(line));
        const std::string_view keyword = line.substr(1, eq - 1);
        const std::string value(line.substr(eq + 3));
        if (keyword == "baseLevel" || keyword == "password") {
            baseLevel = keyword == "baseLevel" ? std::stoi(value) : baseLevel;
            continue;
        }
        const auto it = byKey.find(value);
        const bool add = keyword.starts_with("add");
        const bool adminKeyword = keyword == "addAdminCmd" || keyword == "denyAdminCmd";
        if (it == byKey.end() || (!adminKeyword && keyword != "addCmd" && keyword != "denyCmd") ||
            adminKeyword != it->second->isAdmin)
            return fail("unknown or mismatched command line: " + std::string(line));
        changes.emplace_back(add, value);
        if (it->second->level != 0)
            ++(add ? d.linesPerLevel[it->second->level].first : d.linesPerLevel[it->second->level].second);
    }
    if (stage != 2 || baseLevel < 0)
        return fail("missing closing brace or base level");
    for (const auto& [key, e] : byKey)
        if ((e->level == 0 && e->defaultOn) || (baseLevel & e->level))
            d.granted.insert(key);
    for (const auto& [add, key] : changes)
        add ? (void)d.granted.insert(key) : (void)d.granted.erase(key);
    return d;
}

} // namespace decoder
