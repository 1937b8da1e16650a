#include "product_image_maker.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "colour_tables.h"
#include "image_test_root.h"
#include "owned_handles.h"
#include "product_dispatch.h"
#include "standard_volume.h"
#include "synthetic_volume.h"
#include "test_support.h"
#include "volume_formats.h"

namespace {

using imgtest::countColour;
using imgtest::countDark;
using imgtest::northOf;

constexpr float kLon = 127.0f;
constexpr float kLat = 37.0f;
constexpr int T = 30;  // title strip height of every kind
constexpr int kSiteX = 513, kSiteY = 513;

const int kLineColour = gdTrueColor(70, 70, 70);
const int kInBound = gdTrueColor(255, 255, 255);
const int kOutBound = gdTrueColor(205, 205, 205);
const int kStation = gdTrueColor(0, 0, 150);
const int kBlack = gdTrueColor(0, 0, 0);
const int kDbz30 = gdTrueColor(255, 255, 0);  // [30, 35) dBZ
const int kDbz42 = gdTrueColor(255, 150, 0);  // [40, 45) dBZ; also [10, 15) mm/h
const int kRain2 = gdTrueColor(0, 200, 0);    // [2, 3) mm/h
const int kRain7 = gdTrueColor(230, 195, 0);  // [7, 10) mm/h
const int kTopColour = gdTrueColor(70, 0, 110);
const int kBottomColour = gdTrueColor(190, 235, 255);

using Product = rdr::StdProductPtr;

using Image = rdr::GdImageHandle;

using CellValue = std::function<float(int row, int col)>;

std::vector<float> grid(int rows, int cols, const CellValue& value) {
    std::vector<float> g(static_cast<size_t>(rows) * cols);
    for (int r = 0; r < rows; ++r) {
        for (int c = 0; c < cols; ++c) {
            g[static_cast<size_t>(r) * cols + c] = value(r, c);
        }
    }
    return g;
}

// Blocks of 42 dBZ (rows 100-149, columns 300-349) and 30 dBZ (rows 300-349, columns
// 100-149) on an echo-free 480 x 480 site grid.
float twoBlocks(int r, int c) {
    if (r >= 100 && r < 150 && c >= 300 && c < 350) {
        return 42.0f;
    }
    if (r >= 300 && r < 350 && c >= 100 && c < 150) {
        return 30.0f;
    }
    return -9999.0f;
}

// A one-field site product of `dim` x `dim` cells of `km` at the test site.
Product siteProduct(const char* product, double arg1, const char* field, int dim, float km,
                    const CellValue& value) {
    rdrtest::StdRadarPtr vol = rdrtest::buildVolume(rdrtest::uniformVolume(1, 36, 10, {"DZ"}));
    vol->m_hdr.m_dLon = kLon;
    vol->m_hdr.m_dLat = kLat;
    std::snprintf(vol->m_hdr.m_szSiteName, sizeof vol->m_hdr.m_szSiteName, "TST");
    vol->m_hdr.m_tConvertTime = 1784097000;  // 2026-07-15 06:30 UTC, shown as 06:30(KST)
    vol->m_ppSweep[0]->m_hdr.m_fNyquistVelocity = 26.5f;
    Product p(fnInitStdProduct(2, 1, 1, 1, 1, 1, 1));
    EXPECT_EQ(fnSetStdProductSiteHdr(vol.get(), p.get(), dim, dim, km), 1);
    const std::vector<float> g = grid(dim, dim, value);
    EXPECT_EQ(fnAddStdProductToData(p.get(), product, 0, arg1, 0.0, field, g.data(), dim, dim), 1);
    return p;
}

Product compProduct(int rows, int cols, float km, const CellValue& value) {
    Product p(fnInitStdProduct(1, 1, 1, 1, 1, 1, 1));
    EXPECT_EQ(fnSetStdProductCompHdr(p.get(), "MAX", "202607150630", rows, cols, km, 200, 400), 1);
    const std::vector<float> g = grid(rows, cols, value);
    EXPECT_EQ(fnAddStdProductToData(p.get(), "CMAX", 0, 0, 0, "DZ", g.data(), rows, cols), 1);
    return p;
}

PRODUCT_IMAGE_MAKER_OPTION options(int type = RDR_EN_IMG_TYPE_PNG) {
    PRODUCT_IMAGE_MAKER_OPTION o{};
    o.m_iImgType = type;
    return o;
}

// Decodes what the maker writes, chosen by the file's extension (as the maker chose it).
Image load(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return Image(nullptr);
    }
    const std::string ext = std::filesystem::path(path).extension().string();
    gdImagePtr img = ext == ".gif"                     ? gdImageCreateFromGif(f)
                     : ext == ".jpg" || ext == ".jpeg" ? gdImageCreateFromJpeg(f)
                                                       : gdImageCreateFromPng(f);
    std::fclose(f);
    return Image(img);
}

bool haveTool(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, p) != nullptr) {
            out += buf;
        }
        if (pclose(p) != 0) {
            out += "<exit status non-zero>";
        }
    }
    return out;
}

// A resource tree with empty map files and the staged colour files and fonts.
struct ImageFixture : ::testing::Test {
    imgtest::ImageTestRoot root;
    ImageFixture() {
        root.writeSiteMap({});
        root.writeCompMap("map_data.bln", {});
        root.writeCompMap("F2R_map4.bln", {});
        root.writeRaw("aws/aws_pos_han_1.txt", "0\n");
        root.writeRaw("aws/aws_pos_han_2.txt", "0\n");
    }
    std::string out(const std::string& name) const { return root.tempFile(name); }
};

TEST_F(ImageFixture, SiteImageEchoCoverageAndStrips) {
    Product p = siteProduct("CAPPI", 1.5, "DZ", 480, 1.0f, twoBlocks);
    const std::string file = out("site.png");
    ASSERT_EQ(fnMakeSiteImageToStdProductByArg("SITE_240", "TST", p.get(), "CAPPI", 1.5, 0, "DZ",
                                               options(), file.c_str()),
              1);
    Image img = load(file);
    ASSERT_TRUE(img);
    EXPECT_EQ(gdImageSX(img.get()), 558);
    EXPECT_EQ(gdImageSY(img.get()), 563);
    // 480 cells of 1 km centred on 513 pixels of 1 km: 16 pixels of margin.
    const int d = 16;
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), d + 320, T + d + 120), kDbz42);
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), d + 300, T + d + 100), kDbz42);
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), d + 299, T + d + 100), kInBound);
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), d + 120, T + d + 320), kDbz30);
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), 256, T + 256), kInBound);
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), 8, T + 8), kOutBound);
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), d, T + d), kInBound);
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), d - 1, T + d), kOutBound);
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), 0, T + 100), kBlack);  // panel frame

    // Title and unit in the top strip, "Height:1.5" in the bottom strip.
    EXPECT_GT(countDark(img.get(), 0, 5, 300, T - 3), 200);
    EXPECT_GT(countDark(img.get(), 513, 5, 557, T - 3), 20);
    EXPECT_GT(countDark(img.get(), 10, T + kSiteY + 4, 70, T + kSiteY + 12), 30);
    EXPECT_EQ(countDark(img.get(), 100, T + kSiteY + 4, 500, T + kSiteY + 12), 0);
}

TEST_F(ImageFixture, ColourBarBoxesAndLabels) {
    Product p = siteProduct("CAPPI", 1.5, "DZ", 480, 1.0f, twoBlocks);
    const std::string file = out("bar.png");
    ASSERT_EQ(fnMakeSiteImageToStdProductByArg("SITE_240", "TST", p.get(), "CAPPI", 1.5, 0, "DZ",
                                               options(), file.c_str()),
              1);
    Image img = load(file);
    ASSERT_TRUE(img);
    // n echo colours on 513 rows, the highest level on top; each label on the border
    // between the two boxes it separates.
    const std::string colourFile = (root.resourceDir() / "color/vyq_rn_tarvo.col").string();
    rdr::MallocPtr<RDR_COLOR_TBL> table(fnReadColorTable(colourFile.c_str()));
    ASSERT_TRUE(table);
    const int n = table->m_iEchoColorCnt;
    ASSERT_GT(n, 5);
    const float h = static_cast<float>(kSiteY) / n;
    const int X = kSiteX;
    auto colour = [&](int level) {
        const RDR_COLOR_INFO& e = table->m_echoColorTbl[level];
        return gdTrueColor(e.m_iR, e.m_iG, e.m_iB);
    };
    for (int k = 0; k < n; ++k) {
        const int mid = static_cast<int>(k * h + h / 2);
        EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), X + 5, T + mid), colour(n - 1 - k)) << k;
    }
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), X, T + 200), kBlack);
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), X + 10, T + 200), kBlack);
    for (int g = 0; g < n - 1; ++g) {
        const int border = static_cast<int>(static_cast<int>(g * h) + h);
        EXPECT_GT(countDark(img.get(), X + 15, T + border - 6, X + 44, T + border + 6), 8) << g;
        EXPECT_EQ(countDark(img.get(), X + 15, T + border + 8, X + 44, T + border + 12), 0) << g;
    }
}

TEST_F(ImageFixture, SiteOverlaysAtProjectedPositions) {
    // A shore line 50 to 150 km north, a station 100 km south.
    root.writeSiteMap({{1, {{northOf(kLat, 50), kLon}, {northOf(kLat, 150), kLon}}}});
    char stations[128];
    std::snprintf(stations, sizeof stations, "1\nSouth %.6f %.6f\n", northOf(kLat, -100), kLon);
    root.writeRaw("aws/aws_pos_han_1.txt", stations);
    Product p = siteProduct("PPI", 0.5, "DZ", 480, 1.0f, [](int, int) { return -9999.0f; });
    PRODUCT_IMAGE_MAKER_OPTION o = options();
    o.m_iDrawRing = 1;
    o.m_iDrawAws = 1;
    const std::string file = out("overlays.png");
    ASSERT_EQ(fnMakeSiteImageToStdProductByArg("SITE_240", "TST", p.get(), "PPI", 0.5, 0, "DZ", o,
                                               file.c_str()),
              1);
    Image img = load(file);
    ASSERT_TRUE(img);
    const int cx = 256, cy = T + 256;  // the site, north up
    EXPECT_EQ(countColour(img.get(), kLineColour, cx, cy - 150, cx, cy - 50), 101);
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), cx + 100, cy), kLineColour);  // 100 km ring
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), cx - 200, cy), kLineColour);  // 200 km ring
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), cx + 150, cy), kInBound);
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), cx + 1, cy + 100), kStation);
    EXPECT_GT(countDark(img.get(), cx - 25, cy + 100 - 14, cx + 10, cy + 100 - 2), 20);
}

TEST_F(ImageFixture, ShortRangeProductsGetLabelledRingsThatFit) {
    // A 40 km product (480 cells of 1/6 km) fitted to the panel: 80/513 km per pixel, where
    // a 100 km ring cannot fit. Rings come every 10 km, diameters 128 to 512 pixels.
    Product p = siteProduct("PPI", 0.5, "DZ", 480, 1.0f / 6.0f, [](int, int) { return -9999.0f; });
    const int cx = 256, cy = T + 256;
    for (const int rings : {1, 2}) {
        PRODUCT_IMAGE_MAKER_OPTION o = options();
        o.m_iDrawRing = rings;
        const std::string file = out("short.png");
        ASSERT_EQ(fnMakeSiteImageToStdProductByArg("SITE_480", "TST", p.get(), "PPI", 0.5, 0, "DZ",
                                                   o, file.c_str()),
                  1);
        Image img = load(file);
        ASSERT_TRUE(img);
        for (const int radius : {64, 128, 192}) {
            EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), cx + radius, cy), kLineColour) << radius;
            EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), cx, cy + radius), kLineColour) << radius;
        }
        EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), cx + 96, cy), kInBound);
        // Labelled only when asked (2), in the text colour of the table.
        EXPECT_EQ(imgtest::hasText(img.get(), "10 km", kBlack, cx + 3, cy - 61, cx + 3, cy - 61),
                  rings == 2);
        EXPECT_EQ(imgtest::hasText(img.get(), "30 km", kBlack, cx + 3, cy - 189, cx + 3, cy - 189),
                  rings == 2);
    }
}

TEST_F(ImageFixture, RainRateFromReflectivityOrStored) {
    Product dbz = siteProduct("CAPPI", 1.5, "DZ", 480, 1.0f, [](int, int) { return 30.0f; });
    const std::string file = out("rain.png");
    ASSERT_EQ(fnMakeSiteImageToStdProductByArg("SITE_240", "TST", dbz.get(), "CAPPI", 1.5, 0, "RN",
                                               options(), file.c_str()),
              1);
    Image img = load(file);
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), 256, T + 256), kRain2);  // 2.73 mm/h

    Product rain = siteProduct("CAPPI", 1.5, "RN", 480, 1.0f, [](int, int) { return 8.0f; });
    ASSERT_EQ(fnMakeSiteImageToStdProductByArg("SITE_240", "TST", rain.get(), "CAPPI", 1.5, 0, "RN",
                                               options(), file.c_str()),
              1);
    img = load(file);
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), 256, T + 256), kRain7);
}

TEST_F(ImageFixture, LargeSiteGridIsFittedToThePanel) {
    // 1200 cells of 0.5 km = 600 km > 513 km: 600/513 km per pixel, the grid fills the panel.
    Product p = siteProduct("CMAX", 0, "DZ", 1200, 0.5f, [](int r, int c) {
        return (r < 10 && c < 10) || (r >= 1190 && c >= 1190) ? 42.0f : -9999.0f;
    });
    const std::string file = out("large.png");
    ASSERT_EQ(fnMakeSiteImageToStdProductByIdx("SITE_480", "TST", p.get(), "CMAX", 0, "DZ",
                                               options(), file.c_str()),
              1);
    Image img = load(file);
    ASSERT_TRUE(img);
    EXPECT_EQ(gdImageSX(img.get()), 558);
    EXPECT_EQ(gdImageSY(img.get()), 563);
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), 2, T + 2), kDbz42);
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), 510, T + 510), kDbz42);
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), 256, T + 256), kInBound);
}

TEST_F(ImageFixture, CompositeKindsSizesAndAlignment) {
    root.writeCompMap("map_data.bln", {{0, {{10, 100}, {100, 100}}}});
    Product p =
        compProduct(600, 480, 2.0f, [](int r, int c) { return r < 10 && c < 10 ? 42.0f : 0.0f; });
    struct Kind {
        const char* name;
        int w, h;
    };
    for (const Kind& k :
         {Kind{"COMP_240", 525, 630}, Kind{"COMP_480", 571, 606}, Kind{"COMP_KCJ", 796, 1131}}) {
        const std::string file = out(std::string(k.name) + ".png");
        ASSERT_EQ(fnMakeCompImageToStdProductByIdx(k.name, p.get(), "CMAX", 0, "DZ", options(),
                                                   "QC", file.c_str()),
                  1)
            << k.name;
        Image img = load(file);
        ASSERT_TRUE(img);
        EXPECT_EQ(gdImageSX(img.get()), k.w) << k.name;
        EXPECT_EQ(gdImageSY(img.get()), k.h) << k.name;
    }
    Image img = load(out("COMP_240.png"));
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), 3, T + 3), kDbz42);  // top-left aligned
    // COMP_240 rejects values at or below the minimum: 0 dBZ stays in-bound white.
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), 200, T + 300), kInBound);
    EXPECT_EQ(countColour(img.get(), kLineColour, 20, T + 400, 200, T + 400), 181);
}

TEST_F(ImageFixture, FormatsAreValidFiles) {
    Product p = siteProduct("CAPPI", 1.5, "DZ", 480, 1.0f, twoBlocks);
    struct Format {
        int type;
        const char* name;
        const char* identify;
    };
    for (const Format& f :
         {Format{RDR_EN_IMG_TYPE_PNG, "a.png", "PNG"}, Format{RDR_EN_IMG_TYPE_GIF, "a.gif", "GIF"},
          Format{RDR_EN_IMG_TYPE_JPEG, "a.jpg", "JPEG"}}) {
        const std::string file = out(f.name);
        ASSERT_EQ(fnMakeSiteImageToStdProductByArg("SITE_240", "TST", p.get(), "CAPPI", 1.5, 0,
                                                   "DZ", options(f.type), file.c_str()),
                  1);
        Image img = load(file);
        ASSERT_TRUE(img) << f.name;
        EXPECT_EQ(gdImageSX(img.get()), 558);
        if (f.type == RDR_EN_IMG_TYPE_GIF) {  // a palette image: echo colours exact
            EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), 16 + 320, T + 16 + 120), kDbz42);
            EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), 513 + 5, T + 17), kTopColour);
        }
        if (haveTool("identify")) {
            EXPECT_EQ(run("identify -format '%m %w %h' " + file + " 2>&1"),
                      std::string(f.identify) + " 558 563");
        }
    }
    if (haveTool("pngcheck")) {
        EXPECT_EQ(run("pngcheck -q " + out("a.png") + " 2>&1"), "");
    }
}

TEST_F(ImageFixture, ResamplingToARequestedSize) {
    Product p = siteProduct("CAPPI", 1.5, "DZ", 480, 1.0f, twoBlocks);
    PRODUCT_IMAGE_MAKER_OPTION o = options(RDR_EN_IMG_TYPE_GIF);
    o.m_iImgWidth = 301;
    o.m_iImgHeight = 257;
    const std::string file = out("small.gif");
    ASSERT_EQ(fnMakeSiteImageToStdProductByArg("SITE_240", "TST", p.get(), "CAPPI", 1.5, 0, "DZ", o,
                                               file.c_str()),
              1);
    Image img = load(file);
    ASSERT_TRUE(img);
    EXPECT_EQ(gdImageSX(img.get()), 301);
    EXPECT_EQ(gdImageSY(img.get()), 257);
    // Resampling blends more than 256 shades; the flat echo areas keep their exact colours.
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), 183, 77), kDbz42);
    EXPECT_EQ(gdImageGetTrueColorPixel(img.get(), 76, 169), kDbz30);
    if (haveTool("identify")) {
        EXPECT_EQ(run("identify -format '%m %w %h' " + file + " 2>&1"), "GIF 301 257");
    }
}

TEST_F(ImageFixture, FailuresNameTheStepAndLeaveTheTargetAlone) {
    Product p = siteProduct("CAPPI", 1.5, "DZ", 480, 1.0f, twoBlocks);
    const std::string file = out("keep.png");
    { std::ofstream(file) << "old"; }
    auto siteFails = [&](const char* kind, const char* product, double arg, const char* field,
                         PRODUCT_IMAGE_MAKER_OPTION o) {
        testing::internal::CaptureStderr();
        const int rc = fnMakeSiteImageToStdProductByArg(kind, "TST", p.get(), product, arg, 0,
                                                        field, o, file.c_str());
        EXPECT_EQ(rc, 0);
        return testing::internal::GetCapturedStderr();
    };
    const std::string fn = "fnMakeSiteImageToStdProductByArg : ";
    EXPECT_EQ(siteFails("SITE_240", "CAPPI", 1.5, "DZ", options(4)), fn + "fnSaveImg fail\n");
    EXPECT_EQ(siteFails("SITE_240", "CAPPI", 2.5, "DZ", options()),
              fn + "fnGetStdProductDataByArg fail\n");
    EXPECT_EQ(siteFails("COMP_99", "CAPPI", 1.5, "DZ", options()), fn + "fnGetImgSizeInfo fail\n");
    EXPECT_EQ(siteFails("COMP_240", "CAPPI", 1.5, "DZ", options()),
              fn + "pBottomImg fnMakeSiteImageBottom fail\n");  // no bottom strip
    root.remove("color/vyq_rn_tarvo.col");
    EXPECT_EQ(siteFails("SITE_240", "CAPPI", 1.5, "DZ", options()), fn + "fnReadColorTable fail\n");
    std::ifstream in(file);
    std::stringstream kept;
    kept << in.rdbuf();
    EXPECT_EQ(kept.str(), "old");

    testing::internal::CaptureStderr();
    EXPECT_EQ(fnMakeSiteImageToStdProductByIdx("SITE_240", "TST", p.get(), "CAPPI", 3, "DZ",
                                               options(), file.c_str()),
              0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "fnMakeSiteImageToStdProductByIdx : fnGetStdProductDataByIdx fail\n");
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnMakeSiteImageToStdProductByArg("SITE_240", "TST", nullptr, "CAPPI", 1.5, 0, "DZ",
                                               options(), file.c_str()),
              0);
    EXPECT_EQ(fnMakeSiteImageToStdProductByArg("SITE_240", "TST", p.get(), "CAPPI", 1.5, 0, "DZ",
                                               options(), nullptr),
              0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(ImageFixture, ImagesReplaceTheTargetWholeOrNotAtAll) {
    Product p = siteProduct("CAPPI", 1.5, "DZ", 480, 1.0f, twoBlocks);
    auto save = [&](const std::string& target) {
        testing::internal::CaptureStderr();
        const int rc = fnMakeSiteImageToStdProductByArg("SITE_240", "TST", p.get(), "CAPPI", 1.5, 0,
                                                        "DZ", options(), target.c_str());
        return std::make_pair(rc, testing::internal::GetCapturedStderr());
    };
    // A link to the published image stays a link; the image it names is replaced.
    const std::string image = out("ppi_latest_real.png");
    { std::ofstream(image) << "old"; }
    std::filesystem::create_symlink(image, out("ppi_latest.png"));
    EXPECT_EQ(save(out("ppi_latest.png")), std::make_pair(1, std::string()));
    EXPECT_TRUE(std::filesystem::is_symlink(out("ppi_latest.png")));
    std::ifstream in(image, std::ios::binary);
    char signature[4] = {};
    in.read(signature, 4);
    EXPECT_EQ(std::string(signature + 1, 3), "PNG");

    // Copies of /dev/null and /dev/full: a writer that replaced devices replaces these.
    const std::string null = out("null");
    const std::string full = out("full");
    if (mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0 ||
        mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0) {
        GTEST_SKIP() << "no device nodes can be made here";
    }
    EXPECT_EQ(save(full), std::make_pair(0,
                                         "fnMakeSiteImageToStdProductByArg : fnSaveImg fail "
                                         "(cannot write " +
                                             full + ": No space left on device)\n"));
    EXPECT_EQ(save(null), std::make_pair(1, std::string()));
    EXPECT_TRUE(std::filesystem::is_character_file(null));
    EXPECT_TRUE(std::filesystem::is_character_file(full));
}

TEST_F(ImageFixture, CompositeAndSiteSpecificFailures) {
    Product comp = compProduct(600, 480, 2.0f, [](int, int) { return 10.0f; });
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnMakeCompImageToStdProductByArg("COMP_240", comp.get(), "CMAX", 0, 0, "DZ",
                                               options(), nullptr, out("c.png").c_str()),
              0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "fnMakeCompImageToStdProductByArg : pTopImg fnMakeCompImageTop fail\n");

    Product site = siteProduct("PPI", 0.5, "DZ", 480, 1.0f, twoBlocks);
    root.remove("map/fine_kr_binary.dat");
    testing::internal::CaptureStderr();
    EXPECT_EQ(fnMakeSiteImageToStdProductByArg("SITE_240", "TST", site.get(), "PPI", 0.5, 0, "DZ",
                                               options(), out("s.png").c_str()),
              0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "fnMakeSiteImageToStdProductByArg : pEchoImg fnMakeSiteImageEcho fail\n");
}

}  // namespace

namespace {

// Colour-bar labels of echo tops: the ETOP product prints the unit column with "%.0f" or
// "%.1f" chosen by the rain column; other products use the display format ("%.1f").
TEST_F(ImageFixture, EchoTopLabelsFollowTheRainColumnRule) {
    root.writeRaw("color/vyq_etop_tarvo.col",
                  "4\nkm\nkm\n1 0 0 0 -9998 -9998\n2 255 0 0 20.0 12.34\n"
                  "3 0 255 0 30.0 56.78\n4 0 0 255 40.0 99.0\n");
    const int X = kSiteX;
    const int labelTop = T + 171 - 6;  // three boxes of 171 rows; the upper label, "57"
    for (const char* product : {"ETOP", "CMAX"}) {
        Product p = siteProduct(product, 0, "ETOP", 480, 1.0f, [](int, int) { return 5.0f; });
        const std::string file = out(std::string(product) + ".png");
        ASSERT_EQ(fnMakeSiteImageToStdProductByIdx("SITE_240", "TST", p.get(), product, 0, "ETOP",
                                                   options(), file.c_str()),
                  1);
        Image img = load(file);
        ASSERT_TRUE(img);
        const int tail = countDark(img.get(), X + 28, labelTop, X + 44, labelTop + 12);
        EXPECT_GT(countDark(img.get(), X + 15, labelTop, X + 27, labelTop + 12), 8) << product;
        if (std::string(product) == "ETOP") {
            EXPECT_EQ(tail, 0);  // "57"
        } else {
            EXPECT_GT(tail, 8);  // "56.8"
        }
    }
}

}  // namespace

namespace {

// Korean images with the installed map lines: a window inside the box the national lines
// span never reads the world lines; a wider one gains them only beyond that box.
TEST(InstalledMaps, KoreanImagesGainWorldLinesOnlyBeyondTheNationalBox) {
    imgtest::ImageTestRoot root;
    const std::string staged = std::string(RDR_STAGED_ROOT) + "/rdr/www/cgi-src/resource/map/";
    for (const char* f : {"fine_kr_binary.dat", "world_binary.dat"}) {
        std::filesystem::copy_file(staged + f, root.resourceDir() / "map" / f);
    }
    auto draw = [&](int cells, const char* kind, const char* name) {
        Product p = siteProduct("CMAX", 0, "DZ", cells, 1.0f, [](int, int) { return -9999.0f; });
        const std::string file = root.tempFile(name);
        EXPECT_EQ(fnMakeSiteImageToStdProductByIdx(kind, "TST", p.get(), "CMAX", 0, "DZ", options(),
                                                   file.c_str()),
                  1);
        return load(file);
    };
    // 480 km around 127 E 37 N, and 1400 km (2.73 km per pixel: past 42 N, 120 E, 134 E).
    Image narrowWorld = draw(480, "SITE_240", "narrow_world.png");
    Image wideWorld = draw(1400, "SITE_480", "wide_world.png");
    root.remove("map/world_binary.dat");
    Image narrow = draw(480, "SITE_240", "narrow.png");
    Image wide = draw(1400, "SITE_480", "wide.png");
    ASSERT_TRUE(narrowWorld && narrow && wideWorld && wide);
    int narrowDiffs = 0, wideDiffs = 0, wideDiffsInside = 0;
    for (int y = T; y < T + kSiteY; ++y) {
        for (int x = 0; x < kSiteX; ++x) {
            narrowDiffs += gdImageGetTrueColorPixel(narrowWorld.get(), x, y) !=
                           gdImageGetTrueColorPixel(narrow.get(), x, y);
            const bool differs = gdImageGetTrueColorPixel(wideWorld.get(), x, y) !=
                                 gdImageGetTrueColorPixel(wide.get(), x, y);
            wideDiffs += differs;
            // 42 N is row 53 of the panel, 120 E column 29, 134 E column 483; world lines
            // reach one point (at most 50 km, 18 pixels) into the box.
            wideDiffsInside += differs && x > 50 && x < 460 && y - T > 75;
        }
    }
    EXPECT_EQ(narrowDiffs, 0);
    EXPECT_GT(wideDiffs, 200);
    EXPECT_EQ(wideDiffsInside, 0);
}

// The KLIX volume (New Orleans) drawn with the installed maps: the world shores pass the
// Gulf coast where it lies, and the graticule marks 30 N and 90 W.
class KlixImage : public ::testing::Test {
  protected:
    void SetUp() override {
        RDR_REQUIRE_SHARED_DATA();
        volume_.reset(
            fnLoadStdRadarFile(rdrtest::sharedData("uf/KLIX20050828_180149_rsl.uf.gz").c_str()));
        ASSERT_TRUE(volume_);
        rdr::MatrixPtr<STD_AZIMUTH_TBL> tables(fnMakeAllHashTable(volume_.get()),
                                               volume_->m_iMaxSweep);
        RDR_PRODUCT_ARGS args;
        args.iXdim = args.iYdim = 480;
        args.fMaxRangeKm = 240.0f;
        args.fGridKm = 1.0f;
        rdr::GridPtr grid(fnCreateProduct(volume_.get(), tables.get(), args));
        ASSERT_TRUE(grid);
        product_.reset(fnInitStdProduct(1, 1, 0, 0, 0, 0, 0));
        ASSERT_EQ(fnSetStdProductSiteHdr(volume_.get(), product_.get(), 480, 480, 1.0f), 1);
        ASSERT_EQ(
            fnAddStdProductToData(product_.get(), "PPI", 0, 0.5, 0, "DZ", grid.get(), 480, 480), 1);
    }

    // The echo panel at 1 km per pixel (SITE_240), the merged image's rows counted from 0.
    Image draw(int graticule) {
        PRODUCT_IMAGE_MAKER_OPTION o = options();
        o.m_iDrawGraticule = graticule;
        const std::string file = dir_.file("klix.png");
        EXPECT_EQ(fnMakeSiteImageToStdProductByArg("SITE_240", "KLIX", product_.get(), "PPI", 0.5,
                                                   0, "DZ", o, file.c_str()),
                  1);
        return load(file);
    }

    // Pixel of a point near the site: local flat approximation, good to a pixel here.
    void pixelOf(double lat, double lon, int* pX, int* pY) const {
        const double km = imgtest::kEarthKm * M_PI / 180.0;
        const double lat0 = volume_->m_hdr.m_dLat, lon0 = volume_->m_hdr.m_dLon;
        *pX = 256 + static_cast<int>(std::lround((lon - lon0) * km * std::cos(lat0 * M_PI / 180)));
        *pY = T + 256 - static_cast<int>(std::lround((lat - lat0) * km));
    }

    rdrtest::TempDir dir_;
    rdrtest::ScopedRdrRoot root_{RDR_STAGED_ROOT};
    rdr::StdRadarPtr volume_;
    Product product_;
};

struct Place {
    const char* name;
    double lat, lon;
};

TEST_F(KlixImage, WorldShoresPassTheGulfCoast) {
    Image img = draw(0);
    ASSERT_TRUE(img);
    const Place coast[] = {
        {"Bay St. Louis", 30.31, -89.33},
        {"Gulfport harbour", 30.36, -89.09},
        {"Biloxi lighthouse", 30.395, -88.901},
        {"Fort Morgan, Mobile Bay", 30.23, -88.02},
        {"Grand Isle", 29.236, -89.987},
        {"Port Fourchon", 29.11, -90.2},
        {"Southwest Pass", 28.93, -89.43},
        {"Lake Pontchartrain, Mandeville", 30.355, -90.07},
        {"Lake Pontchartrain, New Orleans", 30.03, -90.07},
    };
    for (const Place& p : coast) {
        int x, y;
        pixelOf(p.lat, p.lon, &x, &y);
        EXPECT_GT(countColour(img.get(), kLineColour, x - 5, y - 5, x + 5, y + 5), 0) << p.name;
    }
    const Place away[] = {{"open Gulf", 28.4, -90.5}, {"Hattiesburg", 31.33, -89.29}};
    for (const Place& p : away) {
        int x, y;
        pixelOf(p.lat, p.lon, &x, &y);
        EXPECT_EQ(countColour(img.get(), kLineColour, x - 20, y - 20, x + 20, y + 20), 0) << p.name;
    }
}

TEST_F(KlixImage, GraticuleMarksThirtyNorthAndNinetyWest) {
    Image img = draw(1);
    ASSERT_TRUE(img);
    int x90, y30;
    pixelOf(30.0, -90.0, &x90, &y30);
    // 90 W runs 17 pixels west of the site, 30 N 37 pixels south of it; both dotted.
    const int meridian = countColour(img.get(), kLineColour, x90 - 1, T + 150, x90 + 1, T + 250);
    EXPECT_GT(meridian, 40);
    const int parallel = countColour(img.get(), kLineColour, 300, y30 - 1, 400, y30 + 1);
    EXPECT_GT(parallel, 40);
    EXPECT_TRUE(imgtest::hasText(img.get(), "30\xb0N", kBlack, 0, y30 - 20, 4, y30 - 10));
    EXPECT_TRUE(imgtest::hasText(img.get(), "90\xb0W", kBlack, x90 - 2, T + 495, x90 + 6, T + 500));
    EXPECT_TRUE(
        imgtest::hasText(img.get(), "89\xb0W", kBlack, x90 + 80, T + 495, x90 + 110, T + 500));
}

}  // namespace
