#include "lightning_drawing.h"

#include <gd.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "owned_handle.h"
#include "test_support.h"

namespace {

using Image = rdr::GdImageHandle;

constexpr int kWhite = 0xFFFFFF;

Image whiteImage(int w, int h) {
    Image img(gdImageCreateTrueColor(w, h));
    gdImageFilledRectangle(img.get(), 0, 0, w - 1, h - 1, kWhite);
    return img;
}

// Pixels that are not white.
std::set<std::pair<int, int>> marked(gdImagePtr img) {
    std::set<std::pair<int, int>> out;
    for (int y = 0; y < gdImageSY(img); ++y) {
        for (int x = 0; x < gdImageSX(img); ++x) {
            if (gdImageGetPixel(img, x, y) != kWhite) {
                out.insert({x, y});
            }
        }
    }
    return out;
}

TEST(LightningMarkers, DrawExactlyTheirPixels) {
    Image img = whiteImage(21, 21);
    fnImagePlus(img.get(), 10, 10, 0x00FF00);
    std::set<std::pair<int, int>> plus;
    for (int d = -3; d <= 3; ++d) {
        plus.insert({10 + d, 10});
        plus.insert({10, 10 + d});
    }
    EXPECT_EQ(marked(img.get()), plus);
    EXPECT_EQ(gdImageGetPixel(img.get(), 13, 10), 0x00FF00);

    img = whiteImage(21, 21);
    fnImageCircle(img.get(), 10, 10, 0xFF0000);
    std::set<std::pair<int, int>> ring;
    for (int d = -1; d <= 1; ++d) {
        ring.insert({7, 10 + d});
        ring.insert({13, 10 + d});
        ring.insert({10 + d, 7});
        ring.insert({10 + d, 13});
    }
    for (int dx : {-2, 2}) {
        for (int dy : {-2, 2}) {
            ring.insert({10 + dx, 10 + dy});
        }
    }
    EXPECT_EQ(marked(img.get()), ring);

    img = whiteImage(21, 21);
    fnImageFillArc(img.get(), 10, 10, 7, 5, 0x0000FF);
    const auto arc = marked(img.get());
    EXPECT_TRUE(arc.count({10, 10}) && arc.count({7, 10}) && arc.count({13, 10}));
    EXPECT_GE(arc.size(), 20u);
    for (const auto& [x, y] : arc) {
        EXPECT_TRUE(x >= 6 && x <= 14 && y >= 7 && y <= 13) << x << "," << y;
    }

    // Nothing to draw on.
    fnImagePlus(nullptr, 1, 1, 0);
    fnImageCircle(nullptr, 1, 1, 0);
    fnImageFillArc(nullptr, 1, 1, 3, 3, 0);
}

TEST(LightningDates, CompletesDigitStringsOfEveryPrecision) {
    auto at = [](int y, int mo, int d, int h, int mi, int s) {
        struct tm t = {};
        t.tm_year = y - 1900;
        t.tm_mon = mo - 1;
        t.tm_mday = d;
        t.tm_hour = h;
        t.tm_min = mi;
        t.tm_sec = s;
        t.tm_isdst = -1;
        return std::mktime(&t);
    };
    EXPECT_EQ(getConvStrToDateTime("2013"), at(2013, 1, 1, 0, 0, 0));
    EXPECT_EQ(getConvStrToDateTime("201305"), at(2013, 5, 1, 0, 0, 0));
    EXPECT_EQ(getConvStrToDateTime("20130521"), at(2013, 5, 21, 0, 0, 0));
    EXPECT_EQ(getConvStrToDateTime("2013052112"), at(2013, 5, 21, 12, 0, 0));
    EXPECT_EQ(getConvStrToDateTime("201305211230"), at(2013, 5, 21, 12, 30, 0));
    EXPECT_EQ(getConvStrToDateTime("20130521123059"), at(2013, 5, 21, 12, 30, 59));
    // Other lengths, other characters and dates that do not exist.
    for (const char* bad :
         {"", "201", "20135", "2013052", "201305211230599", "2013052112305", "2013-05-21",
          "20130230", "201313", "2013052124", "201305211260", "0000"}) {
        EXPECT_EQ(getConvStrToDateTime(bad), -1) << bad;
    }
    EXPECT_EQ(getConvStrToDateTime(nullptr), -1);
    const std::string huge(100000, '1');
    EXPECT_EQ(getConvStrToDateTime(huge.c_str()), -1);
}

// The title compared pixel for pixel with the expected text drawn where it belongs.
class LightningTitle : public ::testing::Test {
  protected:
    static Image expected(const std::string& text, int width) {
        Image img = whiteImage(width, 60);
        std::string font = lgtFont("times.ttf");
        std::string t = text;
        int box[8];
        EXPECT_EQ(gdImageStringFT(nullptr, box, 0, font.data(), 15.0, 0.0, 0, 0, t.data()),
                  nullptr);
        const int x = (width + box[0] - box[2]) / 2;
        gdImageStringFT(img.get(), box, 0, font.data(), 15.0, 0.0, x, 40, t.data());
        return img;
    }
    static void expectSame(gdImagePtr a, gdImagePtr b) {
        int differ = 0;
        for (int y = 0; y < gdImageSY(a); ++y) {
            for (int x = 0; x < gdImageSX(a); ++x) {
                differ += gdImageGetPixel(a, x, y) != gdImageGetPixel(b, x, y);
            }
        }
        EXPECT_EQ(differ, 0);
    }
};

TEST_F(LightningTitle, NamesTheIntervalAndTheTimes) {
    const struct {
        const char* type;
        int minutes;
        const char* text;
    } cases[] = {
        {"LGTTIME", 60, "LIGHTNING 1 HOUR 2013.05.21. 12:30(KST)"},
        {"LGTTIME", 59, "LIGHTNING 59 MIN 2013.05.21. 12:30(KST)"},
        {"LGTINTN", 90, "LIGHTNING 1 HOUR 2013.05.21. 12:30(KST)"},
        {"LGTAREA", 10, "LIGHTNING 2013.05.20. 00:00 ~ 2013.05.21. 12:30(KST)"},
    };
    for (const auto& c : cases) {
        Image img = whiteImage(500, 60);
        ASSERT_EQ(
            fnImgTopTextDisp(img.get(), c.type, "201305200000", "201305211230", c.minutes, 500), 0);
        Image want = expected(c.text, 500);
        SCOPED_TRACE(c.text);
        expectSame(img.get(), want.get());
        EXPECT_FALSE(marked(img.get()).empty());
    }
    // Other types: no title.
    Image img = whiteImage(500, 60);
    EXPECT_EQ(fnImgTopTextDisp(img.get(), "LGTVWORLD", "", "201305211230", 10, 500), 0);
    EXPECT_TRUE(marked(img.get()).empty());
}

// A palette image with every colour taken: the title takes the closest colour to black.
TEST_F(LightningTitle, DrawsOnAFullPaletteImage) {
    Image img(gdImageCreate(400, 60));
    for (int i = 0; i < gdMaxColors; ++i) {
        gdImageColorAllocate(img.get(), 255 - i % 128, 255, 255 - i / 2);
    }
    ASSERT_EQ(gdImageColorsTotal(img.get()), gdMaxColors);
    ASSERT_EQ(fnImgTopTextDisp(img.get(), "LGTTIME", "", "201305211230", 30, 400), 0);
    const int closest = gdImageColorClosest(img.get(), 0, 0, 0);
    int drawn = 0;
    for (int y = 20; y < 45; ++y) {
        for (int x = 0; x < 400; ++x) {
            drawn += gdImageGetPixel(img.get(), x, y) == closest;
        }
    }
    EXPECT_GT(drawn, 100);
}

TEST_F(LightningTitle, FailsWithoutHarmingTheImage) {
    Image img = whiteImage(300, 60);
    EXPECT_EQ(fnImgTopTextDisp(nullptr, "LGTTIME", "", "201305211230", 10, 300), -1);
    EXPECT_EQ(fnImgTopTextDisp(img.get(), "LGTTIME", "", "2013052112", 10, 300), -1);
    EXPECT_EQ(fnImgTopTextDisp(img.get(), "LGTAREA", "bad", "201305211230", 10, 300), -1);
    {
        rdrtest::TempDir empty;
        rdrtest::ScopedRdrRoot root(empty.path().string());
        // No font: the image stays the caller's, untouched.
        EXPECT_EQ(fnImgTopTextDisp(img.get(), "LGTTIME", "", "201305211230", 10, 300), -1);
    }
    EXPECT_TRUE(marked(img.get()).empty());
    gdImageSetPixel(img.get(), 1, 1, 0);  // still a live image
}

// Legend probes: boxes of height h from y = 30, colours of the colour file.
struct LegendColours {
    std::vector<int> echo;  // rgb, level 0 first
};

LegendColours readColours(const std::string& path) {
    LegendColours c;
    std::ifstream in(path);
    std::string line;
    for (int i = 0; i < 3; ++i) {
        std::getline(in, line);
    }
    int num, r, g, b;
    float rain, unit;
    while (in >> num >> r >> g >> b >> rain >> unit) {
        if (rain > -9990.0f) {
            c.echo.push_back((r << 16) | (g << 8) | b);
        }
    }
    return c;
}

int alphaAt(gdImagePtr img, int x, int y) {
    return gdTrueColorGetAlpha(gdImageGetPixel(img, x, y));
}
int rgbAt(gdImagePtr img, int x, int y) {
    return gdImageGetPixel(img, x, y) & 0xFFFFFF;
}

// Counts the visible pixels of a colour in the label column (x >= 15); text is
// anti-aliased into the alpha channel.
int labelPixels(gdImagePtr img, int rgb) {
    int n = 0;
    for (int y = 0; y < gdImageSY(img); ++y) {
        for (int x = 15; x < gdImageSX(img); ++x) {
            n += alphaAt(img, x, y) < gdAlphaTransparent && rgbAt(img, x, y) == rgb;
        }
    }
    return n;
}

void expectBoxes(gdImagePtr img, const std::vector<int>& echo, int height) {
    const int h = (height - 30) / 6;
    for (int k = 0; k < 6; ++k) {
        const int level = 5 - k;
        for (int y = 30 + k * h + 1; y < 30 + (k + 1) * h; ++y) {
            for (int x = 1; x < 10; ++x) {
                if (level < static_cast<int>(echo.size())) {
                    ASSERT_EQ(alphaAt(img, x, y), 0) << x << "," << y;
                    ASSERT_EQ(rgbAt(img, x, y), echo[level]) << x << "," << y;
                } else {
                    ASSERT_EQ(alphaAt(img, x, y), gdAlphaTransparent) << x << "," << y;
                }
            }
        }
    }
    // The black outline and the transparent margin.
    for (int y = 30; y <= 30 + 6 * h; ++y) {
        ASSERT_EQ(gdImageGetPixel(img, 0, y), 0) << y;
        ASSERT_EQ(gdImageGetPixel(img, 10, y), 0) << y;
    }
    EXPECT_EQ(alphaAt(img, 12, 30 + 3 * h), gdAlphaTransparent);
    EXPECT_EQ(alphaAt(img, 44, height - 1), gdAlphaTransparent);
}

TEST(LightningLegend, DrawsBoxesTopDownAndLabelsInTheProductsTextColour) {
    for (const char* type : {"LGTTIME", "LGTINTN", "LGTAREA", "LGTVWORLD"}) {
        SCOPED_TRACE(type);
        Image img(lgtLegendImage(type, 330, "201305211230", 10));
        ASSERT_NE(img, nullptr);
        EXPECT_EQ(gdImageSX(img.get()), 45);
        EXPECT_EQ(gdImageSY(img.get()), 330);
        const LegendColours c = readColours(lgtColourFile(type));
        ASSERT_GE(c.echo.size(), 6u);
        expectBoxes(img.get(), c.echo, 330);
        const bool dark = std::string(type) == "LGTVWORLD";
        EXPECT_GT(labelPixels(img.get(), dark ? 0x000000 : 0xFFFFFF), 100);
        EXPECT_EQ(labelPixels(img.get(), dark ? 0xFFFFFF : 0x000000), 0);
    }
}

// A colour file of its own under a scratch root.
class LightningLegendFile : public ::testing::Test {
  protected:
    rdrtest::TempDir dir_;
    rdrtest::ScopedRdrRoot root_{dir_.path().string()};
    void writeColours(const std::string& name, const std::vector<std::string>& lines) {
        const auto path = dir_.path() / "srv/brem/cgi_project/resource/color" / name;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream out(path);
        for (const std::string& l : lines) {
            out << l << "\n";
        }
    }
};

TEST_F(LightningLegendFile, LeavesLevelsWithoutAColourEmpty) {
    writeColours("vyq_lgt_time_tarvo.col",
                 {"3", "t", "t", "1 10 20 30 0 0", "2 40 50 60 1 1", "3 70 80 90 2 2"});
    Image img(lgtLegendImage("LGTTIME", 130, "201305211230", 10));
    ASSERT_NE(img, nullptr);
    expectBoxes(img.get(), {0x0A141E, 0x28323C, 0x46505A}, 130);
}

TEST_F(LightningLegendFile, SendsTheBareImageWithoutAColourFileAndClampsTheHeight) {
    Image img(lgtLegendImage("LGTINTN", 200, "201305211230", 10));
    ASSERT_NE(img, nullptr);
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 45; ++x) {
            ASSERT_EQ(alphaAt(img.get(), x, y), gdAlphaTransparent);
        }
    }
    for (int height : {-5, 0, 10, 30}) {
        Image small(lgtLegendImage("LGTINTN", height, "201305211230", 10));
        ASSERT_NE(small, nullptr);
        EXPECT_EQ(gdImageSY(small.get()), LGT_LEGEND_MIN_HEIGHT);
    }
    Image tall(lgtLegendImage("LGTINTN", 1 << 30, "201305211230", 10));
    ASSERT_NE(tall, nullptr);
    EXPECT_EQ(gdImageSY(tall.get()), LGT_LEGEND_MAX_HEIGHT);
}

TEST(LightningLegend, IsSentAsAPngAnswer) {
    rdrtest::TempDir dir;
    const std::string path = dir.file("answer");
    fflush(stdout);
    const int saved = dup(1);
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    dup2(fileno(out), 1);
    EXPECT_EQ(fnCreateLevelColorImg("LGTTIME", 250, "201305211230", 30), 0);
    fflush(stdout);
    dup2(saved, 1);
    close(saved);
    std::fclose(out);

    std::ifstream in(path, std::ios::binary);
    const std::string answer((std::istreambuf_iterator<char>(in)), {});
    const std::string header = "Content-type: image/png\r\n\r\n";
    ASSERT_EQ(answer.compare(0, header.size(), header), 0);
    Image png(gdImageCreateFromPngPtr(static_cast<int>(answer.size() - header.size()),
                                      const_cast<char*>(answer.data() + header.size())));
    ASSERT_NE(png, nullptr);
    Image direct(lgtLegendImage("LGTTIME", 250, "201305211230", 30));
    ASSERT_EQ(gdImageSY(png.get()), 250);
    for (int y = 0; y < 250; ++y) {
        for (int x = 0; x < 45; ++x) {
            ASSERT_EQ(gdImageGetPixel(png.get(), x, y), gdImageGetPixel(direct.get(), x, y));
        }
    }
}

}  // namespace
