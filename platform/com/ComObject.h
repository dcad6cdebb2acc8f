// ComObject.h: reference counting and QueryInterface for the platform's own COM objects,
// which answer IUnknown and the interfaces they derive from, nothing else.
//
//   class Names final : public ComObject<IEnumNames> {
//       ...   // only IEnumNames' own methods
//   };
//   *outNames = new Names();   // one reference, the caller's
#pragma once

#include "platform/com/ComInterfaces.h"

#include <atomic>

namespace ferrolift::platform {

/// Implements IUnknown over Interfaces (IUnknown is served by the first) and deletes the
/// object when the last reference goes. Objects start with one reference.
template <class First, class... Rest>
class ComObject : public First, public Rest... {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID inIid, void** outObject) override
    {
        if (!outObject)
            return E_POINTER;
        *outObject = IsEqualIID(inIid, IID_IUnknown) ? static_cast<First*>(this) : Find(inIid);
        if (!*outObject)
            return E_NOINTERFACE;
        AddRef();
        return S_OK;
    }

    ULONG STDMETHODCALLTYPE AddRef() override { return ++mReferences; }

    ULONG STDMETHODCALLTYPE Release() override
    {
        const ULONG theLeft = --mReferences;
        if (theLeft == 0)
            delete this;
        return theLeft;
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;

private:
    // The first listed interface whose id is inIid, or null.
    void* Find(REFIID inIid)
    {
        void* theFound = nullptr;
        (void)(Match<First>(inIid, theFound) || ... || Match<Rest>(inIid, theFound));
        return theFound;
    }

    template <class Interface>
    bool Match(REFIID inIid, void*& outFound)
    {
        if (!IsEqualIID(inIid, Interface::iid()))
            return false;
        outFound = static_cast<Interface*>(this);
        return true;
    }

    std::atomic<ULONG> mReferences{1};
};

}  // namespace ferrolift::platform
