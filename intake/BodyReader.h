// BodyReader.h: moves a request body from the page's request object into one byte
// source, chunk by chunk, publishing progress after every chunk.
//
//   std::unique_ptr<ByteSource> theBody;
//   HRESULT hr = ReadBody(theRequest, theProgressID, theTotalBytes, theBody);
//   if (SUCCEEDED(hr) && theBody)
//       Split(theBody->Data(), theBody->Size());
//
// A body of up to kInMemoryBodyLimit bytes is read into one block of memory, with the
// same rules as the cache below (fields, errors and progress come out the same), so
// that a small upload costs the file system nothing. A larger body lands in the binary
// read cache: a delete-on-close temporary file ("fer" prefix) that is then mapped, so
// it costs no heap and vanishes with the byte source. When no such file can be made,
// the body is read into one block of memory instead, and the first such failure of the
// process is logged once.
#pragma once

#include <windows.h>

#include <memory>

class ByteSource;
struct IRequest;

/// Bodies up to this size are read into memory rather than into the read cache. At the
/// default 64 worker threads that is at most 16 MiB of heap for bodies in flight.
constexpr DWORD kInMemoryBodyLimit = 256 * 1024;

/// Reads inNumBytes from inRequest (BinaryRead in chunks of the "ReadChunkSize"
/// setting, refreshed here; a setting of 0 reads in chunks of 2048) into outByteSource,
/// which must be empty. Nothing is read for inNumBytes < 1. On failure the code of the
/// failing step is returned and outByteSource stays empty. On success outByteSource
/// holds exactly the bytes delivered (unless the read cache could not be made), so a
/// size other than inNumBytes means the request delivered less or more. Bodies up to
/// inMemoryLimit bytes are read into memory (benchmarks and tests compare both ways).
HRESULT ReadBody(IRequest* inRequest, LONG inProgressID, LONG inNumBytes, std::unique_ptr<ByteSource>& outByteSource,
                 DWORD inMemoryLimit = kInMemoryBodyLimit);

/// The chunk size a read uses for a ReadChunkSize setting of inSetting.
DWORD EffectiveChunkSize(DWORD inSetting);
