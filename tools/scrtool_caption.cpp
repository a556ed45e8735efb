// scrtool caption FILE: the caption the saver writes under the picture, from the date its loader
// reads.
#include <cstdio>
#include <cstdlib>

#include "slideshow/picture_caption.h"
#include "tools/scrtool_commands.h"

int RunCaption(int argc, char** argv) {
    if (argc != 1) {
        fputs("usage: scrtool caption FILE\n", stderr);
        return 2;
    }
    const LoadResult loaded = LoadAsTheWalkWould(argv[0]);
    free(loaded.Image);
    char text[CaptionTextSize];
    if (!MakeCaption(argv[0], loaded.Taken, text)) {
        fprintf(stderr, "caption: cannot read %s\n", argv[0]);
        return 1;
    }
    printf("%s\n", text);
    return 0;
}
