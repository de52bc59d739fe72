#include "composer.h"

#include <charconv>

namespace entry {

namespace {

using model::Node;

constexpr std::string_view kEol = "\r\n";
constexpr std::string_view kAddAdmin = "addAdminCmd = ";
constexpr std::string_view kAdd = "addCmd = ";
constexpr std::string_view kDenyAdmin = "denyAdminCmd = ";
constexpr std::string_view kDeny = "denyCmd = ";
constexpr std::string_view kAddCmdComment = "// this addCmd shouldn't happen";

// The command tag: default flag, admin flag, then the level in decimal.
char tagChar(const Node& c, size_t pos)
{
    const std::string& tag = c.Tag();
    return pos < tag.size() ? tag[pos] : '\0';
}
bool isDefault(const Node& c)
{
    return tagChar(c, 0) != '0';
}
bool isAdmin(const Node& c)
{
    return tagChar(c, 1) == '1';
}

int numberFrom(std::string_view text, size_t pos)
{
    int value = 0;
    if (pos < text.size())
        std::from_chars(text.data() + pos, text.data() + text.size(), value);
    return value;
}
int levelOf(const Node& c)
{
    return numberFrom(c.Tag(), 2);
}

void appendCommand(std::string& out, std::string_view keyword, const Node& c)
{
    out += '\t';
    out += keyword;
    out += c.Key();
    out += kEol;
}

void appendAdd(std::string& out, const Node& c)
{
    if (isAdmin(c)) {
        appendCommand(out, kAddAdmin, c);
    } else {
        out += kAddCmdComment;
        out += kEol;
        appendCommand(out, kAdd, c);
    }
}

void appendDeny(std::string& out, const Node& c)
{
    appendCommand(out, isAdmin(c) ? kDenyAdmin : kDeny, c);
}

// An upper bound of the entry's length, so that the text is allocated once.
// A command yields at most a run line (with the addCmd comment) and a line of
// the no-level admin pass.
size_t capacityFor(std::span<Node* const> colCommands, const EntryInputs& in)
{
    constexpr size_t perCommand = 2 * (1 + kDenyAdmin.size() + kEol.size()) + kAddCmdComment.size() + kEol.size();
    size_t size = 128 + in.typeCaption.size() + in.id.size() + in.password.size();
    for (const Node* c : colCommands)
        size += perCommand + 2 * c->Key().size();
    return size;
}

} // namespace

std::string composeEntry(std::span<Node* const> colLevels, std::span<Node* const> colCommands, const EntryInputs& in)
{
    std::string out;
    out.reserve(capacityFor(colCommands, in));

    ValidateID(out, in.userType, in.id);
    out += '"';
    out += in.typeCaption;
    out += in.id;
    out += '"';
    out += kEol;
    out += '{';
    out += kEol;

    // A level node without commands counts by its own tick; one with commands
    // is decided by them in the group pass.
    int baseLevel = 0;
    for (const Node* level : colLevels)
        if (level->Checked() && level->Children() == 0)
            baseLevel += numberFrom(level->Key(), 3);

    // Group pass over runs of commands of one level. Instead of collecting the
    // added and withheld commands in lists, a run is counted and then walked
    // again to write the shorter side, which gives the same lines in the same
    // order without allocating.
    const size_t n = colCommands.size();
    int groupLevel = 0;
    size_t runStart = 0;
    int added = 0;
    int withheld = 0;
    for (size_t i = 0; i < n; ++i) {
        const Node& c = *colCommands[i];
        if (!isDefault(c))
            ++(c.Checked() ? added : withheld);

        const int nextLevel = i + 1 == n ? 0 : levelOf(*colCommands[i + 1]);
        if (i + 1 != n && nextLevel == groupLevel)
            continue;

        if (withheld == 0) {
            baseLevel += groupLevel;
        } else if (added <= withheld) {
            for (size_t j = runStart; j <= i; ++j)
                if (colCommands[j]->Checked() && !isDefault(*colCommands[j]))
                    appendAdd(out, *colCommands[j]);
        } else {
            baseLevel += groupLevel;
            for (size_t j = runStart; j <= i; ++j)
                if (!colCommands[j]->Checked() && !isDefault(*colCommands[j]))
                    appendDeny(out, *colCommands[j]);
        }
        groupLevel = nextLevel;
        runStart = i + 1;
        added = 0;
        withheld = 0;
    }

    // Default commands that were unticked, after all run lines.
    for (const Node* c : colCommands)
        if (!c->Checked() && isDefault(*c))
            appendDeny(out, *c);

    // Admin commands of level 0 that are off by default: without any level
    // they are granted one by one, with a level the unticked ones are denied.
    for (const Node* c : colCommands) {
        const std::string& tag = c->Tag();
        const bool qualifies = tag.size() == 3 && tag[0] == '0' && tag[1] == '1' && tag[2] == '0';
        if (!qualifies)
            continue;
        if (baseLevel != 0 && !c->Checked())
            appendCommand(out, kDenyAdmin, *c);
        else if (baseLevel == 0 && c->Checked())
            appendCommand(out, kAddAdmin, *c);
    }

    out += "\tbaseLevel = ";
    out += std::to_string(baseLevel);
    out += kEol;
    if (in.passwordValue == 1 && !in.password.empty()) {
        out += "\tpassword = ";
        out += in.password;
        out += kEol;
    }
    out += '}';
    out += kEol;
    return out;
}

} // namespace entry
