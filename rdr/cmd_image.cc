// Placeholder until the image subcommand lands.
#include <cstdio>

#include "commands.h"

int fnRunImage(int, char**) {
    std::fprintf(stderr, "rdr image: not available in this build\n");
    return 2;
}
