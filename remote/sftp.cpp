#include "sftp.h"

#include <algorithm>
#include <deque>

namespace remote {
namespace {

// Packet types.
constexpr std::uint8_t kInit = 1;
constexpr std::uint8_t kVersion = 2;
constexpr std::uint8_t kOpen = 3;
constexpr std::uint8_t kClose = 4;
constexpr std::uint8_t kRead = 5;
constexpr std::uint8_t kWrite = 6;
constexpr std::uint8_t kLstat = 7;
constexpr std::uint8_t kFstat = 8;
constexpr std::uint8_t kFsetstat = 10;
constexpr std::uint8_t kRemove = 13;
constexpr std::uint8_t kRealpath = 16;
constexpr std::uint8_t kStat = 17;
constexpr std::uint8_t kRename = 18;
constexpr std::uint8_t kExtended = 200;
constexpr std::uint8_t kStatusReply = 101;
constexpr std::uint8_t kHandleReply = 102;
constexpr std::uint8_t kDataReply = 103;
constexpr std::uint8_t kNameReply = 104;
constexpr std::uint8_t kAttrsReply = 105;

// Attribute flags.
constexpr std::uint32_t kHasSize = 0x1;
constexpr std::uint32_t kHasOwner = 0x2;
constexpr std::uint32_t kHasPermissions = 0x4;
constexpr std::uint32_t kHasTimes = 0x8;
constexpr std::uint32_t kHasExtended = 0x80000000;

// OpenSSH's server takes packets up to 256 KiB; a reply longer than that is not one this client asked for.
constexpr std::uint32_t kMaxPacket = 256 * 1024 + 1024;
// Pieces of an upload and of a download, and how many pieces of an upload travel before the first reply is read:
// enough to keep the line busy, few enough that the replies never fill the pipe back while this side writes.
constexpr std::uint32_t kPiece = 32 * 1024;
constexpr std::size_t kWritesAhead = 16;

std::string meaning(SftpStatus status)
{
    switch (status) {
    case SftpStatus::Eof:
        return "end of file";
    case SftpStatus::NoSuchFile:
        return "no such file";
    case SftpStatus::PermissionDenied:
        return "permission denied";
    case SftpStatus::BadMessage:
        return "the server did not understand the request";
    case SftpStatus::Unsupported:
        return "the server does not support this";
    case SftpStatus::Lost:
    case SftpStatus::NoConnection:
    case SftpStatus::ConnectionLost:
        return "the connection was lost";
    default:
        return "the server refused";
    }
}

} // namespace

namespace wire {

void putU32(std::string& out, std::uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((value >> shift) & 0xFF);
}

void putU64(std::string& out, std::uint64_t value)
{
    putU32(out, static_cast<std::uint32_t>(value >> 32));
    putU32(out, static_cast<std::uint32_t>(value));
}

void putString(std::string& out, std::string_view value)
{
    putU32(out, static_cast<std::uint32_t>(value.size()));
    out += value;
}

void putAttributes(std::string& out, const SftpAttributes& a)
{
    putU32(out,
           (a.size ? kHasSize : 0) | (a.owner ? kHasOwner : 0) | (a.permissions ? kHasPermissions : 0) |
               (a.times ? kHasTimes : 0));
    if (a.size)
        putU64(out, *a.size);
    if (a.owner) {
        putU32(out, a.owner->first);
        putU32(out, a.owner->second);
    }
    if (a.permissions)
        putU32(out, *a.permissions);
    if (a.times) {
        putU32(out, a.times->first);
        putU32(out, a.times->second);
    }
}

bool takeU32(std::string_view& in, std::uint32_t& value)
{
    if (in.size() < 4)
        return false;
    value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | static_cast<unsigned char>(in[static_cast<std::size_t>(i)]);
    in.remove_prefix(4);
    return true;
}

bool takeU64(std::string_view& in, std::uint64_t& value)
{
    std::uint32_t high = 0;
    std::uint32_t low = 0;
    if (!takeU32(in, high) || !takeU32(in, low))
        return false;
    value = (std::uint64_t{high} << 32) | low;
    return true;
}

bool takeString(std::string_view& in, std::string& value)
{
    std::uint32_t size = 0;
    if (!takeU32(in, size) || in.size() < size)
        return false;
    value.assign(in.substr(0, size));
    in.remove_prefix(size);
    return true;
}

bool takeAttributes(std::string_view& in, SftpAttributes& a)
{
    std::uint32_t flags = 0;
    if (!takeU32(in, flags))
        return false;
    a = {};
    if (flags & kHasSize) {
        std::uint64_t size = 0;
        if (!takeU64(in, size))
            return false;
        a.size = size;
    }
    if (flags & kHasOwner) {
        std::uint32_t uid = 0;
        std::uint32_t gid = 0;
        if (!takeU32(in, uid) || !takeU32(in, gid))
            return false;
        a.owner = {uid, gid};
    }
    if (flags & kHasPermissions) {
        std::uint32_t permissions = 0;
        if (!takeU32(in, permissions))
            return false;
        a.permissions = permissions;
    }
    if (flags & kHasTimes) {
        std::uint32_t atime = 0;
        std::uint32_t mtime = 0;
        if (!takeU32(in, atime) || !takeU32(in, mtime))
            return false;
        a.times = {atime, mtime};
    }
    if (flags & kHasExtended) {
        std::uint32_t count = 0;
        if (!takeU32(in, count))
            return false;
        std::string name;
        std::string data;
        for (std::uint32_t i = 0; i < count; ++i)
            if (!takeString(in, name) || !takeString(in, data))
                return false;
    }
    return true;
}

} // namespace wire

bool SftpClient::fail(SftpStatus status, std::string message)
{
    status_ = status;
    error_ = message.empty() ? meaning(status) : std::move(message);
    return false;
}

bool SftpClient::start()
{
    std::string packet;
    wire::putU32(packet, 5);
    packet += static_cast<char>(kInit);
    wire::putU32(packet, 3);
    if (!channel_.send(packet))
        return fail(SftpStatus::Lost, {});
    char header[5];
    std::uint32_t size = 0;
    std::string_view in(header, 4);
    if (!channel_.receive(header, 5) || !wire::takeU32(in, size))
        return fail(SftpStatus::Lost, {});
    if (static_cast<std::uint8_t>(header[4]) != kVersion || size < 5 || size > kMaxPacket)
        return fail(SftpStatus::BadMessage, "the server does not speak SFTP");
    std::string body(size - 1, '\0');
    if (!channel_.receive(body.data(), body.size()))
        return fail(SftpStatus::Lost, {});
    std::string_view rest = body;
    std::uint32_t version = 0;
    if (!wire::takeU32(rest, version) || version < 3)
        return fail(SftpStatus::BadMessage, "the server speaks SFTP version " + std::to_string(version) + ", not 3");
    for (std::string name, data; wire::takeString(rest, name) && wire::takeString(rest, data);)
        extensions_.emplace_back(name, data);
    return true;
}

bool SftpClient::offers(std::string_view extension) const
{
    return std::any_of(extensions_.begin(), extensions_.end(), [&](const auto& e) { return e.first == extension; });
}

std::uint32_t SftpClient::send(std::uint8_t type, std::string_view payload)
{
    const std::uint32_t id = nextId_++;
    if (lost())
        return id;
    status_ = SftpStatus::Ok;
    error_.clear();
    std::string packet;
    packet.reserve(payload.size() + 9);
    wire::putU32(packet, static_cast<std::uint32_t>(payload.size() + 5));
    packet += static_cast<char>(type);
    wire::putU32(packet, id);
    packet += payload;
    if (!channel_.send(packet))
        fail(SftpStatus::Lost, {});
    return id;
}

std::optional<SftpClient::Reply> SftpClient::receive(std::uint32_t id)
{
    if (lost())
        return std::nullopt;
    char header[9];
    if (!channel_.receive(header, sizeof header)) {
        fail(SftpStatus::Lost, {});
        return std::nullopt;
    }
    std::string_view in(header, sizeof header);
    std::uint32_t size = 0;
    std::uint32_t replyId = 0;
    wire::takeU32(in, size);
    const auto type = static_cast<std::uint8_t>(in.front());
    in.remove_prefix(1);
    wire::takeU32(in, replyId);
    if (size < 5 || size > kMaxPacket) {
        fail(SftpStatus::Lost, "the server sent a packet of " + std::to_string(size) + " bytes");
        return std::nullopt;
    }
    Reply reply{type, std::string(size - 5, '\0')};
    if (!channel_.receive(reply.body.data(), reply.body.size())) {
        fail(SftpStatus::Lost, {});
        return std::nullopt;
    }
    // Replies to one client's requests come in the order they were sent; another order means the stream is out of
    // step, and nothing after it can be trusted.
    if (replyId != id) {
        fail(SftpStatus::Lost,
             "the server answered request " + std::to_string(replyId) + " instead of " + std::to_string(id));
        return std::nullopt;
    }
    return reply;
}

std::optional<SftpClient::Reply> SftpClient::call(std::uint8_t type, std::string_view payload)
{
    return receive(send(type, payload));
}

bool SftpClient::expectOk(std::optional<Reply> reply)
{
    if (!reply)
        return false;
    std::string_view in = reply->body;
    std::uint32_t code = 0;
    std::string message;
    if (reply->type != kStatusReply || !wire::takeU32(in, code))
        return fail(SftpStatus::BadMessage, "the server sent an unexpected reply");
    wire::takeString(in, message);
    if (code == 0)
        return true;
    // OpenSSH's server sends its status's own words ("Failure"), which say less than the code's meaning.
    const auto status = static_cast<SftpStatus>(code);
    return fail(status,
                message.empty() || message == "Failure" || message == "No such file" || message == "Permission denied"
                    ? meaning(status)
                    : message);
}

std::optional<std::string> SftpClient::expectHandle(std::optional<Reply> reply)
{
    if (!reply)
        return std::nullopt;
    std::string_view in = reply->body;
    std::string handle;
    if (reply->type == kHandleReply && wire::takeString(in, handle))
        return handle;
    if (reply->type != kStatusReply || expectOk(std::move(reply)))
        fail(SftpStatus::BadMessage, "the server sent an unexpected reply");
    return std::nullopt;
}

std::optional<SftpAttributes> SftpClient::expectAttributes(std::optional<Reply> reply)
{
    if (!reply)
        return std::nullopt;
    std::string_view in = reply->body;
    SftpAttributes attributes;
    if (reply->type == kAttrsReply && wire::takeAttributes(in, attributes))
        return attributes;
    if (reply->type != kStatusReply || expectOk(std::move(reply)))
        fail(SftpStatus::BadMessage, "the server sent an unexpected reply");
    return std::nullopt;
}

std::optional<std::string> SftpClient::open(const std::string& path, std::uint32_t flags,
                                            const SftpAttributes& attributes)
{
    std::string payload;
    wire::putString(payload, path);
    wire::putU32(payload, flags);
    wire::putAttributes(payload, attributes);
    return expectHandle(call(kOpen, payload));
}

bool SftpClient::close(const std::string& handle)
{
    std::string payload;
    wire::putString(payload, handle);
    return expectOk(call(kClose, payload));
}

std::optional<std::string> SftpClient::read(const std::string& handle, std::uint64_t offset, std::uint32_t length)
{
    std::string payload;
    wire::putString(payload, handle);
    wire::putU64(payload, offset);
    wire::putU32(payload, length);
    std::optional<Reply> reply = call(kRead, payload);
    if (!reply)
        return std::nullopt;
    std::string_view in = reply->body;
    std::string data;
    if (reply->type == kDataReply && wire::takeString(in, data))
        return data;
    if (reply->type == kStatusReply && !expectOk(std::move(reply)))
        return status_ == SftpStatus::Eof ? std::optional<std::string>(std::string()) : std::nullopt;
    fail(SftpStatus::BadMessage, "the server sent an unexpected reply");
    return std::nullopt;
}

std::optional<std::string> SftpClient::readAll(const std::string& handle, std::size_t limit)
{
    std::string bytes;
    for (;;) {
        std::optional<std::string> piece = read(handle, bytes.size(), kPiece);
        if (!piece)
            return std::nullopt;
        if (piece->empty())
            return bytes;
        if (bytes.size() + piece->size() > limit) {
            fail(SftpStatus::Failure, "file too large");
            return std::nullopt;
        }
        bytes += *piece;
    }
}

bool SftpClient::writeAll(const std::string& handle, std::string_view bytes)
{
    std::deque<std::uint32_t> waiting;
    std::uint64_t offset = 0;
    bool ok = true;
    while (ok && (offset < bytes.size() || !waiting.empty())) {
        if (offset < bytes.size() && waiting.size() < kWritesAhead) {
            const std::string_view piece = bytes.substr(offset, kPiece);
            std::string payload;
            wire::putString(payload, handle);
            wire::putU64(payload, offset);
            wire::putString(payload, piece);
            waiting.push_back(send(kWrite, payload));
            offset += piece.size();
            ok = !lost();
            continue;
        }
        ok = expectOk(receive(waiting.front()));
        waiting.pop_front();
    }
    // The replies to writes already sent are read even after a failure, so that the next request's reply is its own.
    const SftpStatus status = status_;
    const std::string error = error_;
    for (; !ok && !lost() && !waiting.empty(); waiting.pop_front())
        receive(waiting.front());
    if (!ok && !lost())
        fail(status, error);
    return ok;
}

std::optional<SftpAttributes> SftpClient::stat(const std::string& path)
{
    std::string payload;
    wire::putString(payload, path);
    return expectAttributes(call(kStat, payload));
}

std::optional<SftpAttributes> SftpClient::lstat(const std::string& path)
{
    std::string payload;
    wire::putString(payload, path);
    return expectAttributes(call(kLstat, payload));
}

std::optional<SftpAttributes> SftpClient::fstat(const std::string& handle)
{
    std::string payload;
    wire::putString(payload, handle);
    return expectAttributes(call(kFstat, payload));
}

bool SftpClient::fsetstat(const std::string& handle, const SftpAttributes& attributes)
{
    std::string payload;
    wire::putString(payload, handle);
    wire::putAttributes(payload, attributes);
    return expectOk(call(kFsetstat, payload));
}

std::optional<std::string> SftpClient::realpath(const std::string& path)
{
    std::string payload;
    wire::putString(payload, path);
    std::optional<Reply> reply = call(kRealpath, payload);
    if (!reply)
        return std::nullopt;
    std::string_view in = reply->body;
    std::uint32_t count = 0;
    std::string name;
    if (reply->type == kNameReply && wire::takeU32(in, count) && count == 1 && wire::takeString(in, name))
        return name;
    if (reply->type != kStatusReply || expectOk(std::move(reply)))
        fail(SftpStatus::BadMessage, "the server sent an unexpected reply");
    return std::nullopt;
}

bool SftpClient::rename(const std::string& from, const std::string& to)
{
    std::string payload;
    wire::putString(payload, from);
    wire::putString(payload, to);
    return expectOk(call(kRename, payload));
}

bool SftpClient::posixRename(const std::string& from, const std::string& to)
{
    std::string payload;
    wire::putString(payload, "posix-rename@openssh.com");
    wire::putString(payload, from);
    wire::putString(payload, to);
    return expectOk(call(kExtended, payload));
}

bool SftpClient::fsync(const std::string& handle)
{
    std::string payload;
    wire::putString(payload, "fsync@openssh.com");
    wire::putString(payload, handle);
    return expectOk(call(kExtended, payload));
}

bool SftpClient::remove(const std::string& path)
{
    std::string payload;
    wire::putString(payload, path);
    return expectOk(call(kRemove, payload));
}

} // namespace remote
