#include "core_utilities.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

using namespace std::chrono;

// TZ override for one test; ctest runs the suite with TZ=UTC.
class ScopedTz {
  public:
    explicit ScopedTz(const char* zone) {
        const char* old = std::getenv("TZ");
        hadOld_ = old != nullptr;
        if (hadOld_) {
            old_ = old;
        }
        setenv("TZ", zone, 1);
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

struct tm toTm(year_month_day ymd, int hour = 0, int minute = 0) {
    struct tm t {};
    t.tm_year = static_cast<int>(ymd.year()) - 1900;
    t.tm_mon = static_cast<int>(static_cast<unsigned>(ymd.month())) - 1;
    t.tm_mday = static_cast<int>(static_cast<unsigned>(ymd.day()));
    t.tm_hour = hour;
    t.tm_min = minute;
    t.tm_isdst = -1;
    return t;
}

year_month_day toYmd(const struct tm& t) {
    return year{t.tm_year + 1900} / month{static_cast<unsigned>(t.tm_mon + 1)} /
           day{static_cast<unsigned>(t.tm_mday)};
}

std::string str(year_month_day d) {
    char buf[32];
    std::snprintf(buf, sizeof(buf), "%04d-%02u-%02u", static_cast<int>(d.year()),
                  static_cast<unsigned>(d.month()), static_cast<unsigned>(d.day()));
    return buf;
}

// ---------------------------------------------------------------------------------------------

TEST(ByteOrder, SwapsMatchHostOrder) {
    const uint16_t one = 1;
    unsigned char first;
    std::memcpy(&first, &one, 1);
    EXPECT_EQ(fnIsLittleEndian(), first == 1 ? 1 : 0);

    unsigned char w2[2] = {0x12, 0x34};
    fnSwap2Byte(w2);
    EXPECT_EQ(w2[0], 0x34);
    EXPECT_EQ(w2[1], 0x12);

    unsigned char w4[4] = {1, 2, 3, 4};
    fnSwap4Byte(w4);
    EXPECT_EQ(std::memcmp(w4, "\x04\x03\x02\x01", 4), 0);

    short words[3] = {0x0102, static_cast<short>(0x8000), -2};
    fnSwap2Array(words, 3);
    EXPECT_EQ(static_cast<uint16_t>(words[0]), 0x0201);
    EXPECT_EQ(static_cast<uint16_t>(words[1]), 0x0080);
    EXPECT_EQ(static_cast<uint16_t>(words[2]), 0xFEFF);
    fnSwap2Array(nullptr, 3);  // accepted
}

TEST(Angles, DmsAndRadians) {
    EXPECT_FLOAT_EQ(fnConvertDms2Deg(37, 30, 36.0f), 37.51f);
    EXPECT_FLOAT_EQ(fnConvertDms2Deg(-37, -30, -36.0f), -37.51f);
    EXPECT_DOUBLE_EQ(fnDegToRad(180.0), 3.141592);
    EXPECT_DOUBLE_EQ(fnRadToDeg(3.141592), 180.0);
    EXPECT_NEAR(fnRadToDeg(fnDegToRad(123.456)), 123.456, 1e-12);
}

TEST(Angles, SignedAndAbsoluteDifferencesWrap) {
    EXPECT_FLOAT_EQ(fnMinusDegree(10, 350), 20);
    EXPECT_FLOAT_EQ(fnMinusDegree(350, 10), -20);
    EXPECT_FLOAT_EQ(fnDiffDegree(350, 10), 20);
    EXPECT_FLOAT_EQ(fnDiffDegree(5, 5.0000005f), 0);
    EXPECT_FLOAT_EQ(fnMinusDegree(0, 180), -180);
    // Against a closed form over a grid of pairs.
    for (float a = 0; a < 360; a += 7.25f) {
        for (float b = 0; b < 360; b += 11.5f) {
            double d = std::remainder(static_cast<double>(a) - b, 360.0);
            if (std::fabs(std::fabs(d) - 180.0) < 1e-9) {
                continue;  // either sign is a half turn
            }
            EXPECT_NEAR(fnMinusDegree(a, b), d, 1e-4) << a << " " << b;
            EXPECT_NEAR(fnDiffDegree(a, b), std::fabs(d), 1e-4);
        }
    }
}

TEST(ZRelation, ConversionsInvertEachOther) {
    EXPECT_DOUBLE_EQ(fnDbzToZeF(20), 100);
    EXPECT_DOUBLE_EQ(fnZeToDbzF(100), 20);
    EXPECT_DOUBLE_EQ(fnZeToDbzF(0), 0);
    EXPECT_DOUBLE_EQ(fnZeToDbzF(-5), 0);
    EXPECT_NEAR(fnDbzToRainF(fnRainToDbzF(10, 200, 1.6f), 200, 1.6f), 10, 1e-5);
    // Marshall-Palmer: 1 mm/h is 10 log10(200) = 23.01 dBZ.
    EXPECT_NEAR(fnRainToDbzF(1, 200, 1.6f), 23.0103, 1e-4);
    EXPECT_TRUE(std::isinf(fnRainToDbzF(0, 200, 1.6f)));
}

TEST(BeamGeometry, ElevationInvertsTheFourThirdsEarthHeight) {
    const double ae = 8494678.360000001;
    for (double elev : {0.2, 0.5, 1.5, 4.0, 10.0, 30.0}) {
        for (double r : {5000.0, 50000.0, 150000.0, 300000.0}) {
            const double e = elev * 3.141592 / 180.0;
            const double h = std::sqrt(r * r + ae * ae + 2 * r * ae * std::sin(e)) - ae;
            EXPECT_NEAR(fnGetElevation(static_cast<float>(r), static_cast<float>(h)), elev, 2e-3)
                << "r=" << r << " h=" << h;
        }
    }
    EXPECT_TRUE(std::isnan(fnGetElevation(1000.0f, 5000.0f)));
}

TEST(BeamGeometry, SlantRange) {
    EXPECT_FLOAT_EQ(fnGetSlantRange(3, 4, 0, 1000), 5000);
    EXPECT_FLOAT_EQ(fnGetSlantRange(-3, 0, 4000, 1000), 5000);
}

TEST(Distances, GreatCircleAgainstHaversine) {
    auto haversineKm = [](double lon1, double lat1, double lon2, double lat2, double rKm) {
        const double k = M_PI / 180.0;
        const double dLat = (lat2 - lat1) * k;
        const double dLon = (lon2 - lon1) * k;
        const double a =
            std::sin(dLat / 2) * std::sin(dLat / 2) +
            std::cos(lat1 * k) * std::cos(lat2 * k) * std::sin(dLon / 2) * std::sin(dLon / 2);
        return 2 * rKm * std::asin(std::sqrt(a));
    };
    const double sphereR = 40030.22036752368 / (2 * M_PI);
    const double milesR = 180.0 / M_PI * 60.0 * 1.1515 * 1.609344;
    struct Pair {
        double lon1, lat1, lon2, lat2;
    } pairs[] = {{126.97, 37.56, 129.07, 35.18},  // Seoul - Busan
                 {126.0, 33.0, 131.0, 38.5},
                 {0, 0, 1, 0},
                 {-70.0, -33.0, 151.2, -33.9}};
    for (const Pair& p : pairs) {
        const double ref = haversineKm(p.lon1, p.lat1, p.lon2, p.lat2, sphereR);
        EXPECT_NEAR(fnDistSphericalSurface(p.lon1, p.lat1, p.lon2, p.lat2), ref,
                    std::max(0.05, ref * 2e-4));
        const double refMiles = haversineKm(p.lon1, p.lat1, p.lon2, p.lat2, milesR);
        EXPECT_NEAR(fnCalcDistKmLonLat(p.lon1, p.lat1, p.lon2, p.lat2), refMiles, 0.01);
    }
    EXPECT_NEAR(fnCalcDistKmLonLat(0, 0, 1, 0), 60 * 1.1515 * 1.609344, 1e-6);
}

TEST(Distances, MaxRangeOfGridMiddleRow) {
    float** grid = fnMakeMatrix2D_F(5, 5);
    ASSERT_NE(grid, nullptr);
    const float middle[5] = {-9998, 1, 2, 3, -9998};
    std::memcpy(grid[2], middle, sizeof(middle));
    EXPECT_FLOAT_EQ(fnGetMaxRangeToData(grid, 5, 5, 2.0f), 2.0f);
    for (int x = 0; x < 5; ++x) {
        grid[2][x] = -9998;
    }
    EXPECT_FLOAT_EQ(fnGetMaxRangeToData(grid, 5, 5, 2.0f), 0.0f);
    EXPECT_FLOAT_EQ(fnGetMaxRangeToData(nullptr, 5, 5, 2.0f), -9999.0f);
    fnFreeMatrix2D(reinterpret_cast<void**>(grid), 5);
}

// ---------------------------------------------------------------------------------------------
// Calendar, against std::chrono's proleptic Gregorian calendar (TZ=UTC from ctest).

TEST(Calendar, LeapYearsAndMonthLengthsMatchChrono) {
    for (int y = 1; y <= 2500; ++y) {
        EXPECT_EQ(fnCheckLeapYear(y), year{y}.is_leap() ? 1 : 0) << y;
        for (unsigned m = 1; m <= 12; ++m) {
            const year_month_day_last last{year{y} / month{m} / std::chrono::last};
            ASSERT_EQ(fnGetLastDayOfYM(y, static_cast<int>(m)),
                      static_cast<int>(static_cast<unsigned>(last.day())))
                << y << "-" << m;
        }
    }
    EXPECT_EQ(fnGetLastDayOfYM(2023, 13), 0);
    EXPECT_EQ(fnGetLastDayOfYM(2023, 0), 0);
    EXPECT_EQ(fnGetLastDayOfYM(0, 2), 0);
}

TEST(Calendar, MakeTimeIsUtcPlusNineHours) {
    ScopedTz tz("UTC");
    for (int y : {1970, 1999, 2000, 2024, 2037, 2038, 2100}) {
        for (unsigned m : {1u, 2u, 6u, 12u}) {
            const sys_seconds expected = sys_days{year{y} / month{m} / day{m == 2 ? 28u : 15u}} +
                                         hours{13} + minutes{7} + seconds{59};
            const time_t plain = fnMakeTime(0, static_cast<short>(y), static_cast<short>(m),
                                            m == 2 ? 28 : 15, 13, 7, 59);
            EXPECT_EQ(plain, expected.time_since_epoch().count()) << y << "-" << m;
            EXPECT_EQ(fnMakeTime(1, static_cast<short>(y), static_cast<short>(m), m == 2 ? 28 : 15,
                                 13, 7, 59),
                      plain + 32400);
            // Only bUTC == 1 adds the offset.
            EXPECT_EQ(fnMakeTime(2, static_cast<short>(y), static_cast<short>(m), m == 2 ? 28 : 15,
                                 13, 7, 59),
                      plain);
        }
    }
    EXPECT_EQ(fnMakeTime(1, 2024, 1, 1, 0, 0, 0) - fnMakeTime(0, 2024, 1, 1, 0, 0, 0), 32400);
}

TEST(Calendar, MinuteAndDayStepsMatchChrono) {
    ScopedTz tz("UTC");
    const sys_days base = sys_days{year{2023} / 12 / 30};
    for (int n : {-100000, -1441, -1, 0, 1, 59, 60, 1440, 525600, 1000000}) {
        const struct tm r = fnIncMin(toTm(year_month_day{base}, 23, 30), n);
        const sys_seconds want = base + hours{23} + minutes{30} + minutes{n};
        const auto wantDay = floor<days>(want);
        const hh_mm_ss hms{want - wantDay};
        EXPECT_EQ(str(toYmd(r)), str(year_month_day{wantDay})) << n;
        EXPECT_EQ(r.tm_hour, hms.hours().count()) << n;
        EXPECT_EQ(r.tm_min, hms.minutes().count()) << n;
    }
    for (int n : {-800, -366, -1, 0, 1, 2, 59, 60, 365, 366, 10000}) {
        const struct tm r = fnIncDay(toTm(year_month_day{base}, 6, 15), n);
        EXPECT_EQ(str(toYmd(r)), str(year_month_day{base + days{n}})) << n;
        EXPECT_EQ(r.tm_hour, 6);
        EXPECT_EQ(r.tm_min, 15);
    }
}

// Same day n months on, or the last day of the target month when it is shorter.
year_month_day chronoAddMonths(year_month_day d, int n) {
    year_month_day r = d + months{n};
    if (!r.ok()) {
        r = year_month_day{year_month_day_last{r.year() / r.month() / std::chrono::last}};
    }
    return r;
}

TEST(Calendar, MonthStepsMatchChronoClampedToMonthEnd) {
    ScopedTz tz("UTC");
    // Every day of three years, including a leap year, by a spread of month counts.
    for (sys_days d = sys_days{year{2023} / 1 / 1}; d < sys_days{year{2026} / 1 / 1};
         d += days{1}) {
        const year_month_day ymd{d};
        for (int n : {-25, -13, -2, -1, 1, 2, 11, 12, 14}) {
            const struct tm r = fnIncMonth(toTm(ymd, 17, 45), n);
            ASSERT_EQ(str(toYmd(r)), str(chronoAddMonths(ymd, n))) << str(ymd) << " + " << n;
            ASSERT_EQ(r.tm_hour, 17);
            ASSERT_EQ(r.tm_min, 45);
        }
    }
    // Zero months: the input comes back untouched, not normalised.
    struct tm odd {};
    odd.tm_year = 124;
    odd.tm_mon = 0;
    odd.tm_mday = 40;
    const struct tm same = fnIncMonth(odd, 0);
    EXPECT_EQ(same.tm_mday, 40);
}

TEST(Calendar, YearStepsMatchChronoClampedToMonthEnd) {
    ScopedTz tz("UTC");
    for (sys_days d = sys_days{year{2023} / 12 / 1}; d < sys_days{year{2024} / 4 / 1};
         d += days{1}) {
        const year_month_day ymd{d};
        for (int n : {-5, -4, -1, 1, 3, 4, 100}) {
            year_month_day want = ymd + years{n};
            if (!want.ok()) {
                want = want.year() / February / 28;
            }
            EXPECT_EQ(str(toYmd(fnIncYear(toTm(ymd, 8), n))), str(want)) << str(ymd) << " + " << n;
        }
    }
    EXPECT_EQ(str(toYmd(fnIncYear(toTm(2024y / February / 29), 1))), str(2025y / February / 28));
    EXPECT_EQ(str(toYmd(fnIncYear(toTm(2024y / February / 29), 4))), str(2028y / February / 29));
    EXPECT_EQ(str(toYmd(fnIncYear(toTm(2024y / February / 29), 76))), str(2100y / February / 28));
}

TEST(Calendar, DayStepsAreFixedLengthAcrossDaylightSaving) {
    if (!std::filesystem::exists("/usr/share/zoneinfo/Europe/Berlin")) {
        GTEST_SKIP() << "no time-zone database";
    }
    ScopedTz tz("Europe/Berlin");
    // 2024-03-31 02:00 CET -> CEST: 86400 s after Saturday noon is Sunday 13:00.
    struct tm sat = toTm(2024y / March / 30, 12);
    const struct tm sun = fnIncDay(sat, 1);
    EXPECT_EQ(str(toYmd(sun)), str(2024y / March / 31));
    EXPECT_EQ(sun.tm_hour, 13);
    // Month steps walk days the same way; the hour moves with the clock change.
    const struct tm apr = fnIncMonth(toTm(2024y / March / 15, 12), 1);
    EXPECT_EQ(str(toYmd(apr)), str(2024y / April / 15));
    EXPECT_EQ(apr.tm_hour, 13);
}

// ---------------------------------------------------------------------------------------------

TEST(Split, TokensInPlace) {
    char text[] = "a,,b";
    char* parts[8] = {};
    ASSERT_EQ(fnSplit(text, parts, 8, ','), 3);
    EXPECT_STREQ(parts[0], "a");
    EXPECT_STREQ(parts[1], "");
    EXPECT_STREQ(parts[2], "b");

    char limited[] = "a,,b";
    ASSERT_EQ(fnSplit(limited, parts, 2, ','), 2);
    EXPECT_STREQ(parts[0], "a");
    EXPECT_STREQ(parts[1], ",b");

    char trailing[] = "x,";
    ASSERT_EQ(fnSplit(trailing, parts, 8, ','), 2);
    EXPECT_STREQ(parts[1], "");

    char none[] = "";
    EXPECT_EQ(fnSplit(none, parts, 8, ','), 1);
    EXPECT_EQ(fnSplit(nullptr, parts, 8, ','), -1);
    EXPECT_EQ(fnSplit(text, nullptr, 8, ','), -1);
    EXPECT_EQ(fnSplit(text, parts, 0, ','), -1);
    EXPECT_EQ(fnSplit(text, parts, 8, '\0'), -1);
}

TEST(Matrix, RowsAreZeroedAndSeparate) {
    int** mi = fnMakeMatrix2D_I(3, 4);
    unsigned char** muc = fnMakeMatrix2D_UC(3, 4);
    char** mc = fnMakeMatrix2D_C(3, 4);
    short** ms = fnMakeMatrix2D_S(3, 4);
    float** mf = fnMakeMatrix2D_F(3, 4);
    ASSERT_TRUE(mi && muc && mc && ms && mf);
    for (int y = 0; y < 3; ++y) {
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(mi[y][x], 0);
            EXPECT_EQ(muc[y][x], 0);
            EXPECT_EQ(mc[y][x], 0);
            EXPECT_EQ(ms[y][x], 0);
            EXPECT_EQ(mf[y][x], 0.0f);
            mi[y][x] = y * 10 + x;  // each row is its own block
        }
    }
    EXPECT_EQ(mi[2][3], 23);
    fnFreeMatrix2D(reinterpret_cast<void**>(mi), 3);
    fnFreeMatrix2D(reinterpret_cast<void**>(muc), 3);
    fnFreeMatrix2D(reinterpret_cast<void**>(mc), 3);
    fnFreeMatrix2D(reinterpret_cast<void**>(ms), 3);
    fnFreeMatrix2D(reinterpret_cast<void**>(mf), 3);
    fnFreeMatrix2D(nullptr, 3);

    // Release skips null rows (a partly filled array of tables, for instance).
    void** partial = static_cast<void**>(std::calloc(4, sizeof(void*)));
    partial[1] = std::malloc(16);
    fnFreeMatrix2D(partial, 4);

    EXPECT_EQ(fnMakeMatrix2D_F(0, 4), nullptr);
    EXPECT_EQ(fnMakeMatrix2D_F(-1, 4), nullptr);
}

}  // namespace
