// Structured-exception translation: hardware faults become calls of the faulting
// thread's translator. The signal handler does not call it: it records the fault and
// makes the interrupted thread resume in a trampoline, as if the faulting instruction had
// called it. The translator then runs outside signal context (so it may allocate, and
// sanitizers see no throw out of a signal handler), and its C++ throw unwinds from the
// trampoline into the code that faulted.
#include "platform/system/Seh.h"

#include <csignal>
#include <cstring>
#include <mutex>
#include <ucontext.h>

extern "C" void FerroliftFaultTrampoline();
extern "C" [[noreturn]] void FerroliftRaisePendingFault();

// Entered with the faulting frame's registers and an unknown stack alignment: keeps a
// frame pointer so the unwinder can find its way back, aligns the stack, and reports.
asm(R"(
    .text
    .globl FerroliftFaultTrampoline
    .hidden FerroliftFaultTrampoline
    .type FerroliftFaultTrampoline, @function
FerroliftFaultTrampoline:
    .cfi_startproc
    pushq %rbp
    .cfi_def_cfa_offset 16
    .cfi_offset %rbp, -16
    movq %rsp, %rbp
    .cfi_def_cfa_register %rbp
    andq $-16, %rsp
    call FerroliftRaisePendingFault
    ud2
    .cfi_endproc
    .size FerroliftFaultTrampoline, .-FerroliftFaultTrampoline
)");

namespace {

// Read from the signal handler: initial-exec TLS needs no allocation there.
thread_local _se_translator_function tTranslator __attribute__((tls_model("initial-exec"))) = nullptr;

// The fault that the trampoline is about to report on this thread.
struct PendingFault {
    EXCEPTION_RECORD record;
    CONTEXT context;
    EXCEPTION_POINTERS pointers;
    _se_translator_function translator;
    int signal;
};
thread_local PendingFault tPending __attribute__((tls_model("initial-exec")));

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
struct sigaction gPrevious[4];
std::once_flag gInstalled;

int SlotOf(int inSignal)
{
    for (int theSlot = 0; theSlot < 4; ++theSlot)
        if (kSignals[theSlot] == inSignal)
            return theSlot;
    return 0;
}

// Page-fault error code bits of x86-64: 2 = write, 16 = instruction fetch.
ULONG_PTR AccessKind(const ucontext_t* inContext)
{
#if defined(__x86_64__)
    const greg_t theError = inContext->uc_mcontext.gregs[REG_ERR];
    if (theError & 16)
        return 8;
    return (theError & 2) ? 1 : 0;
#else
    (void)inContext;
    return 0;
#endif
}

DWORD CodeOf(int inSignal, int inCode)
{
    switch (inSignal) {
    case SIGSEGV: return EXCEPTION_ACCESS_VIOLATION;
    case SIGBUS: return inCode == BUS_ADRALN ? EXCEPTION_DATATYPE_MISALIGNMENT : EXCEPTION_IN_PAGE_ERROR;
    case SIGILL:
        return inCode == ILL_PRVOPC || inCode == ILL_PRVREG ? EXCEPTION_PRIV_INSTRUCTION : EXCEPTION_ILLEGAL_INSTRUCTION;
    default: break;
    }
    switch (inCode) {
    case FPE_INTDIV: return EXCEPTION_INT_DIVIDE_BY_ZERO;
    case FPE_INTOVF: return EXCEPTION_INT_OVERFLOW;
    case FPE_FLTDIV: return EXCEPTION_FLT_DIVIDE_BY_ZERO;
    case FPE_FLTOVF: return EXCEPTION_FLT_OVERFLOW;
    case FPE_FLTUND: return EXCEPTION_FLT_UNDERFLOW;
    case FPE_FLTRES: return EXCEPTION_FLT_INEXACT_RESULT;
    default: return EXCEPTION_FLT_INVALID_OPERATION;
    }
}

void FillContext(const ucontext_t* inContext, CONTEXT& outContext)
{
#if defined(__x86_64__)
    const greg_t* theRegs = inContext->uc_mcontext.gregs;
    outContext.Rax = theRegs[REG_RAX];
    outContext.Rcx = theRegs[REG_RCX];
    outContext.Rdx = theRegs[REG_RDX];
    outContext.Rbx = theRegs[REG_RBX];
    outContext.Rsp = theRegs[REG_RSP];
    outContext.Rbp = theRegs[REG_RBP];
    outContext.Rsi = theRegs[REG_RSI];
    outContext.Rdi = theRegs[REG_RDI];
    outContext.R8 = theRegs[REG_R8];
    outContext.R9 = theRegs[REG_R9];
    outContext.R10 = theRegs[REG_R10];
    outContext.R11 = theRegs[REG_R11];
    outContext.R12 = theRegs[REG_R12];
    outContext.R13 = theRegs[REG_R13];
    outContext.R14 = theRegs[REG_R14];
    outContext.R15 = theRegs[REG_R15];
    outContext.Rip = theRegs[REG_RIP];
    outContext.EFlags = static_cast<DWORD>(theRegs[REG_EFL]);
#else
    (void)inContext;
    (void)outContext;
#endif
}

void FillRecord(int inSignal, const siginfo_t* inInfo, const ucontext_t* inContext, const CONTEXT& inRegisters,
                EXCEPTION_RECORD& outRecord)
{
    outRecord.ExceptionCode = CodeOf(inSignal, inInfo->si_code);
    outRecord.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
    outRecord.ExceptionAddress = reinterpret_cast<PVOID>(inRegisters.Rip ? inRegisters.Rip
                                                                          : reinterpret_cast<ULONG_PTR>(inInfo->si_addr));
    if (outRecord.ExceptionCode == EXCEPTION_ACCESS_VIOLATION || outRecord.ExceptionCode == EXCEPTION_IN_PAGE_ERROR) {
        outRecord.NumberParameters = 2;
        outRecord.ExceptionInformation[0] = AccessKind(inContext);
        outRecord.ExceptionInformation[1] = reinterpret_cast<ULONG_PTR>(inInfo->si_addr);
    }
    if (outRecord.ExceptionCode == EXCEPTION_IN_PAGE_ERROR) {
        outRecord.NumberParameters = 3;
        outRecord.ExceptionInformation[2] = STATUS_DEVICE_DATA_ERROR;
    }
}

// The fault is not ours to translate: hand it to whoever handled it before us, or let
// the default action end the process.
void Forward(int inSignal, siginfo_t* inInfo, void* inContext)
{
    const struct sigaction& thePrevious = gPrevious[SlotOf(inSignal)];
    if (thePrevious.sa_flags & SA_SIGINFO) {
        thePrevious.sa_sigaction(inSignal, inInfo, inContext);
        return;
    }
    if (thePrevious.sa_handler != SIG_DFL && thePrevious.sa_handler != SIG_IGN) {
        thePrevious.sa_handler(inSignal);
        return;
    }
    struct sigaction theDefault {};
    theDefault.sa_handler = SIG_DFL;
    ::sigaction(inSignal, &theDefault, nullptr);
    // A fault repeats when the handler returns; a sent signal has to be sent again.
    if (inInfo->si_code <= 0)
        ::raise(inSignal);
}

// Makes the interrupted thread continue in FerroliftFaultTrampoline with a return
// address one byte past the faulting instruction: the unwinder looks up "return address
// minus one", which is then the faulting instruction itself.
[[gnu::no_sanitize_address]] void DivertToTrampoline(ucontext_t* inContext)
{
#if defined(__x86_64__)
    greg_t* theRegs = inContext->uc_mcontext.gregs;
    theRegs[REG_RSP] -= 8;
    *reinterpret_cast<greg_t*>(theRegs[REG_RSP]) = theRegs[REG_RIP] + 1;
    theRegs[REG_RIP] = reinterpret_cast<greg_t>(&FerroliftFaultTrampoline);
#else
#error "structured-exception translation needs the register layout of this machine"
#endif
}

void HandleFault(int inSignal, siginfo_t* inInfo, void* inContext)
{
    const _se_translator_function theTranslator = tTranslator;
    if (theTranslator == nullptr || inInfo->si_code <= 0) {
        Forward(inSignal, inInfo, inContext);
        return;
    }
    ucontext_t* theContext = static_cast<ucontext_t*>(inContext);
    PendingFault& thePending = tPending;
    thePending = PendingFault {};
    FillContext(theContext, thePending.context);
    FillRecord(inSignal, inInfo, theContext, thePending.context, thePending.record);
    thePending.pointers = EXCEPTION_POINTERS {&thePending.record, &thePending.context};
    thePending.translator = theTranslator;
    thePending.signal = inSignal;
    DivertToTrampoline(theContext);
}

void InstallHandlers()
{
    for (int theSlot = 0; theSlot < 4; ++theSlot) {
        struct sigaction theAction {};
        theAction.sa_sigaction = HandleFault;
        theAction.sa_flags = SA_SIGINFO | SA_NODEFER;
        ::sigemptyset(&theAction.sa_mask);
        ::sigaction(kSignals[theSlot], &theAction, &gPrevious[theSlot]);
    }
}

}  // namespace

// Runs on the faulting thread, outside the signal handler. The translator throws; if it
// returns, the fault stays unhandled and the process dies of the signal.
extern "C" [[noreturn]] [[gnu::visibility("hidden")]] void FerroliftRaisePendingFault()
{
    PendingFault& thePending = tPending;
    thePending.translator(thePending.record.ExceptionCode, &thePending.pointers);
    struct sigaction theDefault {};
    theDefault.sa_handler = SIG_DFL;
    ::sigaction(thePending.signal, &theDefault, nullptr);
    ::raise(thePending.signal);
    ::abort();
}

extern "C" _se_translator_function _set_se_translator(_se_translator_function inFunction)
{
    std::call_once(gInstalled, InstallHandlers);
    const _se_translator_function thePrevious = tTranslator;
    tTranslator = inFunction;
    return thePrevious;
}
