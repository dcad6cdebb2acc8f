// StatePaths.h: where the registry and event-log files live, and making their folders.
//
//   std::string thePath = ferrolift::platform::RegistryFilePath();
//   ferrolift::platform::MakeParentFolders(thePath);   // mkdir -p of its folder
#pragma once

#include <string>

namespace ferrolift::platform {

/// The registry file in use now: FERROLIFT_REGISTRY; else, for a root process,
/// /var/lib/ferrolift/registry.reg; else ferrolift/registry.reg in the user's state folder.
std::string RegistryFilePath();

/// The event-log file in use now: FERROLIFT_EVENTLOG; else, for a root process without
/// FERROLIFT_REGISTRY, /var/log/ferrolift/eventlog.jsonl; else eventlog.jsonl beside the
/// registry file.
std::string EventLogFilePath();

/// Creates the folders above inPath that are missing (mode 0755); false with errno set
/// when one cannot be made.
bool MakeParentFolders(const std::string& inPath);

/// The folder part of inPath ("." when it has none).
std::string ParentFolder(const std::string& inPath);

}  // namespace ferrolift::platform
