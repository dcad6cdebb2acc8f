// Token.h: the kernel object behind a security token handle. It names an account; the
// thread that impersonates it takes on that account's credentials.
//
//   HANDLE theHandle = ferrolift::platform::InsertHandle(
//       std::make_shared<ferrolift::platform::Token>(theAccount));
//   if (auto theToken = ferrolift::platform::LookupHandle<ferrolift::platform::Token>(theHandle))
//       Use(theToken->account());
#pragma once

#include "platform/security/Account.h"
#include "platform/files/KernelObject.h"

namespace ferrolift::platform {

/// A token: a reference to an account. Closing the handle does not end an impersonation
/// that was started with it, as on Windows.
class Token : public KernelObject {
public:
    explicit Token(AccountPtr inAccount) : mAccount(std::move(inAccount)) {}

    /// The account this token stands for (never null).
    const AccountPtr& account() const { return mAccount; }

private:
    AccountPtr mAccount;
};

/// The calling thread's impersonated account, or null when it runs as the process.
AccountPtr ThreadImpersonation();

}  // namespace ferrolift::platform
