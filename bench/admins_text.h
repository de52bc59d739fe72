#pragma once

// A large admins file for the reading benchmarks: entries written by the composer from random tick states, with
// random identity types, identities (now and then malformed) and passwords.

#include <bulk_selection.h>
#include <composer.h>

#include <cstdint>
#include <random>
#include <string>

namespace bench {

inline std::string makeAdminsText(std::size_t entries, std::uint32_t seed)
{
    std::mt19937 rng(seed);
    const auto pick = [&rng](std::uint32_t n) { return static_cast<int>(rng() % n); };
    model::Permissions p;
    model::loadCatalogue(p);
    const auto catalogue = model::commandCatalogue();
    std::string text;
    for (std::size_t e = 0; e < entries; ++e) {
        // Each level wholly off, wholly on, or mixed, so that every way of writing a level occurs.
        model::CommandSet ticks;
        for (std::size_t i = 0; i < catalogue.size();) {
            const int mode = pick(3);
            const int level = catalogue[i].level;
            for (; i < catalogue.size() && catalogue[i].level == level; ++i)
                ticks[i] = mode == 1 || (mode == 2 && pick(2) == 1);
        }
        model::setCommands(p, ticks);

        const auto type = static_cast<entry::UserType>(pick(4));
        const std::string n = std::to_string(e);
        const bool malformed = pick(10) == 0;
        std::string id(entry::kDefaultIdentity);
        if (type == entry::UserType::IPAddress)
            id = std::to_string(pick(256)) + "." + std::to_string(pick(256)) + "." + std::to_string(e % 256) + "." +
                std::to_string(malformed ? 300 + pick(100) : pick(256));
        else if (type == entry::UserType::SteamID)
            id = (malformed ? "STEAM_1:" : "STEAM_0:") + std::to_string(pick(2)) + ":" + n;
        else if (type == entry::UserType::Name)
            id = "Player " + n;
        const std::string password = type != entry::UserType::Default && pick(4) == 0 ? "pw" + n : "";
        const entry::EntryInputs in{type, id, password.empty() ? 0 : 1, password};
        text += entry::composeEntry(p.colLevels, p.colCommands, in);
    }
    return text;
}

} // namespace bench
