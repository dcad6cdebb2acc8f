// ClassTable.h: the component's creatable classes, in registration and search order.
//
//   for (const ClassEntry& theEntry : ClassTable())
//       if (IsEqualCLSID(theEntry.clsid, inClsid)) ...
#pragma once

#include <span>

#include "server/ClassFactory.h"

/// One creatable class.
struct ClassEntry {
    const CLSID& clsid;
    const char* progId;             ///< versioned, "Ferrolift4.XForm.4"
    const char* independentProgId;  ///< "Ferrolift4.XForm"
    const char* description;        ///< "XForm Class"
    const IID& iid;
    CreateInstanceFunction create;
};

/// XForm, XField, XFields, XProgress, in this order.
std::span<const ClassEntry> ClassTable();
