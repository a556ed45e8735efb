#include "tests/win/check.h"

#include <cstdio>
#include <cstring>

namespace {
int ChecksMade = 0;
int ChecksFailed = 0;
}  // namespace

bool Check(bool condition, const char* what) {
    ++ChecksMade;
    if (!condition) {
        ++ChecksFailed;
        printf("FAIL: %s\n", what);
        fflush(stdout);
    }
    return condition;
}

bool CheckEqual(long long actual, long long expected, const char* what) {
    if (actual == expected) return Check(true, what);
    printf("FAIL: %s: %lld, expected %lld\n", what, actual, expected);
    ++ChecksMade;
    ++ChecksFailed;
    fflush(stdout);
    return false;
}

bool CheckText(const char* actual, const char* expected, const char* what) {
    if (actual && strcmp(actual, expected) == 0) return Check(true, what);
    printf("FAIL: %s: \"%s\", expected \"%s\"\n", what, actual ? actual : "(none)", expected);
    ++ChecksMade;
    ++ChecksFailed;
    fflush(stdout);
    return false;
}

int FinishChecks() {
    if (ChecksMade > 0 && ChecksFailed == 0) {
        printf("ALL %d CHECKS PASSED\n", ChecksMade);
        fflush(stdout);
        return 0;
    }
    printf("%d OF %d CHECKS FAILED\n", ChecksMade == 0 ? 1 : ChecksFailed, ChecksMade);
    fflush(stdout);
    return 1;
}
