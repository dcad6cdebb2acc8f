// ReadScope.h: lets one thread's registry reads share a single check of the registry
// file while a scope lives. The page engine opens one per page, so that the twenty-odd
// registry reads of an upload page (class lookups, settings, the code page of every
// conversion) cost one check instead of one system call each. The page sees the registry
// as it was at its first read, plus its own process's changes; a change made meanwhile by
// another process is seen from the next page on. Without a scope every read checks.
//
//   {
//       ferrolift::platform::reg::ReadScope theScope;
//       ... run the page ...
//   }
#pragma once

namespace ferrolift::platform::reg {

/// Scopes nest; the check is shared until the outermost one ends.
class ReadScope {
public:
    ReadScope();
    ~ReadScope();
    ReadScope(const ReadScope&) = delete;
    ReadScope& operator=(const ReadScope&) = delete;

    /// True when this thread is inside a scope that has already checked the file.
    static bool Checked();

    /// Records that the registry file was checked, for this thread's scope if any.
    static void NoteChecked();
};

}  // namespace ferrolift::platform::reg
