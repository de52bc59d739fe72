#include "text_diff.h"

#include <algorithm>
#include <cstddef>
#include <unordered_map>

namespace entry {

namespace {

std::vector<std::string_view> linesOf(std::string_view text)
{
    std::vector<std::string_view> lines;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        lines.push_back(text.substr(at, next - at));
        at = next;
    }
    return lines;
}

// The shortest edit script between two runs of lines, found as Myers' linear-space algorithm finds it: the middle
// snake of the forward and backward searches splits the runs, and each half is solved alike. Lines of `a` and `b`
// not kept are marked changed.
class EditScript {
public:
    EditScript(const std::vector<std::string_view>& a, const std::vector<std::string_view>& b,
               std::vector<char>& changedA, std::vector<char>& changedB)
        : a_(a),
          b_(b),
          changedA_(changedA),
          changedB_(changedB),
          forward_(a.size() + b.size() + 3),
          backward_(a.size() + b.size() + 3),
          offset_(static_cast<std::ptrdiff_t>(b.size()) + 1)
    {
    }

    void compare(std::ptrdiff_t xoff, std::ptrdiff_t xlim, std::ptrdiff_t yoff, std::ptrdiff_t ylim)
    {
        while (xoff < xlim && yoff < ylim && same(xoff, yoff))
            ++xoff, ++yoff;
        while (xlim > xoff && ylim > yoff && same(xlim - 1, ylim - 1))
            --xlim, --ylim;
        if (xoff == xlim) {
            while (yoff < ylim)
                changedB_[static_cast<std::size_t>(yoff++)] = 1;
        } else if (yoff == ylim) {
            while (xoff < xlim)
                changedA_[static_cast<std::size_t>(xoff++)] = 1;
        } else {
            std::ptrdiff_t xmid = 0, ymid = 0;
            middle(xoff, xlim, yoff, ylim, xmid, ymid);
            compare(xoff, xmid, yoff, ymid);
            compare(xmid, xlim, ymid, ylim);
        }
    }

private:
    bool same(std::ptrdiff_t x, std::ptrdiff_t y) const
    {
        return a_[static_cast<std::size_t>(x)] == b_[static_cast<std::size_t>(y)];
    }
    std::ptrdiff_t& fd(std::ptrdiff_t d) { return forward_[static_cast<std::size_t>(d + offset_)]; }
    std::ptrdiff_t& bd(std::ptrdiff_t d) { return backward_[static_cast<std::size_t>(d + offset_)]; }

    void middle(std::ptrdiff_t xoff, std::ptrdiff_t xlim, std::ptrdiff_t yoff, std::ptrdiff_t ylim,
                std::ptrdiff_t& xmid, std::ptrdiff_t& ymid)
    {
        const std::ptrdiff_t dmin = xoff - ylim, dmax = xlim - yoff, fmid = xoff - yoff, bmid = xlim - ylim;
        std::ptrdiff_t fmin = fmid, fmax = fmid, bmin = bmid, bmax = bmid;
        const bool odd = ((fmid - bmid) & 1) != 0;
        fd(fmid) = xoff;
        bd(bmid) = xlim;
        for (;;) {
            if (fmin > dmin)
                fd(--fmin - 1) = -1;
            else
                ++fmin;
            if (fmax < dmax)
                fd(++fmax + 1) = -1;
            else
                --fmax;
            for (std::ptrdiff_t d = fmax; d >= fmin; d -= 2) {
                const std::ptrdiff_t tlo = fd(d - 1), thi = fd(d + 1);
                std::ptrdiff_t x = tlo < thi ? thi : tlo + 1, y = x - d;
                while (x < xlim && y < ylim && same(x, y))
                    ++x, ++y;
                fd(d) = x;
                if (odd && bmin <= d && d <= bmax && bd(d) <= x) {
                    xmid = x, ymid = y;
                    return;
                }
            }
            if (bmin > dmin)
                bd(--bmin - 1) = kFar;
            else
                ++bmin;
            if (bmax < dmax)
                bd(++bmax + 1) = kFar;
            else
                --bmax;
            for (std::ptrdiff_t d = bmax; d >= bmin; d -= 2) {
                const std::ptrdiff_t tlo = bd(d - 1), thi = bd(d + 1);
                std::ptrdiff_t x = tlo < thi ? tlo : thi - 1, y = x - d;
                while (xoff < x && yoff < y && same(x - 1, y - 1))
                    --x, --y;
                bd(d) = x;
                if (!odd && fmin <= d && d <= fmax && x <= fd(d)) {
                    xmid = x, ymid = y;
                    return;
                }
            }
        }
    }

    static constexpr std::ptrdiff_t kFar = std::ptrdiff_t{1} << 60;
    const std::vector<std::string_view>& a_;
    const std::vector<std::string_view>& b_;
    std::vector<char>& changedA_;
    std::vector<char>& changedB_;
    std::vector<std::ptrdiff_t> forward_, backward_;
    std::ptrdiff_t offset_;
};

// Lines that cannot, or had better not, take part in the search for the shortest script, as diff leaves them out:
// a line that the other text lacks is changed whatever the script; a line that the other text holds very often
// (more often than about the square root of its length) is left out only inside a run of lines left out, where it
// would only lead the search astray. 0 takes part, 1 is left out.
std::vector<char> leftOut(const std::vector<std::string_view>& lines, const std::vector<std::string_view>& other)
{
    std::unordered_map<std::string_view, std::ptrdiff_t> counts;
    for (const std::string_view l : other)
        ++counts[l];
    const std::ptrdiff_t end = static_cast<std::ptrdiff_t>(lines.size());
    std::ptrdiff_t many = 5;
    for (std::ptrdiff_t tem = end / 64; (tem >>= 2) > 0;)
        many *= 2;
    std::vector<char> discards(lines.size());
    for (std::ptrdiff_t i = 0; i < end; ++i) {
        const auto found = counts.find(lines[static_cast<std::size_t>(i)]);
        const std::ptrdiff_t matches = found == counts.end() ? 0 : found->second;
        discards[static_cast<std::size_t>(i)] = matches == 0 ? 1 : matches > many ? 2 : 0;
    }
    const auto at = [&discards](std::ptrdiff_t k) -> char& { return discards[static_cast<std::size_t>(k)]; };
    // A line held often is left out only in the middle of a run of lines left out, and not where it makes up much
    // of the run.
    for (std::ptrdiff_t i = 0; i < end; ++i) {
        if (at(i) == 2) {
            at(i) = 0;
            continue;
        }
        if (at(i) == 0)
            continue;
        std::ptrdiff_t j = i, provisional = 0;
        for (; j < end && at(j) != 0; ++j)
            provisional += at(j) == 2;
        while (j > i && at(j - 1) == 2)
            at(--j) = 0, --provisional;
        const std::ptrdiff_t length = j - i;
        if (provisional * 4 > length) {
            while (j > i)
                if (at(--j) == 2)
                    at(j) = 0;
        } else {
            std::ptrdiff_t minimum = 1;
            for (std::ptrdiff_t tem = length >> 2; (tem >>= 2) > 0;)
                minimum <<= 1;
            ++minimum;
            for (std::ptrdiff_t k = 0, consec = 0; k < length; ++k) {
                if (at(i + k) != 2)
                    consec = 0;
                else if (minimum == ++consec)
                    k -= consec; // back to the start of the subrun, to keep it all
                else if (minimum < consec)
                    at(i + k) = 0;
            }
            for (std::ptrdiff_t k = 0, consec = 0; k < length; ++k) {
                if (k >= 8 && at(i + k) == 1)
                    break;
                if (at(i + k) == 2)
                    consec = 0, at(i + k) = 0;
                else if (at(i + k) == 0)
                    consec = 0;
                else
                    ++consec;
                if (consec == 3)
                    break;
            }
            i += length - 1;
            for (std::ptrdiff_t k = 0, consec = 0; k < length; ++k) {
                if (k >= 8 && at(i - k) == 1)
                    break;
                if (at(i - k) == 2)
                    consec = 0, at(i - k) = 0;
                else if (at(i - k) == 0)
                    consec = 0;
                else
                    ++consec;
                if (consec == 3)
                    break;
            }
        }
    }
    for (char& d : discards)
        d = d != 0 ? 1 : 0;
    return discards;
}

// Of the equally short scripts, the one whose changes stand together: each run of changed lines of either side is
// slid back to merge with the run before it, then forward as far as its lines allow, then back to where the other
// side's changes meet it, so that a change reads as one block where the lines permit. `changed` and `other` have a
// false entry before their first and after their last line.
void shiftBoundaries(const std::vector<std::string_view>& lines, std::vector<char>& changedPadded,
                     const std::vector<char>& otherPadded)
{
    char* changed = changedPadded.data() + 1;
    const char* other = otherPadded.data() + 1;
    const std::ptrdiff_t end = static_cast<std::ptrdiff_t>(lines.size());
    const auto same = [&lines](std::ptrdiff_t a, std::ptrdiff_t b) {
        return lines[static_cast<std::size_t>(a)] == lines[static_cast<std::size_t>(b)];
    };
    std::ptrdiff_t i = 0, j = 0;
    for (;;) {
        while (i < end && !changed[i]) {
            while (other[j++])
                continue;
            ++i;
        }
        if (i == end)
            break;
        std::ptrdiff_t start = i;
        while (changed[++i])
            continue;
        while (other[j])
            ++j;
        std::ptrdiff_t runLength = 0, corresponding = 0;
        do {
            runLength = i - start;
            while (start > 0 && same(start - 1, i - 1)) {
                changed[--start] = 1;
                changed[--i] = 0;
                while (changed[start - 1])
                    --start;
                while (other[--j])
                    continue;
            }
            corresponding = other[j - 1] ? i : end;
            while (i != end && same(start, i)) {
                changed[start++] = 0;
                changed[i++] = 1;
                while (changed[i])
                    ++i;
                while (other[++j])
                    corresponding = i;
            }
        } while (runLength != i - start);
        while (corresponding < i) {
            changed[--start] = 1;
            changed[--i] = 0;
            while (other[--j])
                continue;
        }
    }
}

} // namespace

std::vector<DiffHunk> diffHunks(std::string_view before, std::string_view after, int context)
{
    const std::vector<std::string_view> a = linesOf(before), b = linesOf(after);
    // Each side's lines marked changed, with an unchanged one before the first and after the last.
    std::vector<char> changedA(a.size() + 2), changedB(b.size() + 2);
    {
        // Lines equal at both ends are set aside first, but for as many as a hunk shows around a change, as diff
        // does; of the rest, the search runs over the lines that take part, and those left out are changed.
        std::size_t head = 0, tail = 0;
        while (head < a.size() && head < b.size() && a[head] == b[head])
            ++head;
        while (tail < a.size() - head && tail < b.size() - head && a[a.size() - 1 - tail] == b[b.size() - 1 - tail])
            ++tail;
        const std::size_t horizon = static_cast<std::size_t>(std::max(context, 0));
        head -= std::min(head, horizon);
        tail -= std::min(tail, horizon);
        const std::vector<std::string_view> midA(a.begin() + static_cast<std::ptrdiff_t>(head),
                                                 a.end() - static_cast<std::ptrdiff_t>(tail)),
            midB(b.begin() + static_cast<std::ptrdiff_t>(head), b.end() - static_cast<std::ptrdiff_t>(tail));
        const std::vector<char> outA = leftOut(midA, midB), outB = leftOut(midB, midA);
        std::vector<std::string_view> inA, inB;
        std::vector<std::size_t> whereA, whereB;
        for (std::size_t i = 0; i < midA.size(); ++i)
            if (outA[i] == 0)
                inA.push_back(midA[i]), whereA.push_back(head + i);
            else
                changedA[head + i + 1] = 1;
        for (std::size_t j = 0; j < midB.size(); ++j)
            if (outB[j] == 0)
                inB.push_back(midB[j]), whereB.push_back(head + j);
            else
                changedB[head + j + 1] = 1;
        std::vector<char> x(inA.size()), y(inB.size());
        EditScript(inA, inB, x, y)
            .compare(0, static_cast<std::ptrdiff_t>(inA.size()), 0, static_cast<std::ptrdiff_t>(inB.size()));
        for (std::size_t i = 0; i < x.size(); ++i)
            changedA[whereA[i] + 1] = x[i];
        for (std::size_t j = 0; j < y.size(); ++j)
            changedB[whereB[j] + 1] = y[j];
    }
    shiftBoundaries(a, changedA, changedB);
    shiftBoundaries(b, changedB, changedA);
    std::vector<bool> keptA(a.size()), keptB(b.size());
    for (std::size_t i = 0; i < a.size(); ++i)
        keptA[i] = !changedA[i + 1];
    for (std::size_t j = 0; j < b.size(); ++j)
        keptB[j] = !changedB[j + 1];

    // The whole script, removals before additions within a change.
    std::vector<DiffLine> script;
    for (std::size_t i = 0, j = 0; i < a.size() || j < b.size();) {
        if (i < a.size() && j < b.size() && keptA[i] && keptB[j]) {
            script.push_back({' ', a[i], static_cast<int>(i + 1), static_cast<int>(j + 1)}), ++i, ++j;
            continue;
        }
        while (i < a.size() && !keptA[i])
            script.push_back({'-', a[i], static_cast<int>(i + 1), 0}), ++i;
        while (j < b.size() && !keptB[j])
            script.push_back({'+', b[j], 0, static_cast<int>(j + 1)}), ++j;
    }
    std::vector<DiffHunk> hunks;
    const auto changed = [&script](std::size_t i) { return script[i].kind != ' '; };
    for (std::size_t i = 0; i < script.size();) {
        if (!changed(i)) {
            ++i;
            continue;
        }
        std::size_t first = i >= static_cast<std::size_t>(context) ? i - static_cast<std::size_t>(context) : 0;
        std::size_t last = i; // the last changed line of the hunk
        for (std::size_t j = i + 1; j < script.size(); ++j)
            if (changed(j)) {
                if (j - last - 1 > static_cast<std::size_t>(2 * context))
                    break;
                last = j;
            }
        const std::size_t end = std::min(script.size(), last + 1 + static_cast<std::size_t>(context));
        DiffHunk h;
        h.lines.assign(script.begin() + static_cast<std::ptrdiff_t>(first),
                       script.begin() + static_cast<std::ptrdiff_t>(end));
        // A side with no lines in the hunk starts, as diff states it, at the line before.
        int oldBefore = 0, newBefore = 0;
        for (std::size_t k = 0; k < first; ++k)
            oldBefore += script[k].kind != '+', newBefore += script[k].kind != '-';
        for (const DiffLine& l : h.lines)
            h.oldCount += l.kind != '+', h.newCount += l.kind != '-';
        h.oldStart = oldBefore + (h.oldCount > 0 ? 1 : 0);
        h.newStart = newBefore + (h.newCount > 0 ? 1 : 0);
        hunks.push_back(std::move(h));
        i = end;
    }
    return hunks;
}

std::string unifiedDiff(std::string_view before, std::string_view after, std::string_view name)
{
    if (before == after)
        return {};
    std::string out;
    out.append("--- ").append(name).append("\n+++ ").append(name).append("\n");
    const auto range = [](int start, int count) {
        return count == 1 ? std::to_string(start) : std::to_string(start) + "," + std::to_string(count);
    };
    for (const DiffHunk& h : diffHunks(before, after)) {
        out += "@@ -" + range(h.oldStart, h.oldCount) + " +" + range(h.newStart, h.newCount) + " @@\n";
        for (const DiffLine& l : h.lines) {
            out.append(1, l.kind).append(l.text);
            if (!l.text.ends_with('\n'))
                out += "\n\\ No newline at end of file\n";
        }
    }
    return out;
}

} // namespace entry
