// The registry's in-memory key tree.
#include "platform/registry/RegTree.h"

#include "platform/registry/RegText.h"

namespace ferrolift::platform::reg {

const Value* Key::FindValue(std::string_view inName) const
{
    const auto theIt = mValueIndex.find(FoldName(inName));
    return theIt == mValueIndex.end() ? nullptr : &mValues[theIt->second];
}

void Key::SetValue(std::string_view inName, DWORD inType, std::vector<BYTE> inData)
{
    std::string theFolded = FoldName(inName);
    const auto theIt = mValueIndex.find(theFolded);
    if (theIt != mValueIndex.end()) {
        Value& theValue = mValues[theIt->second];
        theValue.type = inType;
        theValue.data = std::move(inData);
        return;
    }
    mValueIndex.emplace(std::move(theFolded), mValues.size());
    mValues.push_back(Value {std::string(inName), inType, std::move(inData)});
}

bool Key::DeleteValue(std::string_view inName)
{
    const auto theIt = mValueIndex.find(FoldName(inName));
    if (theIt == mValueIndex.end())
        return false;
    const size_t thePosition = theIt->second;
    mValueIndex.erase(theIt);
    mValues.erase(mValues.begin() + static_cast<std::ptrdiff_t>(thePosition));
    for (auto& theEntry : mValueIndex)
        if (theEntry.second > thePosition)
            --theEntry.second;
    return true;
}

void Key::ClearValues()
{
    mValues.clear();
    mValueIndex.clear();
}

Key* Key::FindSubkey(std::string_view inName)
{
    const auto theIt = mSubkeys.find(FoldName(inName));
    return theIt == mSubkeys.end() ? nullptr : theIt->second.get();
}

const Key* Key::FindSubkey(std::string_view inName) const
{
    const auto theIt = mSubkeys.find(FoldName(inName));
    return theIt == mSubkeys.end() ? nullptr : theIt->second.get();
}

Key& Key::CreateSubkey(std::string_view inName, bool* outCreated)
{
    auto& theSlot = mSubkeys[FoldName(inName)];
    if (outCreated != nullptr)
        *outCreated = theSlot == nullptr;
    if (theSlot == nullptr)
        theSlot = std::make_unique<Key>(std::string(inName));
    return *theSlot;
}

bool Key::DeleteSubkey(std::string_view inName)
{
    return mSubkeys.erase(FoldName(inName)) != 0;
}

Key* Key::FindPath(const std::vector<std::string>& inPath)
{
    Key* theKey = this;
    for (const std::string& theName : inPath) {
        theKey = theKey->FindSubkey(theName);
        if (theKey == nullptr)
            return nullptr;
    }
    return theKey;
}

Key& Key::CreatePath(const std::vector<std::string>& inPath, bool* outCreated)
{
    Key* theKey = this;
    bool theCreated = false;
    for (const std::string& theName : inPath)
        theKey = &theKey->CreateSubkey(theName, &theCreated);
    if (outCreated != nullptr)
        *outCreated = theCreated;
    return *theKey;
}

}  // namespace ferrolift::platform::reg
