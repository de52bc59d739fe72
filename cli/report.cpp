#include "report.h"

#include "file_io.h"

#include <cstdlib>

namespace cli {

Console systemConsole()
{
    return Console{writeOut, writeErr, readInput, replaceFile,
                   stdoutIsTerminal() && std::getenv("NO_COLOR") == nullptr};
}

std::string displayName(const std::string& path)
{
    return path == "-" ? "<stdin>" : path;
}

void complain(Console& console, std::string_view message)
{
    std::string line = "vantorel-admins: ";
    line += message;
    line += '\n';
    console.err(line);
}

std::optional<std::string> loadInput(Console& console, const std::string& path)
{
    std::string error;
    std::optional<std::string> text = console.read(path, error);
    if (!text) {
        complain(console, displayName(path) + ": " + error);
        return std::nullopt;
    }
    // An admins file is text: a NUL byte means some other kind of file was named by mistake.
    if (text->find('\0') != std::string::npos) {
        complain(console, displayName(path) + ": binary file (it contains a NUL byte), not an admins file");
        return std::nullopt;
    }
    return text;
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
    line += name;
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
    line += d.message;
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
