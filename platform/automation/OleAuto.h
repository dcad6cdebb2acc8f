// OleAuto.h: automation strings, VARIANTs and safe arrays.
//
//   BSTR s = SysAllocString(u"text");          // SysStringLen(s) == 4
//   VARIANT v; VariantInit(&v);
//   V_VT(&v) = VT_BSTR; V_BSTR(&v) = s;
//   VariantChangeType(&v, &v, 0, VT_I4);       // DISP_E_TYPEMISMATCH: "text" is no number
//   VariantClear(&v);
#pragma once

#include "platform/automation/AutomationTypes.h"
#include "platform/com/ComInterfaces.h"

extern "C" {
BSTR WINAPI SysAllocString(const OLECHAR* psz);
BSTR WINAPI SysAllocStringLen(const OLECHAR* strIn, UINT ui);
BSTR WINAPI SysAllocStringByteLen(LPCSTR psz, UINT len);
INT WINAPI SysReAllocString(BSTR* pbstr, const OLECHAR* psz);
INT WINAPI SysReAllocStringLen(BSTR* pbstr, const OLECHAR* psz, UINT len);
void WINAPI SysFreeString(BSTR bstrString);
UINT WINAPI SysStringLen(BSTR pbstr);
UINT WINAPI SysStringByteLen(BSTR bstr);

void WINAPI VariantInit(VARIANTARG* pvarg);
HRESULT WINAPI VariantClear(VARIANTARG* pvarg);
HRESULT WINAPI VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc);
HRESULT WINAPI VariantCopyInd(VARIANT* pvarDest, const VARIANTARG* pvargSrc);
// Coercions among VT_EMPTY, VT_NULL, VT_I1..VT_UI8, VT_INT, VT_UINT, VT_R4, VT_R8,
// VT_CY, VT_DATE, VT_BOOL, VT_BSTR, VT_ERROR and VT_DISPATCH (through its value
// property): numbers to integers round half to even, overflow is DISP_E_OVERFLOW,
// unparsable text DISP_E_TYPEMISMATCH.
// VT_BOOL to text is "-1"/"0" unless VARIANT_ALPHABOOL asks for "True"/"False"; doubles
// print with 15 significant digits; dates read and print as "M/D/YYYY h:mm:ss AM" or
// "YYYY-MM-DD"; on failure pvargDest is left as it was.
HRESULT WINAPI VariantChangeType(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, USHORT wFlags, VARTYPE vt);
HRESULT WINAPI VariantChangeTypeEx(VARIANTARG* pvargDest, const VARIANTARG* pvarSrc, LCID lcid, USHORT wFlags,
                                   VARTYPE vt);

// Safe arrays of VT_I1..VT_UINT, VT_R4, VT_R8, VT_CY, VT_DATE, VT_BOOL, VT_ERROR,
// VT_DECIMAL, VT_BSTR, VT_UNKNOWN, VT_DISPATCH and VT_VARIANT. rgsabound and rgIndices
// name dimension 1 first; dimension 1 varies fastest in pvData. A locked array cannot
// be destroyed (DISP_E_ARRAYISLOCKED); null arrays and pointers give E_INVALIDARG,
// indices outside the bounds DISP_E_BADINDEX. SafeArrayPutElement takes a BSTR or an
// interface pointer itself as pv, any other type by address, and stores a copy.
SAFEARRAY* WINAPI SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound);
SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements);
HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* psa);
HRESULT WINAPI SafeArrayAccessData(SAFEARRAY* psa, void** ppvData);
HRESULT WINAPI SafeArrayUnaccessData(SAFEARRAY* psa);
HRESULT WINAPI SafeArrayLock(SAFEARRAY* psa);
HRESULT WINAPI SafeArrayUnlock(SAFEARRAY* psa);
UINT WINAPI SafeArrayGetDim(SAFEARRAY* psa);
UINT WINAPI SafeArrayGetElemsize(SAFEARRAY* psa);
HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound);
HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound);
HRESULT WINAPI SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt);
HRESULT WINAPI SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
HRESULT WINAPI SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv);
HRESULT WINAPI SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut);
}
