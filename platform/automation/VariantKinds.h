// VariantKinds.h: which VARTYPEs a VARIANT may carry here (internal to automation/).
#pragma once

#include "platform/automation/AutomationTypes.h"

namespace ferrolift::platform {

/// True for the scalar types a VARIANT can hold by value: VT_EMPTY through VT_DECIMAL
/// and VT_I1 through VT_UINT.
inline bool IsVariantScalar(VARTYPE inVt)
{
    return (inVt <= VT_DECIMAL) || (inVt >= VT_I1 && inVt <= VT_UINT);
}

/// True for a type a VARIANT may carry: a scalar, optionally VT_BYREF or VT_ARRAY (but
/// neither on VT_EMPTY or VT_NULL), never VT_VECTOR or VT_RESERVED.
inline bool IsValidVariantType(VARTYPE inVt)
{
    const VARTYPE theBase = inVt & VT_TYPEMASK;
    const VARTYPE theFlags = inVt & ~VT_TYPEMASK;
    if (theFlags & (VT_VECTOR | VT_RESERVED))
        return false;
    if (!IsVariantScalar(theBase))
        return false;
    if (theFlags != 0 && theBase <= VT_NULL)
        return false;
    // A bare VT_VARIANT exists only behind VT_BYREF or as an array element.
    if (theBase == VT_VARIANT && theFlags == 0)
        return false;
    return true;
}

}  // namespace ferrolift::platform
