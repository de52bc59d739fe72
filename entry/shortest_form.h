#pragma once

// The shortest form of an entry's command lines: for each level, whether it is
// written as additions outside the level or as the level plus denials. One walk
// decides it; the composer writes its lines from the walk and the reader counts
// them through it, so the two cannot disagree about what "shortest" means.

#include <catalogue.h>

#include <bit>
#include <cstddef>
#include <cstdint>
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

// A set of commands by their position in a list of at most 128, as two words,
// so that a level's commands are counted with a few word operations. Like an
// int, it holds nothing until it is given a value: CommandMask m{} is empty.
struct CommandMask {
    static constexpr std::size_t kCapacity = 128;
    std::uint64_t words[2]; // positions 0 to 63, then 64 to 127

    static CommandMask of(const model::CommandSet& set)
    {
        static_assert(model::kCommandCount <= kCapacity);
        static const model::CommandSet kLow(~std::uint64_t{0});
        return {{(set & kLow).to_ullong(), (set >> 64).to_ullong()}};
    }
    void set(std::size_t i) { words[i / 64] |= std::uint64_t{1} << (i % 64); }
    bool has(std::size_t i) const { return ((words[i / 64] >> (i % 64)) & 1) != 0; }
    CommandMask operator&(CommandMask m) const { return {{words[0] & m.words[0], words[1] & m.words[1]}}; }
    CommandMask operator~() const { return {{~words[0], ~words[1]}}; }
    // Without a popcount instruction to rely on, a few shifts and masks beat
    // the library's call.
    int count() const { return (words[0] != 0 ? bits(words[0]) : 0) + (words[1] != 0 ? bits(words[1]) : 0); }
    static int bits(std::uint64_t x)
    {
        x -= (x >> 1) & 0x5555555555555555ULL;
        x = (x & 0x3333333333333333ULL) + ((x >> 2) & 0x3333333333333333ULL);
        x = (x + (x >> 4)) & 0x0F0F0F0F0F0F0F0FULL;
        return static_cast<int>((x * 0x0101010101010101ULL) >> 56);
    }
    // Calls f(i) for every position in the set, in ascending order.
    template <class F>
    void forEach(F&& f) const
    {
        for (std::uint64_t w = words[0]; w != 0; w &= w - 1)
            f(static_cast<std::size_t>(std::countr_zero(w)));
        for (std::uint64_t w = words[1]; w != 0; w &= w - 1)
            f(64 + static_cast<std::size_t>(std::countr_zero(w)));
    }
};

// What the shortest form needs to know of one command.
struct CommandFacts {
    std::string_view key;
    int level = 0;
    bool defaultOn = false;
    bool isAdmin = false;
};

// A list of commands as the walk sees it: its runs and the sets each pass of
// the walk takes. A run ends where the next command's level differs from the
// level the run is judged at, which is the level of the command that follows
// the previous run (0 for the first run): in a list that starts with level 0
// and keeps each level together, as the catalogue does, that is one run per
// level.
class CommandRuns {
public:
    struct Run {
        int level;
        int size;             // the commands of the run that are off by default
        CommandMask optional; // and which they are
    };

    // From the facts of the list's first min(n, 128) commands; factsOf(i) gives
    // those of command i.
    template <class FactsOf>
    CommandRuns(std::size_t n, FactsOf&& factsOf)
    {
        n = n < CommandMask::kCapacity ? n : CommandMask::kCapacity;
        int groupLevel = 0;
        Run run{0, 0, {}};
        CommandFacts next = n > 0 ? factsOf(0) : CommandFacts{};
        for (std::size_t i = 0; i < n; ++i) {
            const CommandFacts c = next;
            keyBytes_ += c.key.size();
            if (!c.defaultOn) {
                run.optional.set(i);
                ++run.size;
            }
            if (!c.isAdmin)
                plain_.set(i);
            if (c.defaultOn)
                defaults_.set(i);
            if (c.level == 0 && c.isAdmin && !c.defaultOn)
                zeroAdmin_.set(i);
            if (i + 1 < n)
                next = factsOf(i + 1);
            if (i + 1 < n && next.level == groupLevel)
                continue;
            run.level = groupLevel;
            runs_[runCount_++] = run;
            run = {0, 0, {}};
            groupLevel = i + 1 < n ? next.level : 0;
        }
        size_ = n;
    }

    std::span<const Run> runs() const { return {runs_, runCount_}; }
    CommandMask plain() const { return plain_; }         // not admin commands
    CommandMask defaults() const { return defaults_; }   // on by default
    CommandMask zeroAdmin() const { return zeroAdmin_; } // admin commands of level 0 off by default
    std::size_t size() const { return size_; }
    std::size_t keyBytes() const { return keyBytes_; } // of all the list's keys together

private:
    Run runs_[CommandMask::kCapacity]; // the first runCount_ of them
    std::size_t runCount_ = 0;
    std::size_t size_ = 0;
    std::size_t keyBytes_ = 0;
    CommandMask plain_{}, defaults_{}, zeroAdmin_{};
};

// Walks the list and calls sink.add(commands, count) or sink.deny(commands,
// count) with the commands of each group of command lines of the shortest
// form, in the order an entry lists them: the runs' lines by ascending level,
// then the denials of default commands that are off, then the admin commands
// of level 0 that are off by default. `count` is the number of commands in the
// set; within a set, an entry lists them in list order. Returns `baseLevel`
// plus the levels that count.
template <class Sink>
int shortestForm(const CommandRuns& list, CommandMask granted, int baseLevel, Sink&& sink)
{
    for (const CommandRuns::Run& run : list.runs()) {
        const CommandMask added = granted & run.optional;
        const int addedCount = added.count();
        const LevelForm form = levelForm(addedCount, run.size - addedCount);
        if (form != LevelForm::Additions)
            baseLevel += run.level;
        if (form == LevelForm::Additions)
            sink.add(added, addedCount);
        else if (form == LevelForm::LevelAndDenials)
            sink.deny(run.optional & ~granted, run.size - addedCount);
    }

    // Default commands that were turned off, after all run lines.
    const CommandMask defaultsOff = list.defaults() & ~granted;
    sink.deny(defaultsOff, defaultsOff.count());

    // Admin commands of level 0 that are off by default: without any level
    // they are granted one by one, with a level the ones off are denied.
    if (baseLevel != 0) {
        const CommandMask off = list.zeroAdmin() & ~granted;
        sink.deny(off, off.count());
    } else {
        const CommandMask on = list.zeroAdmin() & granted;
        sink.add(on, on.count());
    }
    return baseLevel;
}

// The number of command lines of the shortest form of a granted set of the
// catalogue's commands, comment lines above addCmd lines included.
int shortestCommandLines(const model::CommandSet& granted);

} // namespace entry
