// Account.h: a local account as tokens carry it (name and the credentials a thread takes
// on when it impersonates), and the lookups that make one.
//
//   auto theAccount = ferrolift::platform::FindAccountByName("alice");
//   if (theAccount) { /* theAccount->mUid, mGid, mGroups */ }
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace ferrolift::platform {

/// A local account: its name, uid, primary gid and supplementary groups. Immutable once
/// made, so tokens and threads share it freely.
struct Account {
    std::string mName;
    uid_t mUid = 0;
    gid_t mGid = 0;
    std::vector<gid_t> mGroups;
};

using AccountPtr = std::shared_ptr<const Account>;

/// The account named inName with its groups, or null when there is none.
AccountPtr FindAccountByName(const char* inName);

/// The account with uid inUid, or null when the passwd database has none.
AccountPtr FindAccountByUid(uid_t inUid);

/// Name of the group inGid, or empty when there is none.
std::string FindGroupName(gid_t inGid);

/// The account the process runs as (effective uid, gid and groups), captured on first
/// use, before any thread of ours impersonates. Never null: an effective uid without a
/// passwd entry is named by its number.
AccountPtr ProcessAccount();

/// This host's name up to its first dot: the domain of every local account.
std::string LocalDomainName();

}  // namespace ferrolift::platform
