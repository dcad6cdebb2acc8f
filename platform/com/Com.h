// Com.h: the COM runtime calls: activation through the registry, GUID text, task
// memory, error info and the free-threaded marshaler. There are no apartments here:
// CoInitializeEx only counts, and every interface pointer is usable from any thread.
//
//   ComPtr<IDispatch> theForm;
//   CLSID theClsid;
//   if (SUCCEEDED(CLSIDFromProgID(u"Ferrolift4.XForm", &theClsid)))
//       CoCreateInstance(theClsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, theForm.put_void());
#pragma once

#include "platform/com/ComInterfaces.h"

#define CLSCTX_INPROC_SERVER 0x1
#define CLSCTX_INPROC_HANDLER 0x2
#define CLSCTX_LOCAL_SERVER 0x4
#define CLSCTX_ALL 0x17
#define COINIT_MULTITHREADED 0x0
#define COINIT_APARTMENTTHREADED 0x2
#define COINIT_DISABLE_OLE1DDE 0x4
#define COINIT_SPEED_OVER_MEMORY 0x8

// Marshaling destination contexts (IMarshal).
#define MSHCTX_LOCAL 0
#define MSHCTX_NOSHAREDMEM 1
#define MSHCTX_DIFFERENTMACHINE 2
#define MSHCTX_INPROC 3
#define MSHCTX_CROSSCTX 4
#define MSHLFLAGS_NORMAL 0
#define MSHLFLAGS_TABLESTRONG 1
#define MSHLFLAGS_TABLEWEAK 2

typedef HRESULT(STDMETHODCALLTYPE* LPFNGETCLASSOBJECT)(REFCLSID, REFIID, LPVOID*);
typedef HRESULT(STDMETHODCALLTYPE* LPFNCANUNLOADNOW)();

extern "C" {
// The class that GetUnmarshalClass of the free-threaded marshaler names.
extern const CLSID CLSID_InProcFreeMarshaler;

HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit);
HRESULT WINAPI CoInitialize(LPVOID pvReserved);
void WINAPI CoUninitialize();

// Looks the CLSID up under HKCR\CLSID\{..}\InprocServer32, loads that module with dlopen
// (once per path and process) and asks its DllGetClassObject.
// Errors: REGDB_E_CLASSNOTREG (no InprocServer32 entry, or no in-process context
// asked for), CO_E_DLLNOTFOUND (no such file), CO_E_ERRORINDLL (not loadable, or no
// DllGetClassObject); otherwise what DllGetClassObject answers.
HRESULT WINAPI CoGetClassObject(REFCLSID rclsid, DWORD dwClsContext, LPVOID pvReserved, REFIID riid, LPVOID* ppv);
HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv);
// Asks every loaded module's DllCanUnloadNow and unloads those that answer S_OK.
void WINAPI CoFreeUnusedLibraries();

// HKCR\<progid>\CLSID (following CurVer is not needed: both ProgIDs carry CLSID).
HRESULT WINAPI CLSIDFromProgID(LPCOLESTR lpszProgID, LPCLSID lpclsid);
// HKCR\CLSID\{..}\ProgID; the string is CoTaskMemAlloc'd.
HRESULT WINAPI ProgIDFromCLSID(REFCLSID clsid, LPOLESTR* lplpszProgID);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (38 units plus terminator; cchMax >= 39).
int WINAPI StringFromGUID2(REFGUID rguid, LPOLESTR lpsz, int cchMax);
// Braced text, or a registered ProgID; anything else is CO_E_CLASSSTRING (the result is
// then CLSID_NULL). IIDFromString takes braced text only.
HRESULT WINAPI CLSIDFromString(LPCOLESTR lpsz, LPCLSID pclsid);
HRESULT WINAPI IIDFromString(LPCOLESTR lpsz, LPIID lpiid);

LPVOID WINAPI CoTaskMemAlloc(SIZE_T cb);
LPVOID WINAPI CoTaskMemRealloc(LPVOID pv, SIZE_T cb);
void WINAPI CoTaskMemFree(LPVOID pv);

// Creates an aggregatable object whose inner IUnknown answers IMarshal; all other
// interfaces delegate to punkOuter.
HRESULT WINAPI CoCreateFreeThreadedMarshaler(LPUNKNOWN punkOuter, LPUNKNOWN* ppunkMarshal);

// Error info is per thread: SetErrorInfo replaces the thread's object, GetErrorInfo
// hands it over (and clears it), returning S_FALSE when there is none.
HRESULT WINAPI CreateErrorInfo(ICreateErrorInfo** pperrinfo);
HRESULT WINAPI SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
HRESULT WINAPI GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);
}
