// UploadMark.h: tells the page engine whether a file in the site came from a visitor.
//
// The component marks every file it writes for a page (a saved field, a saved raw body)
// with the "Zone.Identifier" stream that Windows uses for files from the Internet; on
// this platform a stream is the extended attribute "user.DosStream.NAME:$DATA". The
// engine never runs, includes or serves inline a marked file. A file whose volume cannot
// hold the mark cannot prove that it is not an upload, so it counts as visitor data too.
//
//   if (ferrolift::host::IsVisitorData("/srv/site/uploads/x.asp")) ... // never run it
#pragma once

#include <string>

namespace ferrolift::host {

/// The extended attribute that holds a file's "Zone.Identifier" stream.
inline constexpr const char* kUploadMarkAttribute = "user.DosStream.Zone.Identifier:$DATA";

/// True when inPhysical carries the upload mark, or lies on a volume that cannot carry
/// one. False for an unmarked file on a volume with extended attributes, and for a path
/// that does not exist (the caller then answers 404 anyway).
bool IsVisitorData(const std::string& inPhysical);

/// The same for an open file: the mark of exactly the file that is being read.
bool IsVisitorDescriptor(int inDescriptor);

/// True when the volume of inPath (a file or folder that exists) can carry the mark.
bool VolumeCanMark(const std::string& inPath);

}  // namespace ferrolift::host
