// Test support: the daily strike files of both text layouts, the area list and the gzip
// statistics files, written under a data tree from strikes given by value.
#ifndef CGI_LGT_TESTING_LIGHTNING_FIXTURE_H
#define CGI_LGT_TESTING_LIGHTNING_FIXTURE_H

#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace lgt_test {

struct Strike {
    std::string time;  // YYYYMMDDHHMM
    int id = 0;        // NX1 strike identifier
    float lon = 127.0f;
    float lat = 37.0f;
    float impact = -12.5f;  // kA
    char type = 'G';
    int sensors = 5;
    std::string flash = "F1";
};

// Line ends of a written file.
enum class Ends { Lf, Crlf };

// An agency-layout line: "MM/DD/YY HH:MM:SS.mmm lat lon kA" then six unused columns, the
// sensor count and the type.
inline std::string vyqLine(const Strike& s) {
    char line[256];
    std::snprintf(line, sizeof line,
                  "%.2s/%.2s/%.2s %.2s:%.2s:07.123 %.4f %.4f %.1f 0.2 1.5 0.3 12 0 U %d %c",
                  s.time.c_str() + 4, s.time.c_str() + 6, s.time.c_str() + 2, s.time.c_str() + 8,
                  s.time.c_str() + 10, s.lat, s.lon, s.impact, s.sensors, s.type);
    return line;
}

// An NX1 line: id, date, time, nanoseconds, the location as WKT (written "POINT(lon lat)",
// or "POINT (lon lat)" with wktBlank), lon, lat, altitude, kA, error radius, type, sensor
// count, eight sensor numbers, quality, flash identifier.
inline std::string nx1Line(const Strike& s, bool wktBlank = false) {
    char line[320];
    std::snprintf(line, sizeof line,
                  "%d %.4s-%.2s-%.2s %.2s:%.2s:31 123456789 POINT%s(%.4f %.4f) %.4f %.4f 0.0 "
                  "%.1f 0.25 %c %d 101 102 103 104 105 106 107 108 1 %s",
                  s.id, s.time.c_str(), s.time.c_str() + 4, s.time.c_str() + 6, s.time.c_str() + 8,
                  s.time.c_str() + 10, wktBlank ? " " : "", s.lon, s.lat, s.lon, s.lat, s.impact,
                  s.type, s.sensors, s.flash.c_str());
    return line;
}

// Path of a day's file under root: layout "VYQ" or "NX1", day YYYYMMDD.
inline std::filesystem::path dailyFile(const std::filesystem::path& root, const std::string& layout,
                                       const std::string& day) {
    const std::string name =
        layout == "VYQ" ? "LGT_VYQ_" + day + ".asc" : "VYQ_LGT_NX1_" + day + ".asc";
    return root / "DATA/INPUT/LGT" / day.substr(0, 4) / name;
}

// Writes lines as one file, each ended as asked; lastEnd false leaves the last line without
// its line end.
inline void writeLines(const std::filesystem::path& path, const std::vector<std::string>& lines,
                       Ends ends = Ends::Lf, bool lastEnd = true) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    for (size_t i = 0; i < lines.size(); ++i) {
        out << lines[i];
        if (i + 1 < lines.size() || lastEnd) {
            out << (ends == Ends::Crlf ? "\r\n" : "\n");
        }
    }
}

// One record of a statistics file.
struct AreaStat {
    int32_t code;
    int32_t count;
    double sum;
    float max;
    float min;
};

// A gzip statistics file: the record count (declared, which may differ from the records
// given), then the records, little-endian.
inline bool writeStats(const std::filesystem::path& path, int32_t declared,
                       const std::vector<AreaStat>& records) {
    std::filesystem::create_directories(path.parent_path());
    gzFile f = gzopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    bool ok = gzwrite(f, &declared, 4) == 4;
    for (const AreaStat& r : records) {
        unsigned char b[24];
        std::memcpy(b, &r.code, 4);
        std::memcpy(b + 4, &r.count, 4);
        std::memcpy(b + 8, &r.sum, 8);
        std::memcpy(b + 16, &r.max, 4);
        std::memcpy(b + 20, &r.min, 4);
        ok = ok && gzwrite(f, b, 24) == 24;
    }
    return gzclose(f) == Z_OK && ok;
}

// Statistics file of a period under root: mode 'Y' (period YYYY), 'M' (YYYYMM), 'D'
// (YYYYMMDD).
inline std::filesystem::path statsFile(const std::filesystem::path& root, char mode,
                                       const std::string& period) {
    const std::string dir = mode == 'D' ? period.substr(0, 6) : period.substr(0, 4);
    return root / "DATA/OUTPUT/BIN/BASI" / dir / ("LGT_VYQ_BASI_" + period + ".bin.gz");
}

}  // namespace lgt_test

#endif
