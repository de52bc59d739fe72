#include "file_merge.h"

#include "admins_file.h"

#include <algorithm>
#include <unordered_map>

namespace entry {

namespace {

std::string_view bytesOf(std::string_view text, const Block& b)
{
    return text.substr(b.begin, b.end - b.begin);
}

bool sameIdentity(const Block& a, const Block& b)
{
    return a.type == b.type && a.identity == b.identity;
}

// One entry as read paired with what the window made of it: `read` null for an entry the window added, `edited`
// null for one it removed.
struct Pair {
    const Block* read = nullptr;
    const Block* edited = nullptr;
};

// Pairs the entries of two readings, which the window's edits never reorder. Entries whose bytes stand once in each
// are anchors; between two anchors, entries pair by type and identity in order, then the rest by position.
std::vector<Pair> pairEntries(std::string_view asRead, const ReadResult& r, std::string_view edited,
                              const ReadResult& e)
{
    std::unordered_map<std::string_view, int> inRead, inEdited;
    std::unordered_map<std::string_view, std::size_t> whereEdited;
    for (const Block& b : r.blocks)
        ++inRead[bytesOf(asRead, b)];
    for (std::size_t j = 0; j < e.blocks.size(); ++j)
        if (const std::string_view bytes = bytesOf(edited, e.blocks[j]); ++inEdited[bytes] == 1)
            whereEdited[bytes] = j;
    std::vector<std::pair<std::size_t, std::size_t>> anchors;
    for (std::size_t i = 0; i < r.blocks.size(); ++i) {
        const std::string_view bytes = bytesOf(asRead, r.blocks[i]);
        const auto found = inEdited.find(bytes);
        if (inRead[bytes] == 1 && found != inEdited.end() && found->second == 1 &&
            (anchors.empty() || whereEdited[bytes] > anchors.back().second))
            anchors.emplace_back(i, whereEdited[bytes]);
    }
    anchors.emplace_back(r.blocks.size(), e.blocks.size());

    std::vector<Pair> pairs;
    std::size_t i0 = 0, j0 = 0;
    for (const auto& [i1, j1] : anchors) {
        std::vector<const Block*> partner(i1 - i0, nullptr);
        std::vector<bool> taken(j1 - j0, false);
        for (std::size_t i = i0, from = j0; i < i1; ++i)
            for (std::size_t j = from; j < j1; ++j)
                if (sameIdentity(r.blocks[i], e.blocks[j])) {
                    partner[i - i0] = &e.blocks[j];
                    taken[j - j0] = true;
                    from = j + 1;
                    break;
                }
        std::size_t next = j0; // the rest, by position
        for (std::size_t i = i0; i < i1; ++i) {
            while (partner[i - i0] == nullptr && next < j1 && taken[next - j0])
                ++next;
            if (partner[i - i0] == nullptr && next < j1) {
                partner[i - i0] = &e.blocks[next];
                taken[next++ - j0] = true;
            }
            pairs.push_back({&r.blocks[i], partner[i - i0]});
        }
        for (std::size_t j = j0; j < j1; ++j)
            if (!taken[j - j0])
                pairs.push_back({nullptr, &e.blocks[j]});
        i0 = i1 + 1;
        j0 = j1 + 1;
    }
    return pairs;
}

// A change to make on disk: `target` (an entry on disk, or null to append) replaced by `with` (null: removed).
struct Change {
    const Block* target = nullptr;
    const Block* with = nullptr;
};

class Merger {
public:
    Merger(std::string_view asRead, std::string_view edited, std::string_view onDisk,
           const std::vector<MergeDecision>& decided)
        : asRead_(asRead),
          edited_(edited),
          onDisk_(onDisk),
          read_(read(asRead)),
          inWindow_(read(edited)),
          disk_(read(onDisk)),
          decided_(decided)
    {
    }

    Merged run()
    {
        for (const Pair& p : pairEntries(asRead_, read_, edited_, inWindow_)) {
            if (p.read != nullptr && p.edited != nullptr && bytesOf(asRead_, *p.read) == bytesOf(edited_, *p.edited))
                continue;
            // An entry the window renamed keeps its place while the disk has its old entry as read and nothing of
            // its new identity; otherwise the old one is removed and the new one added, each on its own.
            if (p.read != nullptr && p.edited != nullptr && !sameIdentity(*p.read, *p.edited) &&
                !(clean(*p.read) && entriesOf(disk_, p.edited->type, p.edited->identity).empty())) {
                apply(p.read, nullptr);
                apply(nullptr, p.edited);
            } else {
                apply(p.read, p.edited);
            }
        }
        Merged merged;
        merged.conflicts = std::move(conflicts_);
        if (!merged.conflicts.empty())
            return merged;
        // From the last entry on disk to the first, so that each change finds the bytes before it where they were.
        std::stable_sort(changes_.begin(), changes_.end(), [](const Change& a, const Change& b) {
            return (a.target ? a.target->begin + 1 : 0) > (b.target ? b.target->begin + 1 : 0);
        });
        merged.text = std::string(onDisk_);
        for (const Change& c : changes_) {
            if (c.target != nullptr && c.with != nullptr)
                merged.text = replaceEntry(merged.text, *c.target, *c.with).text;
            else if (c.target != nullptr)
                merged.text = removeEntry(merged.text, *c.target).text;
        }
        for (const Change& c : changes_) // appended in the window's order: they were sorted last, stably
            if (c.target == nullptr)
                merged.text = appendEntry(merged.text, *c.with).text;
        return merged;
    }

private:
    // The disk still has the entry as it was read, once.
    bool clean(const Block& read) const
    {
        const auto there = entriesOf(disk_, read.type, read.identity);
        return there.size() == 1 && bytesOf(onDisk_, *there.front()) == bytesOf(asRead_, read);
    }

    // Re-applies one edit of the window (`read` null: an addition; `edited` null: a removal) to the disk.
    void apply(const Block* read, const Block* edited)
    {
        if ((read == nullptr || settled(*read)) && (edited == nullptr || settled(*edited)))
            return;
        const Block& key = read != nullptr ? *read : *edited;
        const auto there = entriesOf(disk_, key.type, key.identity);
        const Block* target = there.empty() ? nullptr : there.front();
        bool once = there.size() <= 1;
        // An identity that stood in several entries as read: the entry's place among them finds it on disk while
        // the disk has as many; otherwise which one it was cannot be told, and it is asked.
        if (const auto asRead =
                read != nullptr ? entriesOf(read_, read->type, read->identity) : std::vector<const Block*>();
            asRead.size() > 1) {
            once = there.size() == asRead.size();
            if (once)
                target =
                    there[static_cast<std::size_t>(std::find(asRead.begin(), asRead.end(), read) - asRead.begin())];
        }
        const std::string_view readBytes = read != nullptr ? bytesOf(asRead_, *read) : std::string_view();
        const std::string_view windowBytes = edited != nullptr ? bytesOf(edited_, *edited) : std::string_view();
        const std::string_view diskBytes = target != nullptr ? bytesOf(onDisk_, *target) : std::string_view();
        once = once && (target == nullptr || !targeted(target));
        if (once && diskBytes == windowBytes)
            return; // the disk made the same change, or has it already
        if (!once || diskBytes != readBytes) {
            const auto answer = std::find_if(decided_.begin(), decided_.end(), [&](const MergeDecision& d) {
                return d.inWindow == windowBytes && d.onDisk == diskBytes;
            });
            if (answer == decided_.end()) {
                const Block& named = edited != nullptr ? *edited : key;
                conflicts_.push_back({named.type, std::string(named.identity), std::string(readBytes),
                                      std::string(windowBytes), std::string(diskBytes),
                                      edited != nullptr ? edited->line : 0, target != nullptr ? target->line : 0});
                return;
            }
            if (!answer->keepWindow || (target == nullptr && edited == nullptr))
                return;
        }
        // An entry that stands on disk more than once is changed once, in its first place.
        if ((target != nullptr || edited != nullptr) && (target == nullptr || !targeted(target)))
            changes_.push_back({target, edited});
    }

    bool targeted(const Block* target) const
    {
        return std::any_of(changes_.begin(), changes_.end(), [target](const Change& c) { return c.target == target; });
    }

    // Nothing is to be done on disk for the identity of `b`: the window holds the same entries of it, byte for byte,
    // as it read, or as the disk holds. (The pairing can see a removal and an addition where the window renamed an
    // entry and added another of the old identity.)
    bool settled(const Block& b) const
    {
        const auto inWindow = entriesOf(inWindow_, b.type, b.identity);
        return sameBytes(edited_, inWindow, asRead_, entriesOf(read_, b.type, b.identity)) ||
            sameBytes(edited_, inWindow, onDisk_, entriesOf(disk_, b.type, b.identity));
    }

    static bool sameBytes(std::string_view a, const std::vector<const Block*>& as, std::string_view b,
                          const std::vector<const Block*>& bs)
    {
        return std::equal(as.begin(), as.end(), bs.begin(), bs.end(),
                          [&](const Block* x, const Block* y) { return bytesOf(a, *x) == bytesOf(b, *y); });
    }

    std::string_view asRead_, edited_, onDisk_;
    ReadResult read_, inWindow_, disk_;
    const std::vector<MergeDecision>& decided_;
    std::vector<Change> changes_;
    std::vector<MergeConflict> conflicts_;
};

} // namespace

Merged mergeEdits(std::string_view asRead, std::string_view edited, std::string_view onDisk,
                  const std::vector<MergeDecision>& decided)
{
    if (onDisk == asRead)
        return {std::string(edited), {}};
    return Merger(asRead, edited, onDisk, decided).run();
}

} // namespace entry
