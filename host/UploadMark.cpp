#include "host/UploadMark.h"

#include <sys/xattr.h>

#include <cerrno>

namespace ferrolift::host {

namespace {

bool Unsupported(int inError)
{
    return inError == ENOTSUP || inError == EOPNOTSUPP;
}

}  // namespace

bool IsVisitorData(const std::string& inPhysical)
{
    if (::getxattr(inPhysical.c_str(), kUploadMarkAttribute, nullptr, 0) >= 0)
        return true;
    // ENODATA: unmarked. A volume without user attributes, or any other failure to
    // read the mark, fails closed.
    return errno != ENODATA && errno != ENOENT && errno != ENOTDIR;
}

bool IsVisitorDescriptor(int inDescriptor)
{
    if (::fgetxattr(inDescriptor, kUploadMarkAttribute, nullptr, 0) >= 0)
        return true;
    return errno != ENODATA;
}

bool VolumeCanMark(const std::string& inPath)
{
    return ::getxattr(inPath.c_str(), kUploadMarkAttribute, nullptr, 0) >= 0 || !Unsupported(errno);
}

}  // namespace ferrolift::host
