// Placeholder until the info subcommand lands.
#include <cstdio>

#include "commands.h"

int fnRunInfo(int, char**) {
    std::fprintf(stderr, "rdr info: not available in this build\n");
    return 2;
}
