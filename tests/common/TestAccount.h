// TestAccount.h: a throw-away local account for logon and impersonation tests. Needs
// root; the account is removed again when the object goes.
//
//   static std::unique_ptr<TestAccount> sAccount;
//   sAccount = TestAccount::Create("fltsec");      // null (with a reason) when not root
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

/// A local account made with useradd/chpasswd and deleted with userdel.
class TestAccount {
public:
    ~TestAccount() { Run("userdel -f " + mName + " >/dev/null 2>&1"); }
    TestAccount(const TestAccount&) = delete;
    TestAccount& operator=(const TestAccount&) = delete;

    /// Why accounts cannot be made here, or empty when they can.
    static std::string Unavailable()
    {
        if (geteuid() != 0)
            return "needs root: creates a throw-away account and changes thread credentials";
        if (access("/usr/sbin/useradd", X_OK) != 0 || access("/usr/sbin/chpasswd", X_OK) != 0)
            return "useradd/chpasswd missing";
        return {};
    }

    /// Makes an account named inPrefix + process id with a random password, and installs
    /// the logon service's PAM file when the system has none. Null on failure.
    static std::unique_ptr<TestAccount> Create(const std::string& inPrefix)
    {
        if (!Unavailable().empty() || !InstallPamService())
            return nullptr;
        RemoveOrphans(inPrefix);
        std::unique_ptr<TestAccount> theAccount(new TestAccount(inPrefix + std::to_string(getpid())));
        Run("userdel -f " + theAccount->mName + " >/dev/null 2>&1");
        if (!Run("useradd -M -s /usr/sbin/nologin " + theAccount->mName) ||
            !Run("echo '" + theAccount->mName + ":" + theAccount->mPassword + "' | chpasswd"))
            return nullptr;
        return theAccount;
    }

    const std::string& name() const { return mName; }
    const std::string& password() const { return mPassword; }

private:
    explicit TestAccount(std::string inName)
        : mName(std::move(inName)), mPassword("Pw-" + std::to_string(getpid()) + "-" + std::to_string(rand() % 100000))
    {
    }

    static bool Run(const std::string& inCommand) { return std::system(inCommand.c_str()) == 0; }

    /// Deletes accounts left by test processes that died before their clean-up.
    static void RemoveOrphans(const std::string& inPrefix)
    {
        std::ifstream thePasswd("/etc/passwd");
        for (std::string theLine; std::getline(thePasswd, theLine);) {
            const std::string theName = theLine.substr(0, theLine.find(':'));
            if (theName.rfind(inPrefix, 0) != 0 || theName.size() == inPrefix.size())
                continue;
            const std::string thePid = theName.substr(inPrefix.size());
            if (thePid.find_first_not_of("0123456789") != std::string::npos)
                continue;
            if (access(("/proc/" + thePid).c_str(), F_OK) != 0)
                Run("userdel -f " + theName + " >/dev/null 2>&1");
        }
    }

    /// The service stays installed: the product needs it as well.
    static bool InstallPamService()
    {
        const char* thePath = "/etc/pam.d/ferrolift";
        if (access(thePath, F_OK) == 0)
            return true;
        // Written aside and renamed, as another test program may be doing the same.
        const std::string theTemp = std::string(thePath) + "." + std::to_string(getpid());
        {
            std::ofstream theFile(theTemp);
            theFile << "# Logons of the Ferrolift component (SetUser).\n"
                       "auth     required pam_unix.so nodelay\n"
                       "account  required pam_unix.so\n";
            if (!theFile)
                return false;
        }
        return std::rename(theTemp.c_str(), thePath) == 0;
    }

    std::string mName;
    std::string mPassword;
};
