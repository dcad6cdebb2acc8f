// HexDigit.h: the value of one hexadecimal digit, for every layer that reads hex text
// (URL escapes, registry files, GUIDs, "&H" numbers). ASCII digits only, either case;
// the same in narrow and UTF-16 text.
//
//   int theHigh = HexDigitValue('F');            // 15
//   int theLow = HexDigitValue(u'7');            // 7
//   if (HexDigitValue(theText[i]) < 0) ...       // not a hex digit
#pragma once

/// 0..15 for '0'-'9', 'a'-'f' and 'A'-'F'; -1 for any other character (a negative char
/// included). Char is any character type.
template <typename Char>
constexpr int HexDigitValue(Char inChar) noexcept
{
    if (inChar >= Char('0') && inChar <= Char('9'))
        return static_cast<int>(inChar - Char('0'));
    if (inChar >= Char('a') && inChar <= Char('f'))
        return static_cast<int>(inChar - Char('a')) + 10;
    if (inChar >= Char('A') && inChar <= Char('F'))
        return static_cast<int>(inChar - Char('A')) + 10;
    return -1;
}
