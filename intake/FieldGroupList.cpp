#include "intake/FieldGroupList.h"

#include "fields/Names.h"

#include <cstring>

namespace {

constexpr size_t kNameBuffer = FieldGroup::kMaxName + 1;

}  // namespace

void FieldGroupList::PrepareCaseRule() const
{
    if (mCaseRuleReady)
        return;
    // Read once per upload: the system code page decides which bytes start a double-byte
    // character, and such a pair must never be case-folded (its trail byte may look like A-Z).
    UINT theCodePage = mNameCodePage == CP_ACP ? GetACP() : mNameCodePage;
    for (int theByte = 0x80; theByte < 0x100; ++theByte)
        mLeadByte[theByte] = IsDBCSLeadByteEx(theCodePage, static_cast<BYTE>(theByte)) != FALSE;
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
    auto theFound = mIndex.find(std::string_view(theKey, theLength));
    return theFound == mIndex.end() ? -1 : theFound->second;
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
        // A cut name may equal an earlier one; the earlier group keeps the key.
        mIndex.try_emplace(std::string(theKey, theLength), GroupCount() - 1);
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
    mIndex.clear();
    mCaseRuleReady = false;
    mLastContentType.clear();
    mLastContentTypeText = SharedText();
}
