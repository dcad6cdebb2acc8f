// SeTranslator.cpp (Windows): _set_se_translator for code built by GCC. The runtime's own
// translator is called only from the exception frames of the other compiler, and MinGW's
// <eh.h> declares it with C++ linkage besides, so nothing would link or run. Here the
// call is accepted and does nothing: a fault in the component is not turned into a C++
// throw on Windows; the host's own structured-exception handling meets it.
#include <typeinfo>
#include <eh.h>

// The header marks it as imported from the runtime; this definition takes its place, and
// the import slot that callers compiled against that header read is filled with it.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wattributes"
_se_translator_function __cdecl _set_se_translator(_se_translator_function)
{
    return nullptr;
}
#pragma GCC diagnostic pop

extern "C" _se_translator_function(__cdecl* const __imp__Z18_set_se_translatorPFvjP19_EXCEPTION_POINTERSE)(
    _se_translator_function) = &_set_se_translator;
