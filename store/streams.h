// The process's arguments and standard streams, byte-exact on every system. Implemented beside the files' own
// system parts (file_io_posix.cpp, file_io_win32.cpp), with which they share the system's conversions of names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace store {

// The program's arguments as UTF-8 on every system (on Windows from the wide command line, so that non-ASCII
// file names survive whatever the console's code page is).
std::vector<std::string> utf8Arguments(int argc, char** argv);
// The path of this program's own executable, as UTF-8; empty when the system cannot tell.
std::string ownProgram();
// Standard input, output and error in binary mode: bytes pass exactly, "\r\n" stays "\r\n".
void useBinaryStdio();
// Writes all bytes to standard output / standard error; false on a write error.
bool writeOut(std::string_view bytes);
bool writeErr(std::string_view bytes);
// Whether standard output is a terminal. Only asks.
bool stdoutIsTerminal();
// Makes the terminal of standard output interpret escape sequences (colour); false where it cannot (consoles
// before Windows 10). Called once, where colour is decided.
bool enableEscapeSequences();

} // namespace store
