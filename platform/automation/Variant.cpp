// VARIANT lifetime: init, clear, deep copy and copy through a reference.
#include "platform/automation/OleAuto.h"

#include <cstring>

#include "platform/automation/VariantKinds.h"

using ferrolift::platform::IsValidVariantType;

namespace {

// Size of the value that a VT_BYREF variant of base type inVt points at.
size_t ReferencedSize(VARTYPE inVt)
{
    switch (inVt) {
    case VT_I1: case VT_UI1: return 1;
    case VT_I2: case VT_UI2: case VT_BOOL: return 2;
    case VT_I4: case VT_UI4: case VT_R4: case VT_INT: case VT_UINT: case VT_ERROR: return 4;
    case VT_R8: case VT_I8: case VT_UI8: case VT_CY: case VT_DATE: return 8;
    default: return 0;
    }
}

// Copies the value inSrc holds (not by reference) into the uninitialised outDest.
HRESULT CopyValue(VARIANT* outDest, const VARIANT* inSrc)
{
    const VARTYPE theVt = V_VT(inSrc);
    std::memcpy(outDest, inSrc, sizeof(VARIANT));
    if (theVt & VT_BYREF)
        return S_OK;   // references are shared, not followed
    if (theVt & VT_ARRAY)
        return SafeArrayCopy(V_ARRAY(inSrc), &V_ARRAY(outDest));
    if (theVt == VT_BSTR && V_BSTR(inSrc)) {
        V_BSTR(outDest) = SysAllocStringByteLen(reinterpret_cast<LPCSTR>(V_BSTR(inSrc)), SysStringByteLen(V_BSTR(inSrc)));
        return V_BSTR(outDest) ? S_OK : E_OUTOFMEMORY;
    }
    if ((theVt == VT_DISPATCH || theVt == VT_UNKNOWN) && V_UNKNOWN(inSrc))
        V_UNKNOWN(inSrc)->AddRef();
    return S_OK;
}

// Copies the value that the VT_BYREF variant inSrc refers to into outDest (not
// initialised). A reference to a variant is followed once more, but a reference to a
// reference to a variant is refused.
HRESULT CopyReferenced(VARIANT* outDest, const VARIANT* inSrc)
{
    const VARTYPE theBase = V_VT(inSrc) & ~VT_BYREF;
    if (!V_BYREF(inSrc))
        return E_INVALIDARG;
    VARIANT theValue;
    VariantInit(&theValue);
    if (theBase == VT_VARIANT) {
        const VARIANT* theInner = V_VARIANTREF(inSrc);
        if (V_VT(theInner) == (VT_VARIANT | VT_BYREF))
            return E_INVALIDARG;
        if (!IsValidVariantType(V_VT(theInner)))
            return DISP_E_BADVARTYPE;
        if (V_VT(theInner) & VT_BYREF)
            return CopyReferenced(outDest, theInner);
        return CopyValue(outDest, theInner);
    }
    if (theBase == VT_DECIMAL) {
        V_DECIMAL(&theValue) = *static_cast<const DECIMAL*>(V_BYREF(inSrc));
    } else if (theBase & VT_ARRAY) {
        V_ARRAY(&theValue) = *V_ARRAYREF(inSrc);
    } else if (theBase == VT_BSTR) {
        V_BSTR(&theValue) = *V_BSTRREF(inSrc);
    } else if (theBase == VT_DISPATCH || theBase == VT_UNKNOWN) {
        V_UNKNOWN(&theValue) = *static_cast<IUnknown**>(V_BYREF(inSrc));
    } else {
        std::memcpy(&V_UNION(&theValue, llVal), V_BYREF(inSrc), ReferencedSize(theBase));
    }
    V_VT(&theValue) = theBase;
    return CopyValue(outDest, &theValue);
}

}  // namespace

extern "C" {

void WINAPI VariantInit(VARIANTARG* pvarg)
{
    if (!pvarg)
        return;
    V_VT(pvarg) = VT_EMPTY;
    pvarg->n1.n2.wReserved1 = pvarg->n1.n2.wReserved2 = pvarg->n1.n2.wReserved3 = 0;
}

HRESULT WINAPI VariantClear(VARIANTARG* pvarg)
{
    if (!pvarg)
        return E_INVALIDARG;
    const VARTYPE theVt = V_VT(pvarg);
    if (!IsValidVariantType(theVt))
        return DISP_E_BADVARTYPE;
    if (!(theVt & VT_BYREF)) {
        if (theVt & VT_ARRAY) {
            const HRESULT hr = SafeArrayDestroy(V_ARRAY(pvarg));
            if (FAILED(hr))
                return hr;
        } else if (theVt == VT_BSTR) {
            SysFreeString(V_BSTR(pvarg));
        } else if ((theVt == VT_DISPATCH || theVt == VT_UNKNOWN) && V_UNKNOWN(pvarg)) {
            V_UNKNOWN(pvarg)->Release();
        }
    }
    V_VT(pvarg) = VT_EMPTY;
    return S_OK;
}

HRESULT WINAPI VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc)
{
    if (!pvargDest || !pvargSrc)
        return E_INVALIDARG;
    if (!IsValidVariantType(V_VT(pvargSrc)))
        return DISP_E_BADVARTYPE;
    if (pvargDest == pvargSrc)
        return S_OK;
    VARIANT theCopy;
    HRESULT hr = CopyValue(&theCopy, pvargSrc);
    if (FAILED(hr))
        return hr;
    hr = VariantClear(pvargDest);
    if (FAILED(hr)) {
        VariantClear(&theCopy);
        return hr;
    }
    std::memcpy(pvargDest, &theCopy, sizeof theCopy);
    return S_OK;
}

HRESULT WINAPI VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc)
{
    if (!pvarDest || !pvargSrc)
        return E_INVALIDARG;
    if (!IsValidVariantType(V_VT(pvargSrc)))
        return DISP_E_BADVARTYPE;
    if (!(V_VT(pvargSrc) & VT_BYREF))
        return VariantCopy(pvarDest, pvargSrc);
    // Dest may be the source itself: dereference first, then replace.
    VARIANT theCopy;
    HRESULT hr = CopyReferenced(&theCopy, pvargSrc);
    if (FAILED(hr))
        return hr;
    hr = VariantClear(pvarDest);
    if (FAILED(hr)) {
        VariantClear(&theCopy);
        return hr;
    }
    std::memcpy(pvarDest, &theCopy, sizeof theCopy);
    return S_OK;
}

}  // extern "C"
