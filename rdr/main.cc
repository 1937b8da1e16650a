// rdr: look at radar volumes and the products made from them.
#include <cstdio>
#include <cstring>

#include "batch.h"
#include "commands.h"
#include "resource_root.h"
#include "time_zone_option.h"

#ifndef RDR_VERSION
#define RDR_VERSION "unknown"
#endif

namespace {

struct Command {
    const char* name;
    int (*run)(int, char**);
    const char* summary;
    bool batch;  // takes FILE... --outdir DIR
};

const Command kCommands[] = {
    {"info", runInfo, "FILE...  describe radar volumes (UF, CF/Radial NetCDF, ODIM HDF5)", false},
    {"product", runProduct, "FILE --product NAME ... -o OUT  write a product grid", true},
    {"image", runImage, "FILE --product NAME ... -o OUT  draw a product image", true},
    {"convert", runConvert, "IN -o OUT [--to uf|odim]  write a volume as UF or ODIM HDF5", true},
    {"synth-volume", runSynth, "OUT.uf  write a synthetic demo volume as UF", false},
};

void printUsage(FILE* out) {
    std::fprintf(out,
                 "usage: rdr COMMAND [ARGS]\n"
                 "       rdr product|image FILE... --outdir DIR [-j N] [options]\n"
                 "       rdr --version\n"
                 "Many files: one output per file in DIR, N files at a time. Each command's\n"
                 "own --help shows its options.\n\ncommands:\n");
    for (const Command& c : kCommands) {
        std::fprintf(out, "  %-8s %s\n", c.name, c.summary);
    }
}

}  // namespace

int main(int argc, char** argv) {
    useUtcProcessZone();
    findResourceRoot();
    if (argc < 2 || std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0) {
        printUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    if (std::strcmp(argv[1], "--version") == 0) {
        std::printf("rdr %s\n", RDR_VERSION);
        return 0;
    }
    for (const Command& c : kCommands) {
        if (std::strcmp(argv[1], c.name) == 0) {
            if (c.batch) {
                if (const int status = runBatch(c.name, c.run, argc - 2, argv + 2); status >= 0) {
                    return status;
                }
            }
            return c.run(argc - 2, argv + 2);
        }
    }
    std::fprintf(stderr, "rdr: unknown command '%s'\n", argv[1]);
    printUsage(stderr);
    return 2;
}
