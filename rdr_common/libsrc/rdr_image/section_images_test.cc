// Range-height and time-height images: the beam geometry, synthetic volumes whose field is
// known in closed form at every place, and the real RHI and vertically pointing files
// against an independent decode by the netCDF4 Python module.
#include "section_images.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "colour_tables.h"
#include "image_test_root.h"
#include "nc_fixture.h"
#include "product_image_maker.h"
#include "test_support.h"
#include "volume_formats.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kEffectiveEarthKm = 4.0 / 3.0 * 6371.0;

// Ground distance and height above the antenna of slant range r on a beam at el degrees.
void beamPlace(double r, double el, double* pGround, double* pHeight) {
    const double R = kEffectiveEarthKm, e = el * kPi / 180.0;
    const double px = r * std::cos(e), py = r * std::sin(e);
    // The point in a frame centred on the earth's centre, the antenna at (0, R).
    const double cx = px, cy = R + py;
    *pGround = R * std::atan2(cx, cy);
    *pHeight = std::hypot(cx, cy) - R;
}

struct FreeStd {
    void operator()(STD_RADAR* p) const { fnFreeStdRadar(p); }
};
using StdPtr = std::unique_ptr<STD_RADAR, FreeStd>;

struct GdImage {
    gdImagePtr img = nullptr;
    explicit GdImage(const std::string& path) {
        if (FILE* f = std::fopen(path.c_str(), "rb")) {
            img = gdImageCreateFromPng(f);
            std::fclose(f);
        }
    }
    ~GdImage() {
        if (img != nullptr) {
            gdImageDestroy(img);
        }
    }
    GdImage(const GdImage&) = delete;
    GdImage& operator=(const GdImage&) = delete;
};

class SectionImageTest : public ::testing::Test {
  protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
        colours_.reset(fnReadColorTable((root_.resourceDir() / "color/vyq_rn_tarvo.col").c_str()));
        ASSERT_NE(colours_, nullptr);
    }

    StdPtr loadFixture(const rdrtest::NcVolumeShape& shape) {
        const std::string path = root_.tempFile("volume.nc");
        EXPECT_TRUE(rdrtest::writeNcVolume(path, shape));
        return StdPtr(fnLoadStdRadarFile(path.c_str()));
    }

    // The colour a reflectivity value is drawn in (the product images' level rules).
    int colourOf(float dbz) const {
        const int level = fnGetColorLevel(dbz, colours_.get(), RDR_EN_COLOR_UNIT, 0.0f, 0, 0);
        EXPECT_GE(level, 0) << dbz;
        const RDR_COLOR_INFO& c = colours_->m_echoColorTbl[level < 0 ? 0 : level];
        return gdTrueColor(c.m_iR, c.m_iG, c.m_iB);
    }
    int displayColour(int which) const {
        const RDR_COLOR_INFO& c = colours_->m_dispColorTbl[which];
        return gdTrueColor(c.m_iR, c.m_iG, c.m_iB);
    }

    // Colour of the pixel whose cell holds (x, y) in the axes' units.
    static int pixelAt(gdImagePtr img, const SECTION_IMAGE_AXES& a, double x, double y) {
        const int col = static_cast<int>(
            std::floor((x - a.m_dXLow) / (a.m_dXHigh - a.m_dXLow) * a.m_iPanelWidth));
        const int row = static_cast<int>(
            std::floor((a.m_dYHigh - y) / (a.m_dYHigh - a.m_dYLow) * a.m_iPanelHeight));
        EXPECT_TRUE(col >= 0 && col < a.m_iPanelWidth && row >= 0 && row < a.m_iPanelHeight)
            << x << " " << y;
        return gdImageGetTrueColorPixel(img, a.m_iPanelLeft + col, a.m_iPanelTop + row);
    }

    imgtest::ImageTestRoot root_;
    std::unique_ptr<RDR_COLOR_TBL, decltype(&std::free)> colours_{nullptr, &std::free};
};

TEST(BeamGeometry, FollowsTheFourThirdsEarthModel) {
    // Level beam: the earth falls away by r^2 / 2R under it.
    EXPECT_NEAR(fnBeamHeightKm(100.0f, 0.0f), 100.0 * 100.0 / (2.0 * kEffectiveEarthKm), 2e-3);
    EXPECT_NEAR(fnBeamGroundRangeKm(100.0f, 0.0f), 100.0, 0.01);
    // Straight up: height is the range and the beam stays over the radar; past the zenith the
    // beam lies behind it, mirrored.
    EXPECT_NEAR(fnBeamHeightKm(12.0f, 90.0f), 12.0, 1e-4);
    EXPECT_NEAR(fnBeamGroundRangeKm(12.0f, 90.0f), 0.0, 1e-4);
    EXPECT_NEAR(fnBeamGroundRangeKm(40.0f, 150.0f), -fnBeamGroundRangeKm(40.0f, 30.0f), 1e-3);
    for (double el : {0.5, 5.0, 19.5, 45.0}) {
        double ground, height;
        beamPlace(80.0, el, &ground, &height);
        EXPECT_NEAR(fnBeamHeightKm(80.0f, static_cast<float>(el)), height, 1e-3) << el;
        EXPECT_NEAR(fnBeamGroundRangeKm(80.0f, static_cast<float>(el)), ground, 1e-3) << el;
    }
}

// An RHI at azimuth 90 with rays every degree from 0 to 59 and 81 to 180 (over the zenith
// and down behind the radar), 200 bins of 250 m. The field is 12, 22, 32 or 42 dBZ by
// elevation band (0-20, 20-40, 40-60, beyond 80), 20 more from 25 km on, and no data below
// 5 degrees between 30 and 35 km.
rdrtest::NcVolumeShape syntheticRhi() {
    rdrtest::NcVolumeShape shape;
    std::vector<float> elevations;
    for (int e = 0; e <= 180; ++e) {
        if (e < 60 || e > 80) {
            elevations.push_back(static_cast<float>(e));
        }
    }
    shape.m_nTime = static_cast<int>(elevations.size());
    shape.m_nRange = 200;
    shape.m_sweepStart = {0};
    shape.m_sweepEnd = {shape.m_nTime - 1};
    shape.m_fixedAngle = {90.0f};
    shape.m_sweepMode = {"rhi"};
    for (int b = 0; b < shape.m_nRange; ++b) {
        shape.m_range.push_back(125.0f + 250.0f * b);
    }
    shape.m_firstGate = 125.0f;
    shape.m_gateSpacing = 250.0f;
    rdrtest::NcMomentShape dbz;
    dbz.m_name = "DBZ";
    dbz.m_fill = -9999.0;
    for (int i = 0; i < shape.m_nTime; ++i) {
        const float el = elevations[i];
        shape.m_time.push_back(i * 0.1);
        shape.m_azimuth.push_back(90.0f);
        shape.m_elevation.push_back(el);
        for (int b = 0; b < shape.m_nRange; ++b) {
            const double r = 0.125 + 0.25 * b;
            const double band = el < 20 ? 12 : el < 40 ? 22 : el < 60 ? 32 : 42;
            const bool gap = el < 5 && r >= 30.0 && r < 35.0;
            dbz.m_values.push_back(gap ? -9999.0 : band + (r >= 25.0 ? 20.0 : 0.0));
        }
    }
    shape.m_moments.push_back(dbz);
    return shape;
}

TEST_F(SectionImageTest, RhiPutsEachBinWhereTheBeamIs) {
    StdPtr volume = loadFixture(syntheticRhi());
    ASSERT_NE(volume, nullptr);
    ASSERT_EQ(volume->m_hdr.m_iSweepMode, STD_EN_SWMD_RHI);
    const std::string out = root_.tempFile("rhi.png");
    SECTION_IMAGE_OPTION option{};
    option.m_iImgType = RDR_EN_IMG_TYPE_PNG;
    SECTION_IMAGE_AXES axes{};
    ASSERT_EQ(fnMakeRhiImage(volume.get(), 0, "DZ", nullptr, option, out.c_str(), &axes), 1);
    // Behind the radar as far as in front; the top at the 20 km default.
    EXPECT_NEAR(axes.m_dXHigh, 50.1, 0.05);
    EXPECT_NEAR(axes.m_dXLow, -50.1, 0.05);
    EXPECT_DOUBLE_EQ(axes.m_dYHigh, 20.0);
    GdImage png(out);
    ASSERT_NE(png.img, nullptr);

    struct Probe {
        double r, el;
        float dbz;
    };
    for (const Probe& p :
         {Probe{10, 10, 12}, Probe{10, 30, 22}, Probe{15, 50, 32}, Probe{40, 10, 32},
          Probe{20, 120, 42}, Probe{30, 150, 62}, Probe{30, 38, 42}}) {
        double ground, height;
        beamPlace(p.r, p.el, &ground, &height);
        EXPECT_EQ(pixelAt(png.img, axes, ground, height), colourOf(p.dbz))
            << "r " << p.r << " el " << p.el;
    }
    double ground, height;
    beamPlace(32.5, 2.5, &ground, &height);
    EXPECT_EQ(pixelAt(png.img, axes, ground, height), displayColour(RDR_EN_IN_BOUND_COLOR))
        << "a bin without data lies inside the coverage";
    beamPlace(20, 70, &ground, &height);
    EXPECT_EQ(pixelAt(png.img, axes, ground, height), displayColour(RDR_EN_OUT_BOUND_COLOR))
        << "no ray between 60 and 80 degrees";
    EXPECT_EQ(pixelAt(png.img, axes, 48.0, 19.0), displayColour(RDR_EN_OUT_BOUND_COLOR))
        << "beyond the last bin";

    // Both axes labelled in km, ticks every 10 km across and 5 km up.
    const int black = gdTrueColor(0, 0, 0);
    const int bottom = axes.m_iPanelTop + axes.m_iPanelHeight;
    const int W = gdImageSX(png.img), H = gdImageSY(png.img);
    EXPECT_TRUE(
        imgtest::hasText(png.img, "Distance from radar (km)", black, 0, bottom, W - 1, H - 1));
    for (const char* tick : {"-40", "0", "30"}) {
        EXPECT_TRUE(imgtest::hasText(png.img, tick, black, 0, bottom, W - 1, H - 1)) << tick;
    }
    for (const char* tick : {"5", "15"}) {
        EXPECT_TRUE(imgtest::hasText(png.img, tick, black, 0, axes.m_iPanelTop - 8,
                                     axes.m_iPanelLeft, bottom))
            << tick;
    }
}

TEST_F(SectionImageTest, RhiOptionsAndRefusals) {
    StdPtr volume = loadFixture(syntheticRhi());
    ASSERT_NE(volume, nullptr);
    const std::string out = root_.tempFile("rhi.gif");
    SECTION_IMAGE_OPTION option{};
    option.m_iImgType = RDR_EN_IMG_TYPE_GIF;
    option.m_fMaxRangeKm = 30.0f;
    option.m_fMaxHeightKm = 8.0f;
    option.m_iPanelWidth = 300;
    option.m_iPanelHeight = 200;
    SECTION_IMAGE_AXES axes{};
    ASSERT_EQ(fnMakeRhiImage(volume.get(), 0, "RN", "SITE", option, out.c_str(), &axes), 1)
        << "rain rate from reflectivity";
    EXPECT_DOUBLE_EQ(axes.m_dXLow, -30.0);
    EXPECT_DOUBLE_EQ(axes.m_dXHigh, 30.0);
    EXPECT_DOUBLE_EQ(axes.m_dYHigh, 8.0);
    EXPECT_EQ(axes.m_iPanelWidth, 300);
    FILE* f = std::fopen(out.c_str(), "rb");
    ASSERT_NE(f, nullptr);
    char magic[4] = {};
    EXPECT_EQ(std::fread(magic, 1, 3, f), 3u);
    std::fclose(f);
    EXPECT_STREQ(magic, "GIF");

    const std::string none = root_.tempFile("none.png");
    option.m_iImgType = RDR_EN_IMG_TYPE_PNG;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(fnMakeRhiImage(volume.get(), 1, "DZ", nullptr, option, none.c_str()), 0);
    EXPECT_EQ(fnMakeRhiImage(volume.get(), -1, "DZ", nullptr, option, none.c_str()), 0);
    EXPECT_EQ(fnMakeRhiImage(volume.get(), 0, "VR", nullptr, option, none.c_str()), 0);
    option.m_iPanelWidth = 100000;
    EXPECT_EQ(fnMakeRhiImage(volume.get(), 0, "DZ", nullptr, option, none.c_str()), 0);
    const std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("fnMakeRhiImage : no sweep 1 (the volume has 1)"), std::string::npos) << err;
    EXPECT_NE(err.find("has no rays of VR"), std::string::npos) << err;
    EXPECT_FALSE(std::filesystem::exists(none));
}

// A vertically pointing file of one ray per sweep, four rays a second, starting 0.3 s into
// its first second; no rays between 5.3 s and 12.3 s. 12 dBZ before the pause, 32 after,
// 20 more from 5 km up.
TEST_F(SectionImageTest, TimeHeightSpreadsRaysOverTheirSecondAndShowsPauses) {
    rdrtest::NcVolumeShape shape;
    shape.m_nTime = 40;
    shape.m_nRange = 80;
    for (int b = 0; b < shape.m_nRange; ++b) {
        shape.m_range.push_back(125.0f + 250.0f * b);
    }
    shape.m_firstGate = 125.0f;
    shape.m_gateSpacing = 250.0f;
    rdrtest::NcMomentShape dbz;
    dbz.m_name = "DBZ";
    for (int i = 0; i < shape.m_nTime; ++i) {
        shape.m_sweepStart.push_back(i);
        shape.m_sweepEnd.push_back(i);
        shape.m_fixedAngle.push_back(90.0f);
        shape.m_sweepMode.push_back("vertical_pointing");
        shape.m_time.push_back(i < 20 ? 0.3 + 0.25 * i : 12.3 + 0.25 * (i - 20));
        shape.m_azimuth.push_back(static_cast<float>(i * 7 % 360));
        shape.m_elevation.push_back(90.0f);
        for (int b = 0; b < shape.m_nRange; ++b) {
            dbz.m_values.push_back((i < 20 ? 12.0 : 32.0) + (0.125 + 0.25 * b >= 5.0 ? 20 : 0));
        }
    }
    shape.m_moments.push_back(dbz);
    StdPtr volume = loadFixture(shape);
    ASSERT_NE(volume, nullptr);
    ASSERT_EQ(volume->m_hdr.m_iSweepMode, STD_EN_SWMD_VERTICAL);
    const double t0 = static_cast<double>(volume->m_ppSweep[0]->m_ppRay[0]->m_hdr.m_tTime);

    const std::string out = root_.tempFile("th.png");
    SECTION_IMAGE_OPTION option{};
    option.m_iImgType = RDR_EN_IMG_TYPE_PNG;
    SECTION_IMAGE_AXES axes{};
    ASSERT_EQ(fnMakeTimeHeightImage(volume.get(), "DZ", nullptr, option, out.c_str(), &axes), 1);
    EXPECT_NEAR(axes.m_dXLow, t0 + 0.3 - 0.125, 0.1);
    EXPECT_NEAR(axes.m_dXHigh, t0 + 17.05 + 0.125, 0.1);
    EXPECT_DOUBLE_EQ(axes.m_dYHigh, 20.0);
    GdImage png(out);
    ASSERT_NE(png.img, nullptr);
    // The partly scanned first second has no holes between its rays.
    for (double t : {0.3, 0.4, 0.6, 0.9, 1.1, 3.0, 5.1}) {
        EXPECT_EQ(pixelAt(png.img, axes, t0 + t, 2.0), colourOf(12)) << t;
        EXPECT_EQ(pixelAt(png.img, axes, t0 + t, 8.0), colourOf(32)) << t;
    }
    for (double t : {6.0, 9.0, 12.0}) {
        EXPECT_EQ(pixelAt(png.img, axes, t0 + t, 2.0), displayColour(RDR_EN_OUT_BOUND_COLOR))
            << "pause at " << t;
    }
    for (double t : {12.4, 14.0, 17.1}) {
        EXPECT_EQ(pixelAt(png.img, axes, t0 + t, 2.0), colourOf(32)) << t;
        EXPECT_EQ(pixelAt(png.img, axes, t0 + t, 8.0), colourOf(52)) << t;
    }
    const int bottom = axes.m_iPanelTop + axes.m_iPanelHeight;
    EXPECT_TRUE(imgtest::hasText(png.img, "Time (KST)", gdTrueColor(0, 0, 0), 0, bottom,
                                 gdImageSX(png.img) - 1, gdImageSY(png.img) - 1));
}

// The decoder: for each probe (x, y) of a section image, the nearest ray (by elevation, or
// by time from the first ray's whole second) and the gate nearest to the probe's slant
// range, with the neighbouring ray on either side and two gates on either side (the volume
// keeps gate spacing in whole metres, 124.9 m becomes 125 m, and a bin reaches from its
// range to the next one's): the moment's values there ("nan" without data), or "skip" when
// the probe lies off every ray or past the last gate.
const char* const kProbeScript = R"PY(
import sys, math
import numpy as np
import netCDF4

path, var, mode, probes, out = sys.argv[1:6]
d = netCDF4.Dataset(path)
d.set_auto_maskandscale(True)
data = d.variables[var][:]
mask = np.ma.getmaskarray(data)
rng = d.variables['range'][:] / 1000.0
el = np.asarray(d.variables['elevation'][:], dtype=float)
t = np.asarray(d.variables['time'][:], dtype=float)
R = 4.0 / 3.0 * 6371.0
spacing = float(rng[1] - rng[0])
if mode == 'rhi':
    axis = el
    half = 0.2
else:
    axis = t - math.floor(t.min())
    half = 0.08
order = np.argsort(axis, kind='stable')
sorted_axis = axis[order]
with open(probes) as f, open(out, 'w') as o:
    for line in f:
        x, y = map(float, line.split())
        if mode == 'rhi':
            th = x / R
            px = (R + y) * math.sin(th)
            py = (R + y) * math.cos(th) - R
            a = math.degrees(math.atan2(py, px))
        else:
            a = x
        k = int(np.argmin(np.abs(sorted_axis - a)))
        if abs(sorted_axis[k] - a) > half:
            o.write('skip\n')
            continue
        if mode == 'rhi':
            r = math.hypot(px, py)
        else:
            s = math.sin(math.radians(el[order[k]]))
            r = -R * s + math.sqrt(R * R * s * s + (R + y) ** 2 - R * R)
        g = int(np.argmin(np.abs(rng - r)))
        if abs(rng[g] - r) > spacing or g + 2 >= len(rng) or g < 2:
            o.write('skip\n')
            continue
        rays = order[max(k - 1, 0):k + 2]
        block = data[rays, g - 2:g + 3]
        m = mask[rays, g - 2:g + 3]
        vals = block.filled(np.nan).ravel()
        o.write(' '.join('nan' if np.isnan(v) else repr(float(v)) for v in vals) + '\n')
)PY";

struct RealProbe {
    double x, y;
    bool skip = true;
    std::vector<double> values;  // NaN without data
};

// Probes every 4th pixel of the panel through the decoder.
std::vector<RealProbe> decodeProbes(const rdrtest::TempDir& dir, const std::string& file,
                                    const char* szVar, const char* szMode,
                                    const SECTION_IMAGE_AXES& a, double xOffset) {
    std::vector<RealProbe> probes;
    const std::string in = dir.file("probes.txt"), out = dir.file("values.txt");
    {
        std::ofstream f(in);
        f.precision(12);
        for (int row = 2; row < a.m_iPanelHeight; row += 4) {
            for (int col = 2; col < a.m_iPanelWidth; col += 4) {
                RealProbe p;
                p.x = a.m_dXLow + (col + 0.5) * (a.m_dXHigh - a.m_dXLow) / a.m_iPanelWidth;
                p.y = a.m_dYHigh - (row + 0.5) * (a.m_dYHigh - a.m_dYLow) / a.m_iPanelHeight;
                f << p.x - xOffset << " " << p.y << "\n";
                probes.push_back(p);
            }
        }
    }
    const std::string script = dir.file("probe.py");
    std::ofstream(script) << kProbeScript;
    const std::string command = "/usr/bin/python3 '" + script + "' '" + file + "' " + szVar + " " +
                                szMode + " '" + in + "' '" + out + "'";
    if (std::system(command.c_str()) != 0) {
        return {};
    }
    std::ifstream f(out);
    std::string line;
    for (RealProbe& p : probes) {
        if (!std::getline(f, line)) {
            return {};
        }
        if (line == "skip") {
            continue;
        }
        std::istringstream ss(line);
        p.skip = false;
        std::string v;
        while (ss >> v) {
            p.values.push_back(v == "nan" ? NAN : std::stod(v));
        }
    }
    return probes;
}

class SectionImageRealFileTest : public SectionImageTest {
  protected:
    void SetUp() override {
        if (!rdrtest::haveSharedData()) {
            GTEST_SKIP() << "no ../shared/data";
        }
        SectionImageTest::SetUp();
    }

    // Every probe shows the colour of one of the values around it (the in-coverage colour
    // for a bin without data or below the scale). At least minEcho of them have echo around
    // them, and at least minEmpty have nothing to draw around them.
    void checkProbes(gdImagePtr img, const SECTION_IMAGE_AXES& axes,
                     const std::vector<RealProbe>& probes, int minEcho, int minEmpty) {
        ASSERT_FALSE(probes.empty()) << "the decoder failed";
        int echo = 0, empty = 0, checked = 0;
        for (const RealProbe& p : probes) {
            if (p.skip) {
                continue;
            }
            std::set<int> allowed;
            for (double v : p.values) {
                const int level = std::isnan(v)
                                      ? -1
                                      : fnGetColorLevel(static_cast<float>(v), colours_.get(),
                                                        RDR_EN_COLOR_UNIT, 0.0f, 0, 0);
                allowed.insert(level < 0 ? displayColour(RDR_EN_IN_BOUND_COLOR)
                                         : colourOf(static_cast<float>(v)));
            }
            const int pixel = pixelAt(img, axes, p.x, p.y);
            EXPECT_EQ(allowed.count(pixel), 1u) << p.x << " " << p.y;
            ++checked;
            const bool bEmpty =
                allowed.size() == 1 && *allowed.begin() == displayColour(RDR_EN_IN_BOUND_COLOR);
            ++(bEmpty ? empty : echo);
        }
        EXPECT_GE(echo, minEcho);
        EXPECT_GE(empty, minEmpty);
        std::printf("%d probes checked, %d with echo around, %d without\n", checked, echo, empty);
    }
    rdrtest::TempDir dir_;
};

TEST_F(SectionImageRealFileTest, Dow8RhiAgreesWithTheFileBinByBin) {
    const std::string file = rdrtest::sharedData(
        "cfradial/cfrad.20211011_223602.712_to_20211011_223612.091_DOW8_RHI.nc");
    StdPtr volume(fnLoadStdRadarFile(file.c_str()));
    ASSERT_NE(volume, nullptr);
    const std::string out = root_.tempFile("dow8.png");
    SECTION_IMAGE_OPTION option{};
    option.m_iImgType = RDR_EN_IMG_TYPE_PNG;
    SECTION_IMAGE_AXES axes{};
    ASSERT_EQ(fnMakeRhiImage(volume.get(), 0, "DZ", nullptr, option, out.c_str(), &axes), 1);
    EXPECT_DOUBLE_EQ(axes.m_dXLow, 0.0);
    EXPECT_NEAR(axes.m_dXHigh, 118.8, 0.2);
    GdImage png(out);
    ASSERT_NE(png.img, nullptr);
    checkProbes(png.img, axes, decodeProbes(dir_, file, "DBZHC", "rhi", axes, 0.0), 2000, 8000);
}

TEST_F(SectionImageRealFileTest, VerticallyPointingFileAsTimeHeight) {
    const std::string file = rdrtest::sharedData("cfradial/sgpxsaprcfrvptI4.a1.20200205.100827.nc");
    StdPtr volume(fnLoadStdRadarFile(file.c_str()));
    ASSERT_NE(volume, nullptr);
    const std::string out = root_.tempFile("vpt.png");
    SECTION_IMAGE_OPTION option{};
    option.m_iImgType = RDR_EN_IMG_TYPE_PNG;
    SECTION_IMAGE_AXES axes{};
    ASSERT_EQ(fnMakeTimeHeightImage(volume.get(), "DZ", nullptr, option, out.c_str(), &axes), 1);
    // 360 rays from 10:08:27.454 to 10:09:03.316 UTC.
    const double t0 = static_cast<double>(volume->m_ppSweep[0]->m_ppRay[0]->m_hdr.m_tTime);
    EXPECT_NEAR(axes.m_dXLow, t0 + 0.45, 0.1);
    EXPECT_NEAR(axes.m_dXHigh, t0 + 36.4, 0.1);
    GdImage png(out);
    ASSERT_NE(png.img, nullptr);
    checkProbes(png.img, axes, decodeProbes(dir_, file, "reflectivity", "th", axes, t0), 5000,
                8000);
}

}  // namespace
