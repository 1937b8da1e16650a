#include "time_zone_option.h"

#include <cstdlib>
#include <cstring>

#include "core_utilities.h"

namespace {

bool g_userZoneSet = false;
std::string g_userZone;

void setZone(bool bSet, const std::string& zone) {
    if (bSet) {
        setenv("TZ", zone.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

}  // namespace

void useUtcProcessZone() {
    const char* szZone = std::getenv("TZ");
    g_userZoneSet = szZone != nullptr;
    g_userZone = szZone != nullptr ? szZone : "";
    setZone(true, "UTC");
}

bool parseDisplayZone(const char* szText, DisplayZone* pZone) {
    if (std::strcmp(szText, "KST") == 0) {
        *pZone = DisplayZone::kKst;
    } else if (std::strcmp(szText, "UTC") == 0) {
        *pZone = DisplayZone::kUtc;
    } else if (std::strcmp(szText, "local") == 0) {
        *pZone = DisplayZone::kLocal;
    } else {
        return false;
    }
    return true;
}

int displayZoneShift(time_t tStored, DisplayZone zone, std::string* pName) {
    switch (zone) {
        case DisplayZone::kKst:
            *pName = "KST";
            return 0;
        case DisplayZone::kUtc:
            *pName = "UTC";
            return static_cast<int>(-RDR_KST_OFFSET_SEC);
        case DisplayZone::kLocal:
            break;
    }
    const time_t tUtc = tStored - RDR_KST_OFFSET_SEC;
    struct tm parts {};
    setZone(g_userZoneSet, g_userZone);
    localtime_r(&tUtc, &parts);
    char szName[16] = {};
    std::strftime(szName, sizeof szName, "%Z", &parts);
    setZone(true, "UTC");
    *pName = szName;
    return static_cast<int>(parts.tm_gmtoff - RDR_KST_OFFSET_SEC);
}

std::string formatVolumeTime(time_t tStored, DisplayZone zone, const char* szFormat) {
    const time_t tUtc = tStored - RDR_KST_OFFSET_SEC;
    struct tm parts {};
    std::string name;
    switch (zone) {
        case DisplayZone::kKst:
            gmtime_r(&tStored, &parts);
            name = "KST";
            break;
        case DisplayZone::kUtc:
            gmtime_r(&tUtc, &parts);
            name = "UTC";
            break;
        case DisplayZone::kLocal: {
            setZone(g_userZoneSet, g_userZone);
            localtime_r(&tUtc, &parts);
            char szName[16] = {};
            std::strftime(szName, sizeof szName, "%Z", &parts);
            name = szName;
            setZone(true, "UTC");
            break;
        }
    }
    char sz[128];
    if (std::strftime(sz, sizeof sz, szFormat, &parts) == 0) {
        return name;
    }
    return std::string(sz) + " " + name;
}
