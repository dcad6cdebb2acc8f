// VolumeInformation.cpp: GetVolumeInformationA/W. A volume that takes user extended
// attributes can hold alternate data streams, so it calls itself "NTFS"; others give
// their real file-system name from the mount table.
#include "platform/files/Files.h"

#include "platform/errors/Errors.h"
#include "platform/files/FilePath.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>

using namespace ferrolift::platform;

namespace {

struct VolumeFacts {
    std::string fileSystem;
    DWORD serial = 0;
    DWORD maxComponent = 255;
    DWORD flags = 0;
};

BOOL Fail(DWORD inCode)
{
    SetLastError(inCode);
    return FALSE;
}

// The file-system type of the mount whose device is inDevice, from the mount table.
std::string MountedFileSystem(dev_t inDevice)
{
    std::ifstream theTable("/proc/self/mountinfo");
    char theWanted[32];
    snprintf(theWanted, sizeof theWanted, "%u:%u", major(inDevice), minor(inDevice));
    std::string theLine;
    while (std::getline(theTable, theLine)) {
        // "36 35 98:0 /root /mnt options... - ext4 /dev/sda1 rw"
        const size_t theFirst = theLine.find(' ');
        const size_t theSecond = theFirst == std::string::npos ? theFirst : theLine.find(' ', theFirst + 1);
        const size_t theThird = theSecond == std::string::npos ? theSecond : theLine.find(' ', theSecond + 1);
        if (theThird == std::string::npos || theLine.compare(theSecond + 1, theThird - theSecond - 1, theWanted) != 0)
            continue;
        const size_t theDash = theLine.find(" - ");
        if (theDash == std::string::npos)
            continue;
        const size_t theStart = theDash + 3;
        return theLine.substr(theStart, theLine.find(' ', theStart) - theStart);
    }
    return "unknown";
}

// The nearest existing ancestor of an absolute path (the path itself when it exists).
bool NearestExisting(std::string& inOutPath, struct stat& outStat)
{
    while (inOutPath.size() > 1 && inOutPath.back() == '/')
        inOutPath.pop_back();
    for (;;) {
        if (::stat(inOutPath.c_str(), &outStat) == 0)
            return true;
        if (errno != ENOENT && errno != ENOTDIR) {
            SetLastErrorFromErrno(errno, "stat");
            return false;
        }
        const size_t theSlash = inOutPath.rfind('/');
        inOutPath.resize(theSlash == 0 ? 1 : theSlash);
    }
}

BOOL QueryVolume(const FilePath& inRoot, VolumeFacts& outFacts)
{
    std::string thePath = inRoot.file;
    if (thePath.empty() || thePath[0] != '/')
        return Fail(ERROR_INVALID_NAME);   // no drive letters or current folder here
    struct stat theStat;
    if (!NearestExisting(thePath, theStat))
        return FALSE;
    struct statvfs theVolume;
    if (::statvfs(thePath.c_str(), &theVolume) != 0) {
        SetLastErrorFromErrno(errno, "statvfs");
        return FALSE;
    }
    const bool theStreams = ::getxattr(thePath.c_str(), "user.DosStream.probe:$DATA", nullptr, 0) >= 0 ||
                            (errno != ENOTSUP && errno != EOPNOTSUPP);
    outFacts.fileSystem = theStreams ? "NTFS" : MountedFileSystem(theStat.st_dev);
    outFacts.serial = static_cast<DWORD>(theStat.st_dev ^ (static_cast<uint64_t>(theStat.st_dev) >> 32));
    outFacts.maxComponent = static_cast<DWORD>(theVolume.f_namemax);
    outFacts.flags = FILE_CASE_SENSITIVE_SEARCH | FILE_CASE_PRESERVED_NAMES | FILE_UNICODE_ON_DISK;
    if (theStreams)
        outFacts.flags |= FILE_NAMED_STREAMS | FILE_PERSISTENT_ACLS;
    if ((theVolume.f_flag & ST_RDONLY) != 0)
        outFacts.flags |= FILE_READ_ONLY_VOLUME;
    return TRUE;
}

template <class Char>
BOOL ReportVolume(const VolumeFacts& inFacts, Char* outVolumeName, DWORD inVolumeNameSize, LPDWORD outSerial,
                  LPDWORD outMaxComponent, LPDWORD outFlags, Char* outFileSystem, DWORD inFileSystemSize)
{
    if (outFileSystem && CopyOutWithSize(inFacts.fileSystem, outFileSystem, inFileSystemSize) >= inFileSystemSize)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (outVolumeName && CopyOutWithSize(std::string(), outVolumeName, inVolumeNameSize) >= inVolumeNameSize)
        return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (outSerial)
        *outSerial = inFacts.serial;
    if (outMaxComponent)
        *outMaxComponent = inFacts.maxComponent;
    if (outFlags)
        *outFlags = inFacts.flags;
    return TRUE;
}

}  // namespace

BOOL WINAPI GetVolumeInformationA(LPCSTR lpRootPathName, LPSTR lpVolumeNameBuffer, DWORD nVolumeNameSize,
                                  LPDWORD lpVolumeSerialNumber, LPDWORD lpMaximumComponentLength,
                                  LPDWORD lpFileSystemFlags, LPSTR lpFileSystemNameBuffer, DWORD nFileSystemNameSize)
{
    FilePath theRoot;
    VolumeFacts theFacts;
    if (!ParseFilePath(lpRootPathName ? lpRootPathName : "/", theRoot) || !QueryVolume(theRoot, theFacts))
        return FALSE;
    return ReportVolume(theFacts, lpVolumeNameBuffer, nVolumeNameSize, lpVolumeSerialNumber, lpMaximumComponentLength,
                        lpFileSystemFlags, lpFileSystemNameBuffer, nFileSystemNameSize);
}

BOOL WINAPI GetVolumeInformationW(LPCWSTR lpRootPathName, LPWSTR lpVolumeNameBuffer, DWORD nVolumeNameSize,
                                  LPDWORD lpVolumeSerialNumber, LPDWORD lpMaximumComponentLength,
                                  LPDWORD lpFileSystemFlags, LPWSTR lpFileSystemNameBuffer, DWORD nFileSystemNameSize)
{
    FilePath theRoot;
    VolumeFacts theFacts;
    if (!ParseFilePath(lpRootPathName ? lpRootPathName : u"/", theRoot) || !QueryVolume(theRoot, theFacts))
        return FALSE;
    return ReportVolume(theFacts, lpVolumeNameBuffer, nVolumeNameSize, lpVolumeSerialNumber, lpMaximumComponentLength,
                        lpFileSystemFlags, lpFileSystemNameBuffer, nFileSystemNameSize);
}
