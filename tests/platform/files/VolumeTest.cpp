// Volume information: "NTFS" exactly when the volume takes user extended attributes.
#include <windows.h>

#include "common/TestPage.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>

using ferrolift::test::ScopedMount;
using ferrolift::test::ScopedTempFolder;
using ferrolift::test::Wide;

namespace {

// What the kernel says of the folder, independently of the code under test.
bool TakesUserAttributes(const std::string& inFolder)
{
    const std::string theProbe = inFolder + "/probe";
    FILE* theFile = fopen(theProbe.c_str(), "w");
    if (!theFile)
        return false;
    fclose(theFile);
    const bool theResult = setxattr(theProbe.c_str(), "user.probe", "1", 1, 0) == 0;
    remove(theProbe.c_str());
    return theResult;
}

std::u16string FileSystemOf(const std::string& inPath, DWORD* outFlags = nullptr)
{
    WCHAR theName[MAX_PATH] = {};
    if (!GetVolumeInformationW(Wide(inPath).c_str(), nullptr, 0, nullptr, nullptr, outFlags, theName, MAX_PATH))
        return u"<failed " + Wide(std::to_string(GetLastError())) + u">";
    return theName;
}

TEST(VolumeTest, TempFolderVolumeIsNtfsWhenItTakesUserAttributes)
{
    ScopedTempFolder theFolder;
    const std::u16string theExpected = TakesUserAttributes(theFolder.Path()) ? u"NTFS" : u"";
    if (theExpected.empty())
        GTEST_SKIP() << "the temporary folder's volume takes no user attributes";
    DWORD theFlags = 0;
    EXPECT_EQ(FileSystemOf(theFolder.Path() + "/", &theFlags), u"NTFS");
    EXPECT_NE(theFlags & FILE_NAMED_STREAMS, 0u);
    // A root made from a file that is not there yet still finds its volume.
    EXPECT_EQ(FileSystemOf(theFolder.Path() + "/new/file.txt\\"), u"NTFS");

    char theNarrow[MAX_PATH] = {};
    DWORD theSerial = 0;
    DWORD theLongest = 0;
    ASSERT_TRUE(GetVolumeInformationA(theFolder.Path().c_str(), nullptr, 0, &theSerial, &theLongest, nullptr,
                                      theNarrow, MAX_PATH));
    EXPECT_STREQ(theNarrow, "NTFS");
    EXPECT_EQ(theLongest, 255u);
}

TEST(VolumeTest, TmpfsWithUserAttributesIsNtfs)
{
    ScopedMount theMount("tmpfs");
    if (!theMount.Mounted())
        GTEST_SKIP() << theMount.Failure();
    if (!TakesUserAttributes(theMount.Path()))
        GTEST_SKIP() << "this kernel's tmpfs takes no user attributes";
    EXPECT_EQ(FileSystemOf(theMount.Path()), u"NTFS");
}

TEST(VolumeTest, VolumesWithoutUserAttributesGiveTheirRealName)
{
    DWORD theFlags = 0;
    EXPECT_EQ(FileSystemOf("/proc/self", &theFlags), u"proc");
    EXPECT_EQ(theFlags & FILE_NAMED_STREAMS, 0u);

    // ramfs is writable and refuses user attributes, like a FAT volume.
    ScopedMount theMount("ramfs");
    if (!theMount.Mounted())
        GTEST_SKIP() << theMount.Failure();
    EXPECT_EQ(FileSystemOf(theMount.Path() + "/a.txt"), u"ramfs");
    const std::u16string theStream = Wide(theMount.Path() + "/a.txt:AFP_Resource");
    EXPECT_EQ(CreateFileW(theStream.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE);
    EXPECT_NE(GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(GetFileAttributesA((theMount.Path() + "/a.txt").c_str()), INVALID_FILE_ATTRIBUTES)
        << "a file made only for a stream that failed must go again";
}

// The volume type the component's Macintosh files meet most: a FAT file system.
TEST(VolumeTest, VfatImageGivesItsRealName)
{
    ScopedTempFolder theFolder;
    const std::string theImage = theFolder / "fat.img";
    const std::string thePoint = theFolder / "mnt";
    const std::string theErrors = theFolder / "errors";
    const std::string theMake = "truncate -s 4M '" + theImage + "' && mkfs.vfat '" + theImage + "' >/dev/null 2>&1";
    if (mkdir(thePoint.c_str(), 0755) != 0 || system(theMake.c_str()) != 0)
        GTEST_SKIP() << "mkfs.vfat is not available";
    const std::string theMount = "mount -o loop '" + theImage + "' '" + thePoint + "' 2>'" + theErrors + "'";
    if (system(theMount.c_str()) != 0) {
        std::ifstream theFile(theErrors);
        GTEST_SKIP() << "cannot mount a vfat image: " << std::string(std::istreambuf_iterator<char>(theFile), {});
    }
    struct Unmount {
        std::string point;
        ~Unmount() { umount2(point.c_str(), MNT_DETACH); }
    } theUnmount{thePoint};
    EXPECT_EQ(FileSystemOf(thePoint + "/a.txt"), u"vfat");
    const std::u16string theStream = Wide(thePoint + "/a.txt:AFP_Resource");
    EXPECT_EQ(CreateFileW(theStream.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_ALWAYS, 0, nullptr), INVALID_HANDLE_VALUE);
}

TEST(VolumeTest, BadRootsAndBuffers)
{
    EXPECT_EQ(FileSystemOf("uploads\\a.txt\\"), u"<failed 123>");
    EXPECT_EQ(FileSystemOf("D:\\"), u"<failed 123>");
    WCHAR theShort[4];
    EXPECT_FALSE(GetVolumeInformationW(u"/proc", nullptr, 0, nullptr, nullptr, nullptr, theShort, 4));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    WCHAR theVolumeName[8] = {u'x'};
    EXPECT_TRUE(GetVolumeInformationW(u"/", theVolumeName, 8, nullptr, nullptr, nullptr, nullptr, 0));
    EXPECT_EQ(theVolumeName[0], 0);
}

}  // namespace
