// VarFormat.h: the text side of VARIANT coercion (internal to automation/): reading
// numbers, booleans and dates from script text and writing them back, independent of
// the C locale.
//
//   Number theValue;
//   if (ParseNumber(u" 2.5 ", theValue) == S_OK) ...     // Real 2.5
//   std::u16string theText = FormatReal(0.1, 15);         // u"0.1"
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/automation/AutomationTypes.h"

namespace ferrolift::platform {

/// A number on its way between two VARTYPEs: kept exact while it is an integer.
struct Number {
    enum class Kind { Signed, Unsigned, Real };
    Kind kind = Kind::Signed;
    int64_t sval = 0;
    uint64_t uval = 0;
    double rval = 0;

    static Number Signed(int64_t inValue) { return Number{Kind::Signed, inValue, 0, 0}; }
    static Number Unsigned(uint64_t inValue) { return Number{Kind::Unsigned, 0, inValue, 0}; }
    static Number Real(double inValue) { return Number{Kind::Real, 0, 0, inValue}; }
    /// The value as a double (integers above 2^53 round).
    double AsReal() const;
};

/// Reads a number: blanks around it, a sign, digits with an optional fraction and
/// exponent, or "&H" hex / "&O" octal. S_OK, DISP_E_TYPEMISMATCH for text that is no
/// number, DISP_E_OVERFLOW for one beyond a double.
HRESULT ParseNumber(std::u16string_view inText, Number& outValue);

/// Reads "True"/"False" (any case, blanks around): S_OK with outValue set, or S_FALSE.
HRESULT ParseBoolWord(std::u16string_view inText, bool& outValue);

/// Reads a date and/or time: "YYYY-MM-DD", "M/D/YYYY", each optionally followed by a
/// time "H:MM[:SS]" with optional "AM"/"PM", or a time alone. S_OK or
/// DISP_E_TYPEMISMATCH.
HRESULT ParseDate(std::u16string_view inText, DATE& outValue);

/// Integer text.
std::u16string FormatSigned(int64_t inValue);
std::u16string FormatUnsigned(uint64_t inValue);

/// A double with at most inDigits significant digits, trailing zeros dropped, and the
/// exponent form ("1E+20", "1E-05") where %G would use it.
std::u16string FormatReal(double inValue, int inDigits);

/// An integer scaled by 10^inScale as decimal text ("12.5", "-0.0001").
std::u16string FormatScaled(bool inNegative, unsigned __int128 inMagnitude, int inScale);

/// A date as "M/D/YYYY h:mm:ss AM"; the date is left out at day 0 and the time at
/// midnight. False for a date outside the years 100..9999.
bool FormatDate(DATE inValue, std::u16string& outText);

/// True when inValue lies in the dates that DATE can name (years 100..9999).
bool IsValidDate(double inValue);

}  // namespace ferrolift::platform
