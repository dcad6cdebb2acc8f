// ReturnIfFailed.h: the one way to hand a failed HRESULT up to the caller.
//
//   RETURN_IF_FAILED(VariantChangeType(theCount.put(), inOutCount, 0, VT_I4));
//   RETURN_IF_FAILED(theData.result());
//   return S_OK;
#pragma once

#include <windows.h>

/// Evaluates inExpression once; returns its HRESULT from the enclosing function when it
/// is a failure, and goes on otherwise (success codes such as S_FALSE included).
#define RETURN_IF_FAILED(inExpression)                               \
    do {                                                             \
        const HRESULT returnIfFailedResult_ = (inExpression);        \
        if (FAILED(returnIfFailedResult_))                           \
            return returnIfFailedResult_;                            \
    } while (false)
