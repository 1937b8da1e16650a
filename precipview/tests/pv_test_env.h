// A private resource root per test: RDR_ROOT points at a fresh directory holding a map-window
// table and the colour scales; the request state starts clean.
#ifndef PRECIPVIEW_PV_TEST_ENV_H
#define PRECIPVIEW_PV_TEST_ENV_H

#include <gd.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>

#include "precipview_state.h"
#include "pv_fixtures.h"
#include "test_support.h"

namespace pvtest {

constexpr const char* kTestMapTable =
    "# test windows\n"
    "HR:1152:1440:560:840\n"
    "KM:800:1000:400:700\n"
    "BAD:0:100:0:0\n";

// Rain scale of the tests: class k takes values up to its level.
constexpr const char* kTestRainScale =
    "250 250 250 0.0\n"
    "0 200 255 0.1\n"
    "0 74 245 1.0\n"
    "0 190 0 5.0\n"
    "255 255 0 10.0\n"
    "255 0 0 50.0\n";

constexpr const char* kTestTwScale =
    "0 0 255 10.0\n"
    "0 255 0 11.0\n"
    "255 0 0 12.0\n";

class PvTest : public ::testing::Test {
  protected:
    void SetUp() override {
        root_ = dir_.path().string();
        root_guard_.emplace(root_);
        writeMapTable(root_, kTestMapTable);
        writeScale(root_, "color_rn_echo.rgb", kTestRainScale);
        writeScale(root_, "color_ta_e30.rgb", kTestTwScale);
        // Texts need the Korean font of the staged tree.
        const std::string font = "/usr/share/fonts/korean/TrueType/gulim.ttf";
        std::error_code ec;
        std::filesystem::create_directories(root_ + "/usr/share/fonts/korean/TrueType", ec);
        std::filesystem::create_symlink(std::string(RDR_STAGED_ROOT) + font, root_ + font, ec);
        pv_reset_state();
    }
    void TearDown() override {
        pv_reset_state();
        root_guard_.reset();
    }

    // A request record as user_input leaves it for a found file.
    void request(const char* obs, const char* map, int size) {
        std::snprintf(var.obs, sizeof var.obs, "%s", obs);
        std::snprintf(var.map, sizeof var.map, "%s", map);
        var.size = size;
        var.legend = 1;
        var.zoom_rate = 2;
        var.rnexdisp = 1;
    }

    rdrtest::TempDir dir_;
    std::string root_;

  private:
    std::optional<rdrtest::ScopedRdrRoot> root_guard_;
};

// Colour of an image pixel as 0xRRGGBB.
inline int rgbAt(gdImagePtr im, int x, int y) {
    int c = gdImageGetPixel(im, x, y);
    return (gdImageRed(im, c) << 16) | (gdImageGreen(im, c) << 8) | gdImageBlue(im, c);
}

}  // namespace pvtest

#endif
