// ComPtr.h: an owning interface pointer. It holds one reference and releases it when it
// goes; copies AddRef, moves transfer.
//
//   ComPtr<IDispatch> theDisp;
//   HRESULT hr = theUnknown->QueryInterface(IID_IDispatch, theDisp.put_void());
//   ComPtr<IXForm> theForm = theDisp.query<IXForm>();   // null when not supported
//   theDisp.copy_to(outDisp);                            // hands out its own reference
//   *outForm = theForm.detach();                         // hands over ours
#pragma once

#include <windows.h>

#include <utility>

template <class T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}

    /// Shares a reference to inPtr (AddRef); use attach() to adopt one instead.
    explicit ComPtr(T* inPtr) noexcept : mPtr(inPtr)
    {
        if (mPtr)
            mPtr->AddRef();
    }

    ComPtr(const ComPtr& inOther) noexcept : ComPtr(inOther.mPtr) {}
    ComPtr(ComPtr&& inOther) noexcept : mPtr(std::exchange(inOther.mPtr, nullptr)) {}
    ~ComPtr() { reset(); }

    /// AddRefs the new pointer before releasing the old, so self-assignment is safe.
    ComPtr& operator=(const ComPtr& inOther) noexcept
    {
        assign(inOther.mPtr);
        return *this;
    }

    ComPtr& operator=(ComPtr&& inOther) noexcept
    {
        if (this != &inOther)
            attach(std::exchange(inOther.mPtr, nullptr));
        return *this;
    }

    ComPtr& operator=(std::nullptr_t) noexcept
    {
        reset();
        return *this;
    }

    /// Shares a reference to inPtr (AddRef first, then releases the old one).
    void assign(T* inPtr) noexcept
    {
        if (inPtr)
            inPtr->AddRef();
        T* theOld = std::exchange(mPtr, inPtr);
        if (theOld)
            theOld->Release();
    }

    /// Adopts a reference that the caller already owns (no AddRef).
    void attach(T* inPtr) noexcept
    {
        T* theOld = std::exchange(mPtr, inPtr);
        if (theOld)
            theOld->Release();
    }

    /// Gives up ownership without releasing: the caller now owns the reference.
    [[nodiscard]] T* detach() noexcept { return std::exchange(mPtr, nullptr); }

    /// Releases the held reference, if any.
    void reset() noexcept { attach(nullptr); }

    T* get() const noexcept { return mPtr; }
    T* operator->() const noexcept { return mPtr; }
    T& operator*() const noexcept { return *mPtr; }
    explicit operator bool() const noexcept { return mPtr != nullptr; }

    /// Releases the held reference and returns the slot for an out-parameter.
    T** put() noexcept
    {
        reset();
        return &mPtr;
    }

    /// put() for calls that take void** (QueryInterface, CoCreateInstance).
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

    /// put() for calls that take IUnknown** (CoCreateFreeThreadedMarshaler).
    IUnknown** put_unknown() noexcept { return reinterpret_cast<IUnknown**>(put()); }

    /// Hands a new reference to an out-parameter: S_OK, or E_POINTER for a null one.
    HRESULT copy_to(T** outPtr) const noexcept
    {
        if (!outPtr)
            return E_POINTER;
        if (mPtr)
            mPtr->AddRef();
        *outPtr = mPtr;
        return S_OK;
    }

    /// QueryInterface for inIid into an out-parameter; E_POINTER when this is null.
    HRESULT query_to(REFIID inIid, void** outPtr) const noexcept
    {
        if (!outPtr)
            return E_POINTER;
        *outPtr = nullptr;
        if (!mPtr)
            return E_POINTER;
        return mPtr->QueryInterface(inIid, outPtr);
    }

    /// QueryInterface for U into a ComPtr<U>.
    template <class U>
    HRESULT query_to(ComPtr<U>& outPtr) const noexcept
    {
        return query_to(U::iid(), outPtr.put_void());
    }

    /// QueryInterface for U; a null ComPtr when the object does not answer it.
    template <class U>
    ComPtr<U> query() const noexcept
    {
        ComPtr<U> theResult;
        query_to(theResult);
        return theResult;
    }

    void swap(ComPtr& inOutOther) noexcept { std::swap(mPtr, inOutOther.mPtr); }

    friend bool operator==(const ComPtr& inA, const ComPtr& inB) noexcept { return inA.mPtr == inB.mPtr; }
    friend bool operator==(const ComPtr& inA, std::nullptr_t) noexcept { return inA.mPtr == nullptr; }

private:
    T* mPtr = nullptr;
};
