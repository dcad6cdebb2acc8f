// UniqueBstr.h: a move-only owner of one BSTR, freed with SysFreeString. A null BSTR
// is the empty string, as everywhere in automation.
//
//   UniqueBstr theName(SysAllocString(OLESTR("photo")));
//   theErrorInfo->GetDescription(theText.put());
//   *outName = theName.detach();                  // the caller frees it now
#pragma once

#include <windows.h>

#include <utility>

class UniqueBstr {
public:
    UniqueBstr() noexcept = default;

    /// Adopts inBstr (no copy is made).
    explicit UniqueBstr(BSTR inBstr) noexcept : mBstr(inBstr) {}

    UniqueBstr(UniqueBstr&& inOther) noexcept : mBstr(std::exchange(inOther.mBstr, nullptr)) {}
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    ~UniqueBstr() { reset(); }

    UniqueBstr& operator=(UniqueBstr&& inOther) noexcept
    {
        if (this != &inOther)
            reset(std::exchange(inOther.mBstr, nullptr));
        return *this;
    }

    /// A new string holding a copy of inText (null: the null BSTR).
    static UniqueBstr copy_of(const OLECHAR* inText) noexcept { return UniqueBstr(SysAllocString(inText)); }

    /// Frees the held string and adopts inBstr.
    void reset(BSTR inBstr = nullptr) noexcept
    {
        BSTR theOld = std::exchange(mBstr, inBstr);
        if (theOld != inBstr)
            SysFreeString(theOld);
    }

    /// Gives up ownership: the caller frees the result.
    [[nodiscard]] BSTR detach() noexcept { return std::exchange(mBstr, nullptr); }

    /// Frees the held string and returns the slot for an out-parameter.
    BSTR* put() noexcept
    {
        reset();
        return &mBstr;
    }

    BSTR get() const noexcept { return mBstr; }

    /// Length in UTF-16 units (0 for the null BSTR).
    UINT length() const noexcept { return SysStringLen(mBstr); }
    bool empty() const noexcept { return length() == 0; }

    /// A separate copy for an out-parameter (every byte kept); null on no memory or
    /// when this is null.
    BSTR copy() const noexcept { return mBstr ? SysAllocStringByteLen(reinterpret_cast<LPCSTR>(mBstr), SysStringByteLen(mBstr)) : nullptr; }

    void swap(UniqueBstr& inOutOther) noexcept { std::swap(mBstr, inOutOther.mBstr); }

private:
    BSTR mBstr = nullptr;
};
