#include "catalogue.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace model {

namespace {

constexpr std::array<CatalogueEntry, kCommandCount> kCatalogue{{
    {0, "Say", "say", true, false},
    {0, "Say to Team", "say_team", true, false},
    {0, "Mapvoting", "mapvote", true, false},
    {0, "Grappling Hook", "hook", true, false},
    {0, "Jetpack", "jetpack", true, false},
    {1, "admin_lookingat", "lookingat", false, true},
    {2, "admin_timelimit", "timelimit", false, true},
    {2, "admin_map", "map", false, true},
    {4, "admin_reload", "reload", false, true},
    {8, "Jetpack Override", "jetpack_override", false, true},
    {16, "admin_pass", "pass", false, true},
    {32, "admin_godself", "godself", false, true},
    {32, "admin_noclipself", "noclipself", false, true},
    {32, "admin_giveweaponsself", "giveweaponsself", false, true},
    {64, "admin_ctsay", "ctsay", false, true},
    {64, "admin change name to", "vantorelname", false, true},
    {128, "admin_slap", "slap", false, true},
    {128, "admin_slay", "slay", false, true},
    {128, "admin_kick", "kick", false, true},
    {256, "admin_ban", "ban", false, true},
    {512, "admin_noclip", "noclip", false, true},
    {512, "admin_giveweapons", "giveweapons", false, true},
    {1024, "admin_keyvalue", "keyvalue", false, true},
    {1024, "+grabent", "grabent", false, true},
    {1024, "+grabphys", "grabphys", false, true},
    {1024, "e_physgun_lengthen", "e_physgun_lengthen", false, true},
    {1024, "e_physgun_shorten", "e_physgun_shorten", false, true},
    {1024, "+copyent", "copyent", false, true},
    {1024, "+copyent2", "copyent2", false, true},
    {1024, "+rotate", "rotate", false, true},
    {1024, "e_rotate", "e_rotate", false, true},
    {1024, "e_kill", "e_kill", false, true},
    {1024, "e_freeze", "e_freeze", false, true},
    {1024, "e_unfreeze", "e_unfreeze", false, true},
    {1024, "e_drop", "e_drop", false, true},
    {1024, "e_stack", "e_stack", false, true},
    {1024, "e_setent", "e_setent", false, true},
    {1024, "e_addconstraint", "e_addconstraint", false, true},
    {1024, "e_hinge", "e_hinge", false, true},
    {1024, "e_delconstraints", "e_delconstraints", false, true},
    {1024, "e_wheel", "e_wheel", false, true},
    {1024, "e_thruster", "e_thruster", false, true},
    {1024, "e_delthruster", "e_delthruster", false, true},
    {1024, "e_delthruster_group", "e_delthruster_group", false, true},
    {1024, "e_delthrusters", "e_delthrusters", false, true},
    {1024, "e_spawnprop", "e_spawnprop", false, true},
    {1024, "e_spawnjeep", "e_spawnjeep", false, true},
    {1024, "e_spawnboat", "e_spawnboat", false, true},
    {1024, "e_spawncan_square", "e_spawncan_square", false, true},
    {1024, "e_spawncan", "e_spawncan", false, true},
    {1024, "e_spawnball", "e_spawnball", false, true},
    {1024, "e_spawndoll", "e_spawndoll", false, true},
    {1024, "e_spawncount", "e_spawncount", false, true},
    {1024, "e_removespawned", "e_removespawned", false, true},
    {1024, "e_render", "e_render", false, true},
    {1024, "e_setview", "e_setview", false, true},
    {1024, "e_resetview", "e_resetview", false, true},
    {1024, "e_fire", "e_fire", false, true},
    {1024, "e_fire_self", "e_fire_self", false, true},
    {1024, "e_addoutput", "e_addoutput", false, true},
    {1024, "e_getmass", "e_getmass", false, true},
    {1024, "e_getinertia", "e_getinertia", false, true},
    {1024, "e_setmass", "e_setmass", false, true},
    {1024, "e_setinertia", "e_setinertia", false, true},
    {1024, "e_push", "e_push", false, true},
    {2048, "Buy Exempt (Free Buying)", "buyexempt", false, true},
    {2048, "Free credgive", "credgive", false, true},
    {4096, "admin_ai", "ai", false, true},
    {8192, "admin_ammo", "ammo", false, true},
    {8192, "admin_god", "god", false, true},
    {8192, "admin_render", "render", false, true},
    {8192, "admin_exec", "exec", false, true},
    {8192, "admin_execall", "execall", false, true},
    {8192, "admin_send", "send", false, true},
    {8192, "Whois privilege", "whoisprivilege", false, true},
    {16384, "Map Vote Admin", "mapvoteadmin", false, true},
    {32768, "admin_addadmin", "addadmin", false, true},
    {65536, "admin_rcon", "rcon", false, true},
}};

// An open-addressing table of the keys: one hash of the key looked up, then at
// most a few exact comparisons, and no allocation. It is built by the compiler.
class KeyIndex {
public:
    constexpr KeyIndex()
    {
        slots_.fill(kEmpty);
        for (std::size_t i = 0; i < kCatalogue.size(); ++i) {
            std::size_t s = hash(kCatalogue[i].key);
            while (slots_[s] != kEmpty)
                s = (s + 1) % kSlots;
            slots_[s] = static_cast<std::uint8_t>(i);
        }
    }

    constexpr std::optional<std::size_t> find(std::string_view key) const
    {
        for (std::size_t s = hash(key);; s = (s + 1) % kSlots) {
            const std::uint8_t i = slots_[s];
            if (i == kEmpty)
                return std::nullopt;
            if (kCatalogue[i].key == key)
                return i;
        }
    }

private:
    static constexpr std::size_t kSlots = 256; // over three times the keys, so that probes stay short
    static constexpr std::uint8_t kEmpty = 0xFF;

    // The length and four characters tell the keys apart well enough for a
    // few probes at most, and cost the same for every key.
    static constexpr std::size_t hash(std::string_view key)
    {
        if (key.empty())
            return 0;
        const auto at = [key](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(key[i])); };
        const std::size_t n = key.size();
        const std::uint32_t h = (static_cast<std::uint32_t>(n) * 0x9E3779B1U) ^ (at(0) * 0x85EBCA6BU) ^
            (at(n / 2) * 0xC2B2AE35U) ^ (at(n - 1) * 0x27D4EB2FU) ^ (at(n > 1 ? 1 : 0) * 0x165667B1U);
        return (h >> 24) % kSlots;
    }

    std::array<std::uint8_t, kSlots> slots_{};
};

} // namespace

std::optional<std::size_t> commandIndex(std::string_view key)
{
    static constexpr KeyIndex index;
    return index.find(key);
}

std::span<const CatalogueEntry> commandCatalogue()
{
    return kCatalogue;
}

CommandSet defaultCommands()
{
    CommandSet set;
    for (size_t i = 0; i < kCatalogue.size(); ++i)
        set[i] = kCatalogue[i].defaultOn;
    return set;
}

void loadCatalogue(Permissions& p)
{
    p.AddRoot();
    for (int i = 0; i < kLevelCount; ++i)
        p.AddLevel(1 << i);

    // The level-0 commands are all on by default: once they stand, their
    // node's tick is derived from them. The others are off, as their level
    // nodes are, so no further derivation is needed.
    const auto add = [&p](const CatalogueEntry& e) { p.AddCommand(e.level, e.text, e.key, e.defaultOn, e.isAdmin); };
    const auto levelled = std::ranges::find_if(kCatalogue, [](const CatalogueEntry& e) { return e.level != 0; });
    std::for_each(kCatalogue.begin(), levelled, add);
    CheckParents(*p.tree.item(p.tree.Count()));
    std::for_each(levelled, kCatalogue.end(), add);

    p.tree.item(1)->setExpanded(true);
    p.tree.item(2)->setExpanded(true);
    for (Node* level : p.colLevels)
        level->setExpanded(true);
    p.tree.item(1)->EnsureVisible();
}

} // namespace model
