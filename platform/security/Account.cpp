// Account.cpp: passwd and group database lookups behind tokens.
#include "platform/security/Account.h"

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <cerrno>
#include <mutex>

namespace ferrolift::platform {

namespace {

/// Starting size of the buffers getpw*_r and getgr*_r fill; doubled on ERANGE.
constexpr size_t kInitialBuffer = 1024;
/// Beyond this an entry is treated as missing rather than grown for without end.
constexpr size_t kMaxBuffer = 1 << 20;

/// Calls a reentrant passwd lookup, growing its buffer as it asks.
template <class Lookup>
bool LookupPasswd(Lookup inLookup, passwd& outEntry, std::vector<char>& outBuffer)
{
    for (size_t theSize = kInitialBuffer; theSize <= kMaxBuffer; theSize *= 2) {
        outBuffer.resize(theSize);
        passwd* theResult = nullptr;
        int theError = inLookup(&outEntry, outBuffer.data(), outBuffer.size(), &theResult);
        if (theError == ERANGE)
            continue;
        return theError == 0 && theResult != nullptr;
    }
    return false;
}

/// The supplementary groups of an account (its primary group included).
std::vector<gid_t> GroupsOf(const char* inName, gid_t inGid)
{
    std::vector<gid_t> theGroups(32);
    for (int theTry = 0; theTry < 8; ++theTry) {
        int theCount = static_cast<int>(theGroups.size());
        if (getgrouplist(inName, inGid, theGroups.data(), &theCount) >= 0) {
            theGroups.resize(static_cast<size_t>(theCount));
            return theGroups;
        }
        theGroups.resize(static_cast<size_t>(theCount) > theGroups.size() ? static_cast<size_t>(theCount)
                                                                          : theGroups.size() * 2);
    }
    return {inGid};
}

AccountPtr MakeAccount(const passwd& inEntry)
{
    auto theAccount = std::make_shared<Account>();
    theAccount->mName = inEntry.pw_name;
    theAccount->mUid = inEntry.pw_uid;
    theAccount->mGid = inEntry.pw_gid;
    theAccount->mGroups = GroupsOf(inEntry.pw_name, inEntry.pw_gid);
    return theAccount;
}

AccountPtr CaptureProcessAccount()
{
    auto theAccount = std::make_shared<Account>();
    theAccount->mUid = geteuid();
    theAccount->mGid = getegid();
    int theCount = getgroups(0, nullptr);
    if (theCount > 0) {
        theAccount->mGroups.resize(static_cast<size_t>(theCount));
        theCount = getgroups(theCount, theAccount->mGroups.data());
        theAccount->mGroups.resize(theCount > 0 ? static_cast<size_t>(theCount) : 0);
    }
    AccountPtr theNamed = FindAccountByUid(theAccount->mUid);
    theAccount->mName = theNamed ? theNamed->mName : std::to_string(theAccount->mUid);
    return theAccount;
}

}  // namespace

AccountPtr FindAccountByName(const char* inName)
{
    if (inName == nullptr || inName[0] == '\0')
        return nullptr;
    passwd theEntry{};
    std::vector<char> theBuffer;
    auto theLookup = [inName](passwd* outEntry, char* outBuf, size_t inSize, passwd** outResult) {
        return getpwnam_r(inName, outEntry, outBuf, inSize, outResult);
    };
    if (!LookupPasswd(theLookup, theEntry, theBuffer))
        return nullptr;
    return MakeAccount(theEntry);
}

AccountPtr FindAccountByUid(uid_t inUid)
{
    passwd theEntry{};
    std::vector<char> theBuffer;
    auto theLookup = [inUid](passwd* outEntry, char* outBuf, size_t inSize, passwd** outResult) {
        return getpwuid_r(inUid, outEntry, outBuf, inSize, outResult);
    };
    if (!LookupPasswd(theLookup, theEntry, theBuffer))
        return nullptr;
    return MakeAccount(theEntry);
}

std::string FindGroupName(gid_t inGid)
{
    std::vector<char> theBuffer;
    for (size_t theSize = kInitialBuffer; theSize <= kMaxBuffer; theSize *= 2) {
        theBuffer.resize(theSize);
        group theEntry{};
        group* theResult = nullptr;
        int theError = getgrgid_r(inGid, &theEntry, theBuffer.data(), theBuffer.size(), &theResult);
        if (theError == ERANGE)
            continue;
        return theError == 0 && theResult != nullptr ? std::string(theEntry.gr_name) : std::string();
    }
    return {};
}

AccountPtr ProcessAccount()
{
    static std::once_flag theOnce;
    static AccountPtr theAccount;
    std::call_once(theOnce, [] { theAccount = CaptureProcessAccount(); });
    return theAccount;
}

std::string LocalDomainName()
{
    char theHost[256] = {};
    if (gethostname(theHost, sizeof theHost - 1) != 0)
        return "localhost";
    std::string theName(theHost);
    size_t theDot = theName.find('.');
    if (theDot != std::string::npos)
        theName.resize(theDot);
    return theName.empty() ? std::string("localhost") : theName;
}

}  // namespace ferrolift::platform
