// FieldEntry.h: one field of an upload, as the splitter found it.
//
//   const FieldEntry* theEntry = theGroup->Entry(0);
//   if (theEntry != nullptr && !theEntry->rawPath.empty())
//       Use(theEntry->safeName.c_str(), theEntry->data, theEntry->length);
#pragma once

#include <windows.h>

#include <memory>
#include <string>

/// An immutable UTF-16 text shared by every copy of the entry that holds it.
/// A default (empty) text allocates nothing; c_str() is never null.
class SharedText {
public:
    SharedText() = default;
    /// Takes a copy of inText (inLength units; -1: up to its terminating zero).
    SharedText(const WCHAR* inText, LONG inLength = -1);

    /// The zero-terminated text (an empty string when there is none).
    const WCHAR* c_str() const { return mText ? mText->c_str() : OLESTR(""); }
    /// Number of UTF-16 units, without the terminator.
    size_t size() const { return mText ? mText->size() : 0; }
    bool empty() const { return size() == 0; }

private:
    std::shared_ptr<const std::basic_string<WCHAR>> mText;
};

/// One value of a field. The strings are shared; `data` points into the reader's body
/// (or its URL-decoded copy) and stays valid until the reader is cleared.
struct FieldEntry {
    SharedText rawPath;       ///< client path from the filename parameter, decoded
    SharedText safeName;      ///< file name that the local file system can hold
    SharedText urlSafeName;   ///< file name made of [a-z0-9.-_] only
    SharedText contentType;   ///< the part's Content-Type value; empty when absent
    const BYTE* data = nullptr;
    LONG length = 0;          ///< bytes at data; never negative
};
