// UniqueCoTaskMem.h: an owner of one block from the COM task allocator (the strings that
// ProgIDFromCLSID and StringFromCLSID hand out), freed with CoTaskMemFree.
//
//   LPOLESTR theText = nullptr;
//   if (SUCCEEDED(ProgIDFromCLSID(theClsid, &theText))) {
//       UniqueCoTaskMem<OLECHAR> theProgId(theText);   // freed when it goes
//       ...
//   }
#pragma once

#include <memory>

#include <windows.h>
#include <objbase.h>

/// The deleter: CoTaskMemFree.
struct CoTaskMemFreer {
    void operator()(void* inBlock) const noexcept { CoTaskMemFree(inBlock); }
};

/// A move-only owner of a task-allocator block holding T.
template <class T>
using UniqueCoTaskMem = std::unique_ptr<T, CoTaskMemFreer>;
