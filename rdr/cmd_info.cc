// rdr info FILE...: what a radar engineer checks first about a volume (header, sweeps,
// per-moment statistics, what the load noticed), as text or JSON, and on request every ray
// header and every bin, the way the field's print tools show them.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>
#include <string>
#include <vector>

#include "commands.h"
#include "core_utilities.h"
#include "info_tables.h"
#include "standard_volume.h"
#include "time_zone_option.h"
#include "volume_choice.h"
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
    float nyquist = 0;
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
    s.nyquist = pSweep->m_hdr.m_fNyquistVelocity;
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
            // The extremes of the stored values, converted once: dividing by the scale is
            // monotonic, so they give the extremes of the physical values exactly.
            const double scale = pField->m_hdr.m_iScaleFactor;
            const short* pData = pField->m_pData;
            const int nBin = pField->m_iMaxBin;
            // Locals in the stored width, so that the loop vectorises eight bins at a time.
            // A no-data code outside 16 bits matches no stored value.
            const short noData = iNoData >= SHRT_MIN && iNoData <= SHRT_MAX
                                     ? static_cast<short>(iNoData)
                                     : static_cast<short>(STD_NO_VALUE_CODE);
            short lowest = SHRT_MAX;
            short highest = SHRT_MIN;
            int valid = 0;
            // Missing bins are masked to the neutral value with bit operations (g++ turns a
            // conditional choice here into a branch per bin instead of a vector step) and
            // counted in 16 bits, a block at a time so that the count cannot wrap.
            constexpr int kCountBlock = 1 << 15;
            for (int start = 0; start < nBin; start += kCountBlock) {
                const int end = std::min(nBin, start + kCountBlock);
                unsigned short nMissing = 0;
                for (int b = start; b < end; ++b) {
                    const short v = pData[b];
                    const auto bad =
                        static_cast<short>(-((v == STD_NO_VALUE_CODE) | (v == noData)));
                    const auto forLowest = static_cast<short>((v & ~bad) | (SHRT_MAX & bad));
                    const auto forHighest = static_cast<short>((v & ~bad) | (SHRT_MIN & bad));
                    lowest = lowest < forLowest ? lowest : forLowest;
                    highest = highest > forHighest ? highest : forHighest;
                    nMissing = static_cast<unsigned short>(nMissing - bad);
                }
                valid += end - start - nMissing;
            }
            if (valid > 0) {
                const double fromLowest = lowest / scale;
                const double fromHighest = highest / scale;
                pSum->validBins += valid;
                pSum->minValue = std::min(pSum->minValue, std::min(fromLowest, fromHighest));
                pSum->maxValue = std::max(pSum->maxValue, std::max(fromLowest, fromHighest));
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

// Units of the moments this system names; others are shown without.
const char* fieldUnits(const std::string& name) {
    struct Row {
        const char* name;
        const char* units;
    };
    static const Row kUnits[] = {
        {"DZ", "dBZ"}, {"CZ", "dBZ"},    {"ZT", "dBZ"}, {"ZV", "dBZ"},
        {"VR", "m/s"}, {"VE", "m/s"},    {"SW", "m/s"}, {"DR", "dB"},
        {"PH", "deg"}, {"KD", "deg/km"}, {"RH", ""},    {"RN", "mm/h"},
    };
    for (const Row& row : kUnits) {
        if (name == row.name) {
            return row.units;
        }
    }
    return "";
}

struct InfoOptions {
    bool json = false;
    bool strict = false;
    bool rays = false;
    bool data = false;
    std::string field;  // --data: only this moment
    int sweep = -1;     // --rays, --data: only this sweep
    DisplayZone zone = DisplayZone::kKst;
};

// One loaded file and what is known about it.
struct FileReport {
    std::string path;
    const char* format = nullptr;
    const STD_RADAR* volume = nullptr;
    std::vector<SweepSummary> sweeps;
    VolumeLoadNotes notes;
};

std::string fullNumber(double v) {
    if (!std::isfinite(v)) {
        return "null";
    }
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

bool sweepWanted(const InfoOptions& opt, int s) {
    return opt.sweep < 0 || opt.sweep == s;
}

void printNotesText(const VolumeLoadNotes& notes) {
    for (const auto& [field, variable] : notes.fieldSources) {
        std::printf("  field %s is the file's %s\n", field.c_str(), variable.c_str());
    }
    for (const std::string& what : notes.skipped) {
        std::printf("  skipped %s\n", what.c_str());
    }
    for (const std::string& what : notes.damage) {
        std::printf("  DAMAGED: %s\n", what.c_str());
    }
}

void printRaysText(const STD_SWEEP* pSweep, int s, const InfoOptions& opt) {
    std::printf(
        "  sweep %d rays: index, azimuth, elevation, fixed angle (deg), time, first bin "
        "(km), spacing (m), fields\n",
        s);
    for (int r = 0; r < pSweep->m_iMaxRay; ++r) {
        const STD_RAY* pRay = pSweep->m_ppRay[r];
        if (pRay == nullptr) {
            std::printf("    %4d  (empty)\n", r);
            continue;
        }
        const STD_RAY_HDR& h = pRay->m_hdr;
        std::printf(
            "    %4d  %8.3f  %7.3f  %7.3f  %s  %7.3f  %5d  %d\n", r, h.m_fAzimuth, h.m_fElevation,
            h.m_fFixedAngle, formatVolumeTime(h.m_tTime, opt.zone, "%Y-%m-%d %H:%M:%S").c_str(),
            h.m_iStartRangeKm + h.m_iStartRangeMeter / 1000.0, h.m_iBinSpacing, pRay->m_iMaxField);
    }
}

// Every bin of the chosen moments: one line per ray and moment, physical values, "-" for
// no data.
void printDataText(const STD_SWEEP* pSweep, int s, int iNoData, const InfoOptions& opt) {
    for (int r = 0; r < pSweep->m_iMaxRay; ++r) {
        const STD_RAY* pRay = pSweep->m_ppRay[r];
        if (pRay == nullptr) {
            continue;
        }
        for (int f = 0; f < pRay->m_iMaxField; ++f) {
            const STD_FIELD* pField = pRay->m_ppField[f];
            if (pField == nullptr ||
                (!opt.field.empty() && opt.field != pField->m_hdr.m_szFieldName)) {
                continue;
            }
            std::printf("  sweep %d ray %d az %.3f %s:", s, r, pRay->m_hdr.m_fAzimuth,
                        pField->m_hdr.m_szFieldName);
            const double scale =
                pField->m_hdr.m_iScaleFactor != 0 ? pField->m_hdr.m_iScaleFactor : 1;
            for (int b = 0; b < pField->m_iMaxBin && pField->m_pData != nullptr; ++b) {
                const short v = pField->m_pData[b];
                if (v == STD_NO_VALUE_CODE || v == iNoData) {
                    std::printf(" -");
                } else {
                    std::printf(" %g", v / scale);
                }
            }
            std::printf("\n");
        }
    }
}

void printText(const FileReport& report, const InfoOptions& opt) {
    const STD_RADAR* pStd = report.volume;
    const STD_GLOBAL_HDR& g = pStd->m_hdr;
    std::printf("%s (%s)\n", report.path.c_str(), report.format);
    std::printf("  radar %s  site %s\n", g.m_szRadarName, g.m_szSiteName);
    // Hemispheres by letter: "-89.8 E" reads as a misprint.
    std::printf("  position %.5f %c %.5f %c  antenna %d m  beam width %.2f x %.2f deg\n",
                std::fabs(g.m_dLat), g.m_dLat < 0 ? 'S' : 'N', std::fabs(g.m_dLon),
                g.m_dLon < 0 ? 'W' : 'E', g.m_iAnteHeight, g.m_fBeamWidthH, g.m_fBeamWidthV);
    std::printf("  volume time %s  scan mode %s (%d)  no-data code %d\n",
                formatVolumeTime(g.m_tConvertTime, opt.zone, "%Y-%m-%d %H:%M:%S").c_str(),
                scanModeName(g.m_iSweepMode), g.m_iSweepMode, g.m_iNoDataValue);
    printNotesText(report.notes);
    std::printf("  %d sweeps\n", pStd->m_iMaxSweep);
    for (size_t i = 0; i < report.sweeps.size(); ++i) {
        const SweepSummary& s = report.sweeps[i];
        std::printf(
            "  sweep %2zu  angle %6.2f  rays %4d  bins %4d  first bin %7.3f km  spacing %5d m"
            "  max range %7.2f km  Nyquist %.2f m/s  fields",
            i, s.fixedAngle, s.rays, s.maxBins, s.firstBinKm, s.binSpacingM, s.maxRangeKm,
            s.nyquist);
        for (const FieldSummary& f : s.fields) {
            std::printf(" %s", f.name.c_str());
        }
        std::printf(s.nullRays > 0 ? "  (%d empty rays)\n" : "\n", s.nullRays);
        for (const FieldSummary& f : s.fields) {
            std::printf(
                "    %-8s scale %5d  bins %4d  first bin %7.3f km  spacing %5d m  valid %9ld",
                f.name.c_str(), f.scaleFactor, f.maxBins, f.firstBinKm, f.binSpacingM, f.validBins);
            if (f.validBins > 0) {
                std::printf("  min %9.3f  max %9.3f %s\n", f.minValue, f.maxValue,
                            fieldUnits(f.name));
            } else {
                std::printf("  no valid bins\n");
            }
        }
    }
    for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
        if (!sweepWanted(opt, s)) {
            continue;
        }
        if (opt.rays) {
            printRaysText(pStd->m_ppSweep[s], s, opt);
        }
        if (opt.data) {
            printDataText(pStd->m_ppSweep[s], s, g.m_iNoDataValue, opt);
        }
    }
}

std::string jsonStrings(const std::vector<std::string>& items) {
    std::string out = "[";
    for (size_t i = 0; i < items.size(); ++i) {
        if (i > 0) {
            out += ", ";
        }
        out += jsonString(items[i].c_str());
    }
    return out + "]";
}

void printJsonRays(const STD_SWEEP* pSweep, const InfoOptions& opt) {
    std::string az, el, tm;
    for (int r = 0; r < pSweep->m_iMaxRay; ++r) {
        const STD_RAY* pRay = pSweep->m_ppRay[r];
        if (r > 0) {
            az += ", ";
            el += ", ";
            tm += ", ";
        }
        if (pRay == nullptr) {
            az += "null";
            el += "null";
            tm += "null";
            continue;
        }
        az += fullNumber(pRay->m_hdr.m_fAzimuth);
        el += fullNumber(pRay->m_hdr.m_fElevation);
        tm += jsonString(
            formatVolumeTime(pRay->m_hdr.m_tTime, opt.zone, "%Y-%m-%dT%H:%M:%S").c_str());
    }
    std::printf(", \"azimuth\": [%s], \"elevation\": [%s], \"ray_time\": [%s]", az.c_str(),
                el.c_str(), tm.c_str());
}

void printJson(const FileReport& report, const InfoOptions& opt, bool first) {
    const STD_RADAR* pStd = report.volume;
    const STD_GLOBAL_HDR& g = pStd->m_hdr;
    std::printf("%s  {\"file\": %s, \"format\": %s,\n", first ? "" : ",\n",
                jsonString(report.path.c_str()).c_str(), jsonString(report.format).c_str());
    std::printf("   \"radar\": %s, \"site\": %s, \"lat\": %s, \"lon\": %s, \"height_m\": %d,\n",
                jsonString(g.m_szRadarName).c_str(), jsonString(g.m_szSiteName).c_str(),
                fullNumber(g.m_dLat).c_str(), fullNumber(g.m_dLon).c_str(), g.m_iAnteHeight);
    std::printf("   \"beam_width_h_deg\": %s, \"beam_width_v_deg\": %s,\n",
                jsonNumber(g.m_fBeamWidthH).c_str(), jsonNumber(g.m_fBeamWidthV).c_str());
    std::printf(
        "   \"time\": %s, \"time_t\": %lld, \"scan_mode\": %s, \"no_data\": %d,\n",
        jsonString(formatVolumeTime(g.m_tConvertTime, opt.zone, "%Y-%m-%d %H:%M:%S").c_str())
            .c_str(),
        static_cast<long long>(g.m_tConvertTime), jsonString(scanModeName(g.m_iSweepMode)).c_str(),
        g.m_iNoDataValue);
    std::vector<std::string> sources;
    for (const auto& [field, variable] : report.notes.fieldSources) {
        sources.push_back(field + " <- " + variable);
    }
    std::printf("   \"field_sources\": %s, \"skipped\": %s, \"damage\": %s,\n",
                jsonStrings(sources).c_str(), jsonStrings(report.notes.skipped).c_str(),
                jsonStrings(report.notes.damage).c_str());
    std::printf("   \"sweeps\": [\n");
    for (size_t i = 0; i < report.sweeps.size(); ++i) {
        const SweepSummary& s = report.sweeps[i];
        std::printf(
            "     {\"fixed_angle\": %s, \"rays\": %d, \"empty_rays\": %d, \"bins\": %d, "
            "\"first_bin_km\": %s, \"bin_spacing_m\": %d, \"max_range_km\": %s, "
            "\"nyquist_m_s\": %s, \"fields\": [",
            jsonNumber(s.fixedAngle).c_str(), s.rays, s.nullRays, s.maxBins,
            jsonNumber(s.firstBinKm).c_str(), s.binSpacingM, jsonNumber(s.maxRangeKm).c_str(),
            jsonNumber(s.nyquist).c_str());
        for (size_t k = 0; k < s.fields.size(); ++k) {
            const FieldSummary& f = s.fields[k];
            std::printf(
                "%s{\"name\": %s, \"units\": %s, \"scale\": %d, \"bins\": %d, "
                "\"first_bin_km\": %s, \"bin_spacing_m\": %d, \"valid\": %ld, \"min\": %s, "
                "\"max\": %s}",
                k ? ", " : "", jsonString(f.name.c_str()).c_str(),
                jsonString(fieldUnits(f.name)).c_str(), f.scaleFactor, f.maxBins,
                jsonNumber(f.firstBinKm).c_str(), f.binSpacingM, f.validBins,
                jsonNumber(f.validBins ? f.minValue : NAN).c_str(),
                jsonNumber(f.validBins ? f.maxValue : NAN).c_str());
        }
        std::printf("]");
        if (opt.rays && sweepWanted(opt, static_cast<int>(i))) {
            printJsonRays(pStd->m_ppSweep[i], opt);
        }
        std::printf("}%s\n", i + 1 < report.sweeps.size() ? "," : "");
    }
    std::printf("   ]}");
}

void printJsonError(const std::string& path, const std::string& why, bool first) {
    std::printf("%s  {\"file\": %s, \"error\": %s}", first ? "" : ",\n",
                jsonString(path.c_str()).c_str(), jsonString(why.c_str()).c_str());
}

void printUsage(FILE* out) {
    std::fprintf(out,
                 "usage: rdr info [options] [--] FILE...\n"
                 "\n"
                 "Describes radar volumes: header, sweeps, per-moment statistics and what the\n"
                 "load noticed (fields under the file's own names, moments skipped, damage).\n"
                 "  --json             the same as JSON, with an error entry per failed file\n"
                 "  --rays             every ray header (azimuth, elevation, time, range)\n"
                 "  --data             every bin value, one line per ray and moment\n"
                 "  --field F          with --data: only moment F\n"
                 "  --sweep N          with --rays or --data: only sweep N (0 the first)\n"
                 "  --tz UTC|KST|local zone of the times shown (KST; JSON: UTC)\n"
                 "  --strict           exit 2 when a file is damaged or implausible\n"
                 "Exit status: 0 all described, 1 a file could not be loaded, 2 a usage error\n"
                 "or, under --strict, a damaged file.\n");
}

}  // namespace

int runInfo(int argc, char** argv) {
    InfoOptions opt;
    bool zoneGiven = false;
    std::vector<std::string> files;
    bool optionsDone = false;
    for (int i = 0; i < argc; ++i) {
        const char* arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "rdr info: %s needs a value\n", name);
                return nullptr;
            }
            return argv[++i];
        };
        if (optionsDone || arg[0] != '-' || arg[1] == '\0') {
            files.emplace_back(arg);
        } else if (std::strcmp(arg, "--") == 0) {
            optionsDone = true;
        } else if (std::strcmp(arg, "--json") == 0) {
            opt.json = true;
        } else if (std::strcmp(arg, "--strict") == 0) {
            opt.strict = true;
        } else if (std::strcmp(arg, "--rays") == 0) {
            opt.rays = true;
        } else if (std::strcmp(arg, "--data") == 0) {
            opt.data = true;
        } else if (std::strcmp(arg, "--field") == 0) {
            const char* v = value(arg);
            if (v == nullptr) {
                return 2;
            }
            opt.field = v;
        } else if (std::strcmp(arg, "--sweep") == 0) {
            const char* v = value(arg);
            char* end = nullptr;
            const long n = v != nullptr ? std::strtol(v, &end, 10) : -1;
            if (v == nullptr || *end != '\0' || n < 0 || n > 9999) {
                std::fprintf(stderr, "rdr info: --sweep takes a sweep index, 0 or more\n");
                return 2;
            }
            opt.sweep = static_cast<int>(n);
        } else if (std::strcmp(arg, "--tz") == 0) {
            const char* v = value(arg);
            if (v == nullptr || !parseDisplayZone(v, &opt.zone)) {
                std::fprintf(stderr, "rdr info: --tz takes UTC, KST or local\n");
                return 2;
            }
            zoneGiven = true;
        } else if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
            printUsage(stdout);
            return 0;
        } else {
            std::fprintf(stderr, "rdr info: unknown option '%s'\n", arg);
            printUsage(stderr);
            return 2;
        }
    }
    if (files.empty()) {
        printUsage(stderr);
        return 2;
    }
    if (opt.json && !zoneGiven) {
        opt.zone = DisplayZone::kUtc;
    }
    if (opt.json && opt.data) {
        std::fprintf(stderr, "rdr info: --data prints text; leave out --json\n");
        return 2;
    }

    int status = 0;
    bool firstEntry = true;
    if (opt.json) {
        std::printf("[\n");
    }
    for (const std::string& path : files) {
        FileReport report;
        report.path = path;
        STD_RADAR* pStd = fnLoadStdRadarFile(path.c_str(), &report.format, &report.notes);
        if (pStd == nullptr || !fnValidStdRadar(pStd)) {
            const std::string why = pStd == nullptr ? loadFailureReason(path, report.format)
                                                    : "the volume it holds is inconsistent";
            std::fprintf(stderr, "rdr: %s: cannot load (%s)\n", path.c_str(), why.c_str());
            if (opt.json) {
                printJsonError(path, why, firstEntry);
                firstEntry = false;
            }
            fnFreeStdRadar(pStd);
            status = 1;
            continue;
        }
        report.volume = pStd;
        for (int s = 0; s < pStd->m_iMaxSweep; ++s) {
            report.sweeps.push_back(summariseSweep(pStd->m_ppSweep[s], pStd->m_hdr.m_iNoDataValue));
        }
        if (opt.json) {
            printJson(report, opt, firstEntry);
            firstEntry = false;
        } else {
            printText(report, opt);
        }
        if (!report.notes.damage.empty()) {
            std::fprintf(stderr, "rdr: %s: %s%s\n", path.c_str(), report.notes.damage[0].c_str(),
                         opt.strict ? "" : " (--strict makes this an error)");
            if (opt.strict && status == 0) {
                status = 2;
            }
        }
        fnFreeStdRadar(pStd);
    }
    if (opt.json) {
        std::printf("\n]\n");
    }
    return status;
}
