#include "display_utilities.h"

#include <gd.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "test_support.h"

namespace {

struct tm localTime(int year, int mon, int day, int hour = 12, int min = 0) {
    struct tm t {};
    t.tm_year = year - 1900;
    t.tm_mon = mon - 1;
    t.tm_mday = day;
    t.tm_hour = hour;
    t.tm_min = min;
    t.tm_isdst = -1;
    std::mktime(&t);
    return t;
}

void expectDate(const struct tm& t, int year, int mon, int day, int hour, int min) {
    EXPECT_EQ(t.tm_year + 1900, year);
    EXPECT_EQ(t.tm_mon + 1, mon);
    EXPECT_EQ(t.tm_mday, day);
    EXPECT_EQ(t.tm_hour, hour);
    EXPECT_EQ(t.tm_min, min);
}

// Sets TZ for one test and puts the old value back.
class ScopedTz {
  public:
    explicit ScopedTz(const char* tz) {
        const char* old = std::getenv("TZ");
        hadOld_ = old != nullptr;
        if (hadOld_) {
            old_ = old;
        }
        setenv("TZ", tz, 1);
        tzset();
    }
    ~ScopedTz() {
        if (hadOld_) {
            setenv("TZ", old_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

  private:
    bool hadOld_ = false;
    std::string old_;
};

TEST(DisplayCalendar, LeapYearsAndMonthLengths) {
    EXPECT_EQ(fnChkLeapYear(1900), 0);
    EXPECT_EQ(fnChkLeapYear(2000), 1);
    EXPECT_EQ(fnChkLeapYear(2012), 1);
    EXPECT_EQ(fnChkLeapYear(2013), 0);
    EXPECT_EQ(fnGetLastDay(2012, 2), 29);
    EXPECT_EQ(fnGetLastDay(2013, 2), 28);
    EXPECT_EQ(fnGetLastDay(2013, 4), 30);
    EXPECT_EQ(fnGetLastDay(2012, 13), 0);
    EXPECT_EQ(fnGetLastDay(2012, 0), 0);
    EXPECT_EQ(fnGetLastDay(0, 1), 0);
}

TEST(DisplayCalendar, MonthAndYearStepsClampToTheMonthsLastDay) {
    ScopedTz tz("Asia/Seoul");
    expectDate(fnGetIncMonth(localTime(2013, 1, 31, 7, 45), 1), 2013, 2, 28, 7, 45);
    expectDate(fnGetIncMonth(localTime(2012, 1, 31, 7, 45), 1), 2012, 2, 29, 7, 45);
    expectDate(fnGetIncMonth(localTime(2012, 3, 31), -1), 2012, 2, 29, 12, 0);
    expectDate(fnGetIncMonth(localTime(2013, 3, 31), -1), 2013, 2, 28, 12, 0);
    expectDate(fnGetIncMonth(localTime(2012, 11, 15), 3), 2013, 2, 15, 12, 0);
    expectDate(fnGetIncMonth(localTime(2012, 2, 15), -14), 2010, 12, 15, 12, 0);
    // Long steps are one calculation, not a day-by-day walk.
    expectDate(fnGetIncMonth(localTime(2012, 5, 10), 1200), 2112, 5, 10, 12, 0);
    expectDate(fnGetIncMonth(localTime(2012, 5, 10), 0), 2012, 5, 10, 12, 0);
    expectDate(fnGetIncYear(localTime(2012, 2, 29), 1), 2013, 2, 28, 12, 0);
    expectDate(fnGetIncYear(localTime(2012, 2, 29), 4), 2016, 2, 29, 12, 0);
    expectDate(fnGetIncYear(localTime(2012, 7, 1), -12), 2000, 7, 1, 12, 0);
}

TEST(DisplayCalendar, DayStepsKeepTheClockAcrossDaylightSavingMinutesDoNot) {
    ScopedTz tz("Europe/Berlin");  // clocks go forward on 25 March 2012 at 02:00
    expectDate(fnGetIncDay(localTime(2012, 3, 24, 12), 1), 2012, 3, 25, 12, 0);
    expectDate(fnGetIncDay(localTime(2012, 3, 26, 12), -2), 2012, 3, 24, 12, 0);
    expectDate(fnGetIncMonth(localTime(2012, 3, 10, 12), 1), 2012, 4, 10, 12, 0);
    expectDate(fnGetIncYear(localTime(2012, 1, 10, 12), 0), 2012, 1, 10, 12, 0);
    // 24 hours of elapsed time across the change end an hour later on the clock.
    expectDate(fnGetIncMin(localTime(2012, 3, 24, 12), 24 * 60), 2012, 3, 25, 13, 0);
    expectDate(fnGetIncMin(localTime(2012, 12, 31, 23, 50), 15), 2013, 1, 1, 0, 5);
    expectDate(fnGetIncMin(localTime(2012, 1, 1, 0, 5), -10), 2011, 12, 31, 23, 55);
    expectDate(fnGetIncDay(localTime(2012, 12, 31, 6), 1), 2013, 1, 1, 6, 0);
}

TEST(DisplayConversions, ZrRelationRoundTripsAndBytesSwap) {
    const float r = fnDbz_To_R_f(40.0, 200.0f, 1.6f);
    EXPECT_NEAR(r, std::pow(1e4 / 200.0, 1.0 / 1.6), 1e-4);
    EXPECT_NEAR(r, 11.53, 0.01);
    EXPECT_NEAR(fnR_to_dBZ_f(r, 200.0f, 1.6f), 40.0f, 1e-4);

    unsigned char word[2] = {0x12, 0x34};
    fnSwap2bytes(word);
    EXPECT_EQ(word[0], 0x34);
    EXPECT_EQ(word[1], 0x12);
    fnSwap2bytes(nullptr);
}

TEST(DisplayConversions, GridsKeepCodesAndTurnNonPositiveCellsBad) {
    float** grid = fnGetMatrixFloat(2, 3);
    ASSERT_NE(grid, nullptr);
    const float cells[2][3] = {{-9998.0f, -9999.0f, 0.0f}, {-5.0f, 40.0f, 20.0f}};
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            grid[y][x] = cells[y][x];
        }
    }
    ASSERT_EQ(fnDbzToRainrate(grid, 2, 3, -9998.0f, -9999.0f, 200.0f, 1.6f), 0);
    EXPECT_EQ(grid[0][0], -9998.0f);
    EXPECT_EQ(grid[0][1], -9999.0f);
    EXPECT_EQ(grid[0][2], -9999.0f);
    EXPECT_EQ(grid[1][0], -9999.0f);
    EXPECT_NEAR(grid[1][1], fnDbz_To_R_f(40.0, 200.0f, 1.6f), 1e-5);
    ASSERT_EQ(fnRainrateToDbz(grid, 2, 3, -9998.0f, -9999.0f, 200.0f, 1.6f), 0);
    EXPECT_NEAR(grid[1][1], 40.0f, 1e-4);
    EXPECT_NEAR(grid[1][2], 20.0f, 1e-4);
    EXPECT_EQ(grid[0][2], -9999.0f);
    EXPECT_EQ(fnRainrateToDbz(nullptr, 2, 3, -9998.0f, -9999.0f, 200.0f, 1.6f), -1);
    EXPECT_EQ(fnDbzToRainrate(grid, -1, 3, -9998.0f, -9999.0f, 200.0f, 1.6f), -1);
    fnFreeMatrixFloat(grid, 2);
}

TEST(DisplayMatrices, ZeroFilledAndReleasedWhateverCountIsPassed) {
    EXPECT_EQ(fnGetMatrixFloat(-1, 3), nullptr);
    EXPECT_EQ(fnGetMatrixInt(3, -1), nullptr);
    EXPECT_EQ(fnGetAxisDataDouble(-1), nullptr);

    int** m = fnGetMatrixInt(4, 7);
    ASSERT_NE(m, nullptr);
    for (int y = 0; y < 4; ++y) {
        for (int x = 0; x < 7; ++x) {
            EXPECT_EQ(m[y][x], 0);
        }
    }
    // The column count by mistake: under the sanitizers this neither leaks nor overreads.
    fnFreeMatrixInt(m, 7);
    float** f = fnGetMatrixFloat(5, 2);
    ASSERT_NE(f, nullptr);
    fnFreeMatrixFloat(f, 1);
    float** empty = fnGetMatrixFloat(0, 10);
    ASSERT_NE(empty, nullptr);
    fnFreeMatrixFloat(empty, 0);
    fnFreeMatrixFloat(nullptr, 3);

    double* axis = fnGetAxisDataDouble(6);
    ASSERT_NE(axis, nullptr);
    EXPECT_EQ(axis[5], 0.0);
    fnFreeAxisDataDouble(axis);
}

TEST(DisplayResponse, EmptyImageIsATransparentPngAfterTheHeader) {
    rdrtest::TempDir dir;
    const std::string path = dir.file("answer");
    std::fflush(stdout);
    const int saved = dup(fileno(stdout));
    ASSERT_GE(saved, 0);
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    dup2(fileno(out), fileno(stdout));
    fnDumpDisp();
    std::fflush(stdout);
    dup2(saved, fileno(stdout));
    close(saved);
    std::fclose(out);

    std::ifstream in(path, std::ios::binary);
    const std::string answer((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    const std::string header = "Content-type: image/png\r\n\r\n";
    ASSERT_GT(answer.size(), header.size());
    ASSERT_EQ(answer.substr(0, header.size()), header);
    gdImagePtr img = gdImageCreateFromPngPtr(static_cast<int>(answer.size() - header.size()),
                                             const_cast<char*>(answer.data() + header.size()));
    ASSERT_NE(img, nullptr);
    EXPECT_EQ(gdImageSX(img), 1000);
    EXPECT_EQ(gdImageSY(img), 1000);
    EXPECT_EQ(gdTrueColorGetAlpha(gdImageGetTrueColorPixel(img, 500, 500)), gdAlphaTransparent);
    EXPECT_EQ(gdTrueColorGetAlpha(gdImageGetTrueColorPixel(img, 0, 999)), gdAlphaTransparent);
    gdImageDestroy(img);
}

TEST(DisplayResponse, AFailedImageStillGetsAnAnswer) {
    rdrtest::TempDir dir;
    const std::string path = dir.file("answer");
    FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(cgiWritePngAnswer(nullptr, out), -1);
    std::fclose(out);
    std::ifstream in(path, std::ios::binary);
    const std::string answer((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
    EXPECT_EQ(
        answer.rfind("Status: 500 Internal Server Error\r\nContent-type: text/plain\r\n\r\n", 0),
        0u)
        << answer;
}

}  // namespace
