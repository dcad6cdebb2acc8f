// BodyReader.h: moves a request body from the page's request object into one byte
// source, chunk by chunk, publishing progress after every chunk.
//
//   std::unique_ptr<ByteSource> theBody;
//   HRESULT hr = ReadBody(theRequest, theProgressID, theTotalBytes, theBody);
//   if (SUCCEEDED(hr) && theBody)
//       Split(theBody->Data(), theBody->Size());
//
// The body normally lands in the binary read cache: a delete-on-close temporary file
// ("fer" prefix) that is then mapped, so a large body costs no heap and vanishes with
// the byte source. When no such file can be made, the body is read into one block of
// memory instead, and the first such failure of the process is logged once.
#pragma once

#include <windows.h>

#include <memory>

class ByteSource;
struct IRequest;

/// Reads inNumBytes from inRequest (BinaryRead in chunks of the "ReadChunkSize"
/// setting, refreshed here; a setting of 0 reads in chunks of 2048) into outByteSource,
/// which must be empty. Nothing is read for inNumBytes < 1. On failure the code of the
/// failing step is returned and outByteSource stays empty.
HRESULT ReadBody(IRequest* inRequest, LONG inProgressID, LONG inNumBytes, std::unique_ptr<ByteSource>& outByteSource);

/// The chunk size a read uses for a ReadChunkSize setting of inSetting.
DWORD EffectiveChunkSize(DWORD inSetting);
