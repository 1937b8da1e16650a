#include "colour_tables.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "info_tables.h"
#include "owned_handles.h"
#include "test_support.h"

namespace {

using TablePtr = rdr::MallocPtr<RDR_COLOR_TBL>;

using ImagePtr = rdr::GdImageHandle;

const std::string kColourDir =
    std::string(RDR_SOURCE_DIR) + "/resources/rdr/www/cgi-src/resource/color";

TablePtr readText(const rdrtest::TempDir& dir, const std::string& text) {
    const std::string path = dir.file("t.col");
    std::ofstream(path) << text;
    return TablePtr(fnReadColorTable(path.c_str()));
}

// Echo thresholds (0, 10, 20) in both columns.
RDR_COLOR_TBL threeLevels() {
    RDR_COLOR_TBL t{};
    t.m_iEchoColorCnt = 3;
    for (int i = 0; i < 3; ++i) {
        t.m_echoColorTbl[i].m_fRain = 10.0f * i;
        t.m_echoColorTbl[i].m_fUnit = 10.0f * i;
    }
    return t;
}

TEST(ColourTables, FileRolesTitlesAndSkippedLines) {
    rdrtest::TempDir dir;
    TablePtr t = readText(dir,
                          "7\n"
                          "rain title that is thirty ch\n"
                          "dBZ\r\n"
                          "1 10 20 30 -9997 -9997\n"
                          "2 1 2 3 -9999 0\n"
                          "3 40 50 60 0.5 10\n"
                          "4 70 80 90 -9997 -9997\n"
                          "5 5 5 5 -9995 -9995\n"
                          "6 100 110 120 1 20\n"
                          "7 0 0 0 -9994 0\n");
    ASSERT_NE(t, nullptr);
    EXPECT_STREQ(t->m_szRainTitle, "rain title that is ");
    EXPECT_STREQ(t->m_szUnitTitle, "dBZ");
    EXPECT_EQ(t->m_iEchoColorCnt, 2);
    EXPECT_EQ(t->m_echoColorTbl[0].m_iR, 40);
    EXPECT_EQ(t->m_echoColorTbl[1].m_fUnit, 20.0f);
    EXPECT_EQ(t->m_dispColorTbl[RDR_EN_FONT_COLOR].m_iR, 70);  // the later line wins
    EXPECT_EQ(t->m_dispColorTbl[RDR_EN_OUT_BOUND_COLOR].m_iNum, 5);
    EXPECT_EQ(t->m_dispColorTbl[RDR_EN_AWS_COLOR].m_iNum, 7);
    EXPECT_EQ(t->m_dispColorTbl[RDR_EN_LINE_COLOR].m_iNum, 0);

    // The capacity holds 100 echo colours; further lines are read and dropped.
    std::string many = "120\nmm/h\ndBZ\n";
    for (int i = 0; i < 120; ++i) {
        many += std::to_string(i) + " 1 2 3 " + std::to_string(i) + " 0\n";
    }
    TablePtr full = readText(dir, many);
    ASSERT_NE(full, nullptr);
    EXPECT_EQ(full->m_iEchoColorCnt, RDR_MAX_ECHO_COLOR);
    EXPECT_EQ(full->m_echoColorTbl[99].m_fRain, 99.0f);

    TablePtr empty = readText(dir, "0\na\nb\n");
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->m_iEchoColorCnt, 0);
}

TEST(ColourTables, MalformedFilesGiveNoTable) {
    rdrtest::TempDir dir;
    std::string nineOfTen = "10\na\nb\n";
    for (int i = 0; i < 9; ++i) {
        nineOfTen += "1 1 1 1 " + std::to_string(i) + " 0\n";
    }
    const std::string bad[] = {
        nineOfTen,
        "",
        "2\nonly a title\n",
        "x\na\nb\n",
        "99999999999\na\nb\n",
        "1\na\nb\n1 2 3 4 5\n",                                 // five numbers
        "1\na\nb\n1 2 3 300 5 6\n",                             // channel beyond 255
        "1\na\nb\n1 2 3 4 nan 6\n",                             // threshold not a number
        "1\na\nb\n1 2 3 4 5 6 junk\n",                          // trailing text
        "1\na\nb\n1 2 3 4 5 " + std::string(1100, '6') + "\n",  // line longer than the buffer
    };
    for (const std::string& text : bad) {
        EXPECT_EQ(readText(dir, text), nullptr) << text.substr(0, 40);
    }
    EXPECT_EQ(fnReadColorTable(nullptr), nullptr);
    EXPECT_EQ(fnReadColorTable(dir.file("absent.col").c_str()), nullptr);
}

TEST(ColourTables, LevelLookupModesAndMinimum) {
    RDR_COLOR_TBL t = threeLevels();
    // Upper bound exclusive: colour i covers [t(i-1), t(i)); above the scale is the top.
    EXPECT_EQ(fnGetColorLevel(-1.0f, &t, RDR_EN_COLOR_RAIN, -100.0f, 0, 0), 0);
    EXPECT_EQ(fnGetColorLevel(0.0f, &t, RDR_EN_COLOR_RAIN, -100.0f, 0, 0), 1);
    EXPECT_EQ(fnGetColorLevel(5.0f, &t, RDR_EN_COLOR_RAIN, -100.0f, 0, 0), 1);
    EXPECT_EQ(fnGetColorLevel(10.0f, &t, RDR_EN_COLOR_RAIN, -100.0f, 0, 0), 2);
    EXPECT_EQ(fnGetColorLevel(25.0f, &t, RDR_EN_COLOR_RAIN, -100.0f, 0, 0), 2);
    // Upper bound inclusive: (t(i-1), t(i)].
    EXPECT_EQ(fnGetColorLevel(0.0f, &t, RDR_EN_COLOR_UNIT, -100.0f, 0, 1), 0);
    EXPECT_EQ(fnGetColorLevel(5.0f, &t, RDR_EN_COLOR_UNIT, -100.0f, 0, 1), 1);
    EXPECT_EQ(fnGetColorLevel(10.0f, &t, RDR_EN_COLOR_UNIT, -100.0f, 0, 1), 1);
    EXPECT_EQ(fnGetColorLevel(25.0f, &t, RDR_EN_COLOR_UNIT, -100.0f, 0, 1), 2);
    // The lower-bound mode and unknown modes or columns draw nothing in this build.
    EXPECT_EQ(fnGetColorLevel(10.5f, &t, RDR_EN_COLOR_RAIN, -100.0f, 0, 2), -1);
    EXPECT_EQ(fnGetColorLevel(5.0f, &t, 2, -100.0f, 0, 0), -1);
    // Minimum: mode 0 rejects below, mode 1 at or below, others do not test.
    EXPECT_EQ(fnGetColorLevel(0.0f, &t, RDR_EN_COLOR_RAIN, 0.0f, 0, 0), 1);
    EXPECT_EQ(fnGetColorLevel(0.0f, &t, RDR_EN_COLOR_RAIN, 0.0f, 1, 0), -1);
    EXPECT_EQ(fnGetColorLevel(-0.5f, &t, RDR_EN_COLOR_RAIN, 0.0f, 0, 0), -1);
    EXPECT_EQ(fnGetColorLevel(-0.5f, &t, RDR_EN_COLOR_RAIN, 0.0f, 7, 0), 0);
    // Not drawn: no table, no echo colours, no value.
    EXPECT_EQ(fnGetColorLevel(5.0f, nullptr, RDR_EN_COLOR_RAIN, 0.0f, 0, 0), -1);
    RDR_COLOR_TBL none{};
    EXPECT_EQ(fnGetColorLevel(-5.0f, &none, RDR_EN_COLOR_RAIN, -100.0f, 0, 0), -1);
    EXPECT_EQ(fnGetColorLevel(5.0f, &none, RDR_EN_COLOR_RAIN, -100.0f, 0, 0), -1);
    EXPECT_EQ(fnGetColorLevel(NAN, &t, RDR_EN_COLOR_RAIN, -100.0f, 0, 0), -1);
}

TEST(ColourTables, AllocationFallsBackToTheClosestColour) {
    RDR_COLOR_TBL t = threeLevels();
    t.m_echoColorTbl[0] = {1, 250, 0, 0, 0.0f, 0.0f};
    t.m_echoColorTbl[1] = {2, 0, 250, 0, 10.0f, 10.0f};
    t.m_echoColorTbl[2] = {3, 0, 0, 250, 20.0f, 20.0f};
    t.m_dispColorTbl[RDR_EN_FONT_COLOR] = {4, 10, 10, 10, -9997.0f, 0.0f};
    int echo[RDR_MAX_ECHO_COLOR];
    int disp[RDR_EN_DISP_COLOR_MAX];
    EXPECT_EQ(fnAllocColorTbl(nullptr, &t, echo, disp), 0);

    ImagePtr truecolour(gdImageCreateTrueColor(4, 4));
    EXPECT_EQ(fnAllocColorTbl(truecolour.get(), nullptr, echo, disp), 0);
    ASSERT_EQ(fnAllocColorTbl(truecolour.get(), &t, echo, disp), 1);
    EXPECT_EQ(echo[1], gdTrueColor(0, 250, 0));
    EXPECT_EQ(disp[RDR_EN_FONT_COLOR], gdTrueColor(10, 10, 10));

    // A palette that is already full answers with its closest colours, never -1.
    ImagePtr palette(gdImageCreate(4, 4));
    for (int i = 0; i < gdMaxColors; ++i) {
        gdImageColorAllocate(palette.get(), i, i, i);
    }
    ASSERT_EQ(fnAllocColorTbl(palette.get(), &t, echo, disp), 1);
    for (int i = 0; i < 3; ++i) {
        EXPECT_GE(echo[i], 0);
    }
    EXPECT_EQ(disp[RDR_EN_FONT_COLOR], 10);
    EXPECT_EQ(disp[RDR_EN_LINE_COLOR], 0);
}

// Every colour file the display table names, and every other committed file, reads back
// with ascending thresholds, all five display colours, and levels right at each boundary.
TEST(ColourTables, CommittedFilesParseAndBoundariesFall) {
    const char* fields[] = {"DZ",    "VR",   "SW",   "CZ",  "DR",    "PH",    "RH",    "KD",
                            "RN",    "VIL",  "ETOP", "TH",  "TV",    "VRADH", "VRADV", "WRADH",
                            "WRADV", "DBZH", "DBZV", "ZDR", "PHIDP", "RHOHV", "KDP",   "RATE"};
    for (const char* field : fields) {
        RDR_DISP_INFO_TBL row{};
        ASSERT_EQ(fnGetColorFileInfo(field, &row), 1) << field;
        EXPECT_TRUE(std::filesystem::exists(kColourDir + "/" + row.m_szColorFIle)) << field;
    }

    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kColourDir)) {
        const std::string path = entry.path().string();
        TablePtr t(fnReadColorTable(path.c_str()));
        ASSERT_NE(t, nullptr) << path;
        ++files;
        const int n = t->m_iEchoColorCnt;
        EXPECT_GE(n, 8) << path;
        EXPECT_NE(t->m_szUnitTitle[0], '\0') << path;
        for (int d = 0; d < RDR_EN_DISP_COLOR_MAX; ++d) {
            EXPECT_NE(t->m_dispColorTbl[d].m_iNum, 0) << path << " display colour " << d;
        }
        for (int kind : {RDR_EN_COLOR_RAIN, RDR_EN_COLOR_UNIT}) {
            auto threshold = [&](int i) {
                return kind == RDR_EN_COLOR_RAIN ? t->m_echoColorTbl[i].m_fRain
                                                 : t->m_echoColorTbl[i].m_fUnit;
            };
            for (int i = 0; i + 1 < n; ++i) {
                const float b = threshold(i);
                ASSERT_LT(b, threshold(i + 1)) << path << " entry " << i;
                const float below = std::nextafter(b, -INFINITY);
                EXPECT_EQ(fnGetColorLevel(below, t.get(), kind, -1e9f, 0, 0), i) << path;
                EXPECT_EQ(fnGetColorLevel(b, t.get(), kind, -1e9f, 0, 0), i + 1) << path;
                EXPECT_EQ(fnGetColorLevel(b, t.get(), kind, -1e9f, 0, 1), i) << path;
            }
            EXPECT_EQ(fnGetColorLevel(1e9f, t.get(), kind, -1e9f, 0, 0), n - 1) << path;
        }
    }
    EXPECT_GE(files, 9);
}

}  // namespace
