// Seh.h: structured exceptions. A thread that installs a translator sees every hardware
// fault it causes (invalid memory access, a page of a mapped file that is gone, integer
// division by zero, an illegal instruction) as a call of its translator at the faulting
// instruction; the translator throws a C++ exception that ordinary catch clauses handle.
// Code that may fault must be compiled with -fnon-call-exceptions (all of Ferrolift is).
// Threads without a translator keep the default action (the process dies).
//
//   struct Fault { unsigned code; };
//   _set_se_translator([](unsigned int inCode, EXCEPTION_POINTERS*) { throw Fault{inCode}; });
//   try { *static_cast<volatile int*>(nullptr) = 1; }
//   catch (const Fault& theFault) { /* theFault.code == EXCEPTION_ACCESS_VIOLATION */ }
#pragma once

#include "platform/types/WinTypes.h"

#define EXCEPTION_MAXIMUM_PARAMETERS 15

#define STATUS_DATATYPE_MISALIGNMENT 0x80000002U
#define STATUS_ACCESS_VIOLATION 0xC0000005U
#define STATUS_IN_PAGE_ERROR 0xC0000006U
#define STATUS_ILLEGAL_INSTRUCTION 0xC000001DU
#define STATUS_FLOAT_DENORMAL_OPERAND 0xC000008DU
#define STATUS_FLOAT_DIVIDE_BY_ZERO 0xC000008EU
#define STATUS_FLOAT_INEXACT_RESULT 0xC000008FU
#define STATUS_FLOAT_INVALID_OPERATION 0xC0000090U
#define STATUS_FLOAT_OVERFLOW 0xC0000091U
#define STATUS_FLOAT_UNDERFLOW 0xC0000093U
#define STATUS_INTEGER_DIVIDE_BY_ZERO 0xC0000094U
#define STATUS_INTEGER_OVERFLOW 0xC0000095U
#define STATUS_PRIVILEGED_INSTRUCTION 0xC0000096U
#define STATUS_STACK_OVERFLOW 0xC00000FDU
#define STATUS_DEVICE_DATA_ERROR 0xC000009CU

#define EXCEPTION_DATATYPE_MISALIGNMENT STATUS_DATATYPE_MISALIGNMENT
#define EXCEPTION_ACCESS_VIOLATION STATUS_ACCESS_VIOLATION
#define EXCEPTION_IN_PAGE_ERROR STATUS_IN_PAGE_ERROR
#define EXCEPTION_ILLEGAL_INSTRUCTION STATUS_ILLEGAL_INSTRUCTION
#define EXCEPTION_FLT_DENORMAL_OPERAND STATUS_FLOAT_DENORMAL_OPERAND
#define EXCEPTION_FLT_DIVIDE_BY_ZERO STATUS_FLOAT_DIVIDE_BY_ZERO
#define EXCEPTION_FLT_INEXACT_RESULT STATUS_FLOAT_INEXACT_RESULT
#define EXCEPTION_FLT_INVALID_OPERATION STATUS_FLOAT_INVALID_OPERATION
#define EXCEPTION_FLT_OVERFLOW STATUS_FLOAT_OVERFLOW
#define EXCEPTION_FLT_UNDERFLOW STATUS_FLOAT_UNDERFLOW
#define EXCEPTION_INT_DIVIDE_BY_ZERO STATUS_INTEGER_DIVIDE_BY_ZERO
#define EXCEPTION_INT_OVERFLOW STATUS_INTEGER_OVERFLOW
#define EXCEPTION_PRIV_INSTRUCTION STATUS_PRIVILEGED_INSTRUCTION
#define EXCEPTION_STACK_OVERFLOW STATUS_STACK_OVERFLOW

#define EXCEPTION_NONCONTINUABLE 0x1

/// What happened. For EXCEPTION_ACCESS_VIOLATION and EXCEPTION_IN_PAGE_ERROR,
/// ExceptionInformation[0] is 0 for a read, 1 for a write, 8 for an instruction fetch,
/// [1] is the address accessed; an in-page error adds [2], the underlying status
/// (STATUS_DEVICE_DATA_ERROR).
typedef struct _EXCEPTION_RECORD {
    DWORD ExceptionCode;
    DWORD ExceptionFlags;
    struct _EXCEPTION_RECORD* ExceptionRecord;
    PVOID ExceptionAddress;
    DWORD NumberParameters;
    ULONG_PTR ExceptionInformation[EXCEPTION_MAXIMUM_PARAMETERS];
} EXCEPTION_RECORD, *PEXCEPTION_RECORD;

/// The interrupted thread's main registers (x86-64 names; zero on other machines).
typedef struct _CONTEXT {
    DWORD64 Rax, Rcx, Rdx, Rbx, Rsp, Rbp, Rsi, Rdi;
    DWORD64 R8, R9, R10, R11, R12, R13, R14, R15;
    DWORD64 Rip;
    DWORD EFlags;
} CONTEXT, *PCONTEXT;

typedef struct _EXCEPTION_POINTERS {
    PEXCEPTION_RECORD ExceptionRecord;
    PCONTEXT ContextRecord;
} EXCEPTION_POINTERS, *PEXCEPTION_POINTERS;

/// A translator: receives the code and the record, and throws.
typedef void (*_se_translator_function)(unsigned int, struct _EXCEPTION_POINTERS*);

extern "C" {

/// Installs inFunction as the calling thread's translator (null removes it) and returns
/// the previous one. The first call in the process installs the signal handlers for
/// SIGSEGV, SIGBUS, SIGFPE and SIGILL; handlers installed before (a sanitizer's, for
/// one) still run for faults on threads without a translator. A translator that returns
/// instead of throwing leaves the fault unhandled: the process dies as it would have.
_se_translator_function _set_se_translator(_se_translator_function inFunction);

}  // extern "C"
