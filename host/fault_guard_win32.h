// The one guard of the program: runs a call inside a structured exception frame whose handler
// offers any fault to the system's UnhandledExceptionFilter. When the system answers that the
// handler is to run, the frames above are unwound and the guard returns true instead.
#pragma once

using GuardedCall = void (*)(void* context);

// True when the call ended in a fault; *faultCode then holds the exception code.
bool RunInFaultGuard(GuardedCall call, void* context, unsigned long* faultCode);
