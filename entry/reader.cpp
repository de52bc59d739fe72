#include "reader.h"

#include "composer.h"
#include "text_rules.h"

#include <bulk_selection.h>

#include <algorithm>
#include <array>
#include <unordered_map>

namespace entry {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kAddCmdComment = "// this addCmd shouldn't happen";
constexpr std::array<std::string_view, 4> kCaptions{"Default:", "IP:", "Name:", "SteamID:"};
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

bool isAddKeyword(Keyword k)
{
    return k == Keyword::AddCmd || k == Keyword::AddAdminCmd;
}
bool isAdminKeyword(Keyword k)
{
    return k == Keyword::AddAdminCmd || k == Keyword::DenyAdminCmd;
}

// How many command lines the composer writes for a granted set: for each
// level the shorter of its additions and its withheld commands (a tie as
// additions, each non-admin addition with its comment line), then a denial
// for each default command that is not granted.
class ShortestForm {
public:
    ShortestForm()
    {
        const auto entries = model::commandCatalogue();
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (i > 0 && entries[i].level != entries[i - 1].level)
                ++runs_;
            commands_[i] = {runs_, entries[i].defaultOn, !entries[i].isAdmin};
        }
        ++runs_;
    }

    int commandLines(const model::CommandSet& granted) const
    {
        struct Run {
            int added = 0, addedPlain = 0, withheld = 0;
        };
        std::array<Run, model::kLevelCount + 1> runs{};
        int lines = 0;
        for (std::size_t i = 0; i < commands_.size(); ++i) {
            const Command& c = commands_[i];
            Run& run = runs[c.run];
            if (c.defaultOn)
                lines += granted[i] ? 0 : 1;
            else if (granted[i])
                ++run.added, run.addedPlain += c.plain ? 1 : 0;
            else
                ++run.withheld;
        }
        for (std::size_t r = 0; r < runs_; ++r)
            if (const Run& run = runs[r]; run.withheld != 0)
                lines += run.added <= run.withheld ? run.added + run.addedPlain : run.withheld;
        return lines;
    }

private:
    struct Command {
        std::size_t run = 0; // the level's position among the levels
        bool defaultOn = false;
        bool plain = false; // not an admin command
    };
    std::array<Command, model::kCommandCount> commands_{};
    std::size_t runs_ = 0;
};

// The catalogue looked up by key, and the commands each level grants.
struct Catalogue {
    std::span<const model::CatalogueEntry> entries = model::commandCatalogue();
    std::unordered_map<std::string_view, std::uint8_t> byKey;
    std::array<model::CommandSet, model::kLevelCount> byLevel{};
    model::CommandSet defaults = model::defaultCommands();
    ShortestForm shortest;

    Catalogue()
    {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            byKey.emplace(entries[i].key, static_cast<std::uint8_t>(i));
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
            report(Severity::Note, firstLfOnly_,
                   "line ends of LF alone (" + std::to_string(lfOnlyLines_) + (lfOnlyLines_ == 1 ? " line" : " lines") +
                       "); the window writes CR LF");
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
        std::size_t end = text_.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text_.size();
            line.next = end;
        } else {
            line.next = end + 1;
            line.lfOnly = end == pos || text_[end - 1] != '\r';
            if (!line.lfOnly)
                --end;
        }
        line.content = trimmed(text_.substr(pos, end - pos));
        if (line.lfOnly && lfOnlyLines_++ == 0)
            firstLfOnly_ = number;
        return line;
    }

    void report(Severity severity, int line, std::string message)
    {
        ++(severity == Severity::Error         ? result_.errors
               : severity == Severity::Warning ? result_.warnings
                                               : result_.notes);
        if (result_.diagnostics.size() < kMaxDiagnostics)
            result_.diagnostics.push_back({severity, line, std::move(message)});
        else
            ++result_.omitted;
    }

    // An error that makes the meaning of the open entry unknown.
    void error(int line, std::string message)
    {
        report(Severity::Error, line, std::move(message));
        if (open_)
            block_.hasErrors = true;
    }

    void handle(const Line& line)
    {
        structure(line);
        // Reported once the line has found its entry, so that the error marks
        // the entry the line belongs to.
        if (const std::size_t bad = firstUnsafe(line.content); bad != std::string_view::npos)
            error(line.number, describeCharacter(codePointAt(line.content, bad)) + " in the line");
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
                error(line.number, "\"{\" without an identity line before it");
                state_ = State::Inside;
            } else {
                error(line.number, "text outside an entry: " + quoted(c));
            }
            return;
        case State::AfterIdentity:
            state_ = State::Inside;
            if (c == "{")
                return;
            error(block_.line, "no \"{\" after the identity line");
            break;
        case State::Inside:
            break;
        }
        if (c == "}")
            closeBlock(line.next, true);
        else if (c == "{")
            error(line.number, "\"{\" inside an entry");
        else
            setting(line);
    }

    static bool looksLikeIdentity(std::string_view c)
    {
        if (c.starts_with('"'))
            return true;
        return std::any_of(kCaptions.begin(), kCaptions.end(), [c](std::string_view p) { return c.starts_with(p); });
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
        std::fill(addLine_.begin(), addLine_.end(), 0);
        std::fill(denyLine_.begin(), denyLine_.end(), 0);
        baseLevelLine_ = 0;
        passwordLine_ = 0;

        const std::string_view c = line.content;
        if (c == "{")
            return;
        if (c.size() < 2 || !c.starts_with('"') || !c.ends_with('"')) {
            error(line.number, "identity line without its double quotes");
            return;
        }
        const std::string_view inner = c.substr(1, c.size() - 2);
        for (std::size_t t = 0; t < kCaptions.size(); ++t) {
            if (inner.starts_with(kCaptions[t])) {
                block_.type = static_cast<UserType>(t);
                block_.identity = inner.substr(kCaptions[t].size());
                return;
            }
        }
        error(line.number, "unknown identity type " + quoted(inner.substr(0, inner.find(':') + 1)));
    }

    void setting(const Line& line)
    {
        const std::string_view c = line.content;
        // A value of nothing but blanks was trimmed away with them.
        std::size_t eq = c.find(" = ");
        if (eq == std::string_view::npos && c.ends_with(" ="))
            eq = c.size() - 2;
        if (eq == std::string_view::npos) {
            error(line.number, "setting without \" = \": " + quoted(c));
            return;
        }
        const std::string_view name = c.substr(0, eq);
        const std::string_view value = c.substr(std::min(eq + 3, c.size()));
        const auto k = std::find(kKeywords.begin(), kKeywords.end(), name);
        if (k == kKeywords.end()) {
            error(line.number, "unknown keyword " + quoted(name));
            return;
        }
        const auto keyword = static_cast<Keyword>(k - kKeywords.begin());
        if (keyword == Keyword::BaseLevel)
            baseLevel(line.number, value);
        else if (keyword == Keyword::Password)
            password(line.number, value);
        else
            command(line.number, keyword, value);
    }

    void baseLevel(int line, std::string_view value)
    {
        if (baseLevelLine_ != 0) {
            error(line, "second baseLevel line (the first is line " + std::to_string(baseLevelLine_) + ")");
            return;
        }
        baseLevelLine_ = line;
        const std::string_view digits = value.starts_with('-') ? value.substr(1) : value;
        if (digits.empty() || !std::all_of(digits.begin(), digits.end(), [](char d) { return d >= '0' && d <= '9'; })) {
            error(line, "baseLevel " + quoted(value) + " is not a plain decimal number");
            return;
        }
        if (value.starts_with('-')) {
            error(line, "baseLevel " + quoted(value) + " is negative");
            return;
        }
        long long level = 0;
        for (char d : digits)
            level = std::min<long long>(level * 10 + (d - '0'), kMaxBaseLevel + 1LL);
        if (level > kMaxBaseLevel) {
            error(line, "baseLevel " + quoted(value) + " sets a bit outside the 17 levels");
            return;
        }
        block_.baseLevel = static_cast<int>(level);
    }

    void password(int line, std::string_view value)
    {
        if (passwordLine_ != 0) {
            error(line, "second password line (the first is line " + std::to_string(passwordLine_) + ")");
            return;
        }
        passwordLine_ = line;
        if (value.empty())
            error(line, "password line without a password");
        else if (value.find(' ') != std::string_view::npos)
            error(line, "the password contains a space");
        block_.password = value;
    }

    void command(int line, Keyword keyword, std::string_view key)
    {
        const auto& cat = catalogue();
        const auto it = cat.byKey.find(key);
        if (it == cat.byKey.end()) {
            error(line, "unknown command " + quoted(key));
            return;
        }
        const std::uint8_t index = it->second;
        const bool add = isAddKeyword(keyword);
        int& mine = (add ? addLine_ : denyLine_)[index];
        const int other = (add ? denyLine_ : addLine_)[index];
        if (other != 0) {
            error(line,
                  quoted(key) + " is both " + (add ? "denied" : "added") + " (line " + std::to_string(other) +
                      ") and " + (add ? "added" : "denied"));
        }
        if (mine == 0)
            mine = line;
        if (isAdminKeyword(keyword) != cat.entries[index].isAdmin) {
            // Each admin keyword directly follows its plain one.
            const auto k = static_cast<std::size_t>(keyword);
            const std::size_t expected = isAdminKeyword(keyword) ? k - 1 : k + 1;
            report(Severity::Warning, line,
                   std::string(kKeywords[k]) + " for " +
                       (cat.entries[index].isAdmin ? "the admin command " : "the command ") + quoted(key) +
                       "; the plugin expects " + std::string(kKeywords[expected]));
        }
        block_.commands.push_back({line, keyword, index});
    }

    // Ends the open entry at `end`; `closed` tells whether its "}" was seen.
    void closeBlock(std::size_t end, bool closed)
    {
        if (!closed)
            error(block_.line, "no closing \"}\" for this entry");
        block_.end = end;
        state_ = State::Outside;
        open_ = false;

        const auto& cat = catalogue();
        model::CommandSet granted = cat.grantedByBase(block_.baseLevel);
        for (const CommandLine& cl : block_.commands) {
            const bool add = isAddKeyword(cl.keyword);
            const std::string_view key = cat.entries[cl.command].key;
            if (add && granted[cl.command])
                report(Severity::Warning, cl.line, quoted(key) + " is already granted; this line changes nothing");
            else if (!add && !granted[cl.command])
                report(Severity::Warning, cl.line, quoted(key) + " is not granted; this line changes nothing");
            granted[cl.command] = add;
        }
        block_.granted = granted;

        if (block_.type == UserType::SteamID && !isValidSteamID(block_.identity))
            report(Severity::Warning, block_.line, "the SteamID " + quoted(block_.identity) + " appears to be invalid");
        else if (block_.type == UserType::IPAddress && !isValidIP(block_.identity))
            report(Severity::Warning, block_.line, "the IP " + quoted(block_.identity) + " appears to be invalid");

        if (const std::string_view whole = identityText(); !whole.empty())
            identities_.push_back({whole, block_.line});

        if (!block_.hasErrors) {
            const int own = static_cast<int>(block_.commands.size()) + (baseLevelLine_ != 0 ? 1 : 0);
            const int saved = own - (cat.shortest.commandLines(granted) + 1);
            if (saved > 0)
                report(Severity::Note, block_.line,
                       "not in its shortest form; the composer writes it in " + std::to_string(saved) + " fewer " +
                           (saved == 1 ? "line" : "lines"));
        }
        result_.blocks.push_back(std::move(block_));
    }

    // An identity that stands in more than one entry is reported at each later
    // entry. Sorting the identities once costs less than looking each up.
    void reportRepeatedIdentities()
    {
        // By hash first, so that most comparisons are of two numbers.
        const std::hash<std::string_view> hash;
        std::vector<std::pair<std::size_t, std::size_t>> order; // hash, position
        order.reserve(identities_.size());
        for (std::size_t i = 0; i < identities_.size(); ++i)
            order.emplace_back(hash(identities_[i].first), i);
        std::sort(order.begin(), order.end(), [this](const auto& a, const auto& b) {
            return a.first != b.first ? a.first < b.first : identities_[a.second] < identities_[b.second];
        });
        std::vector<std::pair<std::string_view, int>> sorted;
        sorted.reserve(order.size());
        for (const auto& o : order)
            sorted.push_back(identities_[o.second]);
        identities_ = std::move(sorted);
        for (std::size_t first = 0, next = 1; first < identities_.size(); first = next++) {
            for (; next < identities_.size() && identities_[next].first == identities_[first].first; ++next)
                report(Severity::Warning, identities_[next].second,
                       "the identity " + quoted(identities_[next].first) + " already has an entry at line " +
                           std::to_string(identities_[first].second));
        }
    }

    // The identity as the line writes it, prefix included; empty when the
    // line could not be read.
    std::string_view identityText() const
    {
        if (block_.identity.data() == nullptr)
            return {};
        const std::string_view caption = kCaptions[static_cast<std::size_t>(block_.type)];
        return {block_.identity.data() - caption.size(), caption.size() + block_.identity.size()};
    }

    std::string_view text_;
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
    std::vector<std::pair<std::string_view, int>> identities_; // identity, line
    std::size_t lfOnlyLines_ = 0;
    int firstLfOnly_ = 0;
};

} // namespace

ReadResult read(std::string_view text)
{
    return Reader(text).run();
}

std::string_view typeCaption(UserType type)
{
    return kCaptions[static_cast<std::size_t>(type)];
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

std::string composeBlock(const Block& block)
{
    // One tree serves every call: applying a set replaces all its ticks.
    struct Loaded {
        model::Permissions p;
        Loaded() { model::loadCatalogue(p); }
    };
    thread_local Loaded tree;
    model::Permissions& p = tree.p;
    applyGranted(p, block.granted);
    const EntryInputs in{typeCaption(block.type), block.identity, block.type, block.password ? 1 : 0,
                         block.password.value_or(std::string_view())};
    std::string text = composeEntry(p.colLevels, p.colCommands, in);
    if (block.lfOnly)
        std::erase(text, '\r');
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
        out += composeBlock(b);
        copied = b.end;
    }
    out += text.substr(copied);
    return out;
}

} // namespace entry
