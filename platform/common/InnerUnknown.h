// InnerUnknown.h: the non-delegating IUnknown of an aggregatable object. It is the
// identity of a standalone object and what an aggregating outer object holds; it keeps
// the object's reference count (ReferenceCount.h) and deletes the object with the last
// reference. The object's other interfaces delegate to the controlling unknown.
//
//   class Widget : public IWidget {
//       ...
//       HRESULT InnerQueryInterface(REFIID inIid, void** outObject);   // the table
//       friend class InnerUnknown<Widget, NoModuleLock>;
//       friend class ReferenceCount<NoModuleLock>;                      // may delete us
//       InnerUnknown<Widget, NoModuleLock> mInner{this, 1};
//       IUnknown* mOuter;   // the aggregating object, or &mInner
//   };
#pragma once

#include <windows.h>

#include "platform/common/ReferenceCount.h"

/// Counts the references of TOwner, which answers queries in
/// `HRESULT InnerQueryInterface(REFIID, void**)` and is deleted through this.
template <class TOwner, class TModuleLock>
class InnerUnknown final : public IUnknown {
public:
    InnerUnknown(TOwner* inOwner, ULONG inInitial) noexcept : mOwner(inOwner), mReferences(inInitial) {}
    InnerUnknown(const InnerUnknown&) = delete;
    InnerUnknown& operator=(const InnerUnknown&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        return mOwner->InnerQueryInterface(inIid, outObject);
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return mReferences.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return mReferences.Release(mOwner); }

private:
    TOwner* mOwner;
    ReferenceCount<TModuleLock> mReferences;
};
