// Fuzzes the body splitter: any bytes must split without a fault, and the result must
// match the plain reference splitter entry for entry.
#include "intake/MultipartParser.h"
#include "intake/UrlEncodedParser.h"
#include "common/ReferenceSplitter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#include "FuzzCheck.h"

namespace {

std::string Bytes(const BYTE* inData, LONG inLength)
{
    return std::string(reinterpret_cast<const char*>(inData), static_cast<size_t>(inLength));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* inData, size_t inSize)
{
    if (inSize == 0 || inSize > 65536)
        return 0;
    // libFuzzer hands over an exact-size heap copy of the input, so a read past the body
    // is caught without copying it again.
    const BYTE* theBody = inData;
    // The system code page cannot change during a run; asking for it (a registry read)
    // once per process instead of once per input and per compared name is most of the
    // target's speed.
    static const UINT theSystemCodePage = GetACP();
    FieldGroupList theGroups(theSystemCodePage);
    MultipartParser theParser(theGroups, CP_UTF8);
    theParser.ParseMultipart(theBody, theBody + inSize - 1);
    std::unique_ptr<char[]> theCopy;
    if (theGroups.GroupCount() == 0)
        theCopy = ParseURLEncoded(theBody, static_cast<DWORD>(inSize), theGroups, CP_UTF8);

    // One reference for the process, since making its lead-byte table costs more than a
    // split. It is emptied when the run ends: memory kept from one run to the next would
    // make libFuzzer suspect a leak and run the input again.
    static reference::Splitter theReference(theSystemCodePage);
    struct Emptied {
        reference::Splitter& splitter;
        ~Emptied() { splitter.Clear(); }
    } theEmptied{theReference};
    theReference.Split(theBody, inSize);
    Check(theGroups.GroupCount() == static_cast<LONG>(theReference.groups.size()), "group count");
    for (LONG g = 0; g < theGroups.GroupCount(); ++g) {
        const FieldGroup* theGroup = theGroups.GetGroup(g);
        const reference::Group& theExpected = theReference.groups[static_cast<size_t>(g)];
        Check(theExpected.name == theGroup->Name(), "group name");
        Check(theGroups.FindGroup(theGroup->Name()) == theReference.FindGroup(theGroup->Name()), "find group");
        Check(theGroup->EntryCount() == static_cast<LONG>(theExpected.entries.size()), "entry count");
        for (LONG e = 0; e < theGroup->EntryCount(); ++e) {
            const FieldEntry* theEntry = theGroup->Entry(e);
            const reference::Entry& theWanted = theExpected.entries[static_cast<size_t>(e)];
            Check(Bytes(theEntry->data, theEntry->length) == Bytes(theWanted.data, theWanted.length), "entry data");
            WCHAR theRaw[MAX_PATH] = {0}, theSafe[MAX_PATH] = {0}, theUrl[MAX_PATH] = {0};
            if (!theWanted.fileName.empty())
                SplitClientPath(theWanted.fileName.c_str(), CP_UTF8, theRaw, theSafe, theUrl);
            Check(std::u16string(theEntry->rawPath.c_str()) == theRaw, "raw path");
            Check(std::u16string(theEntry->safeName.c_str()) == theSafe, "safe name");
            Check(theEntry->contentType.empty() == theWanted.contentType.empty(), "content type presence");
        }
    }
    return 0;
}
