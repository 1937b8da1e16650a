#include "image_overlays.h"

#include <gtest/gtest.h>

#include <iconv.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "image_test_root.h"
#include "map_projections.h"
#include "owned_handles.h"

namespace {

using imgtest::countColour;
using imgtest::northOf;

using Image = rdr::GdImageHandle;

constexpr float kLon = 127.0f;
constexpr float kLat = 37.0f;
const int kLine = gdTrueColor(255, 0, 0);

Image blank(int w, int h) {
    Image img(gdImageCreateTrueColor(w, h));
    gdImageFilledRectangle(img.get(), 0, 0, w - 1, h - 1, gdTrueColor(255, 255, 255));
    return img;
}

std::string eucKr(const std::string& utf8) {
    iconv_t cd = iconv_open("EUC-KR", "UTF-8");
    std::string in = utf8, out(utf8.size() * 2 + 4, '\0');
    char* pIn = in.data();
    char* pOut = out.data();
    size_t inLeft = in.size(), outLeft = out.size();
    iconv(cd, &pIn, &inLeft, &pOut, &outLeft);
    iconv_close(cd);
    out.resize(out.size() - outLeft);
    return out;
}

TEST(CompositeMap, DrawsLineCodesAtTheirGridCells) {
    imgtest::ImageTestRoot root;
    root.writeCompMap("map_data.bln",
                      {{0, {{10, 100}, {100, 100}}},  // row 600 - 2 * 100, columns 20-200
                       {1, {{70, 70}}},               // one point: consumed, nothing drawn
                       {3, {{150, 10}, {150, 250}}},  // a class that is never drawn
                       {2, {{50, 10}, {50, 50}}}});   // column 100, rows 580 up to 500
    Image img = blank(480, 600);
    ASSERT_EQ(fnDrawCompImgMap(const_cast<char*>("COMP_240"), img.get(), 480, 600, 2.0f, 0, 0, 0, 0,
                               kLine),
              1);
    EXPECT_EQ(countColour(img.get(), kLine, 20, 400, 200, 400), 181);
    EXPECT_EQ(countColour(img.get(), kLine, 100, 500, 100, 580), 81);
    EXPECT_EQ(countColour(img.get(), kLine, 300, 0, 300, 599), 0);
    EXPECT_EQ(countColour(img.get(), kLine, 0, 0, 479, 599), 181 + 81);
}

TEST(CompositeMap, OtherKindsReadTheWideMapWithTheirOrigin) {
    imgtest::ImageTestRoot root;
    root.writeCompMap("F2R_map4.bln", {{0, {{-62, 100}, {0, 100}}}});
    Image img = blank(526, 576);
    // COMP_480: 3 km pixels, origin (-92, 71): columns (x + 92) * 4/3, row 576 - 171 * 4/3.
    ASSERT_EQ(fnDrawCompImgMap(const_cast<char*>("COMP_480"), img.get(), 526, 576, 3.0f, -92, 71, 0,
                               0, kLine),
              1);
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), 80, 348), kLine);
    EXPECT_EQ(countColour(img.get(), kLine, 0, 0, 525, 575), 122 - 40 + 1);
}

TEST(CompositeMap, AbsentOrDamagedFilesDrawNothing) {
    imgtest::ImageTestRoot root;
    Image img = blank(100, 100);
    EXPECT_EQ(
        fnDrawCompImgMap(const_cast<char*>("COMP_240"), img.get(), 100, 100, 2, 0, 0, 0, 0, kLine),
        1);
    EXPECT_EQ(fnDrawCompImgMap(nullptr, img.get(), 100, 100, 2, 0, 0, 0, 0, kLine), -1);
    EXPECT_EQ(
        fnDrawCompImgMap(const_cast<char*>("COMP_240"), nullptr, 100, 100, 2, 0, 0, 0, 0, kLine),
        -1);
    // A count far beyond the file's end, a NaN count and a truncated point.
    std::string bytes;
    imgtest::ImageTestRoot::put(&bytes, 1e9f);
    imgtest::ImageTestRoot::put(&bytes, 0.0f);
    imgtest::ImageTestRoot::put(&bytes, 1.0f);
    imgtest::ImageTestRoot::put(&bytes, 1.0f);
    root.writeRaw("map/map_data.bln", bytes);
    EXPECT_EQ(
        fnDrawCompImgMap(const_cast<char*>("COMP_240"), img.get(), 100, 100, 2, 0, 0, 0, 0, kLine),
        1);
    bytes.clear();
    imgtest::ImageTestRoot::put(&bytes, std::nanf(""));
    imgtest::ImageTestRoot::put(&bytes, 0.0f);
    imgtest::ImageTestRoot::put(&bytes, 1.0f);
    imgtest::ImageTestRoot::put(&bytes, 1.0f);
    imgtest::ImageTestRoot::put(&bytes, 3.0f);
    root.writeRaw("map/map_data.bln", bytes);
    EXPECT_EQ(
        fnDrawCompImgMap(const_cast<char*>("COMP_240"), img.get(), 100, 100, 2, 0, 0, 0, 0, kLine),
        1);
    EXPECT_EQ(countColour(img.get(), kLine, 0, 0, 99, 99), 0);
}

TEST(SiteMap, ProjectsAroundTheSiteWithNorthUp) {
    imgtest::ImageTestRoot root;
    // A meridian 50 to 150 km north of the site (shore class) and one 50 to 150 km south
    // (fine-detail class).
    root.writeSiteMap({{1, {{northOf(kLat, 50), kLon}, {northOf(kLat, 150), kLon}}},
                       {3, {{northOf(kLat, -50), kLon}, {northOf(kLat, -150), kLon}}}});
    Image coarse = blank(513, 513);
    ASSERT_EQ(fnDrawSiteImgMap(coarse.get(), 513, 513, 1.0f, kLon, kLat, 256, 256, kLine), 1);
    // Site at column 256, row 512 - 256; north is up.
    EXPECT_EQ(countColour(coarse.get(), kLine, 256, 106, 256, 206), 101);
    EXPECT_EQ(countColour(coarse.get(), kLine, 0, 0, 512, 512), 101);  // no fine detail

    Image fine = blank(513, 513);
    ASSERT_EQ(fnDrawSiteImgMap(fine.get(), 513, 513, 0.25f, kLon, kLat, 256, 256, kLine), 1);
    // 50 km = 200 pixels: the northern line is 2 pixels wide, the fine-detail line 1.
    const int rowNorth = 512 - 256 - 300, rowSouth = 512 - 256 + 300;
    EXPECT_EQ(countColour(fine.get(), kLine, 250, rowNorth + 50, 262, rowNorth + 50), 2);
    EXPECT_EQ(countColour(fine.get(), kLine, 250, rowSouth - 50, 262, rowSouth - 50), 1);
    EXPECT_EQ(gdImageGetTrueColorPixel(fine.get(), 256, rowSouth - 50), kLine);
}

TEST(SiteMap, AbsentOrShortFiles) {
    imgtest::ImageTestRoot root;
    Image img = blank(64, 64);
    EXPECT_EQ(fnDrawSiteImgMap(img.get(), 64, 64, 1.0f, kLon, kLat, 32, 32, kLine), 0);
    std::string bytes;
    imgtest::ImageTestRoot::put(&bytes, int32_t{1000});  // claims more points than follow
    imgtest::ImageTestRoot::put(&bytes, int32_t{1});
    imgtest::ImageTestRoot::put(&bytes, kLat);
    imgtest::ImageTestRoot::put(&bytes, kLon);
    root.writeRaw("map/fine_kr_binary.dat", bytes);
    EXPECT_EQ(fnDrawSiteImgMap(img.get(), 64, 64, 1.0f, kLon, kLat, 32, 32, kLine), 1);
    EXPECT_EQ(countColour(img.get(), kLine, 0, 0, 63, 63), 0);
    EXPECT_EQ(fnDrawSiteImgMap(nullptr, 64, 64, 1.0f, kLon, kLat, 32, 32, kLine), 0);
}

TEST(SiteMap, LinesAcrossTheAntipodeAreLeftOut) {
    imgtest::ImageTestRoot root;
    // A short line across the point opposite the site: its ends project 20,000 km away on
    // opposite sides of the plane, and a line joining them would cut through the image.
    const std::vector<imgtest::SitePolyline> across = {
        {1, {{-kLat, kLon - 180.5f}, {-kLat, kLon - 179.5f}}}};
    root.writeSiteMap(across);
    root.writeWorldMap(across);
    Image img = blank(513, 513);
    ASSERT_EQ(fnDrawSiteImgMap(img.get(), 513, 513, 1.0f, kLon, kLat, 256, 256, kLine), 1);
    ASSERT_EQ(fnDrawSiteImgWorldMap(img.get(), 513, 513, 1.0f, kLon, kLat, 256, 256, kLine), 1);
    EXPECT_EQ(countColour(img.get(), kLine, 0, 0, 512, 512), 0);
}

// World lines: national lines whose points span 36-38 N, 126-128 E (two one-point records
// that draw nothing themselves), the site in the middle, and a world meridian at 127.5 E
// from 37 to 39 N.
struct WorldMapFixture : ::testing::Test {
    imgtest::ImageTestRoot root;
    WorldMapFixture() {
        root.writeSiteMap({{1, {{36.0f, 126.0f}}}, {1, {{38.0f, 128.0f}}}});
        root.writeWorldMap({{1,
                             {{37.0f, 127.5f},
                              {37.5f, 127.5f},
                              {38.0f, 127.5f},
                              {38.5f, 127.5f},
                              {39.0f, 127.5f}}}});
    }
    // Rows of 0.5 degrees of latitude north of the site at 1 km per pixel, on a 513 image.
    static int rowNorth(double deg) {
        return 256 - static_cast<int>(std::lround(deg * imgtest::kEarthKm * M_PI / 180.0));
    }
};

TEST_F(WorldMapFixture, DrawnOnlyWhereTheNationalLinesEnd) {
    Image img = blank(513, 513);
    gdImageSetThickness(img.get(), 3);
    ASSERT_EQ(fnDrawSiteImgWorldMap(img.get(), 513, 513, 1.0f, kLon, kLat, 256, 256, kLine), 1);
    EXPECT_EQ(img->thick, 3);
    // 127.5 E is 44 km east of the site; 38 N is 111 km north of it, 39 N 222 km.
    const int x0 = 256 + 40, x1 = 256 + 50;
    EXPECT_GE(countColour(img.get(), kLine, x0, rowNorth(2.0) + 1, x1, rowNorth(1.0) - 1), 105);
    EXPECT_EQ(countColour(img.get(), kLine, x0, rowNorth(1.0) + 2, x1, 512), 0);
    EXPECT_EQ(countColour(img.get(), kLine, 0, 0, x0 - 1, 512), 0);
}

TEST_F(WorldMapFixture, ImagesWithinTheNationalLinesNeedNoWorldFile) {
    Image small = blank(101, 101);  // 50 km around the site: inside 36-38 N, 126-128 E
    root.remove("map/world_binary.dat");
    EXPECT_EQ(fnDrawSiteImgWorldMap(small.get(), 101, 101, 1.0f, kLon, kLat, 50, 50, kLine), 1);
    EXPECT_EQ(countColour(small.get(), kLine, 0, 0, 100, 100), 0);
    // A window that reaches past them cannot do without it.
    Image big = blank(513, 513);
    EXPECT_EQ(fnDrawSiteImgWorldMap(big.get(), 513, 513, 1.0f, kLon, kLat, 256, 256, kLine), 0);
    EXPECT_EQ(fnDrawSiteImgWorldMap(nullptr, 513, 513, 1.0f, kLon, kLat, 256, 256, kLine), 0);
}

TEST_F(WorldMapFixture, WithoutNationalLinesTheWholeWorldFileIsDrawn) {
    root.remove("map/fine_kr_binary.dat");
    Image img = blank(513, 513);
    ASSERT_EQ(fnDrawSiteImgWorldMap(img.get(), 513, 513, 1.0f, kLon, kLat, 256, 256, kLine), 1);
    EXPECT_GE(countColour(img.get(), kLine, 256 + 40, rowNorth(2.0) + 1, 256 + 50, 255), 215);
}

TEST(Stations, MarkAndNameFromTheListOfTheGridSize) {
    imgtest::ImageTestRoot root;
    const int dot = gdTrueColor(0, 0, 150), text = gdTrueColor(0, 0, 0);
    char coarse[256], fine[256];
    // The coarse list holds a Korean name in EUC-KR 100 km north of the site and a place
    // far outside the image; the fine list one ASCII name 20 km north.
    std::snprintf(coarse, sizeof coarse, "2\n%s %.6f %.6f\nFar 10.0 10.0\n", eucKr("서울").c_str(),
                  northOf(kLat, 100), kLon);
    std::snprintf(fine, sizeof fine, "1\nNear %.6f %.6f\n", northOf(kLat, 20), kLon);
    root.writeRaw("aws/aws_pos_han_1.txt", coarse);
    root.writeRaw("aws/aws_pos_han_2.txt", fine);

    Image img = blank(513, 513);
    ASSERT_EQ(fnDrawSiteImgAws(img.get(), 513, 513, 1.0f, kLon, kLat, 256, 256, dot, text), 1);
    // Dot centred at (c + 1, r), c = 256, r = 512 - 356; the name from (c - 25, r - 2) up.
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), 257, 156), dot);
    EXPECT_GT(countColour(img.get(), dot, 254, 153, 260, 159), 6);
    EXPECT_GT(imgtest::countDark(img.get(), 231, 140, 270, 154), 30);  // two glyphs
    EXPECT_EQ(countColour(img.get(), dot, 0, 0, 512, 140), 0);

    Image fineImg = blank(513, 513);
    ASSERT_EQ(fnDrawSiteImgAws(fineImg.get(), 513, 513, 0.25f, kLon, kLat, 256, 256, dot, text), 1);
    EXPECT_EQ(gdImageGetTrueColorPixel(fineImg.get(), 257, 512 - 256 - 80), dot);

    root.writeRaw("aws/aws_pos_han_1.txt", "many\n");
    EXPECT_EQ(fnDrawSiteImgAws(img.get(), 513, 513, 1.0f, kLon, kLat, 256, 256, dot, text), 0);
    root.remove("aws/aws_pos_han_1.txt");
    EXPECT_EQ(fnDrawSiteImgAws(img.get(), 513, 513, 1.0f, kLon, kLat, 256, 256, dot, text), 0);
}

TEST(Stations, AnOverlongNameEndsTheListBeforeAnythingIsMisread) {
    // "B" lies 20 km north of the site: drawn after a normal entry, never after a name too
    // long for the buffer (whose tail would otherwise be read as coordinates).
    imgtest::ImageTestRoot root;
    const int dot = gdTrueColor(0, 0, 150), text = gdTrueColor(0, 0, 0);
    char entryB[64];
    std::snprintf(entryB, sizeof entryB, "B %.6f %.6f\n", northOf(kLat, 20), kLon);
    for (const std::string& first : {std::string("A"), std::string(5000, 'x')}) {
        SCOPED_TRACE(first.size() == 1 ? "short name" : "overlong name");
        root.writeRaw("aws/aws_pos_han_1.txt", "2\n" + first + " 10.0 10.0\n" + entryB);
        Image img = blank(101, 101);
        EXPECT_EQ(fnDrawSiteImgAws(img.get(), 101, 101, 1.0f, kLon, kLat, 50, 50, dot, text), 1);
        // B's dot at (c + 1, r) = (51, 100 - 70).
        const int drawn = countColour(img.get(), dot, 48, 27, 54, 33);
        if (first.size() == 1) {
            EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), 51, 30), dot);
            EXPECT_GT(drawn, 6);
        } else {
            EXPECT_EQ(countColour(img.get(), dot, 0, 0, 100, 100), 0);
            EXPECT_EQ(imgtest::countDark(img.get(), 0, 0, 100, 100), 0);
        }
    }
}

}  // namespace

namespace {

// The installed map files: real shorelines pass the coastal landmarks below, in both the
// geographic site file and the pre-projected composite file (checked with the radar core's
// own Lambert projection, so the generator and the drawing agree).
struct Landmark {
    const char* name;
    float lat, lon;
};
const Landmark kCoast[] = {
    {"Haeundae beach, Busan", 35.1587f, 129.1604f},
    {"Seongsan Ilchulbong, Jeju", 33.4581f, 126.9425f},
    {"Homigot, Pohang", 36.0766f, 129.5695f},
    {"Ulleungdo, Dodong harbour", 37.4843f, 130.9095f},
};

std::vector<unsigned char> readStaged(const std::string& relative) {
    std::ifstream in(std::string(RDR_STAGED_ROOT) + "/rdr/www/cgi-src/resource/" + relative,
                     std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

template <typename T>
T at(const std::vector<unsigned char>& b, size_t pos) {
    T v;
    std::memcpy(&v, b.data() + pos, 4);
    return v;
}

TEST(InstalledMaps, ShorelinesPassKnownCoastalPoints) {
    const std::vector<unsigned char> site = readStaged("map/fine_kr_binary.dat");
    const std::vector<unsigned char> comp = readStaged("map/map_data.bln");
    ASSERT_GT(site.size(), 100000u);
    ASSERT_GT(comp.size(), 100000u);
    LAMC_PARAMETER lamc = fnGetLamcMapInfo(6371.00877f, 4.0f, 30, 60, 126, 38, 100, 200);
    LAMC_VAR lamcVar{};
    for (const Landmark& l : kCoast) {
        double best = 1e9;  // km, along the ground (small distances: flat approximation)
        for (size_t p = 0; p + 8 <= site.size();) {
            const int32_t n = at<int32_t>(site, p), cls = at<int32_t>(site, p + 4);
            p += 8;
            ASSERT_GE(n, 0);
            for (int32_t i = 0; i < n && p + 8 <= site.size(); ++i, p += 8) {
                const float lat = at<float>(site, p), lon = at<float>(site, p + 4);
                const double dy = (lat - l.lat) * 111.2;
                const double dx = (lon - l.lon) * 111.2 * std::cos(l.lat * 3.14159265 / 180);
                if (cls == 1 || cls == 3) {
                    best = std::min(best, std::hypot(dx, dy));
                }
            }
        }
        EXPECT_LT(best, 1.5) << l.name;

        float lon = l.lon, lat = l.lat, x = 0, y = 0;
        fnLamcProj(&lon, &lat, &x, &y, RDR_EN_PROJ_TO_GRID, &lamc, &lamcVar);
        double bestCells = 1e9;
        for (size_t p = 0; p + 8 <= comp.size();) {
            const float fn = at<float>(comp, p), code = at<float>(comp, p + 4);
            p += 8;
            for (int i = 0; i < static_cast<int>(fn) && p + 8 <= comp.size(); ++i, p += 8) {
                if (code == 0.0f) {
                    bestCells = std::min(
                        bestCells, static_cast<double>(std::hypot(at<float>(comp, p) - x,
                                                                  at<float>(comp, p + 4) - y)));
                }
            }
        }
        EXPECT_LT(bestCells, 0.4) << l.name;  // 1.6 km
    }
}

TEST(InstalledMaps, StationListsAreReadable) {
    for (const char* list : {"aws/aws_pos_han_1.txt", "aws/aws_pos_han_2.txt"}) {
        const std::vector<unsigned char> bytes = readStaged(list);
        std::istringstream in(std::string(bytes.begin(), bytes.end()));
        int count = 0;
        ASSERT_TRUE(in >> count) << list;
        EXPECT_GT(count, 20);
        std::string name;
        float lat, lon;
        int n = 0;
        while (in >> name >> lat >> lon) {
            EXPECT_TRUE(lat > 33 && lat < 40 && lon > 124 && lon < 131) << name;
            ++n;
        }
        EXPECT_EQ(n, count) << list;
    }
}

}  // namespace
