// TypeLibrary.h: the type library of the component ("Ferrolift4", version 4.0): the
// image-kind enumeration, the four dual interfaces with every member, and the coclasses.
// It drives IDispatch of every class and is what `ferrolift typelib` prints.
//
//   std::string theIdl = ferrolift::automation::WriteIdl(FerroliftTypeLibrary());
//   DispatchInvoke(kIXFormDesc, theSelf, DISPID_VALUE, DISPATCH_PROPERTYGET, ...);
#pragma once

#include "platform/automation/TypeDescription.h"

/// The member descriptions of each interface, in vtable slot order.
extern const ferrolift::automation::InterfaceDesc kIXFormDesc;
extern const ferrolift::automation::InterfaceDesc kIXFieldDesc;
extern const ferrolift::automation::InterfaceDesc kIXFieldsDesc;
extern const ferrolift::automation::InterfaceDesc kIXProgressDesc;

/// The whole library.
const ferrolift::automation::TypeLibraryDesc& FerroliftTypeLibrary();
