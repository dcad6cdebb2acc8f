// MultipartParser.h: splits a multipart/form-data body, in place, into field groups.
//
//   FieldGroupList theGroups;
//   MultipartParser theParser(theGroups, CP_UTF8);
//   theParser.ParseMultipart(theBody, theBody + theLength - 1);   // last byte, not end
//
// The divider is the body's own first line, not the request header's boundary, and
// the part walk stops quietly at the first thing that does not fit: malformed bodies
// keep the fields found before that point. Every search is bounded by the last byte of
// the body, which itself never belongs to a match.
//
// Hostile bodies stay linear: the end of a part's headers and the parameter keys are
// searched once and remembered while the walk stays before the place found, so a part
// with a million header lines costs one pass, not a million.
#pragma once

#include "intake/FieldGroupList.h"

/// One multipart walk over a body; adds what it finds to a FieldGroupList.
class MultipartParser {
public:
    /// Longest divider compared, in bytes.
    static constexpr size_t kMaxDivider = 32;
    /// Size of the buffers that receive header values (259 bytes and a zero).
    static constexpr size_t kValueBuffer = 260;

    /// inOutGroups receives the fields; inCodePage decodes file names.
    MultipartParser(FieldGroupList& inOutGroups, UINT inCodePage);

    /// Walks the whole body inStart..inLast (inclusive), part by part.
    void ParseMultipart(const BYTE* inStart, const BYTE* inLast);

    /// Reads the part whose divider is at inPart; returns the next divider, or null to
    /// end the walk. inDivider is zero-terminated (at most kMaxDivider bytes);
    /// inDividerLength is the whole first line's length.
    const BYTE* ParsePart(const BYTE* inPart, const BYTE* inLast, const char* inDivider, size_t inDividerLength);

    /// Longest field value a record can describe, in bytes.
    static constexpr size_t kMaxFieldLength = 0x7FFFFFFF;
    /// True when the walk stopped at a field longer than kMaxFieldLength: the body then
    /// cannot be split faithfully, and the caller refuses it rather than cut the field.
    bool FoundOversizedField() const { return mOversized; }

private:
    /// The first place of a zero-terminated key at or after a start, remembered so that
    /// asking again from a later start before that place costs nothing.
    struct KeySearch {
        const char* mKey;
        const BYTE* mFrom = nullptr;
        const BYTE* mBound = nullptr;
        const BYTE* mFound = nullptr;

        const BYTE* Find(const BYTE* inStart, const BYTE* inBound);
    };

    void ExtractValue(const BYTE* inStart, const BYTE* inLast, KeySearch& inOutKey, char* outValue);

    FieldGroupList& mGroups;
    UINT mCodePage;
    KeySearch mHeadersEnd{"\r\n\r\n"};
    KeySearch mNameKey{"name="};
    KeySearch mFileNameKey{"filename="};
    KeySearch mTypeKey{": "};
    bool mOversized = false;
};
