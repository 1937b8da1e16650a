#include "wind_drawing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "testing/site_draw_support.h"

namespace {

using site_test::ImagePtr;
using site_test::rgb;

constexpr int kInk = 0x000080;

// A barb of 25-pixel shaft and 10-pixel marks at (100, 100), as a client sees it.
ImagePtr barb(float ws, float wd, int* pResult = nullptr) {
    ImagePtr img(gdImageCreateTrueColor(200, 200));
    gdImageFilledRectangle(img.get(), 0, 0, 199, 199, 0xFFFFFF);
    const WIND w{37.0f, 127.0f, 100.0f, 100.0f, 0.0f, ws, wd};
    const int result = fnWindDraw(img.get(), w, kInk, 25, 10, 200, 200);
    if (pResult != nullptr) {
        *pResult = result;
    }
    return site_test::throughPng(img.get());
}

bool inked(const ImagePtr& img, int x, int y) {
    return rgb(img.get(), x, y) == kInk;
}

// Wind from the east: the shaft runs east to the tip at (125, 100); mark position k lies at
// x = 125 - 5k and its full feather ends 10 pixels away at 60 degrees below the shaft,
// (130 - 5k, 108), a half feather at (122.5 - 5k, 104).
TEST(WindBarb, PointsIntoTheWindWithMarksCountedFromTheTip) {
    int result = 0;
    ImagePtr twelve = barb(12.0f, 90.0f, &result);
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(inked(twelve, 124, 100));   // the shaft reaches east
    EXPECT_FALSE(inked(twelve, 90, 100));   // and nothing lies downwind
    EXPECT_TRUE(inked(twelve, 130, 108));   // full feather, position 0
    EXPECT_TRUE(inked(twelve, 125, 108));   // full feather, position 1
    EXPECT_TRUE(inked(twelve, 117, 104));   // half feather, position 2
    EXPECT_FALSE(inked(twelve, 115, 108));  // no full feather at position 2

    ImagePtr north = barb(12.0f, 0.0f);
    EXPECT_TRUE(inked(north, 100, 76));  // from the north: the shaft points up
    EXPECT_FALSE(inked(north, 100, 110));

    ImagePtr nine = barb(9.0f, 90.0f);  // two full feathers, no half
    EXPECT_TRUE(inked(nine, 125, 108));
    EXPECT_FALSE(inked(nine, 117, 104));

    ImagePtr three = barb(3.0f, 90.0f);  // a lone half feather goes to position 1
    EXPECT_TRUE(inked(three, 122, 104));
    EXPECT_FALSE(inked(three, 130, 108));

    ImagePtr pennant = barb(27.0f, 90.0f);  // a pennant at 0, a half feather at 1
    EXPECT_TRUE(inked(pennant, 129, 103));
    EXPECT_TRUE(inked(pennant, 122, 104));
    EXPECT_FALSE(inked(pennant, 125, 108));

    ImagePtr twentyFour = barb(24.0f, 90.0f);  // rounds up to one pennant, nothing else
    EXPECT_TRUE(inked(twentyFour, 129, 103));
    EXPECT_FALSE(inked(twentyFour, 122, 104));
    EXPECT_FALSE(inked(twentyFour, 125, 108));
}

TEST(WindBarb, MarksStopAtTheStationAndStationsOutsideAreRefused) {
    // 200 needs eight pennants; five positions hold five, none beyond the station.
    ImagePtr strong = barb(200.0f, 90.0f);
    EXPECT_TRUE(inked(strong, 108, 103));  // the pennant at position 4
    EXPECT_FALSE(inked(strong, 103, 103));
    EXPECT_FALSE(inked(strong, 96, 104));

    int result = 0;
    ImagePtr calm = barb(0.0f, 90.0f, &result);
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(inked(calm, 110, 100));
    ImagePtr img(gdImageCreateTrueColor(50, 50));
    EXPECT_EQ(fnWindDraw(img.get(), WIND{0, 0, 60.0f, 10.0f, 0, 10.0f, 0.0f}, kInk, 25, 10, 50, 50),
              -1);
    EXPECT_EQ(fnWindDraw(img.get(), WIND{0, 0, 10.0f, NAN, 0, 10.0f, 0.0f}, kInk, 25, 10, 50, 50),
              -1);
    EXPECT_EQ(fnWindDraw(nullptr, WIND{0, 0, 10.0f, 10.0f, 0, 10.0f, 0.0f}, kInk, 25, 10, 50, 50),
              -1);
}

TEST(NoDataImage, TransparentPngWithTheMessageAndAnOptionalReason) {
    site_test::DrawRoot root;
    const std::string answer = site_test::captureStdout([] { fnNoDataDisp(200, 400); });
    ImagePtr img = site_test::decodePngAnswer(answer);
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(gdImageSX(img.get()), 400);
    EXPECT_EQ(gdImageSY(img.get()), 200);
    EXPECT_EQ(gdTrueColorGetAlpha(gdImageGetTrueColorPixel(img.get(), 2, 2)), gdAlphaTransparent);
    const int message = site_test::countDark(img.get(), 0, 80, 399, 104);
    EXPECT_GT(message, 200);
    EXPECT_EQ(site_test::countDark(img.get(), 0, 0, 399, 70), 0);
    int left = 400;
    int right = 0;
    for (int x = 0; x < 400; ++x) {
        if (site_test::countDark(img.get(), x, 80, x, 104) > 0) {
            left = std::min(left, x);
            right = std::max(right, x);
        }
    }
    EXPECT_NEAR((left + right) / 2.0, 200.0, 4.0);

    ImagePtr reasoned(siteNoDataImage(200, 400, "unknown site"));
    ASSERT_NE(reasoned, nullptr);
    EXPECT_GT(site_test::countDark(reasoned.get(), 0, 108, 399, 130), 50);
    EXPECT_EQ(site_test::countDark(img.get(), 0, 108, 399, 130), 0);

    // Sizes that cannot be made are clamped: the request still gets an image.
    ImagePtr tiny =
        site_test::decodePngAnswer(site_test::captureStdout([] { fnNoDataDisp(0, -5); }));
    ASSERT_NE(tiny, nullptr);
    EXPECT_EQ(gdImageSX(tiny.get()), 1);
}

}  // namespace
