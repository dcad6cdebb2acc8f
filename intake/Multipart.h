// Multipart.h: the upload reader that each form owns. It takes the request body (or a
// file) once, holds it as one byte range, and splits it into field groups.
//
//   Multipart theReader;                       // registers a progress record
//   theReader.SetMaxUploadSize(1 << 20);
//   if (theReader.Initialize(nullptr, false))  // reads the current page's request
//       return Report(theReader.Errors().Describe());
//   LONG thePos = theReader.FindGroup("photo");
//   const FieldEntry* theEntry = theReader.GetGroup(thePos)->Entry(0);
//
// The reader has no lock: its form calls it under the form's lock. Entries point into
// the body, which lives until Clear or destruction.
#pragma once

#include "intake/FieldGroupList.h"
#include "platform/common/ComPtr.h"
#include "support/ErrorRecord.h"

#include <memory>

class ByteSource;
struct IObjectContext;
struct IGetContextProperties;
struct IRequest;
struct IServer;

/// Request intake, read cache and splitting for one form.
class Multipart {
public:
    /// Default MaxUploadSize: 8 MiB.
    static constexpr LONG kDefaultMaxUploadSize = 0x800000;
    /// Largest body a form can hold: its length and every field's are 32-bit signed.
    static constexpr LONG kMaxBodyLength = 0x7FFFFFFF;

    /// Takes a new progress ID and registers its record.
    Multipart();
    /// Clears (marking the progress record finished and dropping the read cache).
    ~Multipart();
    Multipart(const Multipart&) = delete;
    Multipart& operator=(const Multipart&) = delete;

    /// The one-time intake: from the request when inPath is null or empty, else from the file at
    /// inPath (virtual unless inIsPhysical). Later calls only answer. Returns true when
    /// errors were recorded.
    bool Initialize(const WCHAR* inPath, bool inIsPhysical);
    /// Back to the fresh state; progress ID, max upload size and code page stay.
    void Clear();

    /// Moves the progress record to inID (dropping any other record of that ID).
    void SetProgressID(LONG inID);
    LONG GetProgressID() const { return mProgressID; }

    /// Position of the group named inName (ignoring case), or -1.
    LONG FindGroup(const char* inName) const { return mGroups.FindGroup(inName); }
    /// The group at a 0-based position, or null.
    const FieldGroup* GetGroup(LONG inPosition) const { return mGroups.GetGroup(inPosition); }
    /// Number of distinct field names.
    LONG GroupCount() const { return mGroups.GroupCount(); }

    /// The failures of the intake, in order.
    ErrorRecord& Errors() { return mErrors; }
    /// First body byte (null before splitting or without body).
    const BYTE* Data() const { return mData; }
    /// Body length: the request's total, or the size of the file read.
    LONG Length() const { return mLength; }
    LONG GetMaxUploadSize() const { return mMaxUploadSize; }
    void SetMaxUploadSize(LONG inBytes) { mMaxUploadSize = inBytes; }
    UINT GetCodePage() const { return mCodePage; }
    void SetCodePage(UINT inCodePage) { mCodePage = inCodePage; }
    /// True when there is a length and the body was not read as URL-encoded pairs.
    bool IsMultipart() const { return mLength != 0 && !mDataCopy; }

    /// Resolves a virtual path through the page's server object into
    /// outPhysicalPath[MAX_PATH]. CONTEXT_E_NOCONTEXT when no server object was obtained.
    HRESULT MapPath(const WCHAR* inVirtualPath, WCHAR* outPhysicalPath);

    // The steps of the intake, in the order Initialize runs them.

    /// Obtains context, property bag, request and server objects (each once).
    void InitContext();
    /// Size check and chunked read of the request body.
    void ReadRequest();
    /// Takes the body from a file.
    void ReadFromFile(const WCHAR* inPath, bool inIsPhysical);
    /// Records a cache that holds fewer (or more) bytes than the request announced.
    void CheckLength();
    /// Splits the body into groups: multipart first, URL-encoded when that finds none.
    void GetMultipartItems();

private:
    void RunIntake(const WCHAR* inPath, bool inIsPhysical);
    void ReadTotalBytes();
    void ParseURLEncoded();
    void Note(const char* inText) const;

    LONG mProgressID = 0;
    bool mProcessed = false;
    ComPtr<IObjectContext> mContext;
    ComPtr<IGetContextProperties> mContextProperties;
    ComPtr<IRequest> mRequest;
    ComPtr<IServer> mServer;
    LONG mLength = 0;
    std::unique_ptr<ByteSource> mStream;
    const BYTE* mData = nullptr;
    std::unique_ptr<char[]> mDataCopy;
    LONG mMaxUploadSize = kDefaultMaxUploadSize;
    UINT mCodePage = 0;
    FieldGroupList mGroups;
    ErrorRecord mErrors;
};
