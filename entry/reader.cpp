#include "reader.h"

#include "composer.h"
#include "entry_request.h"
#include "shortest_form.h"
#include "text_rules.h"

#include <bulk_selection.h>

#include <algorithm>
#include <array>

namespace entry {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::array<std::string_view, 6> kKeywords{"baseLevel",   "password", "addCmd",
                                                    "addAdminCmd", "denyCmd",  "denyAdminCmd"};
constexpr int kMaxBaseLevel = (1 << model::kLevelCount) - 1;

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

// A piece of the file quoted in a message, shortened so that a huge line
// cannot make a huge message.
std::string quoted(std::string_view s)
{
    constexpr std::size_t kMax = 40;
    std::string q = "\"";
    q += s.substr(0, kMax);
    if (s.size() > kMax)
        q += "...";
    q += '"';
    return q;
}

// The six settings keywords an entry may use.
enum class Keyword : std::uint8_t { BaseLevel, Password, AddCmd, AddAdminCmd, DenyCmd, DenyAdminCmd };

// One add or deny line of an entry.
struct CommandLine {
    int line;
    Keyword keyword;
    std::uint8_t command; // position in the catalogue, from 0
};

// The six keywords differ in length, so one comparison tells a name.
std::optional<Keyword> keywordOf(std::string_view name)
{
    static constexpr auto kByLength = [] {
        std::array<std::int8_t, 13> byLength{};
        byLength.fill(-1);
        for (std::size_t k = 0; k < kKeywords.size(); ++k)
            byLength[kKeywords[k].size()] = static_cast<std::int8_t>(k);
        return byLength;
    }();
    if (name.size() >= kByLength.size() || kByLength[name.size()] < 0)
        return std::nullopt;
    const auto k = static_cast<std::size_t>(kByLength[name.size()]);
    if (kKeywords[k] != name)
        return std::nullopt;
    return static_cast<Keyword>(k);
}

// Where the first " = " of a setting starts, or npos. Keywords hold no "=",
// so the first "=" is nearly always the one.
std::size_t equalsAt(std::string_view c)
{
    for (std::size_t eq = c.find('='); eq != std::string_view::npos; eq = c.find('=', eq + 1))
        if (eq > 0 && eq + 1 < c.size() && c[eq - 1] == ' ' && c[eq + 1] == ' ')
            return eq - 1;
    return std::string_view::npos;
}

bool isAddKeyword(Keyword k)
{
    return k == Keyword::AddCmd || k == Keyword::AddAdminCmd;
}
bool isAdminKeyword(Keyword k)
{
    return k == Keyword::AddAdminCmd || k == Keyword::DenyAdminCmd;
}

// The commands each level grants.
struct Catalogue {
    std::span<const model::CatalogueEntry> entries = model::commandCatalogue();
    std::array<model::CommandSet, model::kLevelCount> byLevel{};
    model::CommandSet defaults = model::defaultCommands();

    Catalogue()
    {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            for (int bit = 0; bit < model::kLevelCount; ++bit)
                if (entries[i].level == 1 << bit)
                    byLevel[static_cast<std::size_t>(bit)].set(i);
        }
    }

    model::CommandSet grantedByBase(int baseLevel) const
    {
        model::CommandSet set = defaults;
        for (int bit = 0; bit < model::kLevelCount; ++bit)
            if (baseLevel & (1 << bit))
                set |= byLevel[static_cast<std::size_t>(bit)];
        return set;
    }
};

const Catalogue& catalogue()
{
    static const Catalogue c;
    return c;
}

struct Line {
    std::string_view content; // without its line end and outer blanks
    std::size_t begin = 0;    // where the line starts in the text
    std::size_t next = 0;     // where the next line starts
    int number = 0;
    bool lfOnly = false;
    bool printable = false; // the content is printable ASCII alone
};

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text)
    {
        // An entry as the composer writes it takes a hundred bytes or more.
        result_.blocks.reserve(text.size() / 128);
    }

    ReadResult run()
    {
        std::size_t pos = text_.starts_with(kBom) ? kBom.size() : 0;
        for (int number = 1; pos < text_.size(); ++number) {
            const Line line = lineAt(pos, number);
            handle(line);
            pos = line.next;
        }
        if (open_)
            closeBlock(text_.size(), false);
        reportRepeatedIdentities();
        if (lfOnlyLines_ > 0)
            report(Severity::Note, firstLfOnly_, [&] {
                return std::string("line ends of LF alone (" + std::to_string(lfOnlyLines_) +
                                   (lfOnlyLines_ == 1 ? " line" : " lines") + "); the window writes CR LF");
            });
        std::stable_sort(result_.diagnostics.begin(), result_.diagnostics.end(),
                         [](const Diagnostic& a, const Diagnostic& b) { return a.line < b.line; });
        return std::move(result_);
    }

private:
    enum class State { Outside, AfterIdentity, Inside };

    Line lineAt(std::size_t pos, int number)
    {
        Line line;
        line.begin = pos;
        line.number = number;
        // Most lines hold printable ASCII alone between their indent and their line end: one scan finds the end
        // and shows that no character of the line needs a closer look.
        std::size_t start = pos;
        while (start < text_.size() && isBlank(text_[start]))
            ++start;
        std::size_t end = firstNonPrintableAscii(text_, start);
        if (end == text_.size()) {
            line.next = end;
            line.printable = true;
        } else if (text_[end] == '\n' || (text_[end] == '\r' && end + 1 < text_.size() && text_[end + 1] == '\n')) {
            line.lfOnly = text_[end] == '\n';
            line.next = end + (line.lfOnly ? 1 : 2);
            line.printable = true;
        } else if (end = text_.find('\n', end); end == std::string_view::npos) {
            end = text_.size();
            line.next = end;
        } else {
            line.next = end + 1;
            line.lfOnly = text_[end - 1] != '\r';
            if (!line.lfOnly)
                --end;
        }
        line.content = trimmed(text_.substr(start, end - start));
        if (line.lfOnly && lfOnlyLines_++ == 0)
            firstLfOnly_ = number;
        return line;
    }

    // The message is made only for a diagnostic that is kept: past the cap
    // one is only counted, and a large file may have a great many.
    template <class Message>
    void report(Severity severity, int line, Message&& message)
    {
        ++(severity == Severity::Error         ? result_.errors
               : severity == Severity::Warning ? result_.warnings
                                               : result_.notes);
        if (result_.diagnostics.size() < kMaxDiagnostics)
            result_.diagnostics.push_back({severity, line, message()});
        else
            ++result_.omitted;
    }

    // An error that makes the meaning of the open entry unknown.
    template <class Message>
    void error(int line, Message&& message)
    {
        report(Severity::Error, line, message);
        if (open_)
            block_.hasErrors = true;
    }

    void handle(const Line& line)
    {
        structure(line);
        // Reported once the line has found its entry, so that the error marks
        // the entry the line belongs to.
        if (const std::size_t bad = line.printable ? std::string_view::npos : firstUnsafe(line.content);
            bad != std::string_view::npos)
            error(line.number,
                  [&] { return std::string(describeCharacter(codePointAt(line.content, bad)) + " in the line"); });
    }

    void structure(const Line& line)
    {
        const std::string_view c = line.content;
        if (c.empty()) {
            pendingWarning_ = pendingWarning_ == 1 ? 2 : 0;
            return;
        }
        if (c.starts_with("//")) {
            // A warning belongs to the identity line after it and its empty
            // line, also when that identity line ends an unclosed entry.
            pendingWarning_ = c == kSteamIDWarning || c == kIPWarning ? 1 : 0;
            warningBegin_ = line.begin;
            if (state_ != State::Outside && c != kAddCmdComment)
                block_.hasComments = true;
            return;
        }
        if (looksLikeIdentity(c)) {
            if (state_ != State::Outside)
                closeBlock(pendingWarning_ == 2 ? warningBegin_ : line.begin, false);
            openBlock(line);
            return;
        }
        pendingWarning_ = 0;
        switch (state_) {
        case State::Outside:
            if (c == "{") {
                openBlock(line); // an entry without its identity line
                error(line.number, [&] { return std::string("\"{\" without an identity line before it"); });
                state_ = State::Inside;
            } else {
                error(line.number, [&] { return std::string("text outside an entry: " + quoted(c)); });
            }
            return;
        case State::AfterIdentity:
            state_ = State::Inside;
            if (c == "{")
                return;
            error(block_.line, [&] { return std::string("no \"{\" after the identity line"); });
            break;
        case State::Inside:
            break;
        }
        if (c == "}")
            closeBlock(line.next, true);
        else if (c == "{")
            error(line.number, [&] { return std::string("\"{\" inside an entry"); });
        else
            setting(line);
    }

    static bool looksLikeIdentity(std::string_view c)
    {
        if (c.starts_with('"'))
            return true;
        return std::any_of(kTypeCaptions.begin(), kTypeCaptions.end(),
                           [c](std::string_view p) { return c.starts_with(p); });
    }

    void openBlock(const Line& line)
    {
        block_ = Block{};
        open_ = true;
        state_ = State::AfterIdentity;
        block_.line = line.number;
        block_.begin = pendingWarning_ == 2 ? warningBegin_ : line.begin;
        block_.lfOnly = line.lfOnly;
        pendingWarning_ = 0;
        // Only the commands the last entry named have lines to forget.
        for (const CommandLine& cl : commands_)
            addLine_[cl.command] = denyLine_[cl.command] = 0;
        commands_.clear();
        baseLevelLine_ = 0;
        passwordLine_ = 0;

        const std::string_view c = line.content;
        if (c == "{")
            return;
        if (c.size() < 2 || !c.starts_with('"') || !c.ends_with('"')) {
            error(line.number, [&] { return std::string("identity line without its double quotes"); });
            return;
        }
        const std::string_view inner = c.substr(1, c.size() - 2);
        for (std::size_t t = 0; t < kTypeCaptions.size(); ++t) {
            if (inner.starts_with(kTypeCaptions[t])) {
                block_.type = static_cast<UserType>(t);
                block_.identity = inner.substr(kTypeCaptions[t].size());
                return;
            }
        }
        error(line.number,
              [&] { return std::string("unknown identity type " + quoted(inner.substr(0, inner.find(':') + 1))); });
    }

    void setting(const Line& line)
    {
        const std::string_view c = line.content;
        // A value of nothing but blanks was trimmed away with them.
        std::size_t eq = equalsAt(c);
        if (eq == std::string_view::npos && c.ends_with(" ="))
            eq = c.size() - 2;
        if (eq == std::string_view::npos) {
            error(line.number, [&] { return std::string("setting without \" = \": " + quoted(c)); });
            return;
        }
        const std::string_view name = c.substr(0, eq);
        const std::string_view value = c.substr(std::min(eq + 3, c.size()));
        const std::optional<Keyword> keyword = keywordOf(name);
        if (!keyword) {
            error(line.number, [&] { return std::string("unknown keyword " + quoted(name)); });
            return;
        }
        if (keyword == Keyword::BaseLevel)
            baseLevel(line.number, value);
        else if (keyword == Keyword::Password)
            password(line.number, value);
        else
            command(line.number, *keyword, value);
    }

    void baseLevel(int line, std::string_view value)
    {
        if (baseLevelLine_ != 0) {
            error(line, [&] {
                return std::string("second baseLevel line (the first is line " + std::to_string(baseLevelLine_) + ")");
            });
            return;
        }
        baseLevelLine_ = line;
        const std::string_view digits = value.starts_with('-') ? value.substr(1) : value;
        if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char d) { return d >= '0' && d <= '9'; })) {
            error(line, [&] { return std::string("baseLevel " + quoted(value) + " is not a plain decimal number"); });
            return;
        }
        if (value.starts_with('-')) {
            error(line, [&] { return std::string("baseLevel " + quoted(value) + " is negative"); });
            return;
        }
        long long level = 0;
        for (char d : digits)
            level = std::min<long long>(level * 10 + (d - '0'), kMaxBaseLevel + 1LL);
        if (level > kMaxBaseLevel) {
            error(line,
                  [&] { return std::string("baseLevel " + quoted(value) + " sets a bit outside the 17 levels"); });
            return;
        }
        block_.baseLevel = static_cast<int>(level);
    }

    void password(int line, std::string_view value)
    {
        if (passwordLine_ != 0) {
            error(line, [&] {
                return std::string("second password line (the first is line " + std::to_string(passwordLine_) + ")");
            });
            return;
        }
        passwordLine_ = line;
        if (value.empty())
            error(line, [&] { return std::string("password line without a password"); });
        else if (hasSpace(value))
            error(line, [&] { return std::string(kPasswordSpace); });
        block_.password = value;
    }

    void command(int line, Keyword keyword, std::string_view key)
    {
        const Catalogue& cat = catalogue_;
        const std::optional<std::size_t> found = model::commandIndex(key);
        if (!found) {
            error(line, [&] { return std::string("unknown command " + quoted(key)); });
            return;
        }
        const auto index = static_cast<std::uint8_t>(*found);
        const bool add = isAddKeyword(keyword);
        int& mine = (add ? addLine_ : denyLine_)[index];
        const int other = (add ? denyLine_ : addLine_)[index];
        if (other != 0) {
            error(line, [&] {
                return std::string(quoted(key) + " is both " + (add ? "denied" : "added") + " (line " +
                                   std::to_string(other) + ") and " + (add ? "added" : "denied"));
            });
        }
        if (mine == 0)
            mine = line;
        if (isAdminKeyword(keyword) != cat.entries[index].isAdmin) {
            // Each admin keyword directly follows its plain one.
            const auto k = static_cast<std::size_t>(keyword);
            const std::size_t expected = isAdminKeyword(keyword) ? k - 1 : k + 1;
            report(Severity::Warning, line, [&] {
                return std::string(std::string(kKeywords[k]) + " for " +
                                   (cat.entries[index].isAdmin ? "the admin command " : "the command ") + quoted(key) +
                                   "; the plugin expects " + std::string(kKeywords[expected]));
            });
        }
        commands_.push_back({line, keyword, index});
    }

    // Ends the open entry at `end`; `closed` tells whether its "}" was seen.
    void closeBlock(std::size_t end, bool closed)
    {
        if (!closed)
            error(block_.line, [&] { return std::string("no closing \"}\" for this entry"); });
        block_.end = end;
        state_ = State::Outside;
        open_ = false;

        const Catalogue& cat = catalogue_;
        model::CommandSet granted = cat.grantedByBase(block_.baseLevel);
        for (const CommandLine& cl : commands_) {
            const bool add = isAddKeyword(cl.keyword);
            const std::string_view key = cat.entries[cl.command].key;
            if (add && granted[cl.command])
                report(Severity::Warning, cl.line,
                       [&] { return std::string(quoted(key) + " is already granted; this line changes nothing"); });
            else if (!add && !granted[cl.command])
                report(Severity::Warning, cl.line,
                       [&] { return std::string(quoted(key) + " is not granted; this line changes nothing"); });
            granted[cl.command] = add;
        }
        block_.granted = granted;

        if (block_.type == UserType::SteamID && !isValidSteamID(block_.identity))
            report(Severity::Warning, block_.line,
                   [&] { return std::string("the SteamID " + quoted(block_.identity) + " appears to be invalid"); });
        else if (block_.type == UserType::IPAddress && !isValidIP(block_.identity))
            report(Severity::Warning, block_.line,
                   [&] { return std::string("the IP " + quoted(block_.identity) + " appears to be invalid"); });

        if (const std::string_view whole = identityText(block_); !whole.empty())
            identities_.emplace_back(std::hash<std::string_view>()(whole),
                                     static_cast<std::uint32_t>(result_.blocks.size()));

        if (!block_.hasErrors) {
            const int own = static_cast<int>(commands_.size()) + (baseLevelLine_ != 0 ? 1 : 0);
            const int saved = own - (shortestCommandLines(granted) + 1);
            if (saved > 0)
                report(Severity::Note, block_.line, [&] {
                    return std::string("not in its shortest form; the composer writes it in " + std::to_string(saved) +
                                       " fewer " + (saved == 1 ? "line" : "lines"));
                });
        }
        result_.blocks.push_back(std::move(block_));
    }

    // An identity that stands in more than one entry is reported at each later
    // entry. Sorting the identities once costs less than looking each up.
    void reportRepeatedIdentities()
    {
        const std::vector<Block>& blocks = result_.blocks;
        // By hash first, so that most comparisons are of two numbers; then by
        // the text, then by position, which keeps the first entry first.
        std::sort(identities_.begin(), identities_.end(), [&blocks](const auto& a, const auto& b) {
            if (a.first != b.first)
                return a.first < b.first;
            const std::string_view ta = identityText(blocks[a.second]);
            const std::string_view tb = identityText(blocks[b.second]);
            return ta != tb ? ta < tb : a.second < b.second;
        });
        for (std::size_t first = 0, next = 1; first < identities_.size(); first = next++) {
            const Block& original = blocks[identities_[first].second];
            for (; next < identities_.size() && identities_[next].first == identities_[first].first &&
                 identityText(blocks[identities_[next].second]) == identityText(original);
                 ++next) {
                const Block& repeated = blocks[identities_[next].second];
                report(Severity::Warning, repeated.line, [&] {
                    return "the identity " + quoted(identityText(repeated)) + " already has an entry at line " +
                        std::to_string(original.line);
                });
            }
        }
    }

    // The identity as the line writes it, prefix included; empty when the
    // line could not be read.
    static std::string_view identityText(const Block& block)
    {
        if (block.identity.data() == nullptr)
            return {};
        const std::string_view caption = typeCaption(block.type);
        return {block.identity.data() - caption.size(), caption.size() + block.identity.size()};
    }

    std::string_view text_;
    const Catalogue& catalogue_ = catalogue(); // looked up once, not at every command line
    ReadResult result_;
    State state_ = State::Outside;
    bool open_ = false;
    Block block_;
    std::array<int, model::kCommandCount> addLine_{};
    std::array<int, model::kCommandCount> denyLine_{};
    int baseLevelLine_ = 0;
    int passwordLine_ = 0;
    int pendingWarning_ = 0; // 1: a warning comment, 2: and an empty line after it
    std::size_t warningBegin_ = 0;
    std::vector<std::pair<std::size_t, std::uint32_t>> identities_; // hash of the identity, entry
    std::vector<CommandLine> commands_;                             // of the open entry
    std::size_t lfOnlyLines_ = 0;
    int firstLfOnly_ = 0;
};

} // namespace

ReadResult read(std::string_view text)
{
    return Reader(text).run();
}

std::vector<std::string_view> grantedKeys(const model::CommandSet& granted)
{
    std::vector<std::string_view> keys;
    const auto& entries = catalogue().entries;
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (granted[i])
            keys.push_back(entries[i].key);
    return keys;
}

void applyGranted(model::Permissions& p, const model::CommandSet& granted)
{
    model::setCommands(p, granted);
}

namespace {

// Appends the block in its shortest form, with its own line end.
void appendBlock(std::string& out, const Block& block)
{
    const EntryInputs in{block.type, block.identity, block.password ? 1 : 0,
                         block.password.value_or(std::string_view())};
    const std::size_t start = out.size();
    appendGranted(out, block.granted, in);
    // A clean block holds no CR of its own: each one ends a line.
    if (block.lfOnly)
        out.erase(std::remove(out.begin() + static_cast<std::ptrdiff_t>(start), out.end(), '\r'), out.end());
}

} // namespace

std::string composeBlock(const Block& block)
{
    std::string text;
    appendBlock(text, block);
    return text;
}

std::string formatText(std::string_view text, const ReadResult& result)
{
    std::string out;
    out.reserve(text.size());
    std::size_t copied = 0;
    for (const Block& b : result.blocks) {
        if (b.hasErrors || b.hasComments)
            continue;
        out += text.substr(copied, b.begin - copied);
        appendBlock(out, b);
        copied = b.end;
    }
    out += text.substr(copied);
    return out;
}

} // namespace entry
