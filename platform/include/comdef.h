// comdef.h: the compiler-support exception class that carries an HRESULT. Component
// code throws it from a member body; the member frame turns it back into the result.
//
//   if (outValue == nullptr)
//       throw _com_error(E_POINTER);
#pragma once

#include <windows.h>

/// An HRESULT in flight (the shape of the Windows compiler support class).
class _com_error {
public:
    explicit _com_error(HRESULT inHr) noexcept : mHr(inHr) {}
    /// The carried HRESULT.
    HRESULT Error() const noexcept { return mHr; }

private:
    HRESULT mHr;
};
