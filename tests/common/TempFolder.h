// TempFolder.h: the one way tests make a private folder under the temporary folder.
//
//   ferrolift::test::ScopedTempFolder theFolder;             // $TMPDIR/ferrolift-test-XXXXXX
//   ferrolift::test::ScopedTempFolder theSite("ferrolift-site");
//   std::ofstream(theFolder / "a.txt") << "text";
//   ... everything inside is removed when theFolder goes ...
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace ferrolift::test {

/// A folder under the temporary folder (TMPDIR, else /tmp), removed with everything in it
/// at the end of the scope. mkdtemp makes it 0700 and with a name no other test can take.
class ScopedTempFolder {
public:
    explicit ScopedTempFolder(const std::string& inPrefix = "ferrolift-test")
    {
        // TMPDIR is read each time, not cached: some tests point it elsewhere on purpose.
        const char* theBase = ::getenv("TMPDIR");
        std::string theName = std::string(theBase && *theBase ? theBase : "/tmp") + "/" + inPrefix + "-XXXXXX";
        if (::mkdtemp(theName.data()) != nullptr)
            mPath = theName;
    }
    ~ScopedTempFolder()
    {
        std::error_code theIgnored;
        if (!mPath.empty())
            std::filesystem::remove_all(mPath, theIgnored);
    }
    ScopedTempFolder(const ScopedTempFolder&) = delete;
    ScopedTempFolder& operator=(const ScopedTempFolder&) = delete;

    /// The folder's absolute path (empty when it could not be made).
    const std::string& Path() const { return mPath; }
    /// inName inside the folder.
    std::string operator/(const std::string& inName) const { return mPath + "/" + inName; }

private:
    std::string mPath;
};

} // namespace ferrolift::test
