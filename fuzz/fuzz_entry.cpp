// Identity validation and the composer from arbitrary inputs: the user type,
// the identity, the password box's value and the password. Checks the entry's
// shape against rules written here, independently of the composer.

#include <catalogue.h>
#include <composer.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdio>
#include <cstdlib>
#include <regex>

namespace {

void require(bool ok, const char* what, const std::string& text)
{
    if (ok)
        return;
    std::fprintf(stderr, "violated: %s\n--- entry ---\n%s\n", what, text.c_str());
    std::abort();
}

bool referenceSteamID(const std::string& id)
{
    static const std::regex form("STEAM_0:[01]:[0-9]+");
    return std::regex_match(id, form);
}

bool referenceIP(const std::string& id)
{
    static const std::regex form("([0-9]+)\\.([0-9]+)\\.([0-9]+)\\.([0-9]+)");
    std::smatch m;
    if (!std::regex_match(id, m, form))
        return false;
    for (int i = 1; i <= 4; ++i) {
        std::string digits = m[i].str();
        digits.erase(0, std::min(digits.find_first_not_of('0'), digits.size() - 1));
        if (digits.size() > 3 || std::stoi(digits) > 255)
            return false;
    }
    return true;
}

// The window's boxes never hold a line break.
std::string withoutLineBreaks(std::string s)
{
    std::erase_if(s, [](char c) { return c == '\r' || c == '\n'; });
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    model::Permissions p;
    model::loadCatalogue(p);

    FuzzedDataProvider in(data, size);
    static const char* const captions[] = {"Default:", "IP:", "Name:", "SteamID:"};
    const int type = in.ConsumeIntegralInRange(0, 3);
    const int passwordValue = in.ConsumeIntegralInRange(0, 2);
    const std::string id = withoutLineBreaks(in.ConsumeRandomLengthString(80));
    const std::string password = withoutLineBreaks(in.ConsumeRandomLengthString(140));
    for (model::Node* c : p.colCommands)
        c->setChecked(in.ConsumeBool());

    const auto userType = static_cast<entry::UserType>(type);
    const std::string text =
        entry::composeEntry(p.colLevels, p.colCommands, {captions[type], id, userType, passwordValue, password});

    // Every line ends with CR LF, and no CR or LF stands anywhere else.
    require(text.ends_with("\r\n"), "ends with CR LF", text);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r')
            require(i + 1 < text.size() && text[i + 1] == '\n', "CR followed by LF", text);
        if (text[i] == '\n')
            require(i > 0 && text[i - 1] == '\r', "LF preceded by CR", text);
    }

    const bool invalid = (userType == entry::UserType::SteamID && !referenceSteamID(id)) ||
        (userType == entry::UserType::IPAddress && !referenceIP(id));
    std::string head;
    if (invalid)
        head = std::string(userType == entry::UserType::SteamID ? "// The SteamID you entered appears to be invalid"
                                                                : "// The IP you entered appears to be invalid") +
            "\r\n\r\n";
    head += "\"" + std::string(captions[type]) + id + "\"\r\n{\r\n";
    require(text.starts_with(head), "warning, one empty line, identity line verbatim, brace", text);

    const std::string passwordLine = "\r\n\tpassword = " + password + "\r\n}\r\n";
    const bool wantPassword = passwordValue == 1 && !password.empty();
    require(text.ends_with(passwordLine) == wantPassword, "password line exactly when required and typed", text);
    require(wantPassword || text.find("\r\n\tpassword = ") == std::string::npos, "no other password line", text);
    return 0;
}
