// Redirects one of this program's imports to a function of the test's own, so that code linked
// into the program (the dialog) calls the replacement wherever it calls the system's function.
#pragma once

// module: the DLL's file name as imported ("comdlg32.dll", any case). Returns the address the
// import pointed at before, or nullptr when the program does not import that function.
void* ReplaceImport(const char* module, const char* function, void* replacement);
