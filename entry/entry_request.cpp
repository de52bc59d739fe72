#include "entry_request.h"

#include "text_rules.h"

namespace entry {

namespace {

// What a single-line box of `limit` characters cannot take of `text`.
std::optional<Refusal> boxRefusal(Refusal::Field field, std::string_view text, std::size_t limit)
{
    const std::optional<std::size_t> length = boxLength(text);
    if (!length)
        return Refusal{Refusal::Kind::NotUtf8, field};
    if (*length > limit)
        return Refusal{Refusal::Kind::TooLong, field, *length, limit};
    if (const std::size_t bad = firstUnsafe(text); bad != std::string_view::npos)
        return Refusal{Refusal::Kind::NotSingleLine, field, 0, 0, codePointAt(text, bad)};
    return std::nullopt;
}

} // namespace

std::optional<Refusal> refusalOf(const EntryRequest& request)
{
    using Kind = Refusal::Kind;
    if (request.type == UserType::Default && request.identity != kDefaultIdentity)
        return Refusal{Kind::DefaultIdentity};
    if (request.type == UserType::Default && request.password)
        return Refusal{Kind::DefaultPassword, Refusal::Field::Password};
    if (auto refusal = boxRefusal(Refusal::Field::Identity, request.identity, kMaxIdentityLength))
        return refusal;
    if (!request.password)
        return std::nullopt;
    if (hasSpace(*request.password))
        return Refusal{Kind::Space, Refusal::Field::Password};
    return boxRefusal(Refusal::Field::Password, *request.password, kMaxPasswordLength);
}

std::string describe(const Refusal& refusal)
{
    const std::string what = refusal.field == Refusal::Field::Password ? "the password" : "the identity";
    switch (refusal.kind) {
    case Refusal::Kind::DefaultIdentity:
        return "a default entry has the identity " + std::string(kDefaultIdentity);
    case Refusal::Kind::DefaultPassword:
        return "a default entry cannot have a password";
    case Refusal::Kind::NotUtf8:
        return what + " is not valid UTF-8";
    case Refusal::Kind::TooLong:
        return what + " has " + std::to_string(refusal.length) + " characters; at most " +
            std::to_string(refusal.limit) + " are allowed";
    case Refusal::Kind::NotSingleLine:
        return what + " contains " + describeCharacter(refusal.character) +
            "; it must be a single line without control characters";
    case Refusal::Kind::Space:
        break;
    }
    return std::string(kPasswordSpace) + "; passwords cannot contain any spaces";
}

} // namespace entry
