// UniqueSafeArray.h: a move-only owner of one SAFEARRAY (SafeArrayDestroy when it goes),
// and SafeArrayData, a scoped SafeArrayAccessData / SafeArrayUnaccessData pair.
//
//   UniqueSafeArray theArray(SafeArrayCreateVector(VT_UI1, 0, theLen));
//   if (!theArray) return E_OUTOFMEMORY;
//   {
//       SafeArrayData theData(theArray.get());
//       if (FAILED(theData.result())) return theData.result();
//       memcpy(theData.get(), theBytes, theLen);
//   }                                            // unaccessed here
//   V_VT(outVar) = VT_ARRAY | VT_UI1;
//   V_ARRAY(outVar) = theArray.detach();
#pragma once

#include <windows.h>

#include <utility>

class UniqueSafeArray {
public:
    UniqueSafeArray() noexcept = default;

    /// Adopts inArray.
    explicit UniqueSafeArray(SAFEARRAY* inArray) noexcept : mArray(inArray) {}

    UniqueSafeArray(UniqueSafeArray&& inOther) noexcept : mArray(std::exchange(inOther.mArray, nullptr)) {}
    UniqueSafeArray(const UniqueSafeArray&) = delete;
    UniqueSafeArray& operator=(const UniqueSafeArray&) = delete;
    ~UniqueSafeArray() { reset(); }

    UniqueSafeArray& operator=(UniqueSafeArray&& inOther) noexcept
    {
        if (this != &inOther)
            reset(std::exchange(inOther.mArray, nullptr));
        return *this;
    }

    /// Destroys the held array and adopts inArray. An array still locked cannot be
    /// destroyed (DISP_E_ARRAYISLOCKED): unlock before letting go of it.
    void reset(SAFEARRAY* inArray = nullptr) noexcept
    {
        SAFEARRAY* theOld = std::exchange(mArray, inArray);
        if (theOld && theOld != inArray)
            SafeArrayDestroy(theOld);
    }

    /// Gives up ownership: the caller destroys the result.
    [[nodiscard]] SAFEARRAY* detach() noexcept { return std::exchange(mArray, nullptr); }

    /// Destroys the held array and returns the slot for an out-parameter.
    SAFEARRAY** put() noexcept
    {
        reset();
        return &mArray;
    }

    SAFEARRAY* get() const noexcept { return mArray; }
    explicit operator bool() const noexcept { return mArray != nullptr; }

    void swap(UniqueSafeArray& inOutOther) noexcept { std::swap(mArray, inOutOther.mArray); }

private:
    SAFEARRAY* mArray = nullptr;
};

/// Holds a SafeArrayAccessData lock for its scope.
class SafeArrayData {
public:
    explicit SafeArrayData(SAFEARRAY* inArray) noexcept : mArray(inArray)
    {
        mResult = SafeArrayAccessData(inArray, &mData);
        if (FAILED(mResult)) {
            mArray = nullptr;
            mData = nullptr;
        }
    }

    SafeArrayData(const SafeArrayData&) = delete;
    SafeArrayData& operator=(const SafeArrayData&) = delete;
    ~SafeArrayData()
    {
        if (mArray)
            SafeArrayUnaccessData(mArray);
    }

    /// S_OK when the data is accessed, otherwise the failure of SafeArrayAccessData.
    HRESULT result() const noexcept { return mResult; }
    void* get() const noexcept { return mData; }

    template <class E>
    E* as() const noexcept { return static_cast<E*>(mData); }

private:
    SAFEARRAY* mArray = nullptr;
    void* mData = nullptr;
    HRESULT mResult = E_UNEXPECTED;
};
