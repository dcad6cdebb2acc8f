// Number, boolean and date text for VARIANT coercion. Everything here is locale
// independent: "." is the decimal point and dates read and print in the US order,
// which is what pages written for the classic engine on an English server expect.
#include "platform/automation/VarFormat.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>

namespace ferrolift::platform {
namespace {

constexpr double kMinDate = -657434.0;                 // 0100-01-01
constexpr double kMaxDate = 2958465.99999998842;       // 9999-12-31 23:59:59.999
constexpr int64_t kDaysTo1970 = 25569;                 // 1899-12-30 .. 1970-01-01
constexpr int kSecondsPerDay = 86400;

bool IsBlank(char16_t inCh)
{
    return inCh == u' ' || inCh == u'\t' || inCh == u'\r' || inCh == u'\n' || inCh == 0xA0;
}

std::u16string_view Trim(std::u16string_view inText)
{
    while (!inText.empty() && IsBlank(inText.front()))
        inText.remove_prefix(1);
    while (!inText.empty() && IsBlank(inText.back()))
        inText.remove_suffix(1);
    return inText;
}

bool IsDigit(char16_t inCh) { return inCh >= u'0' && inCh <= u'9'; }

char16_t Lower(char16_t inCh) { return (inCh >= u'A' && inCh <= u'Z') ? inCh + 32 : inCh; }

bool EqualsNoCase(std::u16string_view inA, std::u16string_view inB)
{
    if (inA.size() != inB.size())
        return false;
    for (size_t i = 0; i < inA.size(); ++i)
        if (Lower(inA[i]) != Lower(inB[i]))
            return false;
    return true;
}

std::u16string Widen(std::string_view inText)
{
    return std::u16string(inText.begin(), inText.end());
}

// "&H1F" / "&O17": an unsigned integer in base 16 or 8.
HRESULT ParseRadix(std::u16string_view inDigits, int inBase, Number& outValue)
{
    if (inDigits.empty())
        return DISP_E_TYPEMISMATCH;
    uint64_t theValue = 0;
    for (char16_t theCh : inDigits) {
        int theDigit = -1;
        if (IsDigit(theCh))
            theDigit = theCh - u'0';
        else if (Lower(theCh) >= u'a' && Lower(theCh) <= u'f')
            theDigit = Lower(theCh) - u'a' + 10;
        if (theDigit < 0 || theDigit >= inBase)
            return DISP_E_TYPEMISMATCH;
        if (theValue > (UINT64_MAX - theDigit) / inBase)
            return DISP_E_OVERFLOW;
        theValue = theValue * inBase + theDigit;
    }
    outValue = Number::Unsigned(theValue);
    return S_OK;
}

// Checks the decimal grammar digits[.digits][(e|E)[sign]digits] and copies it as ASCII.
bool ScanDecimal(std::u16string_view inText, std::string& outAscii, bool& outIntegral)
{
    size_t i = 0;
    size_t theDigits = 0;
    outIntegral = true;
    for (; i < inText.size() && IsDigit(inText[i]); ++i)
        ++theDigits;
    if (i < inText.size() && inText[i] == u'.') {
        outIntegral = false;
        for (++i; i < inText.size() && IsDigit(inText[i]); ++i)
            ++theDigits;
    }
    if (theDigits == 0)
        return false;
    if (i < inText.size() && Lower(inText[i]) == u'e') {
        outIntegral = false;
        ++i;
        if (i < inText.size() && (inText[i] == u'+' || inText[i] == u'-'))
            ++i;
        const size_t theStart = i;
        while (i < inText.size() && IsDigit(inText[i]))
            ++i;
        if (i == theStart)
            return false;
    }
    if (i != inText.size())
        return false;
    outAscii.assign(inText.begin(), inText.end());
    return true;
}

// The power of ten of the leading digit of checked decimal text, roughly: positive for
// large numbers, negative for tiny ones (the exponent is clamped, so huge ones stay
// finite).
long DecimalMagnitude(const std::string& inAscii)
{
    const size_t theExpAt = inAscii.find_first_of("eE");
    const std::string theMantissa = inAscii.substr(0, theExpAt);
    long theExp = 0;
    if (theExpAt != std::string::npos) {
        const char* theStart = inAscii.c_str() + theExpAt + 1;
        theStart += *theStart == '+';
        for (const char* p = *theStart == '-' ? theStart + 1 : theStart; *p; ++p)
            theExp = std::min(theExp * 10 + (*p - '0'), 100000000L);
        theExp = *theStart == '-' ? -theExp : theExp;
    }
    const size_t thePoint = std::min(theMantissa.find('.'), theMantissa.size());
    const size_t theFirst = theMantissa.find_first_not_of("0.");
    if (theFirst == std::string::npos)
        return LONG_MIN;   // zero
    const long theLead = theFirst < thePoint ? static_cast<long>(thePoint - theFirst - 1)
                                             : -static_cast<long>(theFirst - thePoint);
    return theLead + theExp;
}

// Days since 1970-01-01 of a proleptic Gregorian date (the classic era/day-of-era method).
int64_t DaysFromCivil(int64_t inYear, int inMonth, int inDay)
{
    inYear -= inMonth <= 2;
    const int64_t theEra = (inYear >= 0 ? inYear : inYear - 399) / 400;
    const int64_t theYoe = inYear - theEra * 400;
    const int64_t theDoy = (153 * (inMonth + (inMonth > 2 ? -3 : 9)) + 2) / 5 + inDay - 1;
    const int64_t theDoe = theYoe * 365 + theYoe / 4 - theYoe / 100 + theDoy;
    return theEra * 146097 + theDoe - 719468;
}

void CivilFromDays(int64_t inDays, int64_t& outYear, int& outMonth, int& outDay)
{
    inDays += 719468;
    const int64_t theEra = (inDays >= 0 ? inDays : inDays - 146096) / 146097;
    const int64_t theDoe = inDays - theEra * 146097;
    const int64_t theYoe = (theDoe - theDoe / 1460 + theDoe / 36524 - theDoe / 146096) / 365;
    const int64_t theDoy = theDoe - (365 * theYoe + theYoe / 4 - theYoe / 100);
    const int64_t theMp = (5 * theDoy + 2) / 153;
    outDay = static_cast<int>(theDoy - (153 * theMp + 2) / 5 + 1);
    outMonth = static_cast<int>(theMp < 10 ? theMp + 3 : theMp - 9);
    outYear = theYoe + theEra * 400 + (outMonth <= 2);
}

int DaysInMonth(int64_t inYear, int inMonth)
{
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool theLeap = (inYear % 4 == 0 && inYear % 100 != 0) || inYear % 400 == 0;
    return inMonth == 2 && theLeap ? 29 : kDays[inMonth - 1];
}

// Reads up to inMax digits at inText[ioPos]; false when there are none.
bool ReadInt(std::u16string_view inText, size_t& ioPos, size_t inMax, int& outValue, size_t& outCount)
{
    outValue = 0;
    outCount = 0;
    while (ioPos < inText.size() && IsDigit(inText[ioPos]) && outCount < inMax) {
        outValue = outValue * 10 + (inText[ioPos++] - u'0');
        ++outCount;
    }
    return outCount > 0;
}

// "YYYY-MM-DD" or "M/D/YYYY" (two-digit years: 00-29 are 20xx, 30-99 are 19xx).
bool ReadCalendarDate(std::u16string_view inText, size_t& ioPos, int64_t& outDays)
{
    int theA = 0, theB = 0, theC = 0;
    size_t theLenA = 0, theLenB = 0, theLenC = 0;
    if (!ReadInt(inText, ioPos, 4, theA, theLenA) || ioPos >= inText.size())
        return false;
    const char16_t theSep = inText[ioPos];
    if (theSep != u'-' && theSep != u'/')
        return false;
    ++ioPos;
    if (!ReadInt(inText, ioPos, 2, theB, theLenB) || ioPos >= inText.size() || inText[ioPos] != theSep)
        return false;
    ++ioPos;
    if (!ReadInt(inText, ioPos, 4, theC, theLenC))
        return false;
    int theYear = theA, theMonth = theB, theDay = theC;
    if (theSep == u'/') {
        theMonth = theA;
        theDay = theB;
        theYear = theLenC <= 2 ? (theC < 30 ? 2000 + theC : 1900 + theC) : theC;
    } else if (theLenA != 4) {
        return false;
    }
    if (theYear < 100 || theMonth < 1 || theMonth > 12 || theDay < 1 || theDay > DaysInMonth(theYear, theMonth))
        return false;
    outDays = DaysFromCivil(theYear, theMonth, theDay) + kDaysTo1970;
    return true;
}

// "H:MM[:SS]" with an optional "AM"/"PM" after blanks.
bool ReadClockTime(std::u16string_view inText, size_t& ioPos, int& outSeconds)
{
    int theHour = 0, theMinute = 0, theSecond = 0;
    size_t theLen = 0;
    if (!ReadInt(inText, ioPos, 2, theHour, theLen) || ioPos >= inText.size() || inText[ioPos] != u':')
        return false;
    ++ioPos;
    if (!ReadInt(inText, ioPos, 2, theMinute, theLen) || theLen != 2)
        return false;
    if (ioPos < inText.size() && inText[ioPos] == u':') {
        ++ioPos;
        if (!ReadInt(inText, ioPos, 2, theSecond, theLen) || theLen != 2)
            return false;
    }
    while (ioPos < inText.size() && IsBlank(inText[ioPos]))
        ++ioPos;
    const std::u16string_view theRest = inText.substr(ioPos);
    const bool theAm = EqualsNoCase(theRest.substr(0, 2), u"am");
    const bool thePm = EqualsNoCase(theRest.substr(0, 2), u"pm");
    if (theAm || thePm) {
        if (theHour < 1 || theHour > 12)
            return false;
        theHour = theHour % 12 + (thePm ? 12 : 0);
        ioPos += 2;
    }
    if (theHour > 23 || theMinute > 59 || theSecond > 59)
        return false;
    outSeconds = theHour * 3600 + theMinute * 60 + theSecond;
    return true;
}

}  // namespace

double Number::AsReal() const
{
    switch (kind) {
    case Kind::Signed: return static_cast<double>(sval);
    case Kind::Unsigned: return static_cast<double>(uval);
    case Kind::Real: break;
    }
    return rval;
}

HRESULT ParseNumber(std::u16string_view inText, Number& outValue)
{
    std::u16string_view theText = Trim(inText);
    if (theText.size() > 2 && theText[0] == u'&') {
        if (Lower(theText[1]) == u'h')
            return ParseRadix(theText.substr(2), 16, outValue);
        if (Lower(theText[1]) == u'o')
            return ParseRadix(theText.substr(2), 8, outValue);
    }
    bool theNegative = false;
    if (!theText.empty() && (theText[0] == u'+' || theText[0] == u'-')) {
        theNegative = theText[0] == u'-';
        theText.remove_prefix(1);
    }
    std::string theAscii;
    bool theIntegral = false;
    if (!ScanDecimal(theText, theAscii, theIntegral))
        return DISP_E_TYPEMISMATCH;
    const char* theEnd = theAscii.data() + theAscii.size();
    if (theIntegral) {
        uint64_t theValue = 0;
        if (std::from_chars(theAscii.data(), theEnd, theValue).ec == std::errc()) {
            if (!theNegative)
                outValue = Number::Unsigned(theValue);
            else if (theValue <= uint64_t{1} << 63)
                outValue = Number::Signed(static_cast<int64_t>(0 - theValue));
            else
                outValue = Number::Real(-static_cast<double>(theValue));
            return S_OK;
        }
    }
    double theReal = 0;
    const auto theResult = std::from_chars(theAscii.data(), theEnd, theReal);
    if (theResult.ec == std::errc::result_out_of_range) {
        // Underflow reads as zero; only magnitudes beyond a double overflow.
        if (DecimalMagnitude(theAscii) > 0)
            return DISP_E_OVERFLOW;
        theReal = 0;
    } else if (theResult.ec != std::errc()) {
        return DISP_E_TYPEMISMATCH;
    }
    outValue = Number::Real(theNegative ? -theReal : theReal);
    return S_OK;
}

HRESULT ParseBoolWord(std::u16string_view inText, bool& outValue)
{
    const std::u16string_view theText = Trim(inText);
    if (EqualsNoCase(theText, u"true")) {
        outValue = true;
        return S_OK;
    }
    if (EqualsNoCase(theText, u"false")) {
        outValue = false;
        return S_OK;
    }
    return S_FALSE;
}

HRESULT ParseDate(std::u16string_view inText, DATE& outValue)
{
    const std::u16string_view theText = Trim(inText);
    size_t thePos = 0;
    int64_t theDays = 0;
    int theSeconds = 0;
    bool theHasDate = ReadCalendarDate(theText, thePos, theDays);
    if (!theHasDate)
        thePos = 0;
    if (thePos < theText.size()) {
        if (theHasDate) {
            if (!IsBlank(theText[thePos]) && theText[thePos] != u'T')
                return DISP_E_TYPEMISMATCH;
            while (thePos < theText.size() && (IsBlank(theText[thePos]) || theText[thePos] == u'T'))
                ++thePos;
        }
        if (!ReadClockTime(theText, thePos, theSeconds) || thePos != theText.size())
            return DISP_E_TYPEMISMATCH;
    } else if (!theHasDate) {
        return DISP_E_TYPEMISMATCH;
    }
    // Before 1899-12-30 the time still counts forward from midnight: -1.25 is
    // 1899-12-29 06:00.
    const double theTime = static_cast<double>(theSeconds) / kSecondsPerDay;
    outValue = theDays >= 0 ? static_cast<double>(theDays) + theTime : static_cast<double>(theDays) - theTime;
    return S_OK;
}

std::u16string FormatSigned(int64_t inValue)
{
    char theBuf[24];
    const auto theEnd = std::to_chars(theBuf, theBuf + sizeof theBuf, inValue).ptr;
    return Widen(std::string_view(theBuf, theEnd - theBuf));
}

std::u16string FormatUnsigned(uint64_t inValue)
{
    char theBuf[24];
    const auto theEnd = std::to_chars(theBuf, theBuf + sizeof theBuf, inValue).ptr;
    return Widen(std::string_view(theBuf, theEnd - theBuf));
}

std::u16string FormatReal(double inValue, int inDigits)
{
    if (inValue == 0)
        return u"0";
    char theBuf[64];
    const auto theEnd = std::to_chars(theBuf, theBuf + sizeof theBuf, inValue, std::chars_format::general, inDigits).ptr;
    std::u16string theText = Widen(std::string_view(theBuf, theEnd - theBuf));
    for (char16_t& theCh : theText)
        if (theCh == u'e')
            theCh = u'E';
    return theText;
}

std::u16string FormatScaled(bool inNegative, unsigned __int128 inMagnitude, int inScale)
{
    std::u16string theDigits;
    do {
        theDigits.insert(theDigits.begin(), static_cast<char16_t>(u'0' + static_cast<int>(inMagnitude % 10)));
        inMagnitude /= 10;
    } while (inMagnitude != 0);
    if (inScale > 0) {
        if (theDigits.size() <= static_cast<size_t>(inScale))
            theDigits.insert(0, inScale + 1 - theDigits.size(), u'0');
        theDigits.insert(theDigits.size() - inScale, 1, u'.');
        while (theDigits.back() == u'0')
            theDigits.pop_back();
        if (theDigits.back() == u'.')
            theDigits.pop_back();
    }
    if (inNegative && theDigits != u"0")
        theDigits.insert(0, 1, u'-');
    return theDigits;
}

bool IsValidDate(double inValue)
{
    return inValue >= kMinDate && inValue <= kMaxDate;
}

bool FormatDate(DATE inValue, std::u16string& outText)
{
    if (!IsValidDate(inValue))
        return false;
    int64_t theDay = static_cast<int64_t>(std::trunc(inValue));
    int64_t theSeconds = std::llround(std::fabs(inValue - static_cast<double>(theDay)) * kSecondsPerDay);
    if (theSeconds >= kSecondsPerDay) {
        theSeconds -= kSecondsPerDay;
        theDay += theDay >= 0 ? 1 : -1;
    }
    int64_t theYear = 0;
    int theMonth = 0, theMDay = 0;
    CivilFromDays(theDay - kDaysTo1970, theYear, theMonth, theMDay);
    outText.clear();
    if (theDay != 0) {
        outText = FormatSigned(theMonth) + u"/" + FormatSigned(theMDay) + u"/" + FormatSigned(theYear);
        if (theSeconds == 0)
            return true;
        outText += u" ";
    }
    const int64_t theHour = theSeconds / 3600;
    const int64_t theMinute = theSeconds / 60 % 60;
    const int64_t theSecond = theSeconds % 60;
    const auto theTwo = [](int64_t inValue) { return (inValue < 10 ? u"0" : u"") + FormatSigned(inValue); };
    outText += FormatSigned(theHour % 12 == 0 ? 12 : theHour % 12) + u":" + theTwo(theMinute) + u":" +
               theTwo(theSecond) + (theHour < 12 ? u" AM" : u" PM");
    return true;
}

}  // namespace ferrolift::platform
