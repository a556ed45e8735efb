// scrtool: the portable half of the screen saver on the command line, for users and for checks.
#include <cstdio>
#include <cstring>

static int Usage() {
    fputs("usage: scrtool COMMAND ...\n", stderr);
    return 2;
}

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    return Usage();
}
