// FieldEnumerator.cpp: the snapshot enumerator of VARIANTs.
#include "objects/FieldEnumerator.h"

#include <new>

FieldEnumerator::FieldEnumerator(std::shared_ptr<const Snapshot> inItems, size_t inPosition)
    : mItems(std::move(inItems)), mPosition(inPosition)
{
}

HRESULT FieldEnumerator::Create(std::vector<UniqueVariant> inItems, IUnknown** outEnum)
{
    if (outEnum == nullptr)
        return E_POINTER;
    *outEnum = nullptr;
    try {
        auto theItems = std::make_shared<const Snapshot>(std::move(inItems));
        *outEnum = new FieldEnumerator(std::move(theItems), 0);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}

HRESULT FieldEnumerator::QueryInterface(REFIID inIid, void** outObject)
{
    return QueryInterfaceFrom({{&IID_IUnknown, this}, {&IID_IEnumVARIANT, this}}, inIid, outObject);
}

HRESULT FieldEnumerator::Next(ULONG inCount, VARIANT* outItems, ULONG* outFetched)
{
    if (outFetched != nullptr)
        *outFetched = 0;
    if (outItems == nullptr && inCount > 0)
        return E_POINTER;
    CriticalSectionGuard theGuard(mLock);
    ULONG theFetched = 0;
    while (theFetched < inCount && mPosition < mItems->size()) {
        VariantInit(&outItems[theFetched]);
        const HRESULT hr = (*mItems)[mPosition].copy_to(&outItems[theFetched]);
        if (FAILED(hr)) {
            for (ULONG i = 0; i < theFetched; ++i)
                VariantClear(&outItems[i]);
            return hr;
        }
        ++theFetched;
        ++mPosition;
    }
    if (outFetched != nullptr)
        *outFetched = theFetched;
    return theFetched == inCount ? S_OK : S_FALSE;
}

HRESULT FieldEnumerator::Skip(ULONG inCount)
{
    CriticalSectionGuard theGuard(mLock);
    const size_t theLeft = mItems->size() - mPosition;
    if (inCount > theLeft) {
        mPosition = mItems->size();
        return S_FALSE;
    }
    mPosition += inCount;
    return S_OK;
}

HRESULT FieldEnumerator::Reset()
{
    CriticalSectionGuard theGuard(mLock);
    mPosition = 0;
    return S_OK;
}

HRESULT FieldEnumerator::Clone(IEnumVARIANT** outEnum)
{
    if (outEnum == nullptr)
        return E_POINTER;
    *outEnum = nullptr;
    CriticalSectionGuard theGuard(mLock);
    try {
        *outEnum = new FieldEnumerator(mItems, mPosition);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    return S_OK;
}
