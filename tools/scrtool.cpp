// scrtool: the portable half of the screen saver on the command line, for users and for checks.
#include <cstdio>
#include <cstring>

#include "tools/scrtool_commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* usage;
};

int Help(int argc, char** argv);

const Command Commands[] = {
    {"help", Help, ""},
    {"load", RunLoad, "load FILE [--out OUT.bmp]"},
    {"check", RunCheck, "check DIR [--subfolders]"},
    {"walk", RunWalk, "walk DIR --seed S --ticks N [--subfolders] [--shuffle [--state FILE]]"},
    {"prepare", RunPrepare, "prepare FILE WIDTH HEIGHT [--out OUT.bmp]"},
    {"fit", RunFit, "fit IN.bmp WIDTH HEIGHT OUT.bmp"},
    {"palette", RunPalette, "palette IN.bmp [--fit WIDTH HEIGHT]"},
    {"caption", RunCaption, "caption FILE"},
};

int Usage();
int Help(int, char**) { return Usage(); }

int Usage() {
    fputs("usage:\n", stderr);
    for (const Command& c : Commands) {
        if (c.run != Help) fprintf(stderr, "  scrtool %s\n", c.usage);
    }
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return Usage();
    for (const Command& c : Commands) {
        if (strcmp(argv[1], c.name) == 0) return c.run(argc - 2, argv + 2);
    }
    return Usage();
}
