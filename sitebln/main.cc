// sitebln CODE: boundary-line files of one radar site.
#include <cstdio>
#include <cstring>

#include "site_table.h"
#include "sitebln.h"

namespace {

void printHelp() {
    std::printf(
        "usage: sitebln CODE\n"
        "Writes the four boundary-line files of radar site CODE (three letters, or RKJK and\n"
        "RKSG) under $RDR_ROOT/www/yek/cgi-src/rdr/bln/, from the map lines under\n"
        "$RDR_ROOT/DATA/GIS/MAP/. Without RDR_ROOT the installation root / is used.\n"
        "Exit status: 0 written or unknown site (reported on standard output), 1 an output\n"
        "could not be written, 2 a bad command line.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("[using] sitebln <지점코드>\n");
        return 0;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        printHelp();
        return 0;
    }
    if (argv[1][0] == '-' || argc > 2) {
        std::fprintf(stderr, "sitebln: %s: not a site code (sitebln --help shows the usage)\n",
                     argc > 2 ? argv[2] : argv[1]);
        return 2;
    }
    const char* szCode = argv[1];
    float fLon = 0.0f;
    float fLat = 0.0f;
    if (std::strlen(szCode) > kBlnMaxSiteCode || rdr_position(szCode, &fLon, &fLat) != 0) {
        std::printf("%s 에 해당되는 지점정보(위경도)가 없습니다.\n", szCode);
        return 0;
    }
    std::printf(" %s : %f , %f\n", szCode, fLon, fLat);
    std::fflush(stdout);
    return sitebln(szCode, fLon, fLat) == 0 ? 0 : 1;
}
