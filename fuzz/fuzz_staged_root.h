// Fuzz targets whose readers take tables or definitions from the resource tree (BUFR
// descriptor tables, GRIB definitions) use the build's staged tree unless RDR_ROOT names
// another. The build passes the staged tree's path as RDR_FUZZ_STAGED_ROOT.
#ifndef FUZZ_FUZZ_STAGED_ROOT_H
#define FUZZ_FUZZ_STAGED_ROOT_H

#include <cstdlib>

inline void fuzzUseStagedRoot() {
    const char* szRoot = std::getenv("RDR_ROOT");
    if (szRoot == nullptr || szRoot[0] == '\0') {
        setenv("RDR_ROOT", RDR_FUZZ_STAGED_ROOT, 1);
    }
}

#endif
