#include "intake/FieldGroup.h"

#include <cstring>

SharedText::SharedText(const WCHAR* inText, LONG inLength)
{
    if (inText == nullptr)
        return;
    size_t theLength = inLength >= 0 ? static_cast<size_t>(inLength) : std::char_traits<WCHAR>::length(inText);
    if (theLength == 0)
        return;
    mText = std::make_shared<const std::basic_string<WCHAR>>(inText, theLength);
}

FieldGroup::FieldGroup(const char* inName)
    : mName(inName, ::strnlen(inName, kMaxName))
{
}

const FieldEntry* FieldGroup::Entry(LONG inPosition) const
{
    if (inPosition < 0 || static_cast<size_t>(inPosition) >= mEntries.size())
        return nullptr;
    return &mEntries[static_cast<size_t>(inPosition)];
}
