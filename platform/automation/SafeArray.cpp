// Safe arrays. The descriptor and its bounds are one allocation with a 16-byte header in
// front that holds the element type (FADF_HAVEVARTYPE), as on Windows. Bounds are
// stored rightmost dimension first; indices passed to Get/PutElement name dimension 1
// first, and dimension 1 varies fastest in memory.
#include "platform/automation/OleAuto.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

namespace {

constexpr size_t kHeader = 16;
constexpr ULONG kMaxLocks = 0xFFFF;
// Refuse arrays above this many data bytes rather than asking the allocator.
constexpr size_t kMaxDataBytes = size_t{1} << 40;

// Element size of an array of inVt, or 0 when arrays of it are not supported.
ULONG ElementSize(VARTYPE inVt)
{
    switch (inVt) {
    case VT_I1: case VT_UI1:
        return 1;
    case VT_I2: case VT_UI2: case VT_BOOL:
        return 2;
    case VT_I4: case VT_UI4: case VT_R4: case VT_INT: case VT_UINT: case VT_ERROR:
        return 4;
    case VT_R8: case VT_I8: case VT_UI8: case VT_CY: case VT_DATE:
        return 8;
    case VT_BSTR: case VT_UNKNOWN: case VT_DISPATCH:
        return sizeof(void*);
    case VT_VARIANT:
        return sizeof(VARIANT);
    case VT_DECIMAL:
        return sizeof(DECIMAL);
    default:
        return 0;
    }
}

USHORT FeaturesOf(VARTYPE inVt)
{
    switch (inVt) {
    case VT_BSTR: return FADF_HAVEVARTYPE | FADF_BSTR;
    case VT_UNKNOWN: return FADF_HAVEVARTYPE | FADF_UNKNOWN;
    case VT_DISPATCH: return FADF_HAVEVARTYPE | FADF_DISPATCH;
    case VT_VARIANT: return FADF_HAVEVARTYPE | FADF_VARIANT;
    default: return FADF_HAVEVARTYPE;
    }
}

unsigned char* HeaderOf(SAFEARRAY* inArray)
{
    return reinterpret_cast<unsigned char*>(inArray) - kHeader;
}

size_t DescriptorBytes(UINT inDims)
{
    return kHeader + sizeof(SAFEARRAY) + (inDims - 1) * sizeof(SAFEARRAYBOUND);
}

// Number of elements, or false when the product overflows the size limit.
bool CountCells(const SAFEARRAY* inArray, size_t* outCells)
{
    size_t theCells = 1;
    for (USHORT i = 0; i < inArray->cDims; ++i) {
        const size_t theCount = inArray->rgsabound[i].cElements;
        if (theCount != 0 && theCells > kMaxDataBytes / theCount)
            return false;
        theCells *= theCount;
    }
    *outCells = theCells;
    return theCells <= kMaxDataBytes / (inArray->cbElements ? inArray->cbElements : 1);
}

SAFEARRAY* AllocDescriptor(VARTYPE inVt, UINT inDims)
{
    auto* theBlock = static_cast<unsigned char*>(std::calloc(1, DescriptorBytes(inDims)));
    if (!theBlock)
        return nullptr;
    const DWORD theVt = inVt;
    std::memcpy(theBlock + kHeader - sizeof theVt, &theVt, sizeof theVt);
    auto* theArray = reinterpret_cast<SAFEARRAY*>(theBlock + kHeader);
    theArray->cDims = static_cast<USHORT>(inDims);
    theArray->fFeatures = FeaturesOf(inVt);
    theArray->cbElements = ElementSize(inVt);
    return theArray;
}

VARTYPE VartypeOf(const SAFEARRAY* inArray)
{
    if (inArray->fFeatures & FADF_HAVEVARTYPE) {
        DWORD theVt = 0;
        std::memcpy(&theVt, HeaderOf(const_cast<SAFEARRAY*>(inArray)) + kHeader - sizeof theVt, sizeof theVt);
        return static_cast<VARTYPE>(theVt);
    }
    if (inArray->fFeatures & FADF_BSTR) return VT_BSTR;
    if (inArray->fFeatures & FADF_UNKNOWN) return VT_UNKNOWN;
    if (inArray->fFeatures & FADF_DISPATCH) return VT_DISPATCH;
    if (inArray->fFeatures & FADF_VARIANT) return VT_VARIANT;
    return VT_EMPTY;
}

// Releases what the elements own (strings, interfaces, variant contents).
void ClearCells(SAFEARRAY* inArray, size_t inCells)
{
    if (!inArray->pvData)
        return;
    const USHORT theKind = inArray->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH | FADF_VARIANT);
    for (size_t i = 0; i < inCells && theKind; ++i) {
        void* theCell = static_cast<unsigned char*>(inArray->pvData) + i * inArray->cbElements;
        if (theKind & FADF_BSTR) {
            SysFreeString(*static_cast<BSTR*>(theCell));
        } else if (theKind & (FADF_UNKNOWN | FADF_DISPATCH)) {
            if (IUnknown* theUnk = *static_cast<IUnknown**>(theCell))
                theUnk->Release();
        } else {
            VariantClear(static_cast<VARIANT*>(theCell));
        }
    }
}

// Copies one element from inFrom to the uninitialised cell inTo.
HRESULT CopyCell(const SAFEARRAY* inArray, void* inTo, const void* inFrom)
{
    if (inArray->fFeatures & FADF_BSTR) {
        const BSTR theSrc = *static_cast<const BSTR*>(inFrom);
        BSTR theCopy = theSrc ? SysAllocStringByteLen(reinterpret_cast<LPCSTR>(theSrc), SysStringByteLen(theSrc)) : nullptr;
        if (theSrc && !theCopy)
            return E_OUTOFMEMORY;
        *static_cast<BSTR*>(inTo) = theCopy;
        return S_OK;
    }
    if (inArray->fFeatures & (FADF_UNKNOWN | FADF_DISPATCH)) {
        IUnknown* theUnk = *static_cast<IUnknown* const*>(inFrom);
        if (theUnk)
            theUnk->AddRef();
        *static_cast<IUnknown**>(inTo) = theUnk;
        return S_OK;
    }
    if (inArray->fFeatures & FADF_VARIANT) {
        VariantInit(static_cast<VARIANT*>(inTo));
        return VariantCopy(static_cast<VARIANT*>(inTo), static_cast<const VARIANT*>(inFrom));
    }
    std::memcpy(inTo, inFrom, inArray->cbElements);
    return S_OK;
}

// Address of the element at inIndices (dimension 1 first), or null when out of bounds.
void* CellAt(SAFEARRAY* inArray, const LONG* inIndices)
{
    size_t theCell = 0;
    size_t theStride = 1;
    for (USHORT theDim = 0; theDim < inArray->cDims; ++theDim) {
        const SAFEARRAYBOUND& theBound = inArray->rgsabound[inArray->cDims - 1 - theDim];
        const int64_t theOffset = static_cast<int64_t>(inIndices[theDim]) - theBound.lLbound;
        if (theOffset < 0 || theOffset >= static_cast<int64_t>(theBound.cElements))
            return nullptr;
        theCell += static_cast<size_t>(theOffset) * theStride;
        theStride *= theBound.cElements;
    }
    return static_cast<unsigned char*>(inArray->pvData) + theCell * inArray->cbElements;
}

std::atomic_ref<ULONG> LocksOf(SAFEARRAY* inArray)
{
    return std::atomic_ref<ULONG>(inArray->cLocks);
}

}  // namespace

extern "C" {

SAFEARRAY* WINAPI SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound)
{
    if (cDims == 0 || cDims > 0xFFFF || !rgsabound || ElementSize(vt) == 0)
        return nullptr;
    SAFEARRAY* theArray = AllocDescriptor(vt, cDims);
    if (!theArray)
        return nullptr;
    for (UINT i = 0; i < cDims; ++i)
        theArray->rgsabound[cDims - 1 - i] = rgsabound[i];
    size_t theCells = 0;
    if (CountCells(theArray, &theCells))
        theArray->pvData = std::calloc(theCells ? theCells : 1, theArray->cbElements);
    if (!theArray->pvData) {
        std::free(HeaderOf(theArray));
        return nullptr;
    }
    return theArray;
}

SAFEARRAY* WINAPI SafeArrayCreateVector(VARTYPE vt, LONG lLbound, ULONG cElements)
{
    SAFEARRAYBOUND theBound{cElements, lLbound};
    return SafeArrayCreate(vt, 1, &theBound);
}

HRESULT WINAPI SafeArrayDestroy(SAFEARRAY* psa)
{
    if (!psa)
        return S_OK;
    if (LocksOf(psa).load() > 0)
        return DISP_E_ARRAYISLOCKED;
    // Arrays that live in someone else's memory are only emptied.
    const bool theForeign = psa->fFeatures & (FADF_AUTO | FADF_STATIC | FADF_EMBEDDED);
    size_t theCells = 0;
    if (CountCells(psa, &theCells))
        ClearCells(psa, theCells);
    if (theForeign)
        return S_OK;
    std::free(psa->pvData);
    std::free(HeaderOf(psa));
    return S_OK;
}

HRESULT WINAPI SafeArrayLock(SAFEARRAY* psa)
{
    if (!psa)
        return E_INVALIDARG;
    ULONG theLocks = LocksOf(psa).load();
    do {
        if (theLocks >= kMaxLocks)
            return E_UNEXPECTED;
    } while (!LocksOf(psa).compare_exchange_weak(theLocks, theLocks + 1));
    return S_OK;
}

HRESULT WINAPI SafeArrayUnlock(SAFEARRAY* psa)
{
    if (!psa)
        return E_INVALIDARG;
    ULONG theLocks = LocksOf(psa).load();
    do {
        if (theLocks == 0)
            return E_UNEXPECTED;
    } while (!LocksOf(psa).compare_exchange_weak(theLocks, theLocks - 1));
    return S_OK;
}

HRESULT WINAPI SafeArrayAccessData(SAFEARRAY* psa, void** ppvData)
{
    if (!psa || !ppvData)
        return E_INVALIDARG;
    const HRESULT hr = SafeArrayLock(psa);
    *ppvData = SUCCEEDED(hr) ? psa->pvData : nullptr;
    return hr;
}

HRESULT WINAPI SafeArrayUnaccessData(SAFEARRAY* psa)
{
    return SafeArrayUnlock(psa);
}

UINT WINAPI SafeArrayGetDim(SAFEARRAY* psa)
{
    return psa ? psa->cDims : 0;
}

UINT WINAPI SafeArrayGetElemsize(SAFEARRAY* psa)
{
    return psa ? psa->cbElements : 0;
}

HRESULT WINAPI SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound)
{
    if (!psa || !plLbound)
        return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
    return S_OK;
}

HRESULT WINAPI SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound)
{
    if (!psa || !plUbound)
        return E_INVALIDARG;
    if (nDim == 0 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& theBound = psa->rgsabound[psa->cDims - nDim];
    *plUbound = static_cast<LONG>(static_cast<int64_t>(theBound.lLbound) + theBound.cElements - 1);
    return S_OK;
}

HRESULT WINAPI SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt)
{
    if (!psa || !pvt)
        return E_INVALIDARG;
    *pvt = VartypeOf(psa);
    return *pvt == VT_EMPTY ? E_INVALIDARG : S_OK;
}

HRESULT WINAPI SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv)
{
    if (!psa || !rgIndices || !pv)
        return E_INVALIDARG;
    if (!psa->pvData)
        return E_INVALIDARG;
    HRESULT hr = SafeArrayLock(psa);
    if (FAILED(hr))
        return hr;
    const void* theCell = CellAt(psa, rgIndices);
    hr = theCell ? CopyCell(psa, pv, theCell) : DISP_E_BADINDEX;
    SafeArrayUnlock(psa);
    return hr;
}

HRESULT WINAPI SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv)
{
    if (!psa || !rgIndices)
        return E_INVALIDARG;
    // Strings and interfaces are passed as themselves, everything else by address.
    const bool theByValue = psa->fFeatures & (FADF_BSTR | FADF_UNKNOWN | FADF_DISPATCH);
    if (!pv && !theByValue)
        return E_INVALIDARG;
    if (!psa->pvData)
        return E_INVALIDARG;
    HRESULT hr = SafeArrayLock(psa);
    if (FAILED(hr))
        return hr;
    void* theCell = CellAt(psa, rgIndices);
    if (!theCell) {
        SafeArrayUnlock(psa);
        return DISP_E_BADINDEX;
    }
    // Copy first into a temporary cell, so a failure leaves the old element in place.
    alignas(VARIANT) unsigned char theNew[sizeof(VARIANT)];
    hr = CopyCell(psa, theNew, theByValue ? static_cast<const void*>(&pv) : pv);
    if (SUCCEEDED(hr)) {
        SAFEARRAY theOne = *psa;
        theOne.cDims = 1;
        theOne.rgsabound[0] = {1, 0};
        theOne.pvData = theCell;
        ClearCells(&theOne, 1);
        std::memcpy(theCell, theNew, psa->cbElements);
    }
    SafeArrayUnlock(psa);
    return hr;
}

HRESULT WINAPI SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut)
{
    if (!ppsaOut)
        return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa)
        return S_OK;
    size_t theCells = 0;
    if (!psa->pvData || psa->cbElements == 0 || !CountCells(psa, &theCells))
        return E_INVALIDARG;
    SAFEARRAY* theCopy = AllocDescriptor(VartypeOf(psa), psa->cDims);
    if (!theCopy)
        return E_OUTOFMEMORY;
    theCopy->fFeatures = psa->fFeatures & ~(FADF_AUTO | FADF_STATIC | FADF_EMBEDDED);
    theCopy->cbElements = psa->cbElements;
    std::memcpy(theCopy->rgsabound, psa->rgsabound, psa->cDims * sizeof(SAFEARRAYBOUND));
    theCopy->pvData = std::calloc(theCells ? theCells : 1, psa->cbElements);
    if (!theCopy->pvData) {
        std::free(HeaderOf(theCopy));
        return E_OUTOFMEMORY;
    }
    for (size_t i = 0; i < theCells; ++i) {
        const size_t theOffset = i * psa->cbElements;
        const HRESULT hr = CopyCell(psa, static_cast<unsigned char*>(theCopy->pvData) + theOffset,
                                    static_cast<unsigned char*>(psa->pvData) + theOffset);
        if (FAILED(hr)) {
            // Cells not yet copied are zero, which clearing treats as empty.
            SafeArrayDestroy(theCopy);
            return hr;
        }
    }
    *ppsaOut = theCopy;
    return S_OK;
}

}  // extern "C"
