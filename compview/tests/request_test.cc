// The compview query parser, the map windows and the composite file search.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "comp_data_file.h"
#include "comp_request.h"
#include "comp_window.h"
#include "test_support.h"

namespace {

struct Parsed {
    int rc;
    CvRequest req;
    std::string reason;
};

Parsed parse(const std::string& qs) {
    Parsed p{};
    cvDefaultRequest(&p.req);
    char reason[kCvReasonSize];
    p.rc = cvParseQuery(qs.c_str(), &p.req, reason);
    p.reason = reason;
    return p;
}

constexpr const char* kTime = "&tm=202612071230";

TEST(CompviewRequest, AcceptsEveryKeyWithinItsBounds) {
    Parsed p = parse(std::string("kind=comp240") + kTime +
                     "&product=CMAX&qc=CHAFFQC&unit=DZ&window=jeju&smooth=0&shadow=1&cells=1"
                     "&symbols=1&map=0&legend=0&_=17");
    ASSERT_EQ(p.rc, 0) << p.reason;
    EXPECT_EQ(p.req.kind, CvKind::Comp240);
    EXPECT_STREQ(p.req.kind_name, "comp240");
    EXPECT_STREQ(p.req.product, "CMAX");
    EXPECT_STREQ(p.req.qc, "CHAFFQC");
    EXPECT_STREQ(p.req.unit, "DZ");
    EXPECT_STREQ(cvWindowAt(p.req.window)->name, "jeju");
    EXPECT_FALSE(p.req.smooth);
    EXPECT_TRUE(p.req.shadow && p.req.cells && p.req.symbols);
    EXPECT_FALSE(p.req.map || p.req.legend);
    EXPECT_EQ(p.req.year, 2026);
    EXPECT_EQ(p.req.month, 12);
    EXPECT_EQ(p.req.day, 7);
    EXPECT_EQ(p.req.hour, 12);
    EXPECT_EQ(p.req.minute, 30);
    EXPECT_EQ(p.req.answer, CvAnswer::Image);

    // The defaults.
    p = parse(std::string("kind=comp480") + kTime);
    ASSERT_EQ(p.rc, 0) << p.reason;
    EXPECT_STREQ(p.req.unit, "RN");
    EXPECT_STREQ(cvWindowAt(p.req.window)->name, "korea");
    EXPECT_TRUE(p.req.smooth && p.req.map && p.req.legend);
    EXPECT_FALSE(p.req.cells || p.req.symbols || p.req.shadow);

    // Forecast leads: whole hours for vsrf, ten minutes for maple, up to six hours.
    p = parse(std::string("kind=vsrf") + kTime + "&lead=360&view=contour");
    ASSERT_EQ(p.rc, 0) << p.reason;
    EXPECT_EQ(p.req.lead_min, 360);
    EXPECT_EQ(p.req.view, CvView::Contour);
    p = parse(std::string("kind=maple") + kTime + "&lead=10&view=cells");
    ASSERT_EQ(p.rc, 0) << p.reason;
    EXPECT_EQ(p.req.lead_min, 10);
    EXPECT_EQ(parse(std::string("kind=maple") + kTime + "&view=guide").rc, 0);

    // The point service.
    p = parse(std::string("answer=point&kind=kcj") + kTime + "&lon=-126.5&lat=37.123456&unit=CZ");
    ASSERT_EQ(p.rc, 0) << p.reason;
    EXPECT_EQ(p.req.answer, CvAnswer::Point);
    EXPECT_DOUBLE_EQ(p.req.lon, -126.5);
    EXPECT_NEAR(p.req.lat, 37.123456, 1e-12);

    // Every kind, unit and window of the tables; empty pairs are skipped.
    for (int i = 0; i < cvKindCount(); ++i) {
        EXPECT_EQ(parse(std::string("&&kind=") + cvKindName(i) + kTime + "&").rc, 0)
            << cvKindName(i);
    }
    EXPECT_EQ(cvKindName(cvKindCount()), nullptr);
    for (int i = 0; i < cvUnitCount(); ++i) {
        EXPECT_EQ(parse(std::string("kind=comp240") + kTime + "&unit=" + cvUnitName(i)).rc, 0);
    }
    for (int i = 0; i < cvWindowCount(); ++i) {
        Parsed w = parse(std::string("kind=kcj") + kTime + "&window=" + cvWindowAt(i)->name);
        EXPECT_EQ(w.rc, 0) << cvWindowAt(i)->name;
        EXPECT_EQ(w.req.window, i);
    }
    EXPECT_EQ(cvWindowAt(cvWindowCount()), nullptr);
    EXPECT_EQ(cvWindowAt(-1), nullptr);
}

TEST(CompviewRequest, KeepsNothingTheClientSent) {
    const std::string qs = std::string("kind=comp240") + kTime + "&product=VIL&qc=ORPGQC";
    Parsed p = parse(qs);
    ASSERT_EQ(p.rc, 0);
    // Names point into the program's own tables, not into the query.
    for (const char* s : {p.req.kind_name, p.req.product, p.req.qc, p.req.unit}) {
        EXPECT_FALSE(s >= qs.data() && s < qs.data() + qs.size()) << s;
    }
}

TEST(CompviewRequest, AsksForTextOnlyByTheExactPair) {
    EXPECT_TRUE(cvWantsText("kind=bad&answer=point"));
    EXPECT_TRUE(cvWantsText("answer=point"));
    EXPECT_FALSE(cvWantsText("answer=pointx&kind=comp240"));
    EXPECT_FALSE(cvWantsText("xanswer=point"));
    EXPECT_FALSE(cvWantsText(""));
    EXPECT_FALSE(cvWantsText(nullptr));
    // Not past the length bound.
    EXPECT_FALSE(cvWantsText((std::string(kCvMaxQueryLength, 'a') + "&answer=point").c_str()));
}

struct Refusal {
    std::string query;
    std::string reason;  // a part of the expected reason
};

TEST(CompviewRequest, RefusesHostileAndImpossibleQueriesWithAReason) {
    const std::string c240 = std::string("kind=comp240") + kTime;
    const std::string vsrf = std::string("kind=vsrf") + kTime;
    const std::string point = std::string("answer=point&kind=comp240") + kTime;
    const Refusal cases[] = {
        {"", "empty query"},
        {c240 + "&_=" + std::string(600, 'a'), "too long"},
        {c240 + std::string(30, '&') +
             "a=1&b=2&c=3&d=4&e=5&f=6&g=7&h=8&i=9&j=10&k=11"
             "&l=12&m=13&n=14&o=15&p=16&q=17&r=18&s=19&t=20&u=21&v=22&w=23",
         "too many pairs"},
        {std::string("kind=../../etc") + kTime, "unknown composite kind"},
        {std::string("kind=COMP240") + kTime, "unknown composite kind"},
        {std::string("kind=comp240%00") + kTime, "unknown composite kind"},
        {c240 + "&product=%s%n%x", "unknown product"},
        {c240 + "&product=BASE", "unknown product"},
        {c240 + "&unit=rn", "unknown unit"},
        {c240 + "&window=..%2fetc", "unknown window"},
        {c240 + "&qc=FUZZY", "bad value for 'qc'"},
        {"kind=comp240&tm=202602301230", "no such time"},
        {"kind=comp240&tm=202613011230", "no such time"},
        {"kind=comp240&tm=202612072430", "no such time"},
        {"kind=comp240&tm=202612071260", "no such time"},
        {"kind=comp240&tm=196912312359", "no such time"},
        {"kind=comp240&tm=20261207123", "no such time"},
        {"kind=comp240&tm=-02612071230", "no such time"},
        {vsrf + "&lead=30", "whole hours"},
        {vsrf + "&lead=420", "bad value for 'lead'"},
        {vsrf + "&lead=-60", "bad value for 'lead'"},
        {vsrf + "&lead=00060", "bad value for 'lead'"},
        {std::string("kind=maple") + kTime + "&lead=15", "ten minutes"},
        {std::string("kind=maple") + kTime + "&view=guide&lead=60", "no lead"},
        {vsrf + "&view=radar", "bad value for 'view'"},
        {vsrf + "&unit=CZ", "unit RN"},
        {vsrf + "&cells=1", "view=cells"},
        {std::string("kind=kcj") + kTime + "&lead=60", "only the forecasts"},
        {std::string("kind=comp480") + kTime + "&view=contour", "only the forecasts"},
        {std::string("kind=comp480") + kTime + "&product=CAPPI", "only comp240"},
        {std::string("kind=kcj") + kTime + "&shadow=1", "only comp240"},
        {c240 + "&product=ETOP&unit=CZ", "own unit"},
        {c240 + "&product=VIL&cells=1", "not ETOP or VIL"},
        {c240 + "&map=yes", "bad value for 'map'"},
        {point, "needs lon and lat"},
        {point + "&lon=127", "needs lon and lat"},
        {point + "&lon=127&lat=37&legend=0", "does not take 'legend'"},
        {point + "&lon=127&lat=37&window=korea", "does not take 'window'"},
        {point + "&lon=181&lat=37", "bad value for 'lon'"},
        {point + "&lon=127&lat=37.", "bad value for 'lat'"},
        {point + "&lon=127&lat=.5", "bad value for 'lat'"},
        {point + "&lon=1.2.3&lat=37", "bad value for 'lon'"},
        {point + "&lon=127&lat=37.1234567", "bad value for 'lat'"},
        {c240 + "&lon=127&lat=37", "belong to answer=point"},
        {c240 + "&answer=text", "bad value for 'answer'"},
        {c240 + "&kind=kcj", "twice: 'kind'"},
        {c240 + "&lead", "no value for 'lead'"},
        {c240 + "&unit=", "no value for 'unit'"},
        {c240 + "&=3", "malformed key"},
        {c240 + "&ke%79=3", "malformed key"},
        {c240 + "&averyveryverylongkey=1", "malformed key"},
        {c240 + "&cache=%27;drop", "malformed value for 'cache'"},
        {c240 + "&unit=" + std::string(30, 'R'), "value too long for 'unit'"},
        {"tm=202612071230", "no composite kind"},
        {"kind=comp240", "no time"},
    };
    for (const Refusal& c : cases) {
        Parsed p = parse(c.query);
        EXPECT_EQ(p.rc, -1) << c.query;
        EXPECT_NE(p.reason.find(c.reason), std::string::npos)
            << c.query << " gave \"" << p.reason << "\"";
        // Reasons are words of the program, never the value that was refused.
        for (const char* leak : {"../", "%", "etc", "drop", "radar", "FUZZY\'"}) {
            EXPECT_EQ(p.reason.find(leak), std::string::npos) << c.query;
        }
        EXPECT_LT(p.reason.size(), kCvReasonSize);
    }
    // Within the length bound exactly, and one past it.
    std::string edge = c240 + "&_=";
    edge += std::string(kCvMaxQueryLength - edge.size(), 'a');
    EXPECT_NE(parse(edge).reason.find("value too long"), std::string::npos);
    EXPECT_NE(parse(edge + "a").reason.find("query too long"), std::string::npos);
    char reason[kCvReasonSize];
    CvRequest req;
    cvDefaultRequest(&req);
    EXPECT_EQ(cvParseQuery(nullptr, &req, reason), -1);  // no QUERY_STRING at all
}

// The windows on the display projection, checked against the composite's corners (the
// whole-country window is the composite) and against each other.
TEST(CompviewWindows, LieOnTheCompositeAndPlaceTheMapLines) {
    CvWindowPlace korea = {};
    ASSERT_TRUE(cvPlaceWindow(cvWindowIndex("korea"), &korea));
    EXPECT_NEAR(korea.lu_lon, 121.02835, 1e-4);
    EXPECT_NEAR(korea.lu_lat, 41.590557, 1e-4);
    EXPECT_FLOAT_EQ(korea.x_dist_m, 960000.0f);
    EXPECT_FLOAT_EQ(korea.y_dist_m, 1200000.0f);
    // 2 km pixels: a 4 km map cell is 2 pixels, the composite's lower-left cell (0, 0) at the
    // image's lower-left corner.
    EXPECT_FLOAT_EQ(korea.map_zoom, 2.0f);
    EXPECT_FLOAT_EQ(korea.map_xo, 0.0f);
    EXPECT_FLOAT_EQ(korea.map_yo, 0.0f);

    // The central window starts 240 km east and 220 km south of the composite's corner; at
    // 1 km per pixel a map cell is 4 pixels. Its corner lies south-east of the composite's.
    CvWindowPlace central = {};
    ASSERT_TRUE(cvPlaceWindow(cvWindowIndex("central"), &central));
    EXPECT_GT(central.lu_lon, korea.lu_lon + 2.0f);
    EXPECT_LT(central.lu_lat, korea.lu_lat - 1.5f);
    EXPECT_FLOAT_EQ(central.map_zoom, 4.0f);
    EXPECT_FLOAT_EQ(central.map_xo, 60.0f);
    // Its bottom edge lies 700 km below the composite's top: 500 km, 125 cells, above its
    // bottom.
    EXPECT_FLOAT_EQ(central.map_yo, -125.0f);
    // The Seoul area (126.98 E, 37.57 N) lies inside it, Jeju (126.53 E, 33.5 N) in "jeju".
    EXPECT_TRUE(central.lu_lon < 126.98f && central.lu_lat > 37.57f);
    CvWindowPlace jeju = {};
    ASSERT_TRUE(cvPlaceWindow(cvWindowIndex("jeju"), &jeju));
    EXPECT_TRUE(jeju.lu_lon < 126.2f && jeju.lu_lat > 33.6f && jeju.lu_lat < 34.8f);

    EXPECT_FALSE(cvPlaceWindow(cvWindowCount(), &jeju));
    EXPECT_EQ(cvWindowIndex("Korea"), -1);
    EXPECT_EQ(cvWindowIndex(""), -1);
}

// A data tree under a temporary RDR_ROOT.
class CompviewFileSearch : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* old = std::getenv("RDR_ROOT");
        saved_ = old != nullptr ? old : "";
        setenv("RDR_ROOT", dir_.path().c_str(), 1);
    }
    void TearDown() override { setenv("RDR_ROOT", saved_.c_str(), 1); }

    // Path of a file by the naming rule, with its directory made.
    std::string pathOf(const std::string& name, const std::string& tm) {
        const std::string rel = "/DATA/RDR/COMP/" + tm.substr(0, 6) + "/" + tm.substr(6, 2) + "/" +
                                name + "_" + tm + ".bin.gz";
        const std::string path = dir_.path().string() + rel;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        return path;
    }

    std::string put(const std::string& name, const std::string& tm) {
        const std::string path = pathOf(name, tm);
        std::ofstream(path) << "x";
        return path;
    }

    CvRequest at(const std::string& query) {
        CvRequest req;
        cvDefaultRequest(&req);
        char reason[kCvReasonSize];
        EXPECT_EQ(cvParseQuery(query.c_str(), &req, reason), 0) << reason;
        return req;
    }

    rdrtest::TempDir dir_;
    std::string saved_;
};

TEST_F(CompviewFileSearch, NamesEachKindAndFindsTheMinuteOrTheNewestOfTheTenBefore) {
    const std::string cappi = put("RDR_CMP_CAPPI_NOQC", "202701010000");
    const std::string etop = put("RDR_CMP_ETOP_CHAFFQC", "202612312355");
    char path[1024];
    CvTime t{};
    ASSERT_TRUE(cvFindDataFile(at("kind=comp240&tm=202701010000"), path, sizeof path, &t));
    EXPECT_EQ(path, cappi);
    EXPECT_EQ(t.year, 2027);
    // Across the turn of the year, five minutes before; another product's file is not taken.
    ASSERT_TRUE(cvFindDataFile(at("kind=comp240&product=ETOP&qc=CHAFFQC&tm=202612312359"), path,
                               sizeof path, &t));
    EXPECT_EQ(path, etop);
    EXPECT_EQ(t.year, 2026);
    EXPECT_EQ(t.month, 12);
    EXPECT_EQ(t.day, 31);
    EXPECT_EQ(t.hour, 23);
    EXPECT_EQ(t.minute, 55);
    EXPECT_FALSE(
        cvFindDataFile(at("kind=comp240&product=ETOP&tm=202612312359"), path, sizeof path, &t));
    // Ten minutes back is the limit.
    ASSERT_TRUE(cvFindDataFile(at("kind=comp240&tm=202701010010"), path, sizeof path, &t));
    EXPECT_EQ(path, cappi);
    EXPECT_FALSE(cvFindDataFile(at("kind=comp240&tm=202701010011"), path, sizeof path, &t));
    EXPECT_STREQ(path, "");
    // The other kinds by their names; a forecast's lead does not change its file.
    for (const char* name : {"RDR_CMP480", "RDR_KCJ", "RDR_VSRF", "RDR_MAPLE"}) {
        put(name, "202703050700");
    }
    const struct {
        const char* query;
        const char* name;
    } kinds[] = {
        {"kind=comp480&tm=202703050700", "RDR_CMP480"},
        {"kind=kcj&tm=202703050705", "RDR_KCJ"},
        {"kind=vsrf&tm=202703050700&lead=180", "RDR_VSRF"},
        {"kind=maple&tm=202703050709&lead=50", "RDR_MAPLE"},
    };
    for (const auto& k : kinds) {
        ASSERT_TRUE(cvFindDataFile(at(k.query), path, sizeof path, &t)) << k.query;
        EXPECT_EQ(path, pathOf(k.name, "202703050700"));
    }
}

TEST_F(CompviewFileSearch, TakesOnlyRegularFiles) {
    // A directory and a FIFO under a file's name: a FIFO would block the reader.
    std::filesystem::create_directories(pathOf("RDR_KCJ", "202701010000"));
    ASSERT_EQ(mkfifo(pathOf("RDR_KCJ", "202701010001").c_str(), 0600), 0);
    char path[1024];
    CvTime t{};
    EXPECT_FALSE(cvFindDataFile(at("kind=kcj&tm=202701010001"), path, sizeof path, &t));
    // A root too long for the buffer finds nothing rather than a cut path.
    char tiny[40];
    put("RDR_KCJ", "202701050000");
    EXPECT_FALSE(cvFindDataFile(at("kind=kcj&tm=202701050000"), tiny, sizeof tiny, &t));
}

TEST(CompviewTime, StepsAcrossMonthsAndLeapDays) {
    char s[13];
    cvFormatTime(cvAddMinutes(CvTime{2024, 2, 28, 23, 30}, 60), s);
    EXPECT_STREQ(s, "202402290030");
    cvFormatTime(cvAddMinutes(CvTime{2025, 3, 1, 0, 5}, -10), s);
    EXPECT_STREQ(s, "202502282355");
    cvFormatTime(cvAddMinutes(CvTime{2026, 12, 31, 22, 0}, 360), s);
    EXPECT_STREQ(s, "202701010400");
}

}  // namespace
