// `ferrolift eventlog`: prints the event log, oldest entry first, one line per entry:
// time, type, source and the entry's strings.
#include "cli/Commands.h"

#include <windows.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

namespace {

// The fields of one line of the event-log file.
struct Entry {
    std::string time;
    std::string source;
    long type = -1;
    std::vector<std::string> strings;
};

void AppendUtf8(std::string& outText, unsigned inCode)
{
    if (inCode < 0x80) {
        outText += static_cast<char>(inCode);
    } else if (inCode < 0x800) {
        outText += static_cast<char>(0xC0 | (inCode >> 6));
        outText += static_cast<char>(0x80 | (inCode & 0x3F));
    } else {
        outText += static_cast<char>(0xE0 | (inCode >> 12));
        outText += static_cast<char>(0x80 | ((inCode >> 6) & 0x3F));
        outText += static_cast<char>(0x80 | (inCode & 0x3F));
    }
}

// A reader for the one JSON shape the event log writes: an object of strings, numbers
// and arrays of strings.
class LineReader {
public:
    explicit LineReader(std::string_view inLine) : mText(inLine) {}

    bool Read(Entry& outEntry)
    {
        if (!Take('{'))
            return false;
        while (!Take('}')) {
            std::string theKey;
            if (!String(theKey) || !Take(':') || !Field(theKey, outEntry))
                return false;
            Take(',');
        }
        return true;
    }

private:
    void Skip()
    {
        while (mPos < mText.size() && (mText[mPos] == ' ' || mText[mPos] == '\t' || mText[mPos] == '\r'))
            ++mPos;
    }

    bool Take(char inChar)
    {
        Skip();
        if (mPos >= mText.size() || mText[mPos] != inChar)
            return false;
        ++mPos;
        return true;
    }

    bool String(std::string& outText)
    {
        if (!Take('"'))
            return false;
        for (; mPos < mText.size(); ++mPos) {
            const char theChar = mText[mPos];
            if (theChar == '"') {
                ++mPos;
                return true;
            }
            if (theChar != '\\') {
                outText += theChar;
                continue;
            }
            if (++mPos >= mText.size())
                return false;
            const char theEscape = mText[mPos];
            if (theEscape == 'u') {
                if (mPos + 4 >= mText.size())
                    return false;
                AppendUtf8(outText, static_cast<unsigned>(std::stoul(std::string(mText.substr(mPos + 1, 4)), nullptr, 16)));
                mPos += 4;
            } else {
                outText += theEscape == 'n' ? '\n' : theEscape == 't' ? '\t' : theEscape == 'r' ? '\r' : theEscape;
            }
        }
        return false;
    }

    bool Number(long& outNumber)
    {
        Skip();
        const size_t theStart = mPos;
        while (mPos < mText.size() && (std::isdigit(static_cast<unsigned char>(mText[mPos])) || mText[mPos] == '-'))
            ++mPos;
        if (mPos == theStart || mPos - theStart > 12)
            return false;
        outNumber = std::stol(std::string(mText.substr(theStart, mPos - theStart)));
        return true;
    }

    bool Field(const std::string& inKey, Entry& outEntry)
    {
        Skip();
        if (inKey == "strings") {
            if (!Take('['))
                return false;
            while (!Take(']')) {
                outEntry.strings.emplace_back();
                if (!String(outEntry.strings.back()))
                    return false;
                Take(',');
            }
            return true;
        }
        if (mPos < mText.size() && mText[mPos] == '"') {
            std::string theText;
            if (!String(theText))
                return false;
            if (inKey == "time")
                outEntry.time = theText;
            else if (inKey == "source")
                outEntry.source = theText;
            return true;
        }
        long theNumber = 0;
        if (!Number(theNumber))
            return false;
        if (inKey == "type")
            outEntry.type = theNumber;
        return true;
    }

    std::string_view mText;
    size_t mPos = 0;
};

const char* TypeName(long inType)
{
    switch (inType) {
    case EVENTLOG_ERROR_TYPE: return "Error";
    case EVENTLOG_WARNING_TYPE: return "Warning";
    case EVENTLOG_INFORMATION_TYPE: return "Information";
    case EVENTLOG_AUDIT_SUCCESS: return "Audit Success";
    case EVENTLOG_AUDIT_FAILURE: return "Audit Failure";
    case EVENTLOG_SUCCESS: return "Success";
    default: return "Unknown";
    }
}

}  // namespace

namespace ferrolift::cli {

int RunEventLogCommand(int argc, char** argv)
{
    (void)argv;
    if (argc > 0) {
        std::fprintf(stderr, "usage: ferrolift eventlog\n");
        return 2;
    }
    const std::string thePath = ferrolift::platform::EventLogFilePath();
    std::ifstream theFile(thePath);
    if (!theFile)
        return 0;  // no entry written yet
    std::string theLine;
    while (std::getline(theFile, theLine)) {
        if (theLine.find_first_not_of(" \t\r") == std::string::npos)
            continue;
        Entry theEntry;
        if (!LineReader(theLine).Read(theEntry)) {
            std::printf("(unreadable entry) %s\n", theLine.c_str());
            continue;
        }
        std::string theText;
        for (const std::string& theString : theEntry.strings)
            theText += (theText.empty() ? "" : " ") + theString;
        std::printf("%s  %s  %s  %s\n", theEntry.time.c_str(), TypeName(theEntry.type), theEntry.source.c_str(),
                    theText.c_str());
    }
    return 0;
}

}  // namespace ferrolift::cli
