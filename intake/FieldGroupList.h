// FieldGroupList.h: the field groups of one upload, in order of first appearance, with
// a case-insensitive index so that finding a name costs the same for the 1st and the
// 100 000th group.
//
//   FieldGroupList theGroups;
//   theGroups.AddItem("photo", "C:\\a.jpg", "image/jpeg", theBytes, theLength, CP_UTF8);
//   LONG thePos = theGroups.FindGroup("PHOTO");           // 0
//   const FieldEntry* theEntry = theGroups.GetGroup(thePos)->Entry(0);
#pragma once

#include "intake/FieldGroup.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

/// Owns the groups of one upload and finds them by name, ignoring letter case.
class FieldGroupList {
public:
    /// inNameCodePage decides which bytes start a double-byte character in names; the
    /// default is the system ANSI code page, read when the first name is looked at.
    explicit FieldGroupList(UINT inNameCodePage = CP_ACP) : mNameCodePage(inNameCodePage) {}
    FieldGroupList(const FieldGroupList&) = delete;
    FieldGroupList& operator=(const FieldGroupList&) = delete;

    /// Position of the first group whose name equals inName without regard to case
    /// (A-Z equal a-z; double-byte characters of the system code page compare whole), or -1.
    LONG FindGroup(const char* inName) const;
    /// The group at a 0-based position, or null.
    const FieldGroup* GetGroup(LONG inPosition) const;
    /// Number of groups.
    LONG GroupCount() const { return static_cast<LONG>(mGroups.size()); }

    /// Appends one field to the group of inName, making the group when it is new.
    /// inFileName (bytes of the filename parameter, decoded in inCodePage) gives the three
    /// file names; inContentType is read in the system code page. data is not copied.
    void AddItem(const char* inName, const char* inFileName, const char* inContentType,
                 const BYTE* inData, LONG inLength, UINT inCodePage);

    /// Drops every group and entry.
    void Clear();

private:
    /// One place of the open-addressed index: a key's hash and its group's position.
    struct Slot {
        uint64_t hash = 0;
        LONG position = -1;   // -1: empty
    };

    void PrepareCaseRule() const;
    size_t FoldName(const char* inName, size_t inLength, char* outKey) const;
    bool NameMatches(const FieldGroup& inGroup, const char* inKey, size_t inLength) const;
    LONG Lookup(const char* inKey, size_t inLength, uint64_t inHash) const;
    void Insert(uint64_t inHash, LONG inPosition);
    SharedText ContentTypeText(const char* inContentType);

    UINT mNameCodePage;
    std::deque<FieldGroup> mGroups;
    std::vector<Slot> mSlots;   // a power of two in size, at most half used
    size_t mUsedSlots = 0;
    mutable bool mCaseRuleReady = false;
    mutable bool mLeadByte[256] = {};
    std::string mLastContentType;
    SharedText mLastContentTypeText;
};
