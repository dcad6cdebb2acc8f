// MemberFrame.cpp: the catch paths shared by every member of every class.
#include "support/MemberFrame.h"

#include <new>

#include "support/SException.h"
#include "support/SystemExceptions.h"

HRESULT RunMemberBody(MemberHost& inHost, const char* inSourceFile, long inLine, HRESULT (*inBody)(void*),
                      void* inContext)
{
    CriticalSectionGuard theGuard(inHost.ObjectLock());
    InstallSystemExceptionTranslator();
    try {
        return inBody(inContext);
    } catch (const _com_error& theError) {
        return theError.Error();
    } catch (SException& theException) {
        return static_cast<HRESULT>(
            HandleSystemException(theException.Describe(inSourceFile, inLine), EVENTLOG_ERROR_TYPE));
    } catch (const std::bad_alloc&) {
        // Allocation failures are reported like a failed string allocation: code only.
        return E_OUTOFMEMORY;
    } catch (...) {
        return inHost.ReportError("Unknown exception thrown", E_FAIL);
    }
}
