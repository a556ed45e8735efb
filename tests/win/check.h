// The check recorder of the Windows test programs. Each failed check prints one line; the program
// ends with FinishChecks, whose last line is what the test bench looks for, so a program that did
// not run, or stopped half-way, never counts as passed.
#pragma once

// Prints "FAIL: what" when the condition is false. Returns the condition.
bool Check(bool condition, const char* what);

// Prints both values when they differ.
bool CheckEqual(long long actual, long long expected, const char* what);
bool CheckText(const char* actual, const char* expected, const char* what);

// Prints "ALL N CHECKS PASSED" and returns 0, or "M OF N CHECKS FAILED" (also when no check ran)
// and returns 1: the program's exit code.
int FinishChecks();
