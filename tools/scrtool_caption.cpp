// scrtool caption FILE: the caption the saver writes under the picture.
#include <cstdio>

#include "slideshow/picture_caption.h"
#include "tools/scrtool_commands.h"

int RunCaption(int argc, char** argv) {
    if (argc != 1) {
        fputs("usage: scrtool caption FILE\n", stderr);
        return 2;
    }
    char text[CaptionTextSize];
    if (!MakeCaption(argv[0], text)) {
        fprintf(stderr, "caption: cannot read %s\n", argv[0]);
        return 1;
    }
    printf("%s\n", text);
    return 0;
}
