// MappedViews.h: the table of mapped views (internal to the platform). It gives
// UnmapViewOfFile the length of a view, and WriteFile the file behind a buffer, so that
// bytes that already live in a file are copied by the kernel, file to file.
//
//   RecordView(theView, theLength, theMapping, theMapping->mFd, theOffset, true);
//   if (ViewSource theSource = FileBehind(theBuffer, theCount))
//       copy_file_range(theSource.fd, ...);
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/files/KernelObject.h"

namespace ferrolift::platform {

/// The file that holds a range of mapped memory. keepAlive holds the mapping object, so
/// fd stays open while the source is used.
struct ViewSource {
    std::shared_ptr<KernelObject> keepAlive;
    int fd = -1;
    uint64_t offset = 0;
    explicit operator bool() const { return fd >= 0; }
};

/// Notes a new view of inLength bytes at inBase, showing inFd from inOffset. inMirrorsFile
/// is false for copy-on-write views, whose bytes may have left the file's.
void RecordView(void* inBase, size_t inLength, std::shared_ptr<KernelObject> inOwner, int inFd, uint64_t inOffset,
                bool inMirrorsFile);

/// Removes the view at exactly inBase; false when there is none. outLength is its length.
bool ForgetView(const void* inBase, size_t& outLength);

/// The file behind inLength bytes at inAddress when one view that mirrors its file holds
/// them all; otherwise an empty source.
ViewSource FileBehind(const void* inAddress, size_t inLength);

}  // namespace ferrolift::platform
