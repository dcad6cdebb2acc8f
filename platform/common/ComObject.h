// ComObject.h: IUnknown for an object that implements one or more interfaces: one
// reference count, deletion with the last reference, and the module lock through a hook
// (ReferenceCount.h). The object answers QueryInterface with its own interface table.
//
//   class Names final : public ComObject<NoModuleLock, IEnumNames> {
//   public:
//       HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
//       {
//           return QueryInterfaceFrom({{&IID_IUnknown, this}, {&IID_IEnumNames, this}}, inIid, outObject);
//       }
//       ...   // only IEnumNames' own methods
//   };
//   *outNames = new Names();   // one reference, the caller's
#pragma once

#include <windows.h>

#include "platform/common/InterfaceTable.h"
#include "platform/common/ReferenceCount.h"

/// Implements AddRef and Release over TInterfaces for a class that supplies
/// QueryInterface (with QueryInterfaceFrom). Objects start with one reference, the
/// creator's, and delete themselves when the last goes.
template <class TModuleLock, class... TInterfaces>
class ComObject : public TInterfaces... {
public:
    ComObject(const ComObject&) = delete;
    ComObject& operator=(const ComObject&) = delete;

    ULONG STDMETHODCALLTYPE AddRef() override { return mReferences.AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return mReferences.Release(this); }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;

private:
    friend class ReferenceCount<TModuleLock>;

    ReferenceCount<TModuleLock> mReferences{1};
};
