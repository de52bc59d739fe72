// The transport program on Windows: not served yet, so an address is refused with a message instead of a failure
// nobody can read.
#include "transport.h"

namespace remote {

std::unique_ptr<Process> startProcess(const std::vector<std::string>&, std::string& error)
{
    error = "sftp:// addresses are not supported on Windows yet";
    return nullptr;
}

bool hasTerminal()
{
    return false;
}

} // namespace remote
