#include "site_graticule.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "image_test_root.h"
#include "owned_handles.h"

namespace {

using imgtest::countColour;
using imgtest::hasText;
using Image = rdr::GdImageHandle;

const int kLine = gdTrueColor(255, 0, 0);
const int kText = gdTrueColor(0, 0, 255);
constexpr int kSize = 513;
constexpr int kCentre = 256;

Image blank(int w, int h) {
    Image img(gdImageCreateTrueColor(w, h));
    gdImageFilledRectangle(img.get(), 0, 0, w - 1, h - 1, gdTrueColor(255, 255, 255));
    return img;
}

// Pixels east (or north) of the centre of a point `deg` degrees of a great circle away, at
// 1 km per pixel: the projection keeps distances from the site.
double pixelsOf(double deg) {
    return deg * M_PI / 180.0 * imgtest::kEarthKm;
}

Image graticule(float lon, float lat, float km) {
    Image img = blank(kSize, kSize);
    EXPECT_EQ(fnDrawSiteImgGraticule(img.get(), kSize, kSize, km, lon, lat, kCentre, kCentre, kLine,
                                     kText),
              1);
    return img;
}

TEST(Graticule, SpacingGivesAtMostSixLinesAcross) {
    EXPECT_EQ(fnGetGraticuleStepDeg(0.8), 0.2);  // an 80 km window
    EXPECT_EQ(fnGetGraticuleStepDeg(1.5), 0.25);
    EXPECT_EQ(fnGetGraticuleStepDeg(4.7), 1.0);    // 513 km
    EXPECT_EQ(fnGetGraticuleStepDeg(36.0), 10.0);  // 4000 km
    EXPECT_EQ(fnGetGraticuleStepDeg(360.0), 30.0);
}

TEST(Graticule, LinesAndLabelsWhereTheyBelong) {
    // Site on the meridian 90 W, half a degree south of 30 N: 1 degree lines both ways.
    Image img = graticule(-90.0f, 29.5f, 1.0f);
    // The site's meridian is the centre column, dotted (3 pixels on, 3 off).
    const int onMeridian = countColour(img.get(), kLine, kCentre, 0, kCentre, kSize - 1);
    EXPECT_GT(onMeridian, kSize * 4 / 10);
    EXPECT_LT(onMeridian, kSize * 6 / 10);
    EXPECT_LE(countColour(img.get(), kLine, kCentre + 2, 0, kCentre + 2, kSize - 1), 8);
    // 30 N crosses it 55.6 km north of the site, row 256 - 56.
    const int row30 = kCentre - static_cast<int>(std::lround(pixelsOf(0.5)));
    EXPECT_GT(countColour(img.get(), kLine, kCentre - 30, row30, kCentre + 30, row30), 25);
    EXPECT_EQ(countColour(img.get(), kLine, kCentre - 30, row30 - 3, kCentre - 3, row30 - 2), 0);
    EXPECT_EQ(countColour(img.get(), kLine, kCentre - 30, row30 + 2, kCentre - 3, row30 + 3), 0);
    // Parallels are labelled at the left edge above their line, meridians at the bottom.
    EXPECT_TRUE(hasText(img.get(), "30\xb0N", kText, 0, row30 - 20, 4, row30 - 10));
    EXPECT_TRUE(hasText(img.get(), "29\xb0N", kText, 0, row30 + 111 - 20, 4, row30 + 111 - 10));
    EXPECT_TRUE(hasText(img.get(), "90\xb0W", kText, kCentre, kSize - 18, kCentre + 5, kSize - 13));
    EXPECT_FALSE(hasText(img.get(), "31\xb0N", kText, 0, row30 - 20, 4, row30 - 10));
}

TEST(Graticule, WindowsAcrossTheAntimeridianAndAroundAPole) {
    // On the equator half a degree west of 180: the 180 meridian 55.6 pixels east, the next
    // one (179 W) 166.8 pixels east, both labelled in the western way of counting.
    Image img = graticule(179.5f, 0.0f, 1.0f);
    const int col180 = kCentre + static_cast<int>(std::lround(pixelsOf(0.5)));
    const int col179W = kCentre + static_cast<int>(std::lround(pixelsOf(1.5)));
    EXPECT_GT(countColour(img.get(), kLine, col180, 0, col180, kSize - 1), kSize * 4 / 10);
    EXPECT_GT(countColour(img.get(), kLine, col179W, 0, col179W, kSize - 1), kSize * 4 / 10);
    EXPECT_TRUE(hasText(img.get(), "180\xb0", kText, col180, kSize - 18, col180 + 5, kSize - 13));
    EXPECT_TRUE(
        hasText(img.get(), "179\xb0W", kText, col179W, kSize - 18, col179W + 5, kSize - 13));
    EXPECT_GT(countColour(img.get(), kLine, 0, kCentre, kSize - 1, kCentre), kSize * 4 / 10);

    // 111 km from the north pole at 4 km per pixel: every meridian meets inside the image,
    // 30 degrees apart, so a ring of 240 km around the pole crosses twelve of them (and no
    // parallel: they come every 5 degrees, 556 km).
    Image polar = graticule(0.0f, 89.0f, 4.0f);
    const int poleRow = kCentre - static_cast<int>(std::lround(pixelsOf(1.0) / 4.0));
    int crossings = 0;
    bool previous = false;
    for (int a = 0; a <= 3600; ++a) {
        const double t = (a + 150) * M_PI / 1800.0;  // from 15 degrees: between two meridians
        const int x = kCentre + static_cast<int>(std::lround(60 * std::sin(t)));
        const int y = poleRow - static_cast<int>(std::lround(60 * std::cos(t)));
        const bool on = countColour(polar.get(), kLine, x - 3, y - 3, x + 3, y + 3) > 0;  // dots
        crossings += on && !previous;
        previous = on;
    }
    EXPECT_EQ(crossings, 12);
}

TEST(Graticule, RefusesWhatCannotBeDrawn) {
    Image img = blank(8, 8);
    EXPECT_EQ(fnDrawSiteImgGraticule(nullptr, 8, 8, 1.0f, 0, 0, 4, 4, kLine, kText), 0);
    EXPECT_EQ(fnDrawSiteImgGraticule(img.get(), 8, 8, 0.0f, 0, 0, 4, 4, kLine, kText), 0);
    EXPECT_EQ(fnDrawSiteImgGraticule(img.get(), 8, 8, NAN, 0, 0, 4, 4, kLine, kText), 0);
    // A damaged header's position: nothing to count lines from (1e30 would loop for ever).
    for (const float bad : {NAN, 1e30f, -400.0f}) {
        EXPECT_EQ(fnDrawSiteImgGraticule(img.get(), 8, 8, 1.0f, bad, 0, 4, 4, kLine, kText), 0);
        EXPECT_EQ(fnDrawSiteImgGraticule(img.get(), 8, 8, 1.0f, 0, bad, 4, 4, kLine, kText), 0);
    }
}

}  // namespace
