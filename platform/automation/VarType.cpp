// VariantChangeType(Ex): the coercions script engines rely on.
//
// Notes on behaviour (each pinned by a test):
// - Doubles become integers rounded half to even (2.5 -> 2, 3.5 -> 4); a value outside
//   the target's range, or NaN, is DISP_E_OVERFLOW. Integer text stays exact.
// - VT_BSTR from VT_R8 uses 15 significant digits (VT_R4: 7), "." as the point and the
//   "1E+20" exponent form: what the classic engines print, rather than the shortest
//   text that reads back the same double.
// - VT_BOOL to VT_BSTR is "-1"/"0", or "True"/"False" with VARIANT_ALPHABOOL or
//   VARIANT_LOCALBOOL; text to VT_BOOL takes "True"/"False" in any case or a number.
// - VT_EMPTY becomes 0, "", False or a null object; VT_NULL becomes only VT_NULL or
//   VT_EMPTY, anything else is DISP_E_TYPEMISMATCH.
// - VT_DISPATCH becomes its value (DISPID_VALUE property get) unless
//   VARIANT_NOVALUEPROP is given.
// - VT_ERROR converts only to itself; integers convert to VT_ERROR.
// - A one-dimensional VT_ARRAY|VT_UI1 and VT_BSTR convert into each other byte for byte.
// - The locale is ignored: text is read and written as on an English system.
#include "platform/automation/OleAuto.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "platform/automation/VarFormat.h"
#include "platform/automation/VariantKinds.h"

using namespace ferrolift::platform;

namespace {

using Int128 = __int128;
using UInt128 = unsigned __int128;

// Objects whose value is an object again are followed this many times.
constexpr int kMaxValueDepth = 8;
constexpr int64_t kCyScale = 10000;

HRESULT ConvertValue(VARIANT* outResult, const VARIANT* inSrc, USHORT inFlags, VARTYPE inVt, int inDepth);

double RoundHalfEven(double inValue)
{
    const double theFloor = std::floor(inValue);
    const double theRest = inValue - theFloor;
    if (theRest > 0.5)
        return theFloor + 1;
    if (theRest < 0.5)
        return theFloor;
    return std::fmod(theFloor, 2.0) == 0 ? theFloor : theFloor + 1;
}

// inValue / inDivisor rounded half to even (inDivisor > 0).
Int128 DivideHalfEven(Int128 inValue, Int128 inDivisor)
{
    Int128 theQuot = inValue / inDivisor;
    Int128 theRem = inValue % inDivisor;
    if (theRem < 0) {
        theRem += inDivisor;
        theQuot -= 1;
    }
    const Int128 theTwice = theRem * 2;
    if (theTwice > inDivisor || (theTwice == inDivisor && (theQuot & 1)))
        theQuot += 1;
    return theQuot;
}

UInt128 PowerOfTen(int inExp)
{
    UInt128 theResult = 1;
    while (inExp-- > 0)
        theResult *= 10;
    return theResult;
}

UInt128 DecimalMagnitude(const DECIMAL& inDec)
{
    return (static_cast<UInt128>(inDec.Hi32) << 64) | inDec.Lo64;
}

bool IsIntegerType(VARTYPE inVt)
{
    switch (inVt) {
    case VT_I1: case VT_UI1: case VT_I2: case VT_UI2: case VT_I4: case VT_UI4:
    case VT_I8: case VT_UI8: case VT_INT: case VT_UINT:
        return true;
    default:
        return false;
    }
}

// The numeric value of a by-value source. With inIntegral, currency and decimals come
// back already rounded to an integer, without passing through a double.
HRESULT ToNumber(const VARIANT* inSrc, bool inIntegral, Number& outValue)
{
    switch (V_VT(inSrc)) {
    case VT_EMPTY: outValue = Number::Signed(0); return S_OK;
    case VT_I1: outValue = Number::Signed(V_I1(inSrc)); return S_OK;
    case VT_UI1: outValue = Number::Signed(V_UI1(inSrc)); return S_OK;
    case VT_I2: outValue = Number::Signed(V_I2(inSrc)); return S_OK;
    case VT_UI2: outValue = Number::Signed(V_UI2(inSrc)); return S_OK;
    case VT_I4: outValue = Number::Signed(V_I4(inSrc)); return S_OK;
    case VT_UI4: outValue = Number::Signed(V_UI4(inSrc)); return S_OK;
    case VT_INT: outValue = Number::Signed(V_INT(inSrc)); return S_OK;
    case VT_UINT: outValue = Number::Signed(V_UINT(inSrc)); return S_OK;
    case VT_I8: outValue = Number::Signed(V_I8(inSrc)); return S_OK;
    case VT_UI8: outValue = Number::Unsigned(V_UI8(inSrc)); return S_OK;
    case VT_BOOL: outValue = Number::Signed(V_BOOL(inSrc) ? -1 : 0); return S_OK;
    case VT_R4: outValue = Number::Real(V_R4(inSrc)); return S_OK;
    case VT_R8: outValue = Number::Real(V_R8(inSrc)); return S_OK;
    case VT_DATE: outValue = Number::Real(V_DATE(inSrc)); return S_OK;
    case VT_BSTR: return ParseNumber(std::u16string_view(V_BSTR(inSrc) ? V_BSTR(inSrc) : u"", SysStringLen(V_BSTR(inSrc))), outValue);
    case VT_CY:
        if (inIntegral)
            outValue = Number::Signed(static_cast<int64_t>(DivideHalfEven(V_CY(inSrc).int64, kCyScale)));
        else
            outValue = Number::Real(static_cast<double>(V_CY(inSrc).int64) / kCyScale);
        return S_OK;
    case VT_DECIMAL: {
        const DECIMAL& theDec = V_DECIMAL(inSrc);
        if (theDec.scale > 28)
            return DISP_E_OVERFLOW;
        const UInt128 theMag = DecimalMagnitude(theDec);
        const bool theNegative = theDec.sign & 0x80;
        if (inIntegral) {
            Int128 theValue = DivideHalfEven(static_cast<Int128>(theMag), static_cast<Int128>(PowerOfTen(theDec.scale)));
            theValue = theNegative ? -theValue : theValue;
            if (theValue >= INT64_MIN && theValue <= INT64_MAX)
                outValue = Number::Signed(static_cast<int64_t>(theValue));
            else if (theValue > 0 && theValue <= static_cast<Int128>(UINT64_MAX))
                outValue = Number::Unsigned(static_cast<uint64_t>(theValue));
            else
                return DISP_E_OVERFLOW;
            return S_OK;
        }
        const long double theReal = static_cast<long double>(theMag) / static_cast<long double>(PowerOfTen(theDec.scale));
        outValue = Number::Real(static_cast<double>(theNegative ? -theReal : theReal));
        return S_OK;
    }
    default:
        return DISP_E_TYPEMISMATCH;
    }
}

// The number as an integer (rounded half to even) within [inMin, inMax].
HRESULT ToInteger(const Number& inValue, Int128 inMin, Int128 inMax, Int128& outValue)
{
    Int128 theValue = 0;
    if (inValue.kind == Number::Kind::Signed) {
        theValue = inValue.sval;
    } else if (inValue.kind == Number::Kind::Unsigned) {
        theValue = inValue.uval;
    } else {
        const double theRounded = RoundHalfEven(inValue.rval);
        if (!(theRounded >= -0x1p63 && theRounded < 0x1p64))
            return DISP_E_OVERFLOW;
        theValue = static_cast<Int128>(theRounded);
    }
    if (theValue < inMin || theValue > inMax)
        return DISP_E_OVERFLOW;
    outValue = theValue;
    return S_OK;
}

HRESULT StoreInteger(VARIANT* outResult, VARTYPE inVt, const Number& inValue)
{
    struct Range { Int128 min; Int128 max; };
    Range theRange{};
    switch (inVt) {
    case VT_I1: theRange = {INT8_MIN, INT8_MAX}; break;
    case VT_UI1: theRange = {0, UINT8_MAX}; break;
    case VT_I2: theRange = {INT16_MIN, INT16_MAX}; break;
    case VT_UI2: theRange = {0, UINT16_MAX}; break;
    case VT_I4: case VT_INT: theRange = {INT32_MIN, INT32_MAX}; break;
    case VT_UI4: case VT_UINT: theRange = {0, UINT32_MAX}; break;
    case VT_I8: theRange = {INT64_MIN, INT64_MAX}; break;
    default: theRange = {0, UINT64_MAX}; break;
    }
    Int128 theValue = 0;
    const HRESULT hr = ToInteger(inValue, theRange.min, theRange.max, theValue);
    if (FAILED(hr))
        return hr;
    switch (inVt) {
    case VT_I1: V_I1(outResult) = static_cast<CHAR>(theValue); break;
    case VT_UI1: V_UI1(outResult) = static_cast<BYTE>(theValue); break;
    case VT_I2: V_I2(outResult) = static_cast<SHORT>(theValue); break;
    case VT_UI2: V_UI2(outResult) = static_cast<USHORT>(theValue); break;
    case VT_I4: V_I4(outResult) = static_cast<LONG>(theValue); break;
    case VT_INT: V_INT(outResult) = static_cast<INT>(theValue); break;
    case VT_UI4: V_UI4(outResult) = static_cast<ULONG>(theValue); break;
    case VT_UINT: V_UINT(outResult) = static_cast<UINT>(theValue); break;
    case VT_I8: V_I8(outResult) = static_cast<LONGLONG>(theValue); break;
    default: V_UI8(outResult) = static_cast<ULONGLONG>(theValue); break;
    }
    V_VT(outResult) = inVt;
    return S_OK;
}

// A double as a DECIMAL of its 15 significant digits.
HRESULT RealToDecimal(double inValue, DECIMAL& outDec)
{
    if (!std::isfinite(inValue) || std::fabs(inValue) >= 7.9228162514264337593543950336e28)
        return DISP_E_OVERFLOW;
    char theBuf[40];
    const auto theEnd = std::to_chars(theBuf, theBuf + sizeof theBuf, std::fabs(inValue), std::chars_format::scientific, 14).ptr;
    *theEnd = 0;
    // theBuf is "d.dddddddddddddde[+-]x".
    UInt128 theMag = static_cast<UInt128>(theBuf[0] - '0');
    for (int i = 2; i < 16; ++i)
        theMag = theMag * 10 + (theBuf[i] - '0');
    int theScale = 14 - std::atoi(theBuf + 17);
    while (theScale < 0) {
        theMag *= 10;
        ++theScale;
    }
    while (theScale > 28) {
        theMag = static_cast<UInt128>(DivideHalfEven(static_cast<Int128>(theMag), 10));
        --theScale;
    }
    while (theScale > 0 && theMag % 10 == 0) {
        theMag /= 10;
        --theScale;
    }
    outDec = DECIMAL{};
    outDec.scale = static_cast<BYTE>(theScale);
    outDec.sign = (inValue < 0 && theMag != 0) ? 0x80 : 0;
    outDec.Hi32 = static_cast<ULONG>(theMag >> 64);
    outDec.Lo64 = static_cast<ULONGLONG>(theMag);
    return S_OK;
}

HRESULT StoreDecimal(VARIANT* outResult, const VARIANT* inSrc)
{
    DECIMAL theDec{};
    if (V_VT(inSrc) == VT_CY) {
        const int64_t theCy = V_CY(inSrc).int64;
        theDec.scale = 4;
        theDec.sign = theCy < 0 ? 0x80 : 0;
        theDec.Lo64 = theCy < 0 ? 0 - static_cast<uint64_t>(theCy) : static_cast<uint64_t>(theCy);
    } else {
        Number theValue;
        const HRESULT hr = ToNumber(inSrc, false, theValue);
        if (FAILED(hr))
            return hr;
        if (theValue.kind == Number::Kind::Real) {
            const HRESULT theHr = RealToDecimal(theValue.rval, theDec);
            if (FAILED(theHr))
                return theHr;
        } else if (theValue.kind == Number::Kind::Signed) {
            theDec.sign = theValue.sval < 0 ? 0x80 : 0;
            theDec.Lo64 = theValue.sval < 0 ? 0 - static_cast<uint64_t>(theValue.sval) : static_cast<uint64_t>(theValue.sval);
        } else {
            theDec.Lo64 = theValue.uval;
        }
    }
    V_DECIMAL(outResult) = theDec;
    V_VT(outResult) = VT_DECIMAL;
    return S_OK;
}

HRESULT StoreCurrency(VARIANT* outResult, const VARIANT* inSrc)
{
    Int128 theCy = 0;
    if (V_VT(inSrc) == VT_DECIMAL) {
        const DECIMAL& theDec = V_DECIMAL(inSrc);
        if (theDec.scale > 28)
            return DISP_E_OVERFLOW;
        const UInt128 theMag = DecimalMagnitude(theDec);
        if (theDec.scale <= 4) {
            if (theMag > static_cast<UInt128>(INT64_MAX))
                return DISP_E_OVERFLOW;
            theCy = static_cast<Int128>(theMag) * static_cast<Int128>(PowerOfTen(4 - theDec.scale));
        } else {
            theCy = DivideHalfEven(static_cast<Int128>(theMag), static_cast<Int128>(PowerOfTen(theDec.scale - 4)));
        }
        theCy = (theDec.sign & 0x80) ? -theCy : theCy;
    } else {
        Number theValue;
        const HRESULT hr = ToNumber(inSrc, false, theValue);
        if (FAILED(hr))
            return hr;
        if (theValue.kind == Number::Kind::Signed)
            theCy = static_cast<Int128>(theValue.sval) * kCyScale;
        else if (theValue.kind == Number::Kind::Unsigned)
            theCy = static_cast<Int128>(theValue.uval) * kCyScale;
        else if (!(std::fabs(theValue.rval) < 0x1p63 / kCyScale))
            return DISP_E_OVERFLOW;
        else
            theCy = static_cast<Int128>(RoundHalfEven(theValue.rval * kCyScale));
    }
    if (theCy < INT64_MIN || theCy > INT64_MAX)
        return DISP_E_OVERFLOW;
    V_CY(outResult).int64 = static_cast<int64_t>(theCy);
    V_VT(outResult) = VT_CY;
    return S_OK;
}

HRESULT StoreBool(VARIANT* outResult, const VARIANT* inSrc)
{
    bool theValue = false;
    if (V_VT(inSrc) == VT_BSTR && V_BSTR(inSrc) &&
        ParseBoolWord(std::u16string_view(V_BSTR(inSrc), SysStringLen(V_BSTR(inSrc))), theValue) == S_OK) {
        V_BOOL(outResult) = theValue ? VARIANT_TRUE : VARIANT_FALSE;
        V_VT(outResult) = VT_BOOL;
        return S_OK;
    }
    Number theNumber;
    const HRESULT hr = ToNumber(inSrc, false, theNumber);
    if (FAILED(hr))
        return hr;
    theValue = theNumber.kind == Number::Kind::Real ? theNumber.rval != 0 : (theNumber.sval != 0 || theNumber.uval != 0);
    V_BOOL(outResult) = theValue ? VARIANT_TRUE : VARIANT_FALSE;
    V_VT(outResult) = VT_BOOL;
    return S_OK;
}

HRESULT StoreReal(VARIANT* outResult, const VARIANT* inSrc, VARTYPE inVt)
{
    double theValue = 0;
    if (inVt == VT_DATE && V_VT(inSrc) == VT_BSTR) {
        const HRESULT hr = ParseDate(std::u16string_view(V_BSTR(inSrc) ? V_BSTR(inSrc) : u"", SysStringLen(V_BSTR(inSrc))), theValue);
        if (FAILED(hr))
            return hr;
    } else {
        Number theNumber;
        const HRESULT hr = ToNumber(inSrc, false, theNumber);
        if (FAILED(hr))
            return hr;
        theValue = theNumber.AsReal();
    }
    if (inVt == VT_R4) {
        if (std::isfinite(theValue) && std::fabs(theValue) > FLT_MAX)
            return DISP_E_OVERFLOW;
        V_R4(outResult) = static_cast<float>(theValue);
    } else if (inVt == VT_DATE) {
        if (!IsValidDate(theValue))
            return DISP_E_OVERFLOW;
        V_DATE(outResult) = theValue;
    } else {
        V_R8(outResult) = theValue;
    }
    V_VT(outResult) = inVt;
    return S_OK;
}

// The text of a by-value source.
HRESULT ToText(const VARIANT* inSrc, USHORT inFlags, std::u16string& outText)
{
    const VARIANT* v = inSrc;
    switch (V_VT(v)) {
    case VT_EMPTY: outText.clear(); return S_OK;
    case VT_BOOL:
        if (inFlags & (VARIANT_ALPHABOOL | VARIANT_LOCALBOOL))
            outText = V_BOOL(v) ? u"True" : u"False";
        else
            outText = V_BOOL(v) ? u"-1" : u"0";
        return S_OK;
    case VT_R4: outText = FormatReal(V_R4(v), 7); return S_OK;
    case VT_R8: outText = FormatReal(V_R8(v), 15); return S_OK;
    case VT_UI8: outText = FormatUnsigned(V_UI8(v)); return S_OK;
    case VT_CY: {
        const int64_t theCy = V_CY(v).int64;
        outText = FormatScaled(theCy < 0, theCy < 0 ? 0 - static_cast<uint64_t>(theCy) : static_cast<uint64_t>(theCy), 4);
        return S_OK;
    }
    case VT_DECIMAL: {
        const DECIMAL& theDec = V_DECIMAL(v);
        if (theDec.scale > 28)
            return DISP_E_OVERFLOW;
        outText = FormatScaled(theDec.sign & 0x80, DecimalMagnitude(theDec), theDec.scale);
        return S_OK;
    }
    case VT_DATE: return FormatDate(V_DATE(v), outText) ? S_OK : DISP_E_OVERFLOW;
    default: break;
    }
    if (!IsIntegerType(V_VT(v)))
        return DISP_E_TYPEMISMATCH;
    Number theNumber;
    ToNumber(v, true, theNumber);
    outText = FormatSigned(theNumber.sval);
    return S_OK;
}

HRESULT StoreText(VARIANT* outResult, const VARIANT* inSrc, USHORT inFlags)
{
    BSTR theBstr = nullptr;
    if (V_VT(inSrc) == (VT_ARRAY | VT_UI1)) {
        SAFEARRAY* theArray = V_ARRAY(inSrc);
        if (!theArray || SafeArrayGetDim(theArray) != 1)
            return DISP_E_TYPEMISMATCH;
        theBstr = SysAllocStringByteLen(static_cast<LPCSTR>(theArray->pvData), theArray->rgsabound[0].cElements);
    } else {
        std::u16string theText;
        const HRESULT hr = ToText(inSrc, inFlags, theText);
        if (FAILED(hr))
            return hr;
        theBstr = SysAllocStringLen(theText.data(), static_cast<UINT>(theText.size()));
    }
    if (!theBstr)
        return E_OUTOFMEMORY;
    V_BSTR(outResult) = theBstr;
    V_VT(outResult) = VT_BSTR;
    return S_OK;
}

HRESULT StoreBytes(VARIANT* outResult, const VARIANT* inSrc)
{
    if (V_VT(inSrc) != VT_BSTR)
        return DISP_E_TYPEMISMATCH;
    const UINT theBytes = SysStringByteLen(V_BSTR(inSrc));
    SAFEARRAY* theArray = SafeArrayCreateVector(VT_UI1, 0, theBytes);
    if (!theArray)
        return E_OUTOFMEMORY;
    if (theBytes)
        std::memcpy(theArray->pvData, V_BSTR(inSrc), theBytes);
    V_ARRAY(outResult) = theArray;
    V_VT(outResult) = VT_ARRAY | VT_UI1;
    return S_OK;
}

HRESULT StoreObject(VARIANT* outResult, const VARIANT* inSrc, VARTYPE inVt)
{
    if (V_VT(inSrc) == VT_EMPTY) {
        V_UNKNOWN(outResult) = nullptr;
        V_VT(outResult) = inVt;
        return S_OK;
    }
    if (V_VT(inSrc) != VT_DISPATCH && V_VT(inSrc) != VT_UNKNOWN)
        return DISP_E_TYPEMISMATCH;
    IUnknown* theObject = V_UNKNOWN(inSrc);
    void* theResult = nullptr;
    if (theObject) {
        const HRESULT hr = theObject->QueryInterface(inVt == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &theResult);
        if (FAILED(hr))
            return hr == E_NOINTERFACE ? DISP_E_TYPEMISMATCH : hr;
    }
    V_UNKNOWN(outResult) = static_cast<IUnknown*>(theResult);
    V_VT(outResult) = inVt;
    return S_OK;
}

// Converts the value property of the object in inSrc.
HRESULT ConvertObjectValue(VARIANT* outResult, const VARIANT* inSrc, USHORT inFlags, VARTYPE inVt, int inDepth)
{
    IDispatch* theDisp = V_DISPATCH(inSrc);
    if (!theDisp || (inFlags & VARIANT_NOVALUEPROP) || inDepth >= kMaxValueDepth)
        return DISP_E_TYPEMISMATCH;
    DISPPARAMS theNoArgs{nullptr, nullptr, 0, 0};
    VARIANT theValue;
    VariantInit(&theValue);
    HRESULT hr = theDisp->Invoke(DISPID_VALUE, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &theNoArgs,
                                 &theValue, nullptr, nullptr);
    if (hr == DISP_E_MEMBERNOTFOUND)
        return DISP_E_TYPEMISMATCH;
    if (FAILED(hr))
        return hr;
    VARIANT theDirect;
    VariantInit(&theDirect);
    hr = VariantCopyInd(&theDirect, &theValue);
    VariantClear(&theValue);
    if (SUCCEEDED(hr))
        hr = ConvertValue(outResult, &theDirect, inFlags, inVt, inDepth + 1);
    VariantClear(&theDirect);
    return hr;
}

// Converts the by-value inSrc to inVt into the empty outResult.
HRESULT ConvertValue(VARIANT* outResult, const VARIANT* inSrc, USHORT inFlags, VARTYPE inVt, int inDepth)
{
    const VARTYPE theFrom = V_VT(inSrc);
    if (theFrom == inVt)
        return VariantCopy(outResult, inSrc);
    if (inVt == VT_EMPTY)
        return S_OK;
    if (inVt == VT_NULL) {
        if (theFrom != VT_EMPTY)
            return DISP_E_TYPEMISMATCH;
        V_VT(outResult) = VT_NULL;
        return S_OK;
    }
    if (theFrom == VT_NULL)
        return DISP_E_TYPEMISMATCH;
    if (theFrom == VT_DISPATCH && inVt != VT_UNKNOWN)
        return ConvertObjectValue(outResult, inSrc, inFlags, inVt, inDepth);
    if (inVt == (VT_ARRAY | VT_UI1))
        return StoreBytes(outResult, inSrc);
    if ((theFrom & VT_ARRAY) && inVt != VT_BSTR)
        return DISP_E_TYPEMISMATCH;
    if (theFrom == VT_ERROR)
        return DISP_E_TYPEMISMATCH;
    switch (inVt) {
    case VT_BSTR: return StoreText(outResult, inSrc, inFlags);
    case VT_BOOL: return StoreBool(outResult, inSrc);
    case VT_R4: case VT_R8: case VT_DATE: return StoreReal(outResult, inSrc, inVt);
    case VT_CY: return StoreCurrency(outResult, inSrc);
    case VT_DECIMAL: return StoreDecimal(outResult, inSrc);
    case VT_DISPATCH: case VT_UNKNOWN: return StoreObject(outResult, inSrc, inVt);
    case VT_ERROR: {
        if (!IsIntegerType(theFrom))
            return DISP_E_TYPEMISMATCH;
        Number theNumber;
        ToNumber(inSrc, true, theNumber);
        Int128 theCode = 0;
        const HRESULT hr = ToInteger(theNumber, INT32_MIN, UINT32_MAX, theCode);
        if (FAILED(hr))
            return hr;
        V_ERROR(outResult) = static_cast<SCODE>(static_cast<uint32_t>(theCode));
        V_VT(outResult) = VT_ERROR;
        return S_OK;
    }
    default: break;
    }
    if (!IsIntegerType(inVt))
        return DISP_E_BADVARTYPE;
    Number theNumber;
    const HRESULT hr = ToNumber(inSrc, true, theNumber);
    if (FAILED(hr))
        return hr;
    return StoreInteger(outResult, inVt, theNumber);
}

bool IsValidTarget(VARTYPE inVt)
{
    if (inVt & VT_BYREF)
        return false;
    if (inVt & VT_ARRAY)
        return IsValidVariantType(inVt);
    return IsVariantScalar(inVt) && inVt != VT_VARIANT;
}

}  // namespace

extern "C" {

HRESULT WINAPI VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid, USHORT wFlags,
                                   VARTYPE vt)
{
    (void)lcid;
    if (!pvargDest || !pvarSrc)
        return E_INVALIDARG;
    if (!IsValidVariantType(V_VT(pvarSrc)) || !IsValidTarget(vt))
        return DISP_E_BADVARTYPE;
    // Only a reference needs a copy of what it points at; values convert in place.
    VARIANT theValue;
    VariantInit(&theValue);
    const VARIANT* theSource = pvarSrc;
    HRESULT hr = S_OK;
    if (V_VT(pvarSrc) & VT_BYREF) {
        hr = VariantCopyInd(&theValue, pvarSrc);
        if (FAILED(hr))
            return hr;
        theSource = &theValue;
    }
    VARIANT theResult;
    VariantInit(&theResult);
    hr = ConvertValue(&theResult, theSource, wFlags, vt, 0);
    VariantClear(&theValue);
    if (SUCCEEDED(hr))
        hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&theResult);
        return hr;
    }
    std::memcpy(pvargDest, &theResult, sizeof theResult);
    return S_OK;
}

HRESULT WINAPI VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt)
{
    return VariantChangeTypeEx(pvargDest, pvarSrc, LOCALE_USER_DEFAULT, wFlags, vt);
}

}  // extern "C"
