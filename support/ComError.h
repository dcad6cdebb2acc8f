// ComError.h: the exception that carries an HRESULT out of a member body; the member
// frame turns it back into the member's result without error info.
//
//   if (theText == nullptr)
//       _com_issue_error(E_OUTOFMEMORY);
//   ThrowIfFailed(VariantCopyInd(&theCopy, &inIndex));
#pragma once

#ifdef _WIN32
#include <comdef.h>
#else
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

/// Throws _com_error(inHr).
[[noreturn]] inline void _com_issue_error(HRESULT inHr) { throw _com_error(inHr); }
#endif

/// Throws _com_error when inHr is a failure; returns inHr otherwise.
inline HRESULT ThrowIfFailed(HRESULT inHr)
{
    if (FAILED(inHr))
        _com_issue_error(inHr);
    return inHr;
}
