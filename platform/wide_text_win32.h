// The wide-character side of Windows NT for the path texts: on NT the program keeps paths in
// UTF-8 and hands the system UTF-16; on 9x it keeps the ANSI code page and calls the A functions.
// The W functions are found at run time, so that the PE32 still starts where a system DLL lacks
// them. Nothing is cached: every caller may run on any thread.
#pragma once
#include <windows.h>

#include <cstddef>

#include "platform/path_buffer.h"

// Windows NT, where the W functions work (on 9x most of them are stubs that fail).
bool UsesWideCalls();

// A function of a system DLL the process already has (KERNEL32, msvcrt), or nullptr.
void* LoadedModuleFunction(const char* module, const char* name);

// UTF-8 to UTF-16 in a MAX_PATH buffer: false when the text is not UTF-8 or the path is too long
// for the platform, which must then pass it over rather than cut it.
bool WidePathFromText(const char* text, wchar_t (&wide)[PathBufferSize]);

// UTF-16 to UTF-8 in size bytes, terminator included: false when it does not fit.
bool TextFromWidePath(const wchar_t* wide, char* text, size_t size);
