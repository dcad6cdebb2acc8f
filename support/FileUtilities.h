// FileUtilities.h: whole-file write and read, and the test whether a path lies on storage
// with alternate data streams ("NTFS").
//
//   if (!WriteVisitorFile(OLESTR("/srv/up/a.txt"), theBytes, theLength, FALSE))
//       return GetLastError() | 0x80040000;        // 0x80040050 when it exists
//   if (SupportsStreams(thePath))
//       WriteWholeFile(theStreamPath /* ...:AFP_Resource */, theFork, theForkLength, TRUE);
#pragma once

#include <windows.h>

/// Writes exactly inLength bytes of inData (null with 0: an empty file) as the whole file
/// inPath: created new, or, with inOverwrite, replaced in place. The written range is
/// locked meanwhile, so a concurrent writer of the same file fails with 33. The last
/// error is left for the caller: 0 after success.
bool WriteWholeFile(LPCWSTR inPath, const void* inData, DWORD inLength, BOOL inOverwrite);

/// WriteWholeFile for a file that holds what a visitor sent (a saved field, a saved raw
/// body): after the file is opened and before any content is written, it gets the
/// "Zone.Identifier" stream of files from the Internet, so its content never exists
/// unmarked; an existing file that is overwritten is marked as well. On storage without
/// streams the mark cannot be kept and the file is written without it. When the mark
/// fails otherwise nothing is written (a file made for it is removed) and the last error
/// says why.
bool WriteVisitorFile(LPCWSTR inPath, const void* inData, DWORD inLength, BOOL inOverwrite);

/// Reads the whole file (or stream) inPath into a new buffer, allocated with new[] and
/// freed by the caller with FreeWholeFile. An empty file succeeds with length 0 and a
/// buffer still to be freed. False leaves the system error for the caller.
bool ReadWholeFile(LPCWSTR inPath, BYTE** outData, DWORD* outLength);

/// Frees a buffer handed out by ReadWholeFile.
void FreeWholeFile(BYTE* inData);

/// The root to ask for volume information about inPath: "X:\" after a drive letter,
/// "\" for an empty path, else the units before the fourth backslash (at most 244)
/// followed by "\". outRoot holds 260 units.
void VolumeRoot(LPCWSTR inPath, WCHAR* outRoot);

/// True when the storage of inPath reports the file system name "NTFS". The first
/// failing query of the process writes one error entry to the event log.
bool SupportsStreams(LPCWSTR inPath);
