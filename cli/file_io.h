// Platform layer of the command-line tool: arguments, standard streams and files, byte-exact on every system.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace cli {
// The program's arguments as UTF-8 on every system (on Windows from the wide command line, so that non-ASCII
// file names survive whatever the console's code page is).
std::vector<std::string> utf8Arguments(int argc, char** argv);
// Standard input, output and error in binary mode: bytes pass exactly, "\r\n" stays "\r\n".
void useBinaryStdio();
// Writes all bytes to standard output / standard error; false on a write error.
bool writeOut(std::string_view bytes);
bool writeErr(std::string_view bytes);
// Whether standard output is a terminal (for colour).
bool stdoutIsTerminal();
// Reads a whole file given by a UTF-8 path, or standard input for "-". On failure returns nullopt and sets `error`
// to a short reason ("no such file", "is a directory", "permission denied", ...).
std::optional<std::string> readInput(const std::string& utf8Path, std::string& error);
// Replaces the file's bytes atomically: follows a symbolic link to its target; creates a temporary file in the
// target's folder exclusively, with the target's permissions; writes, flushes, syncs, closes, then renames it over
// the target (on Windows with the API that replaces an existing file). On any failure the target is untouched, the
// temporary file is removed, and `error` says what failed. Never falls back to writing over the original.
bool replaceFile(const std::string& utf8Path, std::string_view bytes, std::string& error);
} // namespace cli
