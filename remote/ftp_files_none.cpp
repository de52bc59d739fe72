// A build without libcurl: ftp:// and ftps:// addresses are refused with a message instead of a failure nobody can
// read.
#include "ftp_files.h"

namespace remote {
namespace {

constexpr const char* kNotBuilt = "ftp:// and ftps:// addresses are not available in this build";

} // namespace

FtpSettings FtpSettings::fromEnvironment()
{
    return {};
}

std::optional<std::string> FtpFiles::read(const std::string&, std::string& error)
{
    error = kNotBuilt;
    return std::nullopt;
}

bool FtpFiles::change(const std::string&, const store::InPlaceOptions&, const store::Change&, std::string& error)
{
    error = kNotBuilt;
    return false;
}

std::optional<store::Status> FtpFiles::stat(const std::string&, std::string& error)
{
    error = kNotBuilt;
    return std::nullopt;
}

} // namespace remote
