#include "site_table.h"

#include <cstring>
#include <iterator>

namespace {

struct SiteEntry {
    const char* szCode;
    float fLon;
    float fLat;
};

constexpr SiteEntry kSites[] = {
    {"KWK", 126.966110f, 37.441944f},  {"KSN", 126.786667f, 36.010555f},
    {"PSN", 129.002228f, 35.115002f},  {"CJU", 126.165001f, 33.291668f},
    {"GNG", 128.865707f, 37.817688f},  {"DNH", 129.125549f, 37.500000f},
    {"BRI", 124.638885f, 37.958611f},  {"IIA", 126.363335f, 37.464722f},
    {"SCN", 128.080276f, 35.086666f},  {"TAG", 128.654449f, 35.906387f},
    {"WNJ", 127.969444f, 37.431667f},  {"YCN", 128.354172f, 36.625557f},
    {"KWJ", 126.803055f, 35.129723f},  {"RKJK", 126.625000f, 35.920834f},
    {"RKSG", 127.285561f, 37.207569f}, {"GDK", 127.433540f, 38.117393f},
    {"MYN", 128.999725f, 36.176388f},  {"MET", 126.285004f, 35.093613f},
    {"SSP", 126.879723f, 33.386944f},  {"GSN", 126.162781f, 33.260834f},
};

}  // namespace

int rdr_position(const char* szCode, float* pfLon, float* pfLat) {
    if (szCode == nullptr || pfLon == nullptr || pfLat == nullptr) {
        return -1;
    }
    for (const SiteEntry& site : kSites) {
        if (std::strcmp(site.szCode, szCode) == 0) {
            *pfLon = site.fLon;
            *pfLat = site.fLat;
            return 0;
        }
    }
    return -1;
}

int fnBlnSiteCount() {
    return static_cast<int>(std::size(kSites));
}

const char* fnBlnSiteCode(int i) {
    return (i >= 0 && i < fnBlnSiteCount()) ? kSites[i].szCode : nullptr;
}
