// Writes the siteview test data tree under ROOT: the pattern volume of sv_pattern.h at the
// KWK site as a plain file, a gzip copy, a copy cut inside a record, a directory under a
// volume's name and a volume without the velocity field.
//   siteview_fixture_tree ROOT
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "sv_pattern.h"
#include "testing/site_uf_writer.h"

namespace {

std::string volumePath(const std::string& root, const std::string& tm, const char* ext) {
    const std::string site = svtest::kSite;
    const std::string dir =
        root + "/DATA/RDR/SITE/" + site + "/" + tm.substr(0, 6) + "/" + tm.substr(6, 2);
    std::filesystem::create_directories(dir);
    return dir + "/RDR_" + site + "_" + tm + ext;
}

site_test::UfLayout patternLayout(bool withVelocity) {
    site_test::UfLayout layout;
    layout.fields =
        withVelocity ? std::vector<std::string>{"DZ", "VR"} : std::vector<std::string>{"DZ"};
    layout.elevations = {0.5f, 1.5f, 2.5f, 3.5f, 5.0f, 7.0f, 10.0f, 15.0f};
    layout.raysPerSweep = 360;
    layout.azimuthStep = 1.0f;
    layout.firstAzimuth = 0.5f;  // ray centres between whole degrees, off the quadrant edges
    layout.gateM = 500;
    layout.gates = svtest::kPatternRangeKm * 2;
    // The KWK site.
    layout.latDeg = 37;
    layout.latMin = 26;
    layout.latSec64 = 64 * 31;
    layout.lonDeg = 126;
    layout.lonMin = 57;
    layout.lonSec64 = 64 * 58;
    layout.heightM = 627;
    layout.value = [](int, float azimuth, double, const std::string& field) {
        return svtest::patternValue(azimuth, field);
    };
    return layout;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: siteview_fixture_tree ROOT\n");
        return 2;
    }
    const std::string root = argv[1];
    const site_test::UfFile full = site_test::encodeUf(patternLayout(true));
    bool ok = site_test::writeBytes(volumePath(root, svtest::kPlainTime, ".uf"), full.bytes);
    ok = ok &&
         site_test::writeBytes(volumePath(root, svtest::kGzipTime, ".uf.gz"), full.bytes, true);
    // Cut halfway through a record of the second sweep.
    const size_t cut = full.recordStarts[400] + 100;
    const std::vector<unsigned char> head(full.bytes.begin(),
                                          full.bytes.begin() + static_cast<long>(cut));
    ok = ok && site_test::writeBytes(volumePath(root, svtest::kTruncatedTime, ".uf"), head);
    std::filesystem::create_directories(volumePath(root, svtest::kDirectoryTime, ".uf"));
    ok = ok && site_test::writeBytes(volumePath(root, svtest::kNoVelocityTime, ".uf"),
                                     site_test::encodeUf(patternLayout(false)).bytes);
    if (!ok) {
        std::fprintf(stderr, "siteview_fixture_tree: cannot write under %s\n", root.c_str());
        return 1;
    }
    return 0;
}
