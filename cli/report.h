// What every command shares: the streams and files it works through, loading an input, and the one printer of
// diagnostics in the form compilers use.
#pragma once

#include <reader.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace cli {

// The program's outside world. The real one writes to the standard streams and reads and replaces real files;
// tests put strings and fakes in its place.
struct Console {
    std::function<bool(std::string_view)> out;
    std::function<bool(std::string_view)> err;
    std::function<std::optional<std::string>(const std::string&, std::string&)> read;
    std::function<bool(const std::string&, std::string_view, std::string&)> replace;
    bool colour = false; // for what goes to standard output
};

// The standard streams and the file system; colour when standard output is a terminal and NO_COLOR is unset.
Console systemConsole();

// How messages name an input: "<stdin>" for "-", the path otherwise.
std::string displayName(const std::string& path);

// Reads a whole input ("-" is standard input). A file with a NUL byte is refused as binary. On failure returns
// nullopt after writing "vantorel-admins: NAME: reason" to standard error.
std::optional<std::string> loadInput(Console& console, const std::string& path);

// "NAME:LINE: severity: message\n"; without the line number when it is 0. With colour, the location is bold and
// the severity coloured as compilers do.
std::string formatDiagnostic(std::string_view name, const entry::Diagnostic& d, bool colour);

// Every kept diagnostic of a reading, then a note naming how many were counted but not kept.
std::string formatDiagnostics(std::string_view name, const entry::ReadResult& result, bool colour);

// "vantorel-admins: message\n" on standard error.
void complain(Console& console, std::string_view message);

} // namespace cli
