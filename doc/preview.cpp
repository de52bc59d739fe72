#include "preview.h"

#include <text_diff.h>

#include <algorithm>
#include <set>

namespace doc {

namespace {

std::string numbered(int line)
{
    std::string n = line > 0 ? std::to_string(line) : std::string();
    return std::string(n.size() < 5 ? 5 - n.size() : 0, ' ') + n;
}

std::string visible(std::string_view line)
{
    if (line.ends_with("\r\n"))
        return std::string(line.substr(0, line.size() - 2)) + "\u240D\u240A";
    if (line.ends_with('\n'))
        return std::string(line.substr(0, line.size() - 1)) + "\u240A";
    return std::string(line) + " [no line end]";
}

} // namespace

Preview preview(const AdminsDocument& d, std::string_view onDisk, std::string_view name)
{
    Preview out;
    out.refusal = d.saveRefusal();
    SavePlan plan = d.plan(onDisk);
    out.conflicts = plan.conflicts;
    if (!plan.conflicts.empty()) {
        std::vector<Answer> answers;
        for (const Conflict& c : plan.conflicts)
            answers.push_back({c.key(), true});
        plan = d.plan(onDisk, answers);
    }
    out.changes = plan.text != onDisk;

    // The lines of the disk's entries that are not, byte for byte, entries of the text last read or saved.
    std::set<std::string_view> known;
    for (const entry::Block& b : entry::read(d.savedText()).blocks)
        known.insert(std::string_view(d.savedText()).substr(b.begin, b.end - b.begin));
    std::vector<std::pair<int, int>> changedLines;
    for (const entry::Block& b : entry::read(onDisk).blocks) {
        const std::string_view bytes = onDisk.substr(b.begin, b.end - b.begin);
        if (known.contains(bytes))
            continue;
        const int first = 1 + static_cast<int>(std::count(onDisk.begin(), onDisk.begin() + b.begin, '\n'));
        changedLines.emplace_back(first, first + static_cast<int>(std::count(bytes.begin(), bytes.end() - 1, '\n')));
    }
    const auto byOther = [&changedLines](int line) {
        return line > 0 && std::any_of(changedLines.begin(), changedLines.end(), [line](const auto& r) {
                   return r.first <= line && line <= r.second;
               });
    };

    const std::vector<entry::DiffHunk> hunks = entry::diffHunks(onDisk, plan.text);
    if (hunks.empty())
        return out;
    out.text.append("--- ")
        .append(name)
        .append(" (on disk now)\n+++ ")
        .append(name)
        .append(" (as Save would write it)\n");
    for (const entry::DiffHunk& h : hunks) {
        out.text += "@@ -" + std::to_string(h.oldStart) + "," + std::to_string(h.oldCount) + " +" +
            std::to_string(h.newStart) + "," + std::to_string(h.newCount) + " @@\n";
        for (const entry::DiffLine& l : h.lines) {
            out.text += numbered(l.oldLine) + " " + numbered(l.newLine) + " " + l.kind + " " + visible(l.text);
            if (byOther(l.oldLine))
                out.text += "  \u25C0 changed by another program";
            out.text += "\n";
        }
    }
    return out;
}

} // namespace doc
