// FieldEnumerator.h: the IEnumVARIANT behind For Each over a form (names) or a field
// collection (fields). It owns a snapshot of VARIANTs; clones share the snapshot.
//
//   std::vector<UniqueVariant> theItems = ...;          // VT_BSTR names or VT_DISPATCH fields
//   ComPtr<IUnknown> theEnum;
//   HRESULT hr = FieldEnumerator::Create(std::move(theItems), theEnum.put());
#pragma once

#include <atomic>
#include <memory>
#include <vector>
#include <windows.h>
#include <oleauto.h>

#include "platform/common/CriticalSection.h"
#include "platform/common/UniqueVariant.h"

/// A snapshot enumerator of VARIANTs.
class FieldEnumerator : public IEnumVARIANT {
public:
    /// Makes an enumerator that takes inItems over and returns its IUnknown.
    static HRESULT Create(std::vector<UniqueVariant> inItems, IUnknown** outEnum);

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;
    /// Copies up to inCount entries out (each VariantCopy'd); S_FALSE when fewer remain.
    HRESULT STDMETHODCALLTYPE Next(ULONG inCount, VARIANT* outItems, ULONG* outFetched) override;
    /// Passes over inCount entries; S_FALSE when fewer remain.
    HRESULT STDMETHODCALLTYPE Skip(ULONG inCount) override;
    HRESULT STDMETHODCALLTYPE Reset() override;
    /// A new enumerator over the same snapshot at the same position.
    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** outEnum) override;

private:
    using Snapshot = std::vector<UniqueVariant>;
    FieldEnumerator(std::shared_ptr<const Snapshot> inItems, size_t inPosition);
    virtual ~FieldEnumerator();

    std::shared_ptr<const Snapshot> mItems;
    size_t mPosition;
    std::atomic<ULONG> mRefCount{1};
    CriticalSection mLock;
};
