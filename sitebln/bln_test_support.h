// Test helpers: a reader of boundary-line files and writers of small map-line inputs.
#ifndef SITEBLN_BLN_TEST_SUPPORT_H
#define SITEBLN_BLN_TEST_SUPPORT_H

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "test_support.h"

namespace blntest {

struct BlnPoint {
    float x;
    float y;
};

struct BlnRun {
    int32_t type;
    std::vector<BlnPoint> points;
};

inline uint32_t le32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline float leFloat(const unsigned char* p) {
    uint32_t u = le32(p);
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

// Parses a whole boundary-line byte stream; ok is false when it does not split into runs.
inline std::vector<BlnRun> parseRuns(const std::string& bytes, bool* ok) {
    std::vector<BlnRun> runs;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
    size_t pos = 0;
    *ok = true;
    while (pos < bytes.size()) {
        if (bytes.size() - pos < 8) {
            *ok = false;
            break;
        }
        int32_t count = static_cast<int32_t>(le32(p + pos));
        BlnRun run{static_cast<int32_t>(le32(p + pos + 4)), {}};
        pos += 8;
        if (count <= 0 || (bytes.size() - pos) / 8 < size_t(count)) {
            *ok = false;
            break;
        }
        for (int32_t i = 0; i < count; ++i, pos += 8) {
            run.points.push_back({leFloat(p + pos), leFloat(p + pos + 4)});
        }
        runs.push_back(std::move(run));
    }
    return runs;
}

using rdrtest::ScopedRdrRoot;

inline std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline std::vector<BlnRun> readRuns(const std::string& path, bool* ok) {
    return parseRuns(slurp(path), ok);
}

inline void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// One polyline of the map-line text format.
inline std::string polyline(const std::string& type,
                            const std::vector<std::pair<double, double>>& lonLat) {
    std::string text = std::to_string(lonLat.size()) + " " + type + "\n";
    for (const auto& [lon, lat] : lonLat) {
        char line[64];
        std::snprintf(line, sizeof line, "%.9g %.9g\n", lon, lat);
        text += line;
    }
    return text;
}

}  // namespace blntest

#endif
