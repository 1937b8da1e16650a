// Placeholder until the product subcommand lands.
#include <cstdio>

#include "commands.h"

int fnRunProduct(int, char**) {
    std::fprintf(stderr, "rdr product: not available in this build\n");
    return 2;
}
