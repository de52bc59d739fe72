// One kind of file as both programs use it, whatever holds it: a local file system here, a server over the network
// in remote/. The callers choose the kind by the name they were given and then only read, change and ask.
#pragma once

#include "file_io.h"

#include <cstdint>
#include <optional>
#include <string>

namespace store {

// What a name stands for, as far as every kind of file can tell.
struct Status {
    bool exists = false;
    bool regular = false;   // not a folder, device, pipe or socket
    unsigned mode = 0;      // the permission bits (07777)
    std::uint64_t size = 0; // in bytes, for a regular file
};

class FileKind {
public:
    virtual ~FileKind() = default;
    // The whole file, as readInput reads it.
    virtual std::optional<std::string> read(const std::string& name, std::string& error) = 0;
    // A change under the file's lock, as changeFile makes it.
    virtual bool change(const std::string& name, const InPlaceOptions& options, const Change& change,
                        std::string& error) = 0;
    // What the name stands for after symbolic links; a missing file is a Status without `exists`, not a failure.
    virtual std::optional<Status> stat(const std::string& name, std::string& error) = 0;
};

// Files of this machine: readInput, changeFile, and std::filesystem's status.
FileKind& localFiles();

// The message for a lock another writer holds past the wait, the same for every kind of file: its name, its age
// when known (nullopt: `unknownAge` says why), the wait, and the command that removes it.
std::string lockHeldMessage(const std::string& lock, std::optional<long long> ageSeconds, const std::string& unknownAge,
                            double waitSeconds, const std::string& removal);

} // namespace store
