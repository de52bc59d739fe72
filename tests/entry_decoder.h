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
    int baseLevel = -1;
};

inline Decoded decodeEntry(std::string_view text)
{
    Decoded d;
    std::map<std::string, const model::CatalogueEntry*> byKey;
    for (const auto& e : model::commandCatalogue())
        byKey[std::string(e.key)] = &e;

    std::vector<std::pair<bool, std::string>> changes;
    bool inBlock = false;
    bool closed = false;
    size_t pos = 0;
    while (pos < text.size()) {
        const size_t end = text.find("\r\n", pos);
        if (end == std::string_view::npos) {
            d.error = "text does not end with CR LF";
            return d;
        }
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 2;
        if (line.find_first_of("\r\n") != std::string_view::npos) {
            d.error = "bare line break inside a line";
            return d;
        }
        if (closed) {
            d.error = "text after the closing brace";
            return d;
        }
        if (!inBlock) {
            inBlock = line == "{";
            continue;
        }
        if (line == "}") {
            closed = true;
            continue;
        }
        if (line == "// this addCmd shouldn't happen")
            continue;
        const size_t eq = line.find(" = ");
        if (line.empty() || line[0] != '\t' || eq == std::string_view::npos) {
            d.error = "malformed setting: " + std::string(line);
            return d;
        }
        const std::string keyword(line.substr(1, eq - 1));
        const std::string value(line.substr(eq + 3));
        if (keyword == "baseLevel") {
            d.baseLevel = std::stoi(value);
        } else if (keyword == "password") {
        } else if (keyword == "addAdminCmd" || keyword == "addCmd" || keyword == "denyAdminCmd" ||
                   keyword == "denyCmd") {
            const auto it = byKey.find(value);
            if (it == byKey.end()) {
                d.error = "unknown command " + value;
                return d;
            }
            const bool add = keyword.starts_with("add");
            if (keyword.ends_with("AdminCmd") != it->second->isAdmin) {
                d.error = "admin keyword mismatch for " + value;
                return d;
            }
            changes.emplace_back(add, value);
            if (it->second->level != 0)
                ++(add ? d.linesPerLevel[it->second->level].first : d.linesPerLevel[it->second->level].second);
        } else {
            d.error = "unknown keyword " + keyword;
            return d;
        }
    }
    if (!closed || d.baseLevel < 0) {
        d.error = "missing closing brace or base level";
        return d;
    }
    for (const auto& [key, e] : byKey)
        if ((e->level == 0 && e->defaultOn) || (d.baseLevel & e->level))
            d.granted.insert(key);
    for (const auto& [add, key] : changes)
        add ? (void)d.granted.insert(key) : (void)d.granted.erase(key);
    return d;
}

} // namespace decoder
