// rdr: look at radar volumes and the products made from them.
#include <cstdio>
#include <cstring>

#include "commands.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int, char**);
    const char* summary;
};

const Command kCommands[] = {
    {"info", runInfo, "FILE...  describe radar volumes (UF, CF/Radial NetCDF, ODIM HDF5)"},
    {"product", runProduct, "FILE --product NAME ... -o OUT  write a product grid"},
    {"image", runImage, "FILE --product NAME ... -o OUT  draw a product image"},
    {"convert", runConvert, "IN -o OUT [--to uf|odim]  write a volume as UF or ODIM HDF5"},
    {"synth-volume", runSynth, "OUT.uf  write a synthetic demo volume as UF"},
};

void printUsage(FILE* out) {
    std::fprintf(out, "usage: rdr COMMAND [ARGS]\n\ncommands:\n");
    for (const Command& c : kCommands) {
        std::fprintf(out, "  %-8s %s\n", c.name, c.summary);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0) {
        printUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    for (const Command& c : kCommands) {
        if (std::strcmp(argv[1], c.name) == 0) {
            return c.run(argc - 2, argv + 2);
        }
    }
    std::fprintf(stderr, "rdr: unknown command '%s'\n", argv[1]);
    printUsage(stderr);
    return 2;
}
