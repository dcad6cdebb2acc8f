// MemberFrame.h: the frame around every public member of the component's classes. It
// holds the object's lock, installs the system-exception translator, and turns whatever
// escapes the body into the member's HRESULT:
//   _com_error          -> its HRESULT, no error info
//   SException          -> HandleSystemException (logged; 0 when the process goes on)
//   std::bad_alloc      -> E_OUTOFMEMORY, no error info
//   anything else       -> ReportError("Unknown exception thrown", E_FAIL)
//
//   HRESULT XProgress::get_ID(LONG* outID)
//   {
//       return RunMember(this, kSource, __LINE__, [&]() -> HRESULT {
//           RequireOut(outID);          // null: E_POINTER without error info
//           *outID = mID;
//           return S_OK;
//       });
//   }
#pragma once

#include <type_traits>

#include <windows.h>

#include <comdef.h>
#include "platform/common/CriticalSection.h"

/// What the frame needs from an object: its lock and its error reporter.
class MemberHost {
public:
    /// The object's re-entrant lock, held for the whole member.
    virtual CriticalSection& ObjectLock() = 0;
    /// Sets the thread's error info for this class and returns the HRESULT to give back
    /// (DISP_E_EXCEPTION when inHr is 0); logs a warning when LogErrors is on.
    virtual HRESULT ReportError(const char* inText, HRESULT inHr) = 0;

protected:
    ~MemberHost() = default;
};

/// Runs inBody(inContext) inside the frame. inSourceFile names the class's source module
/// ("XForm") and inLine the member, for the system-exception text.
HRESULT RunMemberBody(MemberHost& inHost, const char* inSourceFile, long inLine, HRESULT (*inBody)(void*),
                      void* inContext);

/// Runs the callable inBody (returning HRESULT) inside the member frame of inHost.
template <class TBody>
HRESULT RunMember(MemberHost* inHost, const char* inSourceFile, long inLine, TBody&& inBody)
{
    using TCallable = std::remove_reference_t<TBody>;
    auto theTrampoline = [](void* inContext) -> HRESULT { return (*static_cast<TCallable*>(inContext))(); };
    return RunMemberBody(*inHost, inSourceFile, inLine, theTrampoline,
                         const_cast<void*>(static_cast<const void*>(&inBody)));
}

/// Raises _com_error(E_POINTER) when an out-pointer is null.
template <class T>
void RequireOut(T* inPointer)
{
    if (inPointer == nullptr)
        throw _com_error(E_POINTER);
}
