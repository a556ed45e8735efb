// The fault guard on i686: MinGW has no __try, so the exception registration record is pushed on
// the thread's chain at fs:[0] by hand, the way the system expects it.
#include <windows.h>

#include "host/fault_guard_win32.h"

namespace {

struct GuardFrame {
    // The system's EXCEPTION_REGISTRATION_RECORD: these two must come first, in this order.
    GuardFrame* Next;
    void* Handler;
    void* Resume[5];  // __builtin_setjmp buffer
    DWORD FaultCode;
};

GuardFrame* CurrentChainHead() {
    GuardFrame* head;
    asm volatile("movl %%fs:0, %0" : "=r"(head));
    return head;
}

void SetChainHead(GuardFrame* head) { asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory"); }

extern "C" EXCEPTION_DISPOSITION __cdecl GuardHandler(EXCEPTION_RECORD* record, void* establisher, CONTEXT* context,
                                                      void* /*dispatcher*/) {
    if (record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) return ExceptionContinueSearch;
    EXCEPTION_POINTERS pointers = {record, context};
    if (UnhandledExceptionFilter(&pointers) != EXCEPTION_EXECUTE_HANDLER) return ExceptionContinueSearch;

    GuardFrame* frame = static_cast<GuardFrame*>(establisher);
    frame->FaultCode = record->ExceptionCode;
    // Lets every handler registered above ours (the window manager's, the dispatcher's) see its
    // unwinding before its stack is abandoned; returns with our frame at the head of the chain.
    RtlUnwind(frame, nullptr, record, nullptr);
    SetChainHead(frame->Next);
    __builtin_longjmp(frame->Resume, 1);
}

}  // namespace

bool RunInFaultGuard(GuardedCall call, void* context, unsigned long* faultCode) {
    GuardFrame frame = {};
    frame.Handler = reinterpret_cast<void*>(&GuardHandler);
    if (__builtin_setjmp(frame.Resume)) {
        *faultCode = frame.FaultCode;
        return true;
    }
    frame.Next = CurrentChainHead();
    SetChainHead(&frame);
    call(context);
    SetChainHead(frame.Next);
    return false;
}
