#include "replay.h"

#include <admins_file.h>

#include <algorithm>

namespace doc {

namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::size_t npos = std::string::npos;

struct Range {
    std::size_t begin, end;
};

// The bytes a removal of entry `i` takes besides the entry itself, or an empty range.
Range separatorOf(std::string_view base, const std::vector<Span>& entries, std::size_t i)
{
    const Span& e = entries[i];
    const std::size_t previousEnd = i > 0 ? entries[i - 1].end : 0;
    if (const std::size_t n = entry::emptyLineAtEnd(base.substr(0, e.begin)); n > 0 && e.begin - n >= previousEnd)
        return {e.begin - n, e.begin};
    if (base.substr(0, e.begin).empty() || base.substr(0, e.begin) == kByteOrderMark) {
        const std::size_t nextBegin = i + 1 < entries.size() ? entries[i + 1].begin : base.size();
        const std::string_view after = base.substr(e.end, nextBegin - e.end);
        const std::size_t n = after.starts_with("\r\n") ? 2 : after.starts_with('\n') ? 1 : 0;
        return {e.end, e.end + n};
    }
    return {e.begin, e.begin};
}

} // namespace

std::string_view lineEndOf(std::string_view bytes)
{
    return bytes.find("\r\n") == std::string_view::npos && bytes.find('\n') != std::string_view::npos ? "\n" : "\r\n";
}

Written writeEdits(std::string_view base, const std::vector<Span>& entries, std::vector<Edit> edits,
                   const std::vector<std::string>& additions)
{
    std::sort(edits.begin(), edits.end(), [](const Edit& a, const Edit& b) { return a.entry < b.entry; });
    // What is cut out between entries: the separating empty lines of removed entries. Two removals may name the
    // same line; it goes once.
    std::vector<Range> cut;
    for (const Edit& edit : edits)
        if (!edit.bytes)
            if (const Range r = separatorOf(base, entries, edit.entry); r.end > r.begin)
                cut.push_back(r);
    std::sort(cut.begin(), cut.end(), [](const Range& a, const Range& b) { return a.begin < b.begin; });

    Written out;
    out.text.reserve(base.size() + 256 * (edits.size() + additions.size()));
    out.entryAt.assign(entries.size(), npos);
    std::size_t copied = 0; // bytes of `base` up to here are written or cut
    auto cutIt = cut.begin();
    // Copies `base` up to `to`, leaving out what is cut.
    const auto copyTo = [&](std::size_t to) {
        for (; cutIt != cut.end() && cutIt->begin < to; ++cutIt) {
            if (cutIt->begin > copied)
                out.text.append(base.substr(copied, cutIt->begin - copied));
            copied = std::max(copied, cutIt->end);
        }
        if (to > copied)
            out.text.append(base.substr(copied, to - copied));
        copied = std::max(copied, to);
    };
    auto editIt = edits.begin();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const Span& e = entries[i];
        copyTo(e.begin);
        const bool edited = editIt != edits.end() && editIt->entry == i;
        if (!edited) {
            out.entryAt[i] = out.text.size();
            continue; // its bytes are copied with what follows
        }
        if (editIt->bytes) {
            out.entryAt[i] = out.text.size();
            out.text.append(*editIt->bytes);
            // Bytes without a last line end (those of a last entry as read) keep the line ends of the entry they
            // replace, so that what follows stays on lines of its own.
            const std::string_view old = base.substr(e.begin, e.end - e.begin);
            if (!editIt->bytes->ends_with('\n'))
                out.text.append(old.substr(std::min(old.size(), old.find_last_not_of("\r\n") + 1)));
        }
        copied = e.end;
        ++editIt;
    }
    copyTo(base.size());

    out.additionAt.reserve(additions.size());
    for (const std::string& bytes : additions) {
        const std::string_view eol = lineEndOf(bytes);
        if (!out.text.empty() && !out.text.ends_with('\n'))
            out.text += eol;
        if (!out.text.empty() && entry::emptyLineAtEnd(out.text) == 0)
            out.text += eol;
        out.additionAt.push_back(out.text.size());
        out.text += bytes;
    }
    return out;
}

} // namespace doc
