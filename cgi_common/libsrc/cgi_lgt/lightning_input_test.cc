#include "lightning_input.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "internal/lightning_text.h"
#include "internal/strike_id_set.h"
#include "test_support.h"
#include "testing/lightning_fixture.h"

namespace {

using lgt_test::Ends;
using lgt_test::Strike;

class LightningInput : public ::testing::Test {
  protected:
    rdrtest::TempDir dir_;
    rdrtest::ScopedRdrRoot root_{dir_.path().string()};

    void writeDay(const std::string& layout, const std::string& day,
                  const std::vector<Strike>& strikes, Ends ends, bool lastEnd = true) {
        std::vector<std::string> lines;
        for (const Strike& s : strikes) {
            lines.push_back(layout == "VYQ" ? lgt_test::vyqLine(s) : lgt_test::nx1Line(s));
        }
        lgt_test::writeLines(lgt_test::dailyFile(dir_.path(), layout, day), lines, ends, lastEnd);
    }
    std::vector<LGT_NX1_DATA> readNx1(const char* start, const char* end, int max = 1000) {
        std::vector<LGT_NX1_DATA> buf(max);
        const int n = fnReadLgtDataNX1(start, end, buf.data(), max);
        EXPECT_GE(n, 0);
        buf.resize(n < 0 ? 0 : n);
        return buf;
    }
    std::vector<LGT_VYQ_DATA> readVyq(const char* start, const char* end, int max = 1000) {
        std::vector<LGT_VYQ_DATA> buf(max);
        const int n = fnReadLgtDataVYQ(start, end, buf.data(), max);
        EXPECT_GE(n, 0);
        buf.resize(n < 0 ? 0 : n);
        return buf;
    }
};

// Three days, the window from the middle of the first to the middle of the third: every
// strike inside (both bounds included) is read once, in file order, with every column.
TEST_F(LightningInput, ReadsEveryStrikeOfAWindowSpanningDaysOnceInBothLayouts) {
    std::vector<Strike> all;
    int id = 1;
    for (const char* day : {"20130520", "20130521", "20130522"}) {
        std::vector<Strike> strikes;
        for (const char* hm : {"0000", "0559", "0600", "1230", "1800", "2359"}) {
            Strike s;
            s.time = std::string(day) + hm;
            s.id = id++;
            s.lon = 126.0f + 0.25f * s.id;
            s.lat = 35.0f + 0.125f * s.id;
            s.impact = (s.id % 2 ? -1.0f : 1.0f) * (5.5f + s.id);
            s.sensors = s.id % 9;
            s.type = s.id % 3 ? 'G' : 'C';
            s.flash = "FL" + std::to_string(1000 + s.id);
            strikes.push_back(s);
        }
        // Each day a different line end; the last line of the middle day has none.
        const Ends ends = day[7] == '1' ? Ends::Crlf : Ends::Lf;
        writeDay("NX1", day, strikes, ends, day[7] != '1');
        writeDay("VYQ", day, strikes, ends, day[7] != '1');
        all.insert(all.end(), strikes.begin(), strikes.end());
    }
    const char* start = "201305200600";
    const char* end = "201305221230";
    std::vector<Strike> expected;
    for (const Strike& s : all) {
        if (s.time >= start && s.time <= end) {
            expected.push_back(s);
        }
    }
    ASSERT_EQ(expected.size(), 14u);

    const auto nx1 = readNx1(start, end);
    ASSERT_EQ(nx1.size(), expected.size());
    for (size_t i = 0; i < nx1.size(); ++i) {
        const Strike& s = expected[i];
        const LGT_NX1_DATA& r = nx1[i];
        EXPECT_EQ(r.m_nStrkes_id, s.id);
        EXPECT_STREQ(r.m_szDateTime, s.time.c_str());
        EXPECT_EQ(r.m_nNsfrac, 123456789);
        EXPECT_FLOAT_EQ(r.m_fLon, s.lon);
        EXPECT_FLOAT_EQ(r.m_fLat, s.lat);
        EXPECT_FLOAT_EQ(r.m_fImpact, s.impact);
        EXPECT_FLOAT_EQ(r.m_fErrRadius, 0.25f);
        EXPECT_EQ(r.m_cType, s.type);
        EXPECT_EQ(r.m_nSensor, s.sensors);
        EXPECT_EQ(r.m_rgnSensorNum[0], 101);
        EXPECT_EQ(r.m_rgnSensorNum[7], 108);
        EXPECT_EQ(r.m_nQuality, 1);
        // The flash identifier is the last column: nothing of it is lost at any line end.
        EXPECT_STREQ(r.m_szFlash_id, s.flash.c_str());
        char wkt[64];
        std::snprintf(wkt, sizeof wkt, "POINT(%.4f %.4f)", s.lon, s.lat);
        EXPECT_STREQ(r.m_szWKT_info, wkt);
    }

    const auto vyq = readVyq(start, end);
    ASSERT_EQ(vyq.size(), expected.size());
    for (size_t i = 0; i < vyq.size(); ++i) {
        const Strike& s = expected[i];
        EXPECT_STREQ(vyq[i].m_szDateTime, s.time.c_str());
        EXPECT_FLOAT_EQ(vyq[i].m_fLon, s.lon);
        EXPECT_FLOAT_EQ(vyq[i].m_fLat, s.lat);
        EXPECT_FLOAT_EQ(vyq[i].m_fImpact, s.impact);
        EXPECT_EQ(vyq[i].m_nSensor, s.sensors);
        // The type is the last column.
        EXPECT_EQ(vyq[i].m_cType, s.type);
    }
}

TEST_F(LightningInput, DropsRepeatedNx1IdentifiersAndKeepsDistinctOnesThatShareAHash) {
    std::vector<Strike> day1, day2;
    // 150 identifiers with the same remainder modulo 1000, a negative one, and 0.
    for (int k = 0; k < 150; ++k) {
        Strike s;
        s.time = "201307011200";
        s.id = 7 + 1000 * k;
        day1.push_back(s);
    }
    Strike negative;
    negative.time = "201307011300";
    negative.id = -2147483647 - 1;
    Strike zero;
    zero.time = "201307011300";
    zero.id = 0;
    day1.push_back(negative);
    day1.push_back(zero);
    // Repeats in the same file and on the next day.
    day1.push_back(day1[3]);
    day1.push_back(negative);
    Strike fresh;
    fresh.time = "201307021000";
    fresh.id = 999999;
    day2 = {day1[0], zero, fresh, day1[149]};
    writeDay("NX1", "20130701", day1, Ends::Lf);
    writeDay("NX1", "20130702", day2, Ends::Crlf);

    const auto got = readNx1("201307010000", "201307022359");
    std::multiset<int> ids;
    for (const LGT_NX1_DATA& r : got) {
        ids.insert(r.m_nStrkes_id);
    }
    EXPECT_EQ(got.size(), 153u);
    for (int id : ids) {
        EXPECT_EQ(ids.count(id), 1u) << id;
    }
    EXPECT_EQ(ids.count(-2147483647 - 1), 1u);
    EXPECT_EQ(ids.count(0), 1u);
    EXPECT_EQ(ids.count(7 + 1000 * 149), 1u);
    EXPECT_EQ(ids.count(999999), 1u);
}

// The identifier set against std::set: runs, repeats, negative and extreme identifiers,
// and identifiers that differ only in their high bits, across many growths of the table.
TEST(LightningIdSet, AgreesWithAnOrderedSet) {
    lgt_text::StrikeIdSet set;
    std::set<int> reference;
    unsigned long long x = 12345;
    auto next = [&] {
        x = x * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<int>(x >> 32);
    };
    std::vector<int> ids;
    for (int i = 0; i < 20000; ++i) {
        ids.push_back(100000000 + i);        // a day's run
        ids.push_back(next());               // anywhere
        ids.push_back((i % 97) << 24);       // equal low bits
        ids.push_back(-64 * (i % 300) - 1);  // negative blocks
    }
    for (int id : {INT_MIN, INT_MAX, 0, -1, 63, 64, -64, -65}) {
        ids.push_back(id);
        ids.push_back(id);
    }
    for (size_t i = 0; i < ids.size(); i += 7) {
        ids.push_back(ids[i]);  // repeats, long after
    }
    set.reserve(1000);
    for (int id : ids) {
        ASSERT_EQ(set.insert(id), reference.insert(id).second) << id;
    }
    EXPECT_EQ(set.size(), reference.size());
}

TEST_F(LightningInput, NeverWritesPastTheCallersArray) {
    std::vector<Strike> strikes;
    for (int k = 0; k < 40; ++k) {
        Strike s;
        s.time = "201308150930";
        s.id = k + 1;
        strikes.push_back(s);
    }
    writeDay("NX1", "20130815", strikes, Ends::Lf);
    writeDay("VYQ", "20130815", strikes, Ends::Lf);
    constexpr int kMax = 7;
    std::vector<LGT_NX1_DATA> nx1(kMax + 3);
    std::memset(nx1.data(), 0x5A, nx1.size() * sizeof(LGT_NX1_DATA));
    EXPECT_EQ(fnReadLgtDataNX1("201308150000", "201308152359", nx1.data(), kMax), kMax);
    std::vector<LGT_VYQ_DATA> vyq(kMax + 3);
    std::memset(vyq.data(), 0x5A, vyq.size() * sizeof(LGT_VYQ_DATA));
    EXPECT_EQ(fnReadLgtDataVYQ("201308150000", "201308152359", vyq.data(), kMax), kMax);
    const auto* guardNx1 = reinterpret_cast<const unsigned char*>(nx1.data() + kMax);
    const auto* guardVyq = reinterpret_cast<const unsigned char*>(vyq.data() + kMax);
    for (size_t i = 0; i < 3 * sizeof(LGT_NX1_DATA); ++i) {
        ASSERT_EQ(guardNx1[i], 0x5A);
    }
    for (size_t i = 0; i < 3 * sizeof(LGT_VYQ_DATA); ++i) {
        ASSERT_EQ(guardVyq[i], 0x5A);
    }
    EXPECT_EQ(nx1[kMax - 1].m_nStrkes_id, kMax);
    EXPECT_EQ(fnReadLgtDataNX1("201308150000", "201308152359", nx1.data(), 0), 0);
}

TEST_F(LightningInput, KeepsColumnsInPlaceWhenTheLocationHoldsABlank) {
    Strike s;
    s.time = "201306101015";
    s.id = 42;
    s.lon = 128.5f;
    s.lat = 36.25f;
    s.impact = -33.5f;
    s.flash = "FLASH42";
    lgt_test::writeLines(lgt_test::dailyFile(dir_.path(), "NX1", "20130610"),
                         {lgt_test::nx1Line(s, true), "  \t " + lgt_test::nx1Line(s, true)});
    const auto got = readNx1("201306100000", "201306102359");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_STREQ(got[0].m_szWKT_info, "POINT (128.5000 36.2500)");
    EXPECT_FLOAT_EQ(got[0].m_fLon, 128.5f);
    EXPECT_FLOAT_EQ(got[0].m_fImpact, -33.5f);
    EXPECT_STREQ(got[0].m_szFlash_id, "FLASH42");
}

// The column splitter searches sixteen bytes at a time; it must find what a character by
// character walk finds, wherever a blank or parenthesis falls.
TEST(LightningColumns, VectorSearchAgreesWithTheCharacterWalk) {
    const std::string lines[] = {
        "",
        " ",
        "a",
        "(",
        ")",
        "a b",
        "\t a\t\tb  ",
        "POINT (1 2) x",
        "POINT  \t (1 (2) 3)   y z",
        "x (a b) (c d)e f(g h)",
        "unclosed (a b c d e f g h i j k l m n o p q r s t",
        "0123456789abcdef 0123456789abcdef(0123456789abcdef 0123456789abcdef) z",
        "a                                b",
        ")) ((a b)) c",
    };
    for (const std::string& line : lines) {
        for (int max : {1, 2, 3, 22}) {
            std::string_view fast[22], slow[22];
            const int n = lgt_text::splitColumns(line, fast, max);
            ASSERT_EQ(n, lgt_text::splitColumnsScalar(line, slow, max)) << line << " " << max;
            for (int i = 0; i < n; ++i) {
                EXPECT_EQ(fast[i].data(), slow[i].data()) << line;
                EXPECT_EQ(fast[i], slow[i]) << line;
            }
        }
    }
    std::string_view cols[4];
    ASSERT_EQ(lgt_text::splitColumns("POINT  \t (1 (2) 3)   y z", cols, 4), 3);
    EXPECT_EQ(cols[0], "POINT  \t (1 (2) 3)");
    EXPECT_EQ(cols[2], "z");
}

TEST_F(LightningInput, PassesOverLinesThatAreNoStrike) {
    Strike good;
    good.time = "201305211230";
    good.id = 1;
    Strike second = good;
    second.id = 2;
    const std::string ok = lgt_test::nx1Line(good);
    std::string badNumber = lgt_test::nx1Line(second);
    badNumber.replace(badNumber.find(" 0.25 "), 6, " 0.2x ");
    std::string badDate = lgt_test::nx1Line(second);
    badDate.replace(badDate.find("2013-05-21"), 10, "2013-02-30");
    std::string shortLine = ok.substr(0, ok.rfind(' '));
    std::string nanValue = lgt_test::nx1Line(second);
    nanValue.replace(nanValue.find(" 0.25 "), 6, " nan ");
    lgt_test::writeLines(lgt_test::dailyFile(dir_.path(), "NX1", "20130521"),
                         {"strike_id date time ...", badNumber, badDate, shortLine, "", nanValue,
                          std::string(3 << 20, 'x'), ok});
    const auto got = readNx1("201305210000", "201305212359");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].m_nStrkes_id, 1);
    // A malformed line of an identifier does not hide a good line of it.
    Strike third = second;
    third.time = "201305221230";
    std::string badThird = lgt_test::nx1Line(third);
    badThird.replace(badThird.find(" 0.25 "), 6, " 0.2x ");
    lgt_test::writeLines(lgt_test::dailyFile(dir_.path(), "NX1", "20130522"),
                         {badThird, lgt_test::nx1Line(third)});
    EXPECT_EQ(readNx1("201305220000", "201305222359").size(), 1u);
}

// A directory or a FIFO under a day's name is no file of strikes: passed over, never
// waited on.
TEST_F(LightningInput, PassesOverDailyNamesThatAreNoFiles) {
    Strike s;
    s.time = "201306021200";
    s.id = 5;
    writeDay("NX1", "20130602", {s}, Ends::Lf);
    const auto fifo = lgt_test::dailyFile(dir_.path(), "NX1", "20130601");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directories(lgt_test::dailyFile(dir_.path(), "NX1", "20130603"));
    const auto stats = lgt_test::statsFile(dir_.path(), 'D', "20130602");
    std::filesystem::create_directories(stats.parent_path());
    ASSERT_EQ(mkfifo(stats.c_str(), 0600), 0);
    const auto got = readNx1("201306010000", "201306032359");
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].m_nStrkes_id, 5);
    BASIN_DATA area[2] = {};
    EXPECT_EQ(fnReadLgtDataBasin("201306021200", 'D', 1, area, 2), 0);
    EXPECT_EQ(fnInitLgtBasinData(fifo.c_str(), LGT_BASIN_TYPE_DO, area, 2), -1);
    EXPECT_EQ(fnInitLgtBasinData(dir_.path().c_str(), LGT_BASIN_TYPE_DO, area, 2), -1);
}

TEST_F(LightningInput, TakesAgencyDatesOfTwoDigitYearsAsThisCentury) {
    lgt_test::writeLines(lgt_test::dailyFile(dir_.path(), "VYQ", "20130521"),
                         {"05/21/13 12:30:59.5 37.1 127.2 -20.0 0 0 0 0 0 0 6 G",
                          "5/21/2013 7:05:00 37.2 127.3 15.5 0 0 0 0 0 0 4 C",
                          "05/21/13 12:3 37.1 127.2 -20.0 0 0 0 0 0 0 6 G"});
    const auto got = readVyq("201305210000", "201305212359");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_STREQ(got[0].m_szDateTime, "201305211230");
    EXPECT_EQ(got[0].m_nSensor, 6);
    EXPECT_STREQ(got[1].m_szDateTime, "201305210705");
    EXPECT_EQ(got[1].m_cType, 'C');
}

TEST_F(LightningInput, ReadsAtMost365DailyFiles) {
    Strike s;
    s.time = "201301011200";
    s.id = 1;
    writeDay("NX1", "20130101", {s}, Ends::Lf);
    s.time = "201312311200";  // the 365th day of 2013
    s.id = 2;
    writeDay("NX1", "20131231", {s}, Ends::Lf);
    s.time = "201401011200";  // the 366th
    s.id = 3;
    writeDay("NX1", "20140101", {s}, Ends::Lf);
    const auto got = readNx1("201301010000", "201412312359");
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[1].m_nStrkes_id, 2);
}

TEST_F(LightningInput, RefusesInvalidArguments) {
    LGT_NX1_DATA nx1[2];
    LGT_VYQ_DATA vyq[2];
    EXPECT_EQ(fnReadLgtDataNX1(nullptr, "201301010000", nx1, 2), -1);
    EXPECT_EQ(fnReadLgtDataNX1("201301010000", "2013010100", nx1, 2), -1);
    EXPECT_EQ(fnReadLgtDataNX1("201302300000", "201303010000", nx1, 2), -1);
    EXPECT_EQ(fnReadLgtDataNX1("201301010000", "201301010000", nullptr, 2), -1);
    EXPECT_EQ(fnReadLgtDataVYQ("20130101000a", "201301010000", vyq, 2), -1);
    EXPECT_EQ(fnReadLgtDataVYQ("201301010000", "201301010000", vyq, -1), -1);
    // No files at all: nothing, and no failure.
    EXPECT_EQ(fnReadLgtDataVYQ("201301010000", "201301312359", vyq, 2), 0);
    EXPECT_EQ(lgtVisitStrikesNX1("201301010000", "201301010000", nullptr), -1);
}

class LightningBasin : public LightningInput {
  protected:
    std::string areaList() {
        const std::string path = dir_.file("areas.txt");
        lgt_test::writeLines(path, {"5 2 3", "Gyeonggi 41", "Gangwon 42", "Suwon 41110",
                                    "Seongnam 41130", "Chuncheon 42110"});
        return path;
    }
};

TEST_F(LightningBasin, LoadsTheAreasOfOneType) {
    std::vector<BASIN_DATA> buf(4);
    EXPECT_EQ(fnInitLgtBasinData(areaList().c_str(), LGT_BASIN_TYPE_DO, buf.data(), 4), 2);
    EXPECT_STREQ(buf[1].m_szName, "Gangwon");
    EXPECT_EQ(buf[1].m_nCode, 42);
    EXPECT_EQ(buf[3].m_nColor, -1);
    EXPECT_EQ(buf[3].m_fMin_impact, 999.0f);
    EXPECT_EQ(fnInitLgtBasinData(areaList().c_str(), LGT_BASIN_TYPE_SIGU, buf.data(), 4), 3);
    EXPECT_STREQ(buf[0].m_szName, "Suwon");
    EXPECT_EQ(buf[2].m_nCode, 42110);
    // The caller's count bounds the load.
    EXPECT_EQ(fnInitLgtBasinData(areaList().c_str(), LGT_BASIN_TYPE_SIGU, buf.data(), 2), 2);

    const std::string empty = dir_.file("empty.txt");
    lgt_test::writeLines(empty, {}, Ends::Lf, false);
    EXPECT_EQ(fnInitLgtBasinData(empty.c_str(), LGT_BASIN_TYPE_DO, buf.data(), 4), -1);
    EXPECT_EQ(fnInitLgtBasinData(dir_.file("absent").c_str(), 0, buf.data(), 4), -1);
    EXPECT_EQ(fnInitLgtBasinData(areaList().c_str(), 2, buf.data(), 4), -1);
    EXPECT_EQ(fnInitLgtBasinData(areaList().c_str(), 0, buf.data(), 0), -1);
}

TEST_F(LightningBasin, SumsThePeriodsEndingAtTheGivenTime) {
    using lgt_test::AreaStat;
    const auto root = dir_.path();
    ASSERT_TRUE(lgt_test::writeStats(lgt_test::statsFile(root, 'D', "20130521"), 2,
                                     {{41, 3, 30.5, 20.0f, 2.0f}, {42, 1, 7.0, 7.0f, 7.0f}}));
    ASSERT_TRUE(lgt_test::writeStats(lgt_test::statsFile(root, 'D', "20130520"), 2,
                                     {{41, 2, 10.0, 25.0f, 4.0f}, {42, 4, 8.0, 3.0f, 1.0f}}));
    // The third day is missing; the fourth declares 3 records but holds two.
    const auto cut = lgt_test::statsFile(root, 'D', "20130518");
    ASSERT_TRUE(lgt_test::writeStats(cut, 3, {{41, 10, 1.0, 1.0f, 0.5f}, {42, 100, 0, 0, 0}}));
    std::vector<BASIN_DATA> buf(3);
    ASSERT_EQ(fnInitLgtBasinData(areaList().c_str(), LGT_BASIN_TYPE_DO, buf.data(), 3), 2);
    EXPECT_EQ(fnReadLgtDataBasin("201305211200", 'D', 4, buf.data(), 3), 2);
    EXPECT_EQ(buf[0].m_nCode, 41);
    EXPECT_EQ(buf[0].m_nLgtCnt, 15);
    EXPECT_DOUBLE_EQ(buf[0].m_dTot_impact, 41.5);
    EXPECT_FLOAT_EQ(buf[0].m_fMax_impact, 25.0f);
    EXPECT_FLOAT_EQ(buf[0].m_fMin_impact, 0.5f);
    EXPECT_EQ(buf[1].m_nLgtCnt, 105);
    EXPECT_FLOAT_EQ(buf[1].m_fMin_impact, 0.0f);
    EXPECT_EQ(buf[2].m_nLgtCnt, 0);  // declared, never written

    // A count far beyond the records and the caller's array.
    ASSERT_TRUE(lgt_test::writeStats(lgt_test::statsFile(root, 'M', "201305"), 2000000000,
                                     {{41, 1, 1, 1, 1}}));
    std::vector<BASIN_DATA> two(2);
    EXPECT_EQ(fnReadLgtDataBasin("201305311200", 'M', 1, two.data(), 2), 1);
    EXPECT_EQ(fnReadLgtDataBasin("201305311200", 'X', 3, two.data(), 2), 0);
    EXPECT_EQ(fnReadLgtDataBasin("2013053112", 'M', 1, two.data(), 2), -1);
    EXPECT_EQ(fnReadLgtDataBasin("201305311200", 'M', 1, nullptr, 2), -1);
}

}  // namespace
