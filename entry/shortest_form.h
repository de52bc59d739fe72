#pragma once

// The shortest form of an entry's command lines: for each level, whether it is
// written as additions outside the level or as the level plus denials. The
// composer writes from it and the reader counts lines from it, so the two
// cannot disagree about what "shortest" means.

#include <catalogue.h>

#include <cstddef>
#include <span>
#include <string_view>

namespace entry {

// How one run of commands of one level is written.
enum class LevelForm {
    Whole,           // nothing withheld: the level counts in baseLevel, no line
    Additions,       // the granted commands one by one; the level does not count
    LevelAndDenials, // the level counts, the withheld commands are denied
};

// Commands that are on by default take no part; a tie is written as additions.
constexpr LevelForm levelForm(int added, int withheld)
{
    if (withheld == 0)
        return LevelForm::Whole;
    return added <= withheld ? LevelForm::Additions : LevelForm::LevelAndDenials;
}

// What the shortest form needs to know of one command, as the catalogue
// states it.
struct CommandFacts {
    std::string_view key;
    int level = 0;
    bool defaultOn = false;
    bool isAdmin = false;
    bool levelIsZero = false; // the level is written as exactly "0"
};

// The plugin's commands, in catalogue order.
std::span<const CommandFacts> catalogueFacts();

// Walks the commands, which stand in runs of one level each, and calls
// sink.add(i) or sink.deny(i) for every command line of the shortest form, in
// the order an entry lists them: the runs' lines by ascending level, then the
// denials of default commands that are off, then the admin commands of level 0
// that are off by default. `commands` tells, for command i, checked(i) (it is
// granted), defaultOn(i), isAdmin(i), level(i) and levelIsZero(i).
// Returns `baseLevel` plus the levels that count.
template <class Commands, class Sink>
int shortestForm(const Commands& commands, int baseLevel, Sink&& sink)
{
    const std::size_t n = commands.size();
    int groupLevel = 0;
    std::size_t runStart = 0;
    int added = 0;
    int withheld = 0;
    bool defaultsOff = false;   // a default command is off: pass two has lines
    bool zeroAdminsOff = false; // an admin command of level 0 is off by default: pass three may have lines
    for (std::size_t i = 0; i < n; ++i) {
        if (!commands.defaultOn(i)) {
            ++(commands.checked(i) ? added : withheld);
            zeroAdminsOff = zeroAdminsOff || (commands.levelIsZero(i) && commands.isAdmin(i));
        } else if (!commands.checked(i)) {
            defaultsOff = true;
        }
        const int nextLevel = i + 1 == n ? 0 : commands.level(i + 1);
        if (i + 1 != n && nextLevel == groupLevel)
            continue;
        // The run is counted first and walked again for the shorter side,
        // which gives the lines in catalogue order without collecting them.
        const LevelForm form = levelForm(added, withheld);
        if (form != LevelForm::Additions)
            baseLevel += groupLevel;
        if (form != LevelForm::Whole) {
            const bool grant = form == LevelForm::Additions;
            for (std::size_t j = runStart; j <= i; ++j)
                if (!commands.defaultOn(j) && commands.checked(j) == grant)
                    grant ? sink.add(j) : sink.deny(j);
        }
        groupLevel = nextLevel;
        runStart = i + 1;
        added = 0;
        withheld = 0;
    }

    // Default commands that were turned off, after all run lines.
    for (std::size_t i = 0; defaultsOff && i < n; ++i)
        if (commands.defaultOn(i) && !commands.checked(i))
            sink.deny(i);

    // Admin commands of level 0 that are off by default: without any level
    // they are granted one by one, with a level the ones off are denied.
    for (std::size_t i = 0; zeroAdminsOff && i < n; ++i) {
        if (!commands.levelIsZero(i) || !commands.isAdmin(i) || commands.defaultOn(i))
            continue;
        if (baseLevel != 0 && !commands.checked(i))
            sink.deny(i);
        else if (baseLevel == 0 && commands.checked(i))
            sink.add(i);
    }
    return baseLevel;
}

// The number of command lines of the shortest form of a granted set of the
// catalogue's commands, comment lines above addCmd lines included.
int shortestCommandLines(const model::CommandSet& granted);

} // namespace entry
