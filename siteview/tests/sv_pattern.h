// The pattern volume of the siteview tests: what the fixture tree's volumes hold, so that
// the tree writer and the image checks agree on it.
//
// Every sweep holds the same values. Reflectivity (DZ) depends on the quadrant of the
// azimuth only: north-east 22 dBZ, south-east 37, south-west 52, north-west no echo
// (the deleted code); radial velocity (VR) is -12 m/s north of the radar's east-west
// line and +12 south of it. The values lie between colour-scale steps, so that their
// colours do not depend on how a scale treats its bounds. Bins cover kPatternRangeKm.
#ifndef SITEVIEW_TESTS_SV_PATTERN_H
#define SITEVIEW_TESTS_SV_PATTERN_H

#include <cmath>
#include <limits>
#include <string>

namespace svtest {

constexpr int kPatternRangeKm = 240;
constexpr float kPatternDbz[4] = {22.0f, 37.0f, 52.0f, std::numeric_limits<float>::quiet_NaN()};

// The fixture tree's site and times (KST).
constexpr const char* kSite = "KWK";
constexpr const char* kPlainTime = "202612071230";       // RDR_KWK_...1230.uf
constexpr const char* kGzipTime = "202612071240";        // .uf.gz
constexpr const char* kTruncatedTime = "202612071250";   // cut inside a record
constexpr const char* kDirectoryTime = "202612071300";   // a directory of the volume's name
constexpr const char* kNoVelocityTime = "202612071310";  // DZ only

inline int quadrant(float azimuth) {
    const int q = static_cast<int>(std::floor(azimuth / 90.0f));
    return ((q % 4) + 4) % 4;
}

inline float patternValue(float azimuth, const std::string& field) {
    if (field == "VR") {
        return azimuth < 90.0f || azimuth >= 270.0f ? -12.0f : 12.0f;
    }
    return kPatternDbz[quadrant(azimuth)];
}

}  // namespace svtest

#endif
