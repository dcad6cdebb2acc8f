#include "intake/FieldGroupList.h"

#include "intake/Names.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

constexpr size_t kNameBuffer = FieldGroup::kMaxName + 1;

/// FNV-1a over the folded key: cheap, and good enough for names that differ in a digit.
uint64_t HashKey(const char* inKey, size_t inLength)
{
    uint64_t theHash = 14695981039346656037ull;
    for (size_t i = 0; i < inLength; ++i) {
        theHash ^= static_cast<BYTE>(inKey[i]);
        theHash *= 1099511628211ull;
    }
    return theHash;
}

}  // namespace

void FieldGroupList::PrepareCaseRule() const
{
    if (mCaseRuleReady)
        return;
    // Read once per upload: the system code page decides which bytes start a double-byte
    // character, and such a pair must never be case-folded (its trail byte may look like A-Z).
    // One GetCPInfo gives every lead-byte range at once.
    UINT theCodePage = mNameCodePage == CP_ACP ? GetACP() : mNameCodePage;
    std::fill(std::begin(mLeadByte), std::end(mLeadByte), false);
    CPINFO theInfo;
    if (GetCPInfo(theCodePage, &theInfo)) {
        for (size_t r = 0; r + 1 < MAX_LEADBYTES && theInfo.LeadByte[r] != 0; r += 2) {
            for (unsigned theByte = theInfo.LeadByte[r]; theByte <= theInfo.LeadByte[r + 1]; ++theByte)
                mLeadByte[theByte] = true;
        }
    }
    mCaseRuleReady = true;
}

size_t FieldGroupList::FoldName(const char* inName, size_t inLength, char* outKey) const
{
    PrepareCaseRule();
    size_t i = 0;
    while (i < inLength) {
        BYTE theByte = static_cast<BYTE>(inName[i]);
        if (mLeadByte[theByte] && i + 1 < inLength) {
            outKey[i] = inName[i];
            outKey[i + 1] = inName[i + 1];
            i += 2;
            continue;
        }
        outKey[i] = static_cast<char>(theByte >= 'A' && theByte <= 'Z' ? theByte + ('a' - 'A') : theByte);
        ++i;
    }
    return inLength;
}

bool FieldGroupList::NameMatches(const FieldGroup& inGroup, const char* inKey, size_t inLength) const
{
    const char* theName = inGroup.Name();
    if (::strlen(theName) != inLength)
        return false;
    char theFolded[kNameBuffer];
    FoldName(theName, inLength, theFolded);
    return ::memcmp(theFolded, inKey, inLength) == 0;
}

LONG FieldGroupList::Lookup(const char* inKey, size_t inLength, uint64_t inHash) const
{
    if (mSlots.empty())
        return -1;
    size_t theMask = mSlots.size() - 1;
    for (size_t i = inHash & theMask;; i = (i + 1) & theMask) {
        const Slot& theSlot = mSlots[i];
        if (theSlot.position < 0)
            return -1;
        if (theSlot.hash == inHash && NameMatches(mGroups[static_cast<size_t>(theSlot.position)], inKey, inLength))
            return theSlot.position;
    }
}

void FieldGroupList::Insert(uint64_t inHash, LONG inPosition)
{
    if ((mUsedSlots + 1) * 2 > mSlots.size()) {
        std::vector<Slot> theOld(std::max<size_t>(64, mSlots.size() * 2));
        theOld.swap(mSlots);
        mUsedSlots = 0;
        for (const Slot& theSlot : theOld)
            if (theSlot.position >= 0)
                Insert(theSlot.hash, theSlot.position);
    }
    size_t theMask = mSlots.size() - 1;
    size_t i = inHash & theMask;
    while (mSlots[i].position >= 0)
        i = (i + 1) & theMask;
    mSlots[i] = Slot{inHash, inPosition};
    ++mUsedSlots;
}

LONG FieldGroupList::FindGroup(const char* inName) const
{
    if (inName == nullptr || mGroups.empty())
        return -1;
    // Stored names are at most kMaxName bytes, so a longer name can match none of them.
    size_t theLength = ::strnlen(inName, kNameBuffer);
    if (theLength > FieldGroup::kMaxName)
        return -1;
    char theKey[kNameBuffer];
    FoldName(inName, theLength, theKey);
    return Lookup(theKey, theLength, HashKey(theKey, theLength));
}

const FieldGroup* FieldGroupList::GetGroup(LONG inPosition) const
{
    if (inPosition < 0 || static_cast<size_t>(inPosition) >= mGroups.size())
        return nullptr;
    return &mGroups[static_cast<size_t>(inPosition)];
}

SharedText FieldGroupList::ContentTypeText(const char* inContentType)
{
    if (*inContentType == 0)
        return SharedText();
    // Parts mostly repeat a handful of types; sharing the text saves a conversion per part.
    if (mLastContentType == inContentType)
        return mLastContentTypeText;
    WCHAR theText[kNameBuffer];
    int theCount = MultiByteToWideChar(CP_ACP, 0, inContentType, -1, theText, static_cast<int>(kNameBuffer));
    if (theCount <= 0)
        theText[0] = 0;
    mLastContentType = inContentType;
    mLastContentTypeText = SharedText(theText);
    return mLastContentTypeText;
}

void FieldGroupList::AddItem(const char* inName, const char* inFileName, const char* inContentType,
                             const BYTE* inData, LONG inLength, UINT inCodePage)
{
    LONG thePosition = FindGroup(inName);
    FieldGroup* theGroup = nullptr;
    if (thePosition >= 0) {
        theGroup = &mGroups[static_cast<size_t>(thePosition)];
    } else {
        theGroup = &mGroups.emplace_back(inName);
        char theKey[kNameBuffer];
        size_t theLength = ::strlen(theGroup->Name());
        FoldName(theGroup->Name(), theLength, theKey);
        uint64_t theHash = HashKey(theKey, theLength);
        // A cut name may equal an earlier one; lookups must keep finding the earlier group.
        if (Lookup(theKey, theLength, theHash) < 0)
            Insert(theHash, GroupCount() - 1);
    }

    FieldEntry theEntry;
    if (*inFileName != 0) {
        WCHAR theRawPath[kNameBuffer];
        WCHAR theSafeName[kNameBuffer];
        WCHAR theURLSafeName[kNameBuffer];
        SplitClientPath(inFileName, inCodePage, theRawPath, theSafeName, theURLSafeName);
        theEntry.rawPath = SharedText(theRawPath);
        theEntry.safeName = SharedText(theSafeName);
        theEntry.urlSafeName = SharedText(theURLSafeName);
    }
    theEntry.contentType = ContentTypeText(inContentType);
    theEntry.data = inData;
    theEntry.length = inLength < 0 ? 0 : inLength;
    theGroup->Append(std::move(theEntry));
}

void FieldGroupList::Clear()
{
    mGroups.clear();
    mSlots.clear();
    mUsedSlots = 0;
    mCaseRuleReady = false;
    mLastContentType.clear();
    mLastContentTypeText = SharedText();
}
