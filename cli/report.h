// What every command shares: the streams and files it works through, loading an input, and the one printer of
// diagnostics in the form compilers use.
#pragma once

#include <file_io.h>
#include <ftp_files.h>
#include <reader.h>
#include <remote_files.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace cli {

// The program's outside world. The real one writes to the standard streams and reads and changes real files
// (store::readInput, store::changeFile) and files at sftp:// addresses (`remote`) and ftp:// and ftps:// ones
// (`ftp`), whose settings the command line completes; tests put strings and fakes in its place.
struct Console {
    std::function<bool(std::string_view)> out;
    std::function<bool(std::string_view)> err;
    std::function<std::optional<std::string>(const std::string&, std::string&)> read;
    std::function<bool(const std::string&, const store::InPlaceOptions&, const store::Change&, std::string&)> change;
    bool colour = false; // for what goes to standard output
    std::shared_ptr<remote::RemoteFiles> remote = nullptr;
    std::shared_ptr<remote::FtpFiles> ftp = nullptr;
};

// The standard streams and the file system; colour when standard output is a terminal and NO_COLOR is unset.
Console systemConsole();

// The kind of file a name stands for: an address's server by its scheme, or this machine's files.
store::FileKind& fileKindFor(const std::string& name, remote::RemoteFiles& remote, remote::FtpFiles& ftp);

// How messages name an input: "<stdin>" for "-", an address without a password it may have been given with, the
// path otherwise.
std::string displayName(const std::string& path);

// Reads a whole input ("-" is standard input). A file with a NUL byte is refused as binary. On failure returns
// nullopt after writing "vantorel-admins: NAME: reason" to standard error.
std::optional<std::string> loadInput(Console& console, const std::string& path);

// Writes to standard output; on failure says so and gives the exit code for it.
int emit(Console& console, std::string_view bytes, int code);

// What an edit makes of a file's text: the new text, or nullopt when it refuses; the exit code; and a line for
// standard error once the new text is printed or written.
struct Edited {
    std::optional<std::string> text;
    int code = 0;
    std::string done;
};

// Reads FILE ("-" is standard input) and prints what `edit` makes of it; with `inPlace`, holds FILE under its lock
// instead, reads it then, and writes what `edit` makes of it back (store::changeFile); with `dryRun`, prints the
// unified diff from the text to what `edit` makes of it and writes nothing. The exit code is the edit's, or 2 when
// FILE cannot be read or written; the edit's line for standard error follows only once its text is out.
int rewrite(Console& console, std::string_view command, const std::string& file,
            const std::optional<store::InPlaceOptions>& inPlace, const std::function<Edited(std::string_view)>& edit,
            bool dryRun = false);

// "NAME:LINE: severity: message\n"; without the line number when it is 0. With colour, the location is bold and
// the severity coloured as compilers do.
std::string formatDiagnostic(std::string_view name, const entry::Diagnostic& d, bool colour);

// Every kept diagnostic of a reading, then a note naming how many were counted but not kept.
std::string formatDiagnostics(std::string_view name, const entry::ReadResult& result, bool colour);

// "vantorel-admins: message\n" on standard error.
void complain(Console& console, std::string_view message);

} // namespace cli
