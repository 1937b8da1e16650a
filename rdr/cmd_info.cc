// rdr info FILE... [--json]: what a radar engineer checks first about a volume.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

#include "commands.h"
#include "core_utilities.h"
#include "standard_volume.h"
#include "volume_formats.h"

namespace {

struct FieldSummary {
    std::string name;
    int scaleFactor = 0;
    int maxBins = 0;
    double firstBinKm = 0;  // this moment's own gates, which may differ from the ray's
    int binSpacingM = 0;
    long validBins = 0;
    double minValue = std::numeric_limits<double>::infinity();
    double maxValue = -std::numeric_limits<double>::infinity();
};

struct SweepSummary {
    float fixedAngle = 0;
    int rays = 0;
    int nullRays = 0;
    int maxBins = 0;
    double firstBinKm = 0;
    int binSpacingM = 0;
    double maxRangeKm = 0;
    std::vector<FieldSummary> fields;
};

const char* scanModeName(int mode) {
    static const char* const kNames[] = {"calibration", "PPI",      "coplane", "RHI",
                                         "vertical",    "target",   "manual",  "idle",
                                         "sector",      "pointing", "sunscan"};
    return mode >= 0 && mode <= 10 ? kNames[mode] : "unknown";
}

FieldSummary* findField(std::vector<FieldSummary>& fields, const char* name) {
    for (FieldSummary& f : fields) {
        if (f.name == name) {
            return &f;
        }
    }
    return nullptr;
}

SweepSummary summariseSweep(const STD_SWEEP* pSweep, int iNoData) {
    SweepSummary s;
    s.rays = pSweep->m_iMaxRay;
    bool first = true;
    for (int r = 0; r < pSweep->m_iMaxRay; ++r) {
        const STD_RAY* pRay = pSweep->m_ppRay ? pSweep->m_ppRay[r] : nullptr;
        if (pRay == nullptr || pRay->m_ppField == nullptr) {
            ++s.nullRays;
            continue;
        }
        const STD_RAY_HDR& h = pRay->m_hdr;
        double firstKm = h.m_iStartRangeKm + h.m_iStartRangeMeter / 1000.0;
        if (first) {
            s.fixedAngle = h.m_fFixedAngle;
            s.firstBinKm = firstKm;
            s.binSpacingM = h.m_iBinSpacing;
            first = false;
        }
        for (int f = 0; f < pRay->m_iMaxField; ++f) {
            const STD_FIELD* pField = pRay->m_ppField[f];
            if (pField == nullptr) {
                continue;
            }
            FieldSummary* pSum = findField(s.fields, pField->m_hdr.m_szFieldName);
            if (pSum == nullptr) {
                s.fields.push_back(FieldSummary{});
                pSum = &s.fields.back();
                pSum->name = pField->m_hdr.m_szFieldName;
                pSum->scaleFactor = pField->m_hdr.m_iScaleFactor;
            }
            if (pSum->binSpacingM == 0) {
                const STD_FIELD_HDR& fh = pField->m_hdr;
                bool own = fh.m_iBinSpacing != 0;
                pSum->firstBinKm =
                    own ? fh.m_iStartRangeKm + fh.m_iStartRangeMeter / 1000.0 : firstKm;
                pSum->binSpacingM = own ? fh.m_iBinSpacing : h.m_iBinSpacing;
            }
            pSum->maxBins = std::max(pSum->maxBins, pField->m_iMaxBin);
            s.maxBins = std::max(s.maxBins, pField->m_iMaxBin);
            if (f == 0) {
                s.maxRangeKm = std::max(s.maxRangeKm,
                                        firstKm + pField->m_iMaxBin * (h.m_iBinSpacing / 1000.0));
            }
            if (pField->m_pData == nullptr || pField->m_hdr.m_iScaleFactor == 0) {
                continue;
            }
            double scale = pField->m_hdr.m_iScaleFactor;
            for (int b = 0; b < pField->m_iMaxBin; ++b) {
                short v = pField->m_pData[b];
                if (v == STD_NO_VALUE_CODE || v == iNoData) {
                    continue;
                }
                double phys = v / scale;
                ++pSum->validBins;
                pSum->minValue = std::min(pSum->minValue, phys);
                pSum->maxValue = std::max(pSum->maxValue, phys);
            }
        }
    }
    return s;
}

std::string jsonString(const char* s) {
    std::string out = "\"";
    for (const char* p = s; *p != '\0'; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string jsonNumber(double v) {
    if (!std::isfinite(v)) {
        return "null";
    }
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.6g", v);
    return buf;
}

void printText(const std::string& path, const char* szFormat, const STD_RADAR* pStd,
               const std::vector<SweepSummary>& sweeps) {
    const STD_GLOBAL_HDR& g = pStd->m_hdr;
    std::printf("%s (%s)\n", path.c_str(), szFormat);
    std::printf("  radar %s  site %s\n", g.m_szRadarName, g.m_szSiteName);
    std::printf("  position %.5f N %.5f E  antenna %d m\n", g.m_dLat, g.m_dLon, g.m_iAnteHeight);
    std::printf("  volume time %s  scan mode %s (%d)  no-data code %d\n",
                formatStoredTime(g.m_tConvertTime, "%Y-%m-%d %H:%M:%S KST").c_str(),
                scanModeName(g.m_iSweepMode), g.m_iSweepMode, g.m_iNoDataValue);
    std::printf("  %d sweeps\n", pStd->m_iMaxSweep);
    for (size_t i = 0; i < sweeps.size(); ++i) {
        const SweepSummary& s = sweeps[i];
        std::printf(
            "  sweep %2zu  angle %6.2f  rays %4d  bins %4d  first bin %7.3f km  spacing %5d m"
            "  max range %7.2f km  fields",
            i, s.fixedAngle, s.rays, s.maxBins, s.firstBinKm, s.binSpacingM, s.maxRangeKm);
        for (const FieldSummary& f : s.fields) {
            std::printf(" %s", f.name.c_str());
        }
        std::printf(s.nullRays > 0 ? "  (%d empty rays)\n" : "\n", s.nullRays);
        for (const FieldSummary& f : s.fields) {
            std::printf(
                "    %-8s scale %5d  bins %4d  first bin %7.3f km  spacing %5d m  valid %9ld",
                f.name.c_str(), f.scaleFactor, f.maxBins, f.firstBinKm, f.binSpacingM, f.validBins);
            if (f.validBins > 0) {
                std::printf("  min %9.3f  max %9.3f\n", f.minValue, f.maxValue);
            } else {
                std::printf("  no valid bins\n");
            }
        }
    }
}

void printJson(const std::string& path, const char* szFormat, const STD_RADAR* pStd,
               const std::vector<SweepSummary>& sweeps, bool first) {
    const STD_GLOBAL_HDR& g = pStd->m_hdr;
    std::printf("%s  {\"file\": %s, \"format\": %s,\n", first ? "" : ",\n",
                jsonString(path.c_str()).c_str(), jsonString(szFormat).c_str());
    std::printf("   \"radar\": %s, \"site\": %s, \"lat\": %s, \"lon\": %s, \"height_m\": %d,\n",
                jsonString(g.m_szRadarName).c_str(), jsonString(g.m_szSiteName).c_str(),
                jsonNumber(g.m_dLat).c_str(), jsonNumber(g.m_dLon).c_str(), g.m_iAnteHeight);
    std::printf(
        "   \"time\": %s, \"time_t\": %lld, \"scan_mode\": %s, \"no_data\": %d,\n",
        jsonString(formatStoredTime(g.m_tConvertTime, "%Y-%m-%d %H:%M:%S KST").c_str()).c_str(),
        static_cast<long long>(g.m_tConvertTime), jsonString(scanModeName(g.m_iSweepMode)).c_str(),
        g.m_iNoDataValue);
    std::printf("   \"sweeps\": [\n");
    for (size_t i = 0; i < sweeps.size(); ++i) {
        const SweepSummary& s = sweeps[i];
        std::printf(
            "     {\"fixed_angle\": %s, \"rays\": %d, \"empty_rays\": %d, \"bins\": %d, "
            "\"first_bin_km\": %s, \"bin_spacing_m\": %d, \"max_range_km\": %s, "
            "\"fields\": [",
            jsonNumber(s.fixedAngle).c_str(), s.rays, s.nullRays, s.maxBins,
            jsonNumber(s.firstBinKm).c_str(), s.binSpacingM, jsonNumber(s.maxRangeKm).c_str());
        for (size_t k = 0; k < s.fields.size(); ++k) {
            const FieldSummary& f = s.fields[k];
            std::printf(
                "%s{\"name\": %s, \"scale\": %d, \"bins\": %d, \"first_bin_km\": %s, "
                "\"bin_spacing_m\": %d, \"valid\": %ld, \"min\": %s, \"max\": %s}",
                k ? ", " : "", jsonString(f.name.c_str()).c_str(), f.scaleFactor, f.maxBins,
                jsonNumber(f.firstBinKm).c_str(), f.binSpacingM, f.validBins,
                jsonNumber(f.validBins ? f.minValue : NAN).c_str(),
                jsonNumber(f.validBins ? f.maxValue : NAN).c_str());
        }
        std::printf("]}%s\n", i + 1 < sweeps.size() ? "," : "");
    }
    std::printf("   ]}");
}

void printUsage(FILE* out) {
    std::fprintf(out, "usage: rdr info [--json] FILE...\n");
}

}  // namespace

int runInfo(int argc, char** argv) {
    bool json = false;
    std::vector<std::string> files;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) {
            json = true;
        } else if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
            printUsage(stdout);
            return 0;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            std::fprintf(stderr, "rdr info: unknown option '%s'\n", argv[i]);
            printUsage(stderr);
            return 2;
        } else {
            files.emplace_back(argv[i]);
        }
    }
    if (files.empty()) {
        printUsage(stderr);
        return 2;
    }

    int status = 0;
    bool firstEntry = true;
    if (json) {
        std::printf("[\n");
    }
    for (size_t i = 0; i < files.size(); ++i) {
        const char* szFormat = nullptr;
        STD_RADAR* pStd = fnLoadStdRadarFile(files[i].c_str(), &szFormat);
        if (pStd == nullptr || !fnValidStdRadar(pStd)) {
            std::fprintf(stderr, "rdr info: %s: cannot load\n", files[i].c_str());
            fnFreeStdRadar(pStd);
            status = 1;
            continue;
        }
        std::vector<SweepSummary> sweeps;
        for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
            sweeps.push_back(summariseSweep(pStd->m_ppSweep[s], pStd->m_hdr.m_iNoDataValue));
        }
        if (json) {
            printJson(files[i], szFormat, pStd, sweeps, firstEntry);
            firstEntry = false;
        } else {
            printText(files[i], szFormat, pStd, sweeps);
        }
        fnFreeStdRadar(pStd);
    }
    if (json) {
        std::printf("\n]\n");
    }
    return status;
}
