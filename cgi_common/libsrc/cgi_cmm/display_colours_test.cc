#include "display_colours.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "owned_handle.h"
#include "test_support.h"

namespace {

using TableDeleter = rdr::ReleaseWith<rdr::freeMemory>;
using TablePtr = std::unique_ptr<CGI_COLOR_TBL, TableDeleter>;

TablePtr readText(const rdrtest::TempDir& dir, const std::string& text) {
    const std::string path = dir.file("t.col");
    std::ofstream(path) << text;
    return TablePtr(fnReadColorTable(path.c_str()));
}

CGI_COLOR_TBL threeLevels() {
    CGI_COLOR_TBL t{};
    t.m_iEchoColorCnt = 3;
    for (int i = 0; i < 3; ++i) {
        t.m_echoColorTbl[i].m_fRain = 10.0f * i;
        t.m_echoColorTbl[i].m_fUnit = 100.0f * i;
    }
    return t;
}

TEST(DisplayColours, HoldsThreeHundredEchoColoursAndTheDisplayColours) {
    rdrtest::TempDir dir;
    std::string text = "322\nrain\nunit\n1 1 2 3 -9997 0\n2 9 9 9 -9999 0\n";
    for (int i = 0; i < 320; ++i) {
        text += std::to_string(i) + " 10 20 30 " + std::to_string(i) + " 0\n";
    }
    TablePtr t = readText(dir, text);
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->m_iEchoColorCnt, 300);
    EXPECT_EQ(t->m_echoColorTbl[299].m_fRain, 299.0f);
    EXPECT_EQ(t->m_dispColorTbl[CGI_EN_FONT_COLOR].m_iB, 3);
    EXPECT_STREQ(t->m_szUnitTitle, "unit");

    // One colour line short of the count: no table.
    EXPECT_EQ(readText(dir, "3\nr\nu\n1 1 1 1 0 0\n2 2 2 2 1 1\n"), nullptr);
    EXPECT_EQ(fnReadColorTable(nullptr), nullptr);
}

TEST(DisplayColours, LevelModesIncludingTheLowerBoundSearch) {
    CGI_COLOR_TBL t = threeLevels();
    // 0: upper bound exclusive; 1: inclusive; the top colour above the scale.
    EXPECT_EQ(fnGetColorLevel(-1.0f, &t, CGI_EN_COLOR_RAIN, -100.0f, 0, 0), 0);
    EXPECT_EQ(fnGetColorLevel(5.0f, &t, CGI_EN_COLOR_RAIN, -100.0f, 0, 0), 1);
    EXPECT_EQ(fnGetColorLevel(10.0f, &t, CGI_EN_COLOR_RAIN, -100.0f, 0, 0), 2);
    EXPECT_EQ(fnGetColorLevel(25.0f, &t, CGI_EN_COLOR_RAIN, -100.0f, 0, 0), 2);
    EXPECT_EQ(fnGetColorLevel(0.0f, &t, CGI_EN_COLOR_RAIN, -100.0f, 0, 1), 0);
    EXPECT_EQ(fnGetColorLevel(10.0f, &t, CGI_EN_COLOR_RAIN, -100.0f, 0, 1), 1);
    // 2: colour i covers (t(i), t(i+1)]; at or below t(0) colour 0.
    EXPECT_EQ(fnGetColorLevel(10.0f, &t, CGI_EN_COLOR_RAIN, -100.0f, 0, 2), 0);
    EXPECT_EQ(fnGetColorLevel(10.5f, &t, CGI_EN_COLOR_RAIN, -100.0f, 0, 2), 1);
    EXPECT_EQ(fnGetColorLevel(25.0f, &t, CGI_EN_COLOR_RAIN, -100.0f, 0, 2), 2);
    EXPECT_EQ(fnGetColorLevel(-5.0f, &t, CGI_EN_COLOR_RAIN, -100.0f, 0, 2), 0);
    EXPECT_EQ(fnGetColorLevel(150.0f, &t, CGI_EN_COLOR_UNIT, -100.0f, 0, 2), 1);
    // Other modes give colour 0 in this build; unknown columns draw nothing.
    EXPECT_EQ(fnGetColorLevel(5.0f, &t, CGI_EN_COLOR_RAIN, -100.0f, 0, 7), 0);
    EXPECT_EQ(fnGetColorLevel(5.0f, &t, 2, -100.0f, 0, 0), -1);
    // Minimum test.
    EXPECT_EQ(fnGetColorLevel(0.0f, &t, CGI_EN_COLOR_RAIN, 0.0f, 1, 0), -1);
    EXPECT_EQ(fnGetColorLevel(0.0f, &t, CGI_EN_COLOR_RAIN, 0.0f, 0, 0), 1);
    // An empty table has no colour to hand out, in any mode.
    CGI_COLOR_TBL empty{};
    EXPECT_EQ(fnGetColorLevel(-5.0f, &empty, CGI_EN_COLOR_RAIN, -100.0f, 2, 2), -1);
    EXPECT_EQ(fnGetColorLevel(5.0f, &empty, CGI_EN_COLOR_RAIN, -100.0f, 2, 0), -1);
    EXPECT_EQ(fnGetColorLevel(5.0f, nullptr, CGI_EN_COLOR_RAIN, -100.0f, 2, 0), -1);
}

TEST(DisplayColours, AllocationAnswersZeroOrMinusOne) {
    CGI_COLOR_TBL t = threeLevels();
    t.m_echoColorTbl[2].m_iR = 200;
    t.m_dispColorTbl[CGI_EN_AWS_COLOR].m_iG = 150;
    gdImagePtr img = gdImageCreate(10, 10);
    ASSERT_NE(img, nullptr);
    int echo[CGI_MAX_ECHO_COLOR] = {};
    int disp[CGI_EN_DISP_COLOR_MAX] = {};
    EXPECT_EQ(fnAllocColorTbl(img, &t, echo, disp), 0);
    EXPECT_EQ(gdImageRed(img, echo[2]), 200);
    EXPECT_EQ(gdImageGreen(img, disp[CGI_EN_AWS_COLOR]), 150);
    EXPECT_EQ(fnAllocColorTbl(nullptr, &t, echo, disp), -1);
    EXPECT_EQ(fnAllocColorTbl(img, nullptr, echo, disp), -1);
    gdImageDestroy(img);
}

}  // namespace
