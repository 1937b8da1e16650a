// rdr convert IN -o OUT [--to uf|odim|grib]: any volume the library reads, written as UF,
// ODIM HDF5 or GRIB 2 (one message per moment). The output format comes from --to, else from OUT's
// extension; each format is one row of the target table (a new writer is a new row).
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "grib_volume_output.h"
#include "hdf5_output.h"
#include "owned_handles.h"
#include "standard_volume.h"
#include "uf_volume_output.h"
#include "volume_formats.h"

namespace {

using HdfRadarPtr = std::unique_ptr<HDF_RADAR, rdr::ReleaseWith<fnFreeHdfRadar>>;

// Each writer: sync-down, then the file. 1 written, 0 failed (the library said why).
int writeUf(STD_RADAR* pStd, const char* szOut) {
    rdr::UfRadarPtr uf(fnStdSyncDownUf(pStd));
    return uf ? fnWriteUf(uf.get(), szOut, UF_FRAME_FOUR, 0) : 0;
}

int writeOdim(STD_RADAR* pStd, const char* szOut) {
    HdfRadarPtr hdf(fnStdSyncDownHdf(pStd));
    return hdf ? fnWriteHdfRadar(hdf.get(), szOut) : 0;
}

using GribRadarPtr = std::unique_ptr<GRIB_RADAR, rdr::ReleaseWith<fnFreeGribRadar>>;

int writeGrib(STD_RADAR* pStd, const char* szOut) {
    GribRadarPtr grib(fnStdSyncDownGribRadar(pStd));
    return grib ? fnWriteGribRadar(grib.get(), szOut) : 0;
}

struct Target {
    const char* name;
    const char* extensions[3];  // lower case, null-terminated list
    int (*write)(STD_RADAR* pStd, const char* szOut);
};

const Target kTargets[] = {
    {"uf", {".uf", nullptr}, writeUf},
    {"odim", {".h5", ".hdf", nullptr}, writeOdim},
    {"grib", {".grib2", ".grb2", nullptr}, writeGrib},
};

void printUsage(FILE* out) {
    std::fprintf(out,
                 "usage: rdr convert IN -o OUT [--to uf|odim|grib]\n"
                 "  reads any volume rdr info reads and writes it as UF (4-byte framing),\n"
                 "  ODIM HDF5 or GRIB 2 (one message per moment); without --to the format\n"
                 "  follows OUT's extension (.uf; .h5 or .hdf; .grib2 or .grb2)\n");
}

const Target* targetByName(const std::string& name) {
    for (const Target& t : kTargets) {
        if (name == t.name) {
            return &t;
        }
    }
    return nullptr;
}

bool endsWith(const std::string& text, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    if (text.size() < n) {
        return false;
    }
    for (std::size_t i = 0; i < n; ++i) {
        const char c = text[text.size() - n + i];
        if ((c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c) != suffix[i]) {
            return false;
        }
    }
    return true;
}

const Target* targetByExtension(const std::string& out) {
    for (const Target& t : kTargets) {
        for (const char* const* ext = t.extensions; *ext != nullptr; ++ext) {
            if (endsWith(out, *ext)) {
                return &t;
            }
        }
    }
    return nullptr;
}

}  // namespace

int runConvert(int argc, char** argv) {
    std::string in;
    std::string out;
    std::string to;
    for (int i = 0; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            printUsage(stdout);
            return 0;
        }
        if ((arg == "-o" || arg == "--to") && i + 1 < argc) {
            (arg == "-o" ? out : to) = argv[++i];
        } else if (arg.size() > 1 && arg[0] == '-') {
            std::fprintf(stderr, "rdr convert: unknown option '%s'\n", arg.c_str());
            printUsage(stderr);
            return 2;
        } else if (in.empty()) {
            in = arg;
        } else {
            std::fprintf(stderr, "rdr convert: one input file only ('%s' is a second)\n",
                         arg.c_str());
            printUsage(stderr);
            return 2;
        }
    }
    if (in.empty() || out.empty()) {
        printUsage(stderr);
        return 2;
    }
    const Target* target = nullptr;
    if (!to.empty()) {
        target = targetByName(to);
        if (target == nullptr) {
            std::fprintf(stderr, "rdr convert: unknown format '%s' [use --to uf, odim or grib]\n",
                         to.c_str());
            return 2;
        }
    } else {
        target = targetByExtension(out);
        if (target == nullptr) {
            std::fprintf(
                stderr,
                "rdr convert: %s: cannot tell the output format from the name [give "
                "--to uf, odim or grib, or name the file .uf, .h5, .hdf, .grib2 or .grb2]\n",
                out.c_str());
            return 2;
        }
    }
    rdr::StdRadarPtr volume(fnLoadStdRadarFile(in.c_str()));
    if (!volume) {
        std::fprintf(stderr, "rdr convert: %s: cannot load (see the reason above)\n", in.c_str());
        return 1;
    }
    if (target->write(volume.get(), out.c_str()) != 1) {
        std::fprintf(stderr,
                     "rdr convert: %s: cannot write as %s (see the reason above) [no file was "
                     "written; an existing one is unchanged]\n",
                     out.c_str(), target->name);
        return 1;
    }
    return 0;
}
