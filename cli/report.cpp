#include "report.h"

#include "exit_codes.h"

#include <admins_file.h>
#include <streams.h>
#include <text_diff.h>

#include <cstdlib>

namespace cli {

store::FileKind& fileKindFor(const std::string& name, remote::RemoteFiles& remote, remote::FtpFiles& ftp)
{
    if (remote::isFtpUrl(name))
        return ftp;
    return remote::isUrl(name) ? static_cast<store::FileKind&>(remote) : store::localFiles();
}

Console systemConsole()
{
    auto remote = std::make_shared<remote::RemoteFiles>(remote::SshSettings::fromEnvironment());
    // A script's login password reaches ssh through this program, started again as ssh's asking program.
    if (std::getenv("VANTOREL_ADMINS_LOGIN_PASSWORD") != nullptr)
        remote::useAskpass(remote->settings(), store::ownProgram());
    auto ftp = std::make_shared<remote::FtpFiles>(remote::FtpSettings::fromEnvironment());
    const auto read = [remote, ftp](const std::string& name, std::string& error) {
        return fileKindFor(name, *remote, *ftp).read(name, error);
    };
    const auto change = [remote, ftp](const std::string& name, const store::InPlaceOptions& options,
                                      const store::Change& edit, std::string& error) {
        return fileKindFor(name, *remote, *ftp).change(name, options, edit, error);
    };
    return Console{store::writeOut,
                   store::writeErr,
                   read,
                   change,
                   store::stdoutIsTerminal() && std::getenv("NO_COLOR") == nullptr && store::enableEscapeSequences(),
                   remote,
                   ftp};
}

std::string displayName(const std::string& path)
{
    return path == "-" ? "<stdin>" : remote::withoutPassword(path);
}

namespace {

bool isBinary(Console& console, const std::string& path, std::string_view text)
{
    const std::optional<std::string> notOne = entry::notAnAdminsFile(text);
    if (notOne)
        complain(console, displayName(path) + ": " + *notOne);
    return notOne.has_value();
}

} // namespace

std::optional<std::string> loadInput(Console& console, const std::string& path)
{
    std::string error;
    std::optional<std::string> text = console.read(path, error);
    if (!text) {
        complain(console, displayName(path) + ": " + error);
        return std::nullopt;
    }
    if (isBinary(console, path, *text))
        return std::nullopt;
    return text;
}

int emit(Console& console, std::string_view bytes, int code)
{
    if (console.out(bytes))
        return code;
    complain(console, "cannot write to standard output");
    return kExitTrouble;
}

int rewrite(Console& console, std::string_view command, const std::string& file,
            const std::optional<store::InPlaceOptions>& inPlace, const std::function<Edited(std::string_view)>& edit,
            bool dryRun)
{
    if (!inPlace || dryRun) {
        const std::optional<std::string> text = loadInput(console, file);
        if (!text)
            return kExitTrouble;
        Edited edited = edit(*text);
        if (dryRun && edited.text)
            edited.text = entry::unifiedDiff(*text, *edited.text, displayName(file));
        if (edited.text && !console.out(*edited.text)) {
            complain(console, "cannot write to standard output");
            return kExitTrouble;
        }
        if (!edited.done.empty())
            complain(console, edited.done);
        return edited.code;
    }
    if (file == "-") {
        complain(console, std::string(command) + ": -i needs a file; standard input cannot be replaced");
        return kExitTrouble;
    }
    Edited edited{std::nullopt, kExitTrouble, {}};
    std::string error;
    const bool changed = console.change(
        file, *inPlace,
        [&](std::string_view text) {
            edited = isBinary(console, file, text) ? Edited{std::nullopt, kExitTrouble, {}} : edit(text);
            return edited.text;
        },
        error);
    if (!changed) {
        complain(console, displayName(file) + ": " + error);
        return kExitTrouble;
    }
    if (!edited.done.empty())
        complain(console, edited.done);
    return edited.code;
}

namespace {

// Messages quote the file, and file names come from the user: a control character printed raw would drive the
// terminal, so C0, DEL and C1 characters are written as "\x1B".
void appendPrintable(std::string& out, std::string_view text)
{
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        const auto next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0u;
        const bool c1 = b == 0xC2 && next >= 0x80 && next <= 0x9F;
        if (b >= 0x20 && b != 0x7F && !c1) {
            out += text[i];
            continue;
        }
        constexpr std::string_view kHex = "0123456789ABCDEF";
        const unsigned code = c1 ? next : b;
        i += c1 ? 1 : 0;
        out += "\\x";
        out += kHex[code >> 4];
        out += kHex[code & 0xF];
    }
}

} // namespace

void complain(Console& console, std::string_view message)
{
    std::string line = "vantorel-admins: ";
    appendPrintable(line, message);
    line += '\n';
    console.err(line);
}

std::string formatDiagnostic(std::string_view name, const entry::Diagnostic& d, bool colour)
{
    static constexpr std::string_view kWords[] = {"error", "warning", "note"};
    static constexpr std::string_view kColours[] = {"\x1b[1;31m", "\x1b[1;35m", "\x1b[1;36m"};
    const auto s = static_cast<std::size_t>(d.severity);
    std::string line;
    line.reserve(name.size() + d.message.size() + 40);
    if (colour)
        line += "\x1b[1m";
    appendPrintable(line, name);
    line += ':';
    if (d.line > 0) {
        line += std::to_string(d.line);
        line += ':';
    }
    line += ' ';
    if (colour)
        line += kColours[s];
    line += kWords[s];
    line += ':';
    if (colour)
        line += "\x1b[0m";
    line += ' ';
    appendPrintable(line, d.message);
    line += '\n';
    return line;
}

std::string formatDiagnostics(std::string_view name, const entry::ReadResult& result, bool colour)
{
    std::string text;
    for (const entry::Diagnostic& d : result.diagnostics)
        text += formatDiagnostic(name, d, colour);
    if (result.omitted > 0)
        text += formatDiagnostic(name,
                                 {entry::Severity::Note, 0,
                                  std::to_string(result.omitted) + " more diagnostics not shown (the first " +
                                      std::to_string(entry::kMaxDiagnostics) + " are)"},
                                 colour);
    return text;
}

} // namespace cli
