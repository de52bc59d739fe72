// The client side of the SFTP protocol, version 3, as OpenSSH's server and most others speak it, over any byte
// stream (the transport's pipes). Requests wait for their reply one at a time, except the writes of one upload,
// which are sent ahead a bounded number at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace remote {

// Where the protocol's bytes go and come from.
class Channel {
public:
    virtual ~Channel() = default;
    // All of the bytes, or false when the other end is gone.
    virtual bool send(std::string_view bytes) = 0;
    // Exactly `size` bytes, or false when the stream ended or failed first.
    virtual bool receive(char* into, std::size_t size) = 0;
};

// The protocol's status codes that the callers tell apart; kLost is the stream's end, which no server sends.
enum class SftpStatus : std::uint32_t {
    Ok = 0,
    Eof = 1,
    NoSuchFile = 2,
    PermissionDenied = 3,
    Failure = 4,
    BadMessage = 5,
    NoConnection = 6,
    ConnectionLost = 7,
    Unsupported = 8,
    Lost = 0xFFFFFFFF,
};

// A file's attributes; each is present only when the server sent it, or, in a request, to be set.
struct SftpAttributes {
    std::optional<std::uint64_t> size;
    std::optional<std::pair<std::uint32_t, std::uint32_t>> owner; // uid, gid
    std::optional<std::uint32_t> permissions;                     // with the file type's bits, as st_mode
    std::optional<std::pair<std::uint32_t, std::uint32_t>> times; // atime, mtime (seconds since 1970)
};

// Flags of open().
inline constexpr std::uint32_t kOpenRead = 0x01;
inline constexpr std::uint32_t kOpenWrite = 0x02;
inline constexpr std::uint32_t kOpenCreate = 0x08;
inline constexpr std::uint32_t kOpenTruncate = 0x10;
inline constexpr std::uint32_t kOpenExclusive = 0x20;

// st_mode's file types, as SFTP servers send them.
inline constexpr std::uint32_t kTypeMask = 0170000;
inline constexpr std::uint32_t kTypeRegular = 0100000;
inline constexpr std::uint32_t kTypeDirectory = 0040000;
inline constexpr std::uint32_t kTypeSymlink = 0120000;

class SftpClient {
public:
    explicit SftpClient(Channel& channel) : channel_(channel) {}

    // Says hello in version 3 and takes the server's extensions; false when the server answers otherwise.
    bool start();
    // Whether the server listed an extension ("posix-rename@openssh.com") in its hello.
    bool offers(std::string_view extension) const;

    // Each returns its result, or false/nullopt with status() and error() saying why.
    std::optional<std::string> open(const std::string& path, std::uint32_t flags, const SftpAttributes& attributes);
    bool close(const std::string& handle);
    // Up to `length` bytes from `offset`; an empty string at the end of the file.
    std::optional<std::string> read(const std::string& handle, std::uint64_t offset, std::uint32_t length);
    // The whole file from the start, refused with EFBIG's words past `limit` bytes.
    std::optional<std::string> readAll(const std::string& handle, std::size_t limit);
    // All of `bytes` from offset 0, in pieces, several on their way at once.
    bool writeAll(const std::string& handle, std::string_view bytes);
    std::optional<SftpAttributes> stat(const std::string& path);  // through symbolic links
    std::optional<SftpAttributes> lstat(const std::string& path); // the link itself
    std::optional<SftpAttributes> fstat(const std::string& handle);
    bool fsetstat(const std::string& handle, const SftpAttributes& attributes);
    std::optional<std::string> realpath(const std::string& path);
    // The protocol's rename, which servers refuse when `to` exists.
    bool rename(const std::string& from, const std::string& to);
    // The extensions: rename over an existing file in one step, and flushing a file to disk.
    bool posixRename(const std::string& from, const std::string& to);
    bool fsync(const std::string& handle);
    bool remove(const std::string& path);

    SftpStatus status() const { return status_; }
    // The last failure in words: the server's message, or the status's meaning when it sent none.
    const std::string& error() const { return error_; }
    bool lost() const { return status_ == SftpStatus::Lost; }

private:
    struct Reply {
        std::uint8_t type = 0;
        std::string body; // after the request id
    };
    std::uint32_t send(std::uint8_t type, std::string_view payload);
    std::optional<Reply> receive(std::uint32_t id);
    std::optional<Reply> call(std::uint8_t type, std::string_view payload);
    bool expectOk(std::optional<Reply> reply);
    std::optional<std::string> expectHandle(std::optional<Reply> reply);
    std::optional<SftpAttributes> expectAttributes(std::optional<Reply> reply);
    bool fail(SftpStatus status, std::string message);

    Channel& channel_;
    std::uint32_t nextId_ = 1;
    std::vector<std::pair<std::string, std::string>> extensions_;
    SftpStatus status_ = SftpStatus::Ok;
    std::string error_;
};

// The packet format's parts, for the client and its tests: big-endian numbers and length-prefixed strings.
namespace wire {
void putU32(std::string& out, std::uint32_t value);
void putU64(std::string& out, std::uint64_t value);
void putString(std::string& out, std::string_view value);
void putAttributes(std::string& out, const SftpAttributes& attributes);

// Reads from the front of `in`, which shrinks; false when it holds too few bytes.
bool takeU32(std::string_view& in, std::uint32_t& value);
bool takeU64(std::string_view& in, std::uint64_t& value);
bool takeString(std::string_view& in, std::string& value);
bool takeAttributes(std::string_view& in, SftpAttributes& attributes);
} // namespace wire

} // namespace remote
