// AWS minute files, station lists, rain state, projection and the drawn overlay.
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "aws_io.h"
#include "aws_overlay.h"
#include "image_layers.h"
#include "lamc_proj.h"
#include "map_window.h"
#include "pv_test_env.h"
#include "time_seq.h"

namespace {

using pvtest::PvTest;
using pvtest::rgbAt;

TEST(Lamc, KnownPointsAndRoundTrip) {
    lamc_parameter map{6371.00877f, 1.0f, 30.0f, 60.0f, 126.0f, 38.0f, 400.0f, 700.0f, 0};
    float lon = 126.0f, lat = 38.0f, x, y;
    lamcproj_ellp(&lon, &lat, &x, &y, 0, &map);
    EXPECT_NEAR(x, 400.0f, 1e-3);
    EXPECT_NEAR(y, 700.0f, 1e-3);
    lon = 129.03f;
    lat = 35.10f;  // Busan: about 271 km east, 310 km south of the origin
    lamcproj_ellp(&lon, &lat, &x, &y, 0, &map);
    EXPECT_NEAR(x - 400.0f, 271.1f, 0.5f);
    EXPECT_NEAR(y - 700.0f, -309.5f, 0.5f);
    float lon2, lat2;
    lamcproj_ellp(&lon2, &lat2, &x, &y, 1, &map);
    EXPECT_NEAR(lon2, 129.03f, 1e-4);
    EXPECT_NEAR(lat2, 35.10f, 1e-4);
}

class Aws : public PvTest {
  protected:
    void TearDown() override {
        AWS3_DATA_IO(0, 0, 0, 0, 0, 0, nullptr, 'c');
        AWS3_QCD_IO(0, 0, 0, 0, 0, 0, nullptr, 'c');
        PvTest::TearDown();
    }
    // Records of one station at minutes seq + from down to seq + to.
    std::vector<pvtest::AwsMinute> minutes(int id, int seq, int from, int to,
                                           std::vector<std::pair<int, int16_t>> el) {
        std::vector<pvtest::AwsMinute> out;
        for (int t = seq + from; t >= seq + to; t--) {
            pvtest::AwsMinute m;
            m.id = id;
            seq2time(t, &m.YY, &m.MM, &m.DD, &m.HH, &m.MI, 'm', 'n');
            m.elements = el;
            out.push_back(m);
        }
        return out;
    }
    int seq_ = time2seq(2024, 7, 1, 12, 0, 'm');  // the hour before is read too
};

TEST_F(Aws, RecordIoChecksRangeAndShortFiles) {
    AWS3_DATA rec{};
    EXPECT_EQ(AWS3_DATA_IO(2024, 7, 1, 12, 0, 10000, &rec, 'r'), kAwsBadStation);
    EXPECT_EQ(AWS3_DATA_IO(2024, 7, 1, 12, 0, 5, &rec, 'r'), kAwsNotOpened);
    EXPECT_EQ(AWS3_DATA_IO(2024, 7, 1, 12, 0, 5, &rec, 'c'), kAwsOk);  // forget the failure
    pvtest::writeAwsMinutes(root_, minutes(108, seq_, 0, 0, {{7, 1}, {66, 35}}));
    EXPECT_EQ(AWS3_DATA_IO(2024, 7, 1, 12, 0, 108, &rec, 'r'), kAwsOk);
    EXPECT_EQ(rec.aws_id, 108);
    EXPECT_EQ(rec.aws_tm.YY, 2024);
    EXPECT_EQ(rec.d[66], 35);
    EXPECT_EQ(rec.d[0], -999);
    EXPECT_EQ(AWS3_DATA_IO(2024, 7, 1, 12, 0, 9999, &rec, 'r'), kAwsShort);  // past the end
    EXPECT_EQ(AWS3_DATA_IO(2024, 7, 1, 12, 60, 1, &rec, 'r'), kAwsSeekFailed);
    EXPECT_EQ(AWS3_DATA_READ(2024, 7, 1, 12, 0, 107, &rec, 'r'), -1);  // slot never written
    std::vector<AWS3_DATA> block(kAwsSlots);
    EXPECT_EQ(AWS3_DATA_IO(2024, 7, 1, 12, 0, -1, block.data(), 'r'), kAwsShort);

    // Writing through the same function reopens the file for update.
    rec.d[66] = 77;
    EXPECT_EQ(AWS3_DATA_IO(2024, 7, 1, 12, 0, 108, &rec, 'w'), kAwsOk);
    AWS3_DATA back{};
    EXPECT_EQ(AWS3_DATA_IO(2024, 7, 1, 12, 0, 108, &back, 'r'), kAwsOk);
    EXPECT_EQ(back.d[66], 77);
}

TEST_F(Aws, QualityFlagsReplaceFailedElements) {
    auto recs = minutes(200, seq_, 0, 0, {{1, 100}, {2, 50}, {7, 1}, {65, 10}});
    recs[0].qc_flags[1] = 1ull << 1;                        // step 1 -> -997
    recs[0].qc_flags[6] = (1ull << 2) | (1ull << 65 % 64);  // step 6 on elements 2 and 1
    recs[0].qc_flags[7] = 1ull << 7;                        // step 7 keeps the value
    recs[0].qc_flags[0] = 1ull << 65 % 64;
    pvtest::writeAwsMinutes(root_, recs);
    AWS3_DATA rec{};
    ASSERT_EQ(AWS3_DATA_READ(2024, 7, 1, 12, 0, 200, &rec, 'r'), 0);
    EXPECT_EQ(rec.d[1], -992);  // the highest step wins
    EXPECT_EQ(rec.d[2], -992);
    EXPECT_EQ(rec.d[7], 1);
    EXPECT_EQ(rec.d[65], 10);  // beyond element 63: never flagged
}

TEST_F(Aws, StationListKeepsRainStationsInsideTheWindow) {
    std::vector<pvtest::Station> st = {
        {108, "서울", 37.57, 126.97, 85.8},
        {109, "부대", 37.6, 127.0, 20.0, "SZ"},       // kind refused
        {110, "기관", 37.6, 127.0, 20.0, "SA", "X"},  // organisation refused
        {111, "센서없음", 37.6, 127.0, 20.0, "SA", "V", false},
        {112, "높이없음", 37.6, 127.0, 0.0},
        {113, "먼곳", 50.0, 150.0, 10.0},  // outside 0..1024 km
        {114, "제주", 33.51, 126.53, 20.5, "SB", "G"},
    };
    pvtest::writeStationLists(root_, st);
    var.SX = 400;
    var.SY = 700;
    int n = aws_info_get(seq_);
    ASSERT_EQ(n, 2);
    EXPECT_EQ(stn_data[0].stn_id, 108);
    EXPECT_EQ(stn_data[1].stn_id, 114);
    EXPECT_STREQ(stn_data[0].stn_ko, "\xbc\xad\xbf\xef");  // EUC-KR
    EXPECT_NEAR(stn_data[0].x, 400 + 83.6, 1.0);
    EXPECT_EQ(stn_data[0].re, -999);
    EXPECT_EQ(stn_data[1].rn_15x, -999);

    std::remove((root_ + "/Q7T5_DATA/STN/stn_obs_loc.csv").c_str());
    EXPECT_EQ(aws_info_get(seq_), -3);
    std::remove((root_ + "/Q7T5_DATA/STN/stn_obs_sensor.csv").c_str());
    EXPECT_EQ(aws_info_get(seq_), -2);
}

TEST_F(Aws, RainStateFromDetectionAndFifteenMinuteRain) {
    pvtest::writeStationLists(root_, {{101, "가", 37.5, 127.0, 10.0},
                                      {102, "나", 37.5, 127.1, 10.0},
                                      {103, "다", 37.5, 127.2, 10.0},
                                      {104, "라", 37.5, 127.3, 10.0}});
    std::vector<pvtest::AwsMinute> all;
    auto add = [&](std::vector<pvtest::AwsMinute> v) { all.insert(all.end(), v.begin(), v.end()); };
    add(minutes(101, seq_, 5, 2, {{7, 0}}));  // 4 valid minutes: unknown
    add(minutes(102, seq_, 5, 2, {{7, 0}}));
    add(minutes(102, seq_, -4, -4, {{7, -1}, {67, 3}}));  // ... but 0.3 mm: rain
    add(minutes(103, seq_, 5, -9, {{7, 0}, {65, 2700}, {66, 120}, {68, 15}}));  // dry
    add(minutes(104, seq_, 0, -9, {{7, 0}}));
    add(minutes(104, seq_, -3, -3, {{7, 1}}));   // one minute of rain
    add(minutes(104, seq_, -5, -5, {{67, 9}}));  // too old for rn_15x
    add(minutes(104, seq_, 5, 5, {{67, 5}}));    // newest valid wins
    add(minutes(104, seq_, 4, 4, {{67, 7}}));
    pvtest::writeAwsMinutes(root_, all);
    var.SX = 400;
    var.SY = 700;
    int n = aws_info_get(seq_);
    ASSERT_EQ(n, 4);
    aws_rain_data_get(seq_, 3, n);
    EXPECT_EQ(stn_data[0].re, -999);
    EXPECT_EQ(stn_data[0].d, -999.0f);
    EXPECT_EQ(stn_data[1].re, 1);
    EXPECT_EQ(stn_data[1].rn_15x, 3);
    EXPECT_EQ(stn_data[2].re, 0);
    EXPECT_FLOAT_EQ(stn_data[2].wd, 270.0f);
    EXPECT_FLOAT_EQ(stn_data[2].ws, 12.0f);
    EXPECT_EQ(stn_data[3].re, 1);
    EXPECT_EQ(stn_data[3].rn_15x, 5);
    EXPECT_FLOAT_EQ(stn_data[3].d, 2.0f);  // 0.5 mm in 15 minutes is 2.0 mm/h
    EXPECT_EQ(stn_data[0].wd, -999.0f);
    aws_rain_data_get(seq_, 4, n);
    EXPECT_FLOAT_EQ(stn_data[2].d, 1.5f);
}

class Overlay : public Aws {
  protected:
    // One station at (lon, lat) on the KM window, 1 pixel per km.
    std::unique_ptr<gdImage, void (*)(gdImagePtr)> drawStation(
        int id, double lon, double lat, std::vector<std::pair<int, int16_t>> el, int aws,
        int zoom_level) {
        pvtest::writeStationLists(root_, {{id, "서울", lat, lon, 10.0}});
        pvtest::writeAwsMinutes(root_, minutes(id, seq_, 5, -9, el));
        request("RNSN", "KM", 800);
        grid_map_inf("KM", &var.NX, &var.NY, &var.SX, &var.SY);
        var.seq = seq_;
        var.aws = aws;
        var.zoom_level = zoom_level;
        return {pv_draw_image(), gdImageDestroy};
    }
    // Pixel of a station at (lon, lat) on the KM window drawn at 800 pixels.
    void pixelOf(double lon, double lat, int* px, int* py) {
        lamc_parameter map{6371.00877f, 1.0f, 30.0f, 60.0f, 126.0f, 38.0f, 400.0f, 700.0f, 0};
        float lo = static_cast<float>(lon), la = static_cast<float>(lat), x, y;
        lamcproj_ellp(&lo, &la, &x, &y, 0, &map);
        *px = static_cast<int>(x);
        *py = var.GJ - static_cast<int>(y);
    }
};

TEST_F(Overlay, DotColourSaysWhetherItRained) {
    auto im = drawStation(150, 127.0, 37.0, {{7, 1}}, 2, 3);
    int px, py;
    pixelOf(127.0, 37.0, &px, &py);
    EXPECT_EQ(rgbAt(im.get(), px, py), 0x0000ff);
    EXPECT_EQ(rgbAt(im.get(), px + 3, py), 0xf0f0f0);  // ring
    im = drawStation(150, 127.0, 37.0, {{7, 0}}, 2, 3);
    EXPECT_EQ(rgbAt(im.get(), px, py), 0xff0000);
    im = drawStation(300, 127.0, 37.0, {{7, 0}}, 2, 2);  // levels 1 and 2: 90..299 only
    EXPECT_NE(rgbAt(im.get(), px, py), 0xff0000);
    im = drawStation(300, 127.0, 37.0, {{7, 0}}, 2, 3);
    EXPECT_EQ(rgbAt(im.get(), px, py), 0xff0000);
    im = drawStation(150, 127.0, 37.0, {{7, 0}}, 2, 0);  // whole window: no overlay
    EXPECT_NE(rgbAt(im.get(), px, py), 0xff0000);
}

TEST_F(Overlay, WindBarbPointsIntoTheWindWithFeathersPerFiveMetres) {
    // North wind of 12 m/s: shaft straight up, feathers of 20, 20 and 8 pixels at +60 deg.
    auto im = drawStation(150, 127.0, 37.0, {{7, 0}, {65, 0}, {66, 120}}, 11, 3);
    int px, py;
    pixelOf(127.0, 37.0, &px, &py);
    EXPECT_EQ(rgbAt(im.get(), px, py - 20), 0x000000);  // shaft north of the dot
    EXPECT_NE(rgbAt(im.get(), px, py + 20), 0x000000);
    const double s = std::sin(60 * M_PI / 180), c = std::cos(60 * M_PI / 180);
    // Lines are rasterised from truncated end points: look within one pixel.
    auto feather_end_black = [&](int k, double len) {
        int x = static_cast<int>(px + s * len);
        int y = static_cast<int>(py - 30 + 5 * k - c * len);
        for (int dy = -1; dy <= 1; dy++) {
            for (int dx = -1; dx <= 1; dx++) {
                if (rgbAt(im.get(), x + dx, y + dy) == 0x000000) {
                    return true;
                }
            }
        }
        return false;
    };
    EXPECT_TRUE(feather_end_black(0, 19));
    EXPECT_TRUE(feather_end_black(1, 19));
    EXPECT_TRUE(feather_end_black(2, 7));
    EXPECT_FALSE(feather_end_black(2, 12));
    // East wind: the shaft points east.
    im = drawStation(150, 127.0, 37.0, {{7, 0}, {65, 900}, {66, 30}}, 11, 3);
    EXPECT_EQ(rgbAt(im.get(), px + 20, py), 0x000000);
    EXPECT_NE(rgbAt(im.get(), px - 20, py), 0x000000);
    im = drawStation(150, 127.0, 37.0, {{7, 0}, {65, 900}, {66, 2}}, 11, 3);  // 0.2 m/s: calm
    EXPECT_NE(rgbAt(im.get(), px + 20, py), 0x000000);
}

TEST_F(Overlay, StationOnTheWindowEdgeIsNotCounted) {
    pvtest::writeStationLists(root_, {{150, "가", 37.0, 127.0, 10.0}});
    var.SX = 400;
    var.SY = 700;
    var.NX = 800;
    var.NY = 1000;
    var.num_aws_stn = aws_info_get(seq_);
    ASSERT_EQ(var.num_aws_stn, 1);
    var.zoom_level = 1;
    stn_data[0].x = 0.0f;
    EXPECT_EQ(aws_zooming(), 0);
    stn_data[0].x = 0.5f;
    EXPECT_EQ(aws_zooming(), 1);
}

}  // namespace
