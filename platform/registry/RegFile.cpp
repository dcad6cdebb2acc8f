// Reading and writing the registry export format.
#include "platform/registry/RegFile.h"

#include "platform/registry/RegText.h"
#include "platform/registry/Registry.h"

#include <cstdio>

namespace ferrolift::platform::reg {

namespace {

bool IsBlank(char inChar) { return inChar == ' ' || inChar == '\t'; }

std::string_view Trim(std::string_view inText)
{
    while (!inText.empty() && (IsBlank(inText.front()) || inText.front() == '\r'))
        inText.remove_prefix(1);
    while (!inText.empty() && (IsBlank(inText.back()) || inText.back() == '\r'))
        inText.remove_suffix(1);
    return inText;
}

int HexDigit(char inChar)
{
    if (inChar >= '0' && inChar <= '9')
        return inChar - '0';
    if (inChar >= 'a' && inChar <= 'f')
        return inChar - 'a' + 10;
    if (inChar >= 'A' && inChar <= 'F')
        return inChar - 'A' + 10;
    return -1;
}

// 1 to 8 hex digits, nothing else.
bool ParseHexNumber(std::string_view inText, DWORD& outValue)
{
    if (inText.empty() || inText.size() > 8)
        return false;
    outValue = 0;
    for (char theChar : inText) {
        const int theDigit = HexDigit(theChar);
        if (theDigit < 0)
            return false;
        outValue = (outValue << 4) | static_cast<DWORD>(theDigit);
    }
    return true;
}

std::vector<BYTE> Utf16Bytes(std::u16string_view inText)
{
    std::vector<BYTE> theBytes;
    theBytes.reserve(inText.size() * 2);
    for (char16_t theUnit : inText) {
        theBytes.push_back(static_cast<BYTE>(theUnit & 0xFF));
        theBytes.push_back(static_cast<BYTE>(theUnit >> 8));
    }
    return theBytes;
}

// Turns a UTF-16LE file (after its mark) into UTF-8.
std::string Utf16FileToUtf8(std::string_view inBytes)
{
    std::u16string theUnits;
    theUnits.reserve(inBytes.size() / 2);
    for (size_t i = 0; i + 1 < inBytes.size(); i += 2)
        theUnits += static_cast<char16_t>(static_cast<unsigned char>(inBytes[i]) |
                                          (static_cast<unsigned char>(inBytes[i + 1]) << 8));
    return Utf16ToUtf8(theUnits);
}

class Parser {
public:
    Parser(std::string_view inText, Tree& inTree) : mText(inText), mTree(inTree) {}

    ParseResult Run();

private:
    bool NextLine(std::string_view& outLine);
    bool Fail(const std::string& inMessage);
    bool ParseKeyLine(std::string_view inLine);
    bool ParseValueLine(std::string_view inLine);
    bool ParseName(std::string_view& ioLine, std::string& outName);
    bool ParseQuoted(std::string_view& ioLine, std::string& outText);
    bool ParseData(std::string_view inData, const std::string& inName);
    bool ParseHexBytes(std::string_view inList, std::vector<BYTE>& outBytes);
    std::string_view JoinContinuations(std::string_view inFirst);

    std::string_view mText;
    Tree& mTree;
    size_t mPos = 0;
    size_t mLine = 0;
    Key* mKey = nullptr;
    std::string mJoined;
    ParseResult mResult;
};

bool Parser::NextLine(std::string_view& outLine)
{
    if (mPos >= mText.size())
        return false;
    size_t theEnd = mText.find('\n', mPos);
    if (theEnd == std::string_view::npos)
        theEnd = mText.size();
    outLine = mText.substr(mPos, theEnd - mPos);
    mPos = theEnd + 1;
    ++mLine;
    return true;
}

bool Parser::Fail(const std::string& inMessage)
{
    mResult.ok = false;
    mResult.line = mLine;
    mResult.message = inMessage;
    return false;
}

ParseResult Parser::Run()
{
    std::string_view theLine;
    bool theSawHeader = false;
    while (NextLine(theLine)) {
        theLine = Trim(theLine);
        if (theLine.empty())
            continue;
        if (!theSawHeader) {
            if (theLine != kRegFileHeader) {
                Fail("expected \"" + std::string(kRegFileHeader) + "\"");
                return mResult;
            }
            theSawHeader = true;
            continue;
        }
        bool theOk = true;
        if (theLine.front() == ';')
            continue;
        if (theLine.front() == '[')
            theOk = ParseKeyLine(theLine);
        else if (theLine.front() == '"' || theLine.front() == '@')
            theOk = ParseValueLine(theLine);
        else
            theOk = Fail("expected a [key] line, a value line or a comment");
        if (!theOk)
            return mResult;
    }
    return mResult;
}

bool Parser::ParseKeyLine(std::string_view inLine)
{
    // Key names may hold ']': the last one on the line closes the path.
    const size_t theClose = inLine.rfind(']');
    if (theClose != inLine.size() - 1)
        return Fail("expected ']' at the end of the key line");
    std::string_view thePath = inLine.substr(1, theClose - 1);
    const bool theDelete = !thePath.empty() && thePath.front() == '-';
    if (theDelete)
        thePath.remove_prefix(1);
    RootId theRoot {};
    std::vector<std::string> theNames;
    if (!SplitKeyPath(thePath, false, theRoot, theNames))
        return Fail("expected a key path starting with HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER, HKEY_USERS or "
                    "HKEY_CLASSES_ROOT, without empty names");
    if (theNames.size() > kMaxDepth)
        return Fail("key path deeper than 512 keys");
    for (const std::string& theName : theNames)
        if (theName.size() > kMaxKeyNameLength)
            return Fail("key name longer than 255 characters");
    Key& theRootKey = mTree.Root(theRoot);
    mKey = nullptr;
    if (!theDelete) {
        mKey = &theRootKey.CreatePath(theNames);
        return true;
    }
    if (theNames.empty())
        return Fail("a root key cannot be deleted");
    const std::string theLeaf = theNames.back();
    theNames.pop_back();
    if (Key* theParent = theRootKey.FindPath(theNames))
        theParent->DeleteSubkey(theLeaf);
    return true;
}

bool Parser::ParseQuoted(std::string_view& ioLine, std::string& outText)
{
    // ioLine starts after the opening quote.
    outText.clear();
    for (size_t i = 0; i < ioLine.size(); ++i) {
        const char theChar = ioLine[i];
        if (theChar == '"') {
            ioLine.remove_prefix(i + 1);
            return true;
        }
        if (theChar != '\\') {
            outText += theChar;
            continue;
        }
        if (i + 1 >= ioLine.size() || (ioLine[i + 1] != '\\' && ioLine[i + 1] != '"'))
            return Fail("unknown escape in a quoted text (only \\\\ and \\\" are allowed)");
        outText += ioLine[++i];
    }
    return Fail("missing closing quote");
}

bool Parser::ParseName(std::string_view& ioLine, std::string& outName)
{
    if (ioLine.front() == '@') {
        outName.clear();
        ioLine.remove_prefix(1);
    } else {
        ioLine.remove_prefix(1);
        if (!ParseQuoted(ioLine, outName))
            return false;
        if (outName.empty())
            return Fail("empty value name (the default value is written @)");
        if (outName.size() > kMaxValueNameLength)
            return Fail("value name longer than 16383 characters");
    }
    ioLine = Trim(ioLine);
    if (ioLine.empty() || ioLine.front() != '=')
        return Fail("expected '=' after the value name");
    ioLine = Trim(ioLine.substr(1));
    return true;
}

bool Parser::ParseValueLine(std::string_view inLine)
{
    if (mKey == nullptr)
        return Fail("value line outside a key");
    std::string theName;
    if (!ParseName(inLine, theName))
        return false;
    return ParseData(inLine, theName);
}

std::string_view Parser::JoinContinuations(std::string_view inFirst)
{
    mJoined.assign(inFirst.substr(0, inFirst.size() - 1));
    std::string_view theLine;
    while (NextLine(theLine)) {
        theLine = Trim(theLine);
        const bool theMore = !theLine.empty() && theLine.back() == '\\';
        mJoined.append(theLine.substr(0, theLine.size() - (theMore ? 1 : 0)));
        if (!theMore)
            break;
    }
    return mJoined;
}

bool Parser::ParseHexBytes(std::string_view inList, std::vector<BYTE>& outBytes)
{
    size_t thePos = 0;
    while (thePos < inList.size()) {
        size_t theComma = inList.find(',', thePos);
        const bool theLast = theComma == std::string_view::npos;
        if (theLast)
            theComma = inList.size();
        const std::string_view theToken = Trim(inList.substr(thePos, theComma - thePos));
        thePos = theComma + 1;
        if (theToken.empty() && theLast)
            break;  // a trailing comma
        DWORD theByte = 0;
        if (theToken.size() > 2 || !ParseHexNumber(theToken, theByte))
            return Fail("expected a byte of one or two hex digits in hex data");
        outBytes.push_back(static_cast<BYTE>(theByte));
    }
    return true;
}

bool Parser::ParseData(std::string_view inData, const std::string& inName)
{
    if (inData == "-") {
        mKey->DeleteValue(inName);
        return true;
    }
    if (!inData.empty() && inData.front() == '"') {
        std::string theText;
        inData.remove_prefix(1);
        if (!ParseQuoted(inData, theText))
            return false;
        if (!Trim(inData).empty())
            return Fail("unexpected text after the closing quote");
        std::u16string theUnits = Utf8ToUtf16(theText);
        theUnits += u'\0';
        mKey->SetValue(inName, REG_SZ, Utf16Bytes(theUnits));
        return true;
    }
    if (inData.substr(0, 6) == "dword:") {
        DWORD theNumber = 0;
        if (!ParseHexNumber(inData.substr(6), theNumber))
            return Fail("expected 1 to 8 hex digits after dword:");
        mKey->SetValue(inName, REG_DWORD,
                       {static_cast<BYTE>(theNumber), static_cast<BYTE>(theNumber >> 8),
                        static_cast<BYTE>(theNumber >> 16), static_cast<BYTE>(theNumber >> 24)});
        return true;
    }
    if (inData.substr(0, 3) != "hex")
        return Fail("expected \"text\", dword:, hex:, hex(type): or - after '='");
    DWORD theType = REG_BINARY;
    inData.remove_prefix(3);
    if (!inData.empty() && inData.front() == '(') {
        const size_t theClose = inData.find(')');
        if (theClose == std::string_view::npos || !ParseHexNumber(inData.substr(1, theClose - 1), theType))
            return Fail("expected hex(type) with the type in hex");
        inData.remove_prefix(theClose + 1);
    }
    if (inData.empty() || inData.front() != ':')
        return Fail("expected ':' after hex");
    inData.remove_prefix(1);
    if (!inData.empty() && inData.back() == '\\')
        inData = JoinContinuations(inData);
    std::vector<BYTE> theBytes;
    if (!ParseHexBytes(inData, theBytes))
        return false;
    mKey->SetValue(inName, theType, std::move(theBytes));
    return true;
}

// ---- writing ----

void AppendQuoted(std::string& outText, std::string_view inText)
{
    outText += '"';
    for (char theChar : inText) {
        if (theChar == '\\' || theChar == '"')
            outText += '\\';
        outText += theChar;
    }
    outText += '"';
}

// The text of a REG_SZ that can be written as "text": terminated once, no other zero,
// no line break, well-formed.
bool StringForm(const Value& inValue, std::string& outText)
{
    const std::vector<BYTE>& theData = inValue.data;
    if (inValue.type != REG_SZ || theData.size() < 2 || theData.size() % 2 != 0)
        return false;
    std::u16string theUnits;
    for (size_t i = 0; i < theData.size(); i += 2)
        theUnits += static_cast<char16_t>(theData[i] | (theData[i + 1] << 8));
    if (theUnits.back() != u'\0')
        return false;
    theUnits.pop_back();
    for (char16_t theUnit : theUnits)
        if (theUnit == u'\0' || theUnit == u'\r' || theUnit == u'\n')
            return false;
    if (!IsWellFormedUtf16(theUnits))
        return false;
    outText = Utf16ToUtf8(theUnits);
    return true;
}

void AppendHex(std::string& outText, size_t inLineStart, const Value& inValue)
{
    char theBuffer[16];
    if (inValue.type == REG_BINARY) {
        outText += "hex:";
    } else {
        std::snprintf(theBuffer, sizeof theBuffer, "hex(%x):", static_cast<unsigned>(inValue.type));
        outText += theBuffer;
    }
    for (size_t i = 0; i < inValue.data.size(); ++i) {
        std::snprintf(theBuffer, sizeof theBuffer, "%02x", inValue.data[i]);
        outText += theBuffer;
        if (i + 1 == inValue.data.size())
            break;
        outText += ',';
        if (outText.size() - inLineStart > 76) {
            outText += "\\\n  ";
            inLineStart = outText.size() - 2;
        }
    }
}

void AppendValue(std::string& outText, const Value& inValue)
{
    const size_t theLineStart = outText.size();
    if (inValue.name.empty())
        outText += '@';
    else
        AppendQuoted(outText, inValue.name);
    outText += '=';
    std::string theText;
    if (StringForm(inValue, theText)) {
        AppendQuoted(outText, theText);
    } else if (inValue.type == REG_DWORD && inValue.data.size() == 4) {
        char theBuffer[16];
        const auto& d = inValue.data;
        std::snprintf(theBuffer, sizeof theBuffer, "dword:%08x",
                      static_cast<unsigned>(d[0] | (d[1] << 8) | (d[2] << 16) | (static_cast<unsigned>(d[3]) << 24)));
        outText += theBuffer;
    } else {
        AppendHex(outText, theLineStart, inValue);
    }
    outText += '\n';
}

void AppendKey(std::string& outText, const Key& inKey, std::string& ioPath, bool inIsRoot)
{
    if (!inIsRoot || !inKey.Values().empty()) {
        outText += '\n';
        outText += '[';
        outText += ioPath;
        outText += "]\n";
        for (const Value& theValue : inKey.Values())
            AppendValue(outText, theValue);
    }
    for (const auto& theEntry : inKey.Subkeys()) {
        const size_t theLength = ioPath.size();
        ioPath += '\\';
        ioPath += theEntry.second->Name();
        AppendKey(outText, *theEntry.second, ioPath, false);
        ioPath.resize(theLength);
    }
}

}  // namespace

bool SplitKeyPath(std::string_view inPath, bool inAllowShortRoots, RootId& outRoot, std::vector<std::string>& outNames)
{
    outNames.clear();
    const size_t theSlash = inPath.find('\\');
    const std::string theRoot = FoldName(inPath.substr(0, theSlash));
    if (theRoot == "HKEY_LOCAL_MACHINE" || (inAllowShortRoots && theRoot == "HKLM")) {
        outRoot = RootId::LocalMachine;
    } else if (theRoot == "HKEY_CURRENT_USER" || (inAllowShortRoots && theRoot == "HKCU")) {
        outRoot = RootId::CurrentUser;
    } else if (theRoot == "HKEY_USERS" || (inAllowShortRoots && theRoot == "HKU")) {
        outRoot = RootId::Users;
    } else if (theRoot == "HKEY_CLASSES_ROOT" || (inAllowShortRoots && theRoot == "HKCR")) {
        outRoot = RootId::LocalMachine;
        outNames = {"SOFTWARE", "Classes"};
    } else {
        return false;
    }
    if (theSlash == std::string_view::npos)
        return true;
    std::string_view theRest = inPath.substr(theSlash + 1);
    while (true) {
        const size_t theNext = theRest.find('\\');
        const std::string_view theName = theRest.substr(0, theNext);
        if (theName.empty())
            return false;
        outNames.emplace_back(theName);
        if (theNext == std::string_view::npos)
            return true;
        theRest.remove_prefix(theNext + 1);
    }
}

ParseResult ParseRegFile(std::string_view inText, Tree& outTree)
{
    if (inText.size() >= 2 && static_cast<unsigned char>(inText[0]) == 0xFF &&
        static_cast<unsigned char>(inText[1]) == 0xFE) {
        const std::string theText = Utf16FileToUtf8(inText.substr(2));
        return Parser(theText, outTree).Run();
    }
    if (inText.size() >= 3 && inText.substr(0, 3) == "\xEF\xBB\xBF")
        inText.remove_prefix(3);
    return Parser(inText, outTree).Run();
}

std::string WriteRegFile(const Tree& inTree)
{
    std::string theText(kRegFileHeader);
    theText += '\n';
    for (RootId theRoot : {RootId::LocalMachine, RootId::CurrentUser, RootId::Users}) {
        const Key& theKey = inTree.Root(theRoot);
        std::string thePath = theKey.Name();
        AppendKey(theText, theKey, thePath, true);
    }
    return theText;
}

}  // namespace ferrolift::platform::reg
