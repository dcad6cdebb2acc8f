// StatePaths.h: where the registry and event-log files live, and making their folders.
//
//   std::string thePath = ferrolift::platform::RegistryFilePath();
//   ferrolift::platform::MakeParentFolders(thePath);   // mkdir -p of its folder
#pragma once

#include <string>

namespace ferrolift::platform {

/// Creates the folders above inPath that are missing (mode 0755); false with errno set
/// when one cannot be made.
bool MakeParentFolders(const std::string& inPath);

/// The folder part of inPath ("." when it has none).
std::string ParentFolder(const std::string& inPath);

}  // namespace ferrolift::platform
