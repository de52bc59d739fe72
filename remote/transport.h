// A transport program (ssh) started with its standard input and output as this side's channel and its standard
// error kept for the message of a failure. transport_posix.cpp or transport_win32.cpp, chosen by CMake, does it the
// system's way.
#pragma once

#include "sftp.h"

#include <memory>
#include <string>
#include <vector>

namespace remote {

class Process : public Channel {
public:
    // Ends the channel, waits for the program to end, and returns what it wrote to standard error. Called again,
    // returns the same text.
    virtual std::string finish() = 0;
};

// Starts `arguments` (the program first, looked up on PATH). Nullptr, with `error` set, when it cannot be started.
std::unique_ptr<Process> startProcess(const std::vector<std::string>& arguments, std::string& error);

// The environment variable `name` in UTF-8 (on Windows read wide, not in the ANSI code page); empty when unset.
std::string environment(const char* name);

// Whether this process can ask its user on a terminal (standard input is one).
bool hasTerminal();

} // namespace remote
