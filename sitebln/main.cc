// sitebln CODE: boundary-line files of one radar site.
#include <cstdio>
#include <cstring>

#include "site_table.h"
#include "sitebln.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::printf("[using] sitebln <지점코드>\n");
        return 0;
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
