// The fault guard on x86_64: exception handling there is table-driven, so the guarded call runs
// in a small function whose unwind data names GuardHandler as its language handler.
#include <windows.h>

#include "host/fault_guard_win32.h"

extern "C" {
// int GuardedTrampoline(GuardedCall call, void* context): 0 when the call returns; 1 when
// GuardHandler unwinds to GuardResume with 1 as the return value.
int GuardedTrampoline(GuardedCall call, void* context);
extern char GuardResume[];
EXCEPTION_DISPOSITION GuardHandler(EXCEPTION_RECORD* record, void* establisherFrame, CONTEXT* context,
                                   DISPATCHER_CONTEXT* dispatcher);
}

asm(R"(
    .text
    .globl GuardedTrampoline
    .def GuardedTrampoline; .scl 2; .type 32; .endef
    .seh_proc GuardedTrampoline
GuardedTrampoline:
    pushq %rbp
    .seh_pushreg %rbp
    movq %rsp, %rbp
    .seh_setframe %rbp, 0
    subq $32, %rsp
    .seh_stackalloc 32
    .seh_endprologue
    .seh_handler GuardHandler, @except
    movq %rcx, %rax
    movq %rdx, %rcx
    callq *%rax
    nop
    xorl %eax, %eax
    .globl GuardResume
GuardResume:
    movq %rbp, %rsp
    popq %rbp
    retq
    .seh_endproc
)");

namespace {
DWORD LastFaultCode;
}

extern "C" EXCEPTION_DISPOSITION GuardHandler(EXCEPTION_RECORD* record, void* establisherFrame, CONTEXT* context,
                                              DISPATCHER_CONTEXT* dispatcher) {
    if (record->ExceptionFlags & EXCEPTION_UNWIND) return ExceptionContinueSearch;
    EXCEPTION_POINTERS pointers = {record, context};
    if (UnhandledExceptionFilter(&pointers) != EXCEPTION_EXECUTE_HANDLER) return ExceptionContinueSearch;
    LastFaultCode = record->ExceptionCode;
    // Unwinds every frame above the trampoline and resumes it at GuardResume with 1 in eax.
    RtlUnwindEx(establisherFrame, GuardResume, record, reinterpret_cast<void*>(1), dispatcher->ContextRecord,
                dispatcher->HistoryTable);
    return ExceptionContinueSearch;  // not reached
}

bool RunInFaultGuard(GuardedCall call, void* context, unsigned long* faultCode) {
    if (GuardedTrampoline(call, context) == 0) return false;
    *faultCode = LastFaultCode;
    return true;
}
