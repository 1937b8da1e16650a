// Query parsing and validation, the requested time and the data-file search.
#include <cstdlib>
#include <string>

#include "analysis_file.h"
#include "pv_test_env.h"
#include "request.h"
#include "time_seq.h"

namespace {

using pvtest::PvTest;

int parse(const char* qs, INPUT_VAR* v, char* tm) {
    pv_set_defaults(v, tm);
    return pv_parse_query(qs, v, tm);
}

TEST(Query, DefaultsAndPairsAsTheyStand) {
    INPUT_VAR v;
    char tm[kTimeTextSize];
    ASSERT_EQ(parse("obs=RNSN&map=KM&size=600&zoom_x=12&zoom_y=21&gis=T&x1=-5&aws=6&"
                    "tm=202401011237&obs=TW&unknown_key=xyz&legend=",
                    &v, tm),
              kQueryOk);
    EXPECT_STREQ(v.obs, "TW");  // a later pair wins
    EXPECT_STREQ(v.map, "KM");
    EXPECT_EQ(v.size, 600);
    EXPECT_STREQ(v.zoom_x, "12");
    EXPECT_STREQ(v.gis, "T");
    EXPECT_EQ(v.x1, -5);
    EXPECT_EQ(v.aws, 6);
    EXPECT_EQ(v.legend, 1);  // empty value: default kept
    EXPECT_EQ(v.zoom_rate, 2);
    EXPECT_EQ(v.rnexdisp, 1);
    EXPECT_STREQ(tm, "202401011237");

    ASSERT_EQ(parse("", &v, tm), kQueryOk);
    EXPECT_STREQ(v.map, "HR");
    EXPECT_STREQ(tm, "0");
    ASSERT_EQ(parse("auto_man=auto&&&cmp=HSR_A", &v, tm), kQueryOk);
    EXPECT_EQ(v.auto_man, 'a');
    EXPECT_STREQ(v.cmp, "HSR_A");
}

TEST(Query, RefusesEveryValueOutsideItsForm) {
    const char* bad[] = {
        "obs=RNSN&map=../../etc",               // path pieces
        "obs=RNSN&gis=..%2f",                   // no decoding: % is refused as it stands
        "obs=BOGUS",                            // unknown product
        "map=ABCDEFGH",                         // longer than the field
        "size=12x",                             // not an integer
        "size=1234567",                         // more than six digits
        "tm=2024-01-01",                        // not digits
        "tm=2024010112370",                     // more than twelve digits
        "zoom_x=12a",                           // zoom digits only
        "cmp=%s%s%n",                           // format directives
        "obs=RNSN&x=$(reboot)",                 // unknown keys are checked too
        "ke%y=1",                               // key characters
        "=5",                                   // empty key
        "cmp=ABCDEFGHIJKLMNOPQRSTUVWXYZ01234",  // pair longer than 31 characters
    };
    for (const char* qs : bad) {
        INPUT_VAR v;
        char tm[kTimeTextSize];
        EXPECT_EQ(parse(qs, &v, tm), kQueryRejected) << qs;
    }
    INPUT_VAR v;
    char tm[kTimeTextSize];
    std::string long_query;
    for (int k = 0; k < 200; k++) {
        long_query += "sms=1&";
    }
    EXPECT_EQ(parse(long_query.c_str(), &v, tm), kQueryRejected);
}

// Every bounded input at its edges: the last value inside is taken whole, the first
// outside refuses the request.
TEST(Query, BoundsAreInclusiveAtTheirEdges) {
    INPUT_VAR v;
    char tm[kTimeTextSize];
    // Name fields hold seven characters.
    const struct {
        const char* key;
        char (INPUT_VAR::*field)[8];
    } kNames[] = {{"cmp", &INPUT_VAR::cmp},
                  {"qcd", &INPUT_VAR::qcd},
                  {"map", &INPUT_VAR::map},
                  {"color", &INPUT_VAR::color},
                  {"gis", &INPUT_VAR::gis}};
    for (const auto& name : kNames) {
        const std::string seven = std::string(name.key) + "=ABCDEFG";
        ASSERT_EQ(parse(seven.c_str(), &v, tm), kQueryOk) << seven;
        EXPECT_STREQ(v.*(name.field), "ABCDEFG") << name.key;
        EXPECT_EQ(parse((seven + "H").c_str(), &v, tm), kQueryRejected) << seven << "H";
    }
    ASSERT_EQ(parse("auto_man=abcdefg", &v, tm), kQueryOk);
    EXPECT_EQ(v.auto_man, 'a');
    EXPECT_EQ(parse("auto_man=abcdefgh", &v, tm), kQueryRejected);

    // Integers: an optional minus and one to six digits.
    ASSERT_EQ(parse("x1=999999&y1=-999999&size=0", &v, tm), kQueryOk);
    EXPECT_EQ(v.x1, 999999);
    EXPECT_EQ(v.y1, -999999);
    EXPECT_EQ(v.size, 0);
    for (const char* qs : {"x1=1000000", "y1=-1000000", "size=-", "size=--1", "size=+5"}) {
        EXPECT_EQ(parse(qs, &v, tm), kQueryRejected) << qs;
    }

    // Digit texts: twelve for the time, fifteen for each zoom path.
    ASSERT_EQ(parse("tm=202401011237", &v, tm), kQueryOk);
    EXPECT_STREQ(tm, "202401011237");
    EXPECT_EQ(parse("tm=2024010112370", &v, tm), kQueryRejected);
    ASSERT_EQ(parse("zoom_x=123456789012345&zoom_y=987654321098765", &v, tm), kQueryOk);
    EXPECT_STREQ(v.zoom_x, "123456789012345");
    EXPECT_STREQ(v.zoom_y, "987654321098765");
    EXPECT_EQ(parse("zoom_x=1234567890123456", &v, tm), kQueryRejected);
    EXPECT_EQ(parse("zoom_y=1234567890123456", &v, tm), kQueryRejected);

    // A pair, key and value together, holds 31 characters.
    const std::string pair31 = "abcdefghijklmnopqrstuvwxyz=1234";
    ASSERT_EQ(pair31.size(), 31u);
    EXPECT_EQ(parse(pair31.c_str(), &v, tm), kQueryOk);
    EXPECT_EQ(parse((pair31 + "5").c_str(), &v, tm), kQueryRejected);
    ASSERT_EQ(parse("zoom_x=12&abcdefghijklmnopqrstuvwxyz=12345&qcd=Q1", &v, tm), kQueryRejected);
    EXPECT_STREQ(v.zoom_x, "12") << "pairs around a refused one are still read";
    EXPECT_STREQ(v.qcd, "Q1");
}

// Builds a query of count pairs "sms=1", with empty pairs (which do not count) in between.
std::string pairsQuery(int count) {
    std::string qs = "&&";
    for (int k = 0; k < count; k++) {
        qs += "sms=1&&";
    }
    return qs;
}

// Builds a query of exactly length characters from 31-character pairs of an unknown key.
std::string queryOfLength(size_t length) {
    std::string qs;
    while (qs.size() + 32 <= length) {
        qs += "abcdefghijklmnopqrstuvwxyz=1234&";
    }
    qs.append(length - qs.size(), '&');
    return qs;
}

TEST(Query, PairCountAndQueryLengthAtTheirEdges) {
    INPUT_VAR v;
    char tm[kTimeTextSize];
    EXPECT_EQ(parse(pairsQuery(64).c_str(), &v, tm), kQueryOk);
    EXPECT_EQ(v.sms, 1);
    EXPECT_EQ(parse(pairsQuery(65).c_str(), &v, tm), kQueryRejected);

    const std::string longest = queryOfLength(1024);
    ASSERT_EQ(longest.size(), 1024u);
    EXPECT_EQ(parse(longest.c_str(), &v, tm), kQueryOk);
    EXPECT_EQ(parse(queryOfLength(1025).c_str(), &v, tm), kQueryRejected);
}

TEST(RequestTime, DatesAtTheEdgesOfTheExactRange) {
    INPUT_VAR v{};
    v.seq_now = time2seq(2024, 5, 6, 7, 44, 'm');
    ASSERT_EQ(pv_request_time(&v, "190101010000"), 0);
    EXPECT_EQ(v.seq, time2seq(1901, 1, 1, 0, 0, 'm'));
    ASSERT_EQ(pv_request_time(&v, "209912312359"), 0);
    EXPECT_EQ(v.seq, time2seq(2099, 12, 31, 23, 55, 'm'));
    ASSERT_EQ(pv_request_time(&v, "202404302300"), 0);
    EXPECT_EQ(v.seq, time2seq(2024, 4, 30, 23, 0, 'm'));
    ASSERT_EQ(pv_request_time(&v, "202412010059"), 0);
    EXPECT_EQ(v.seq, time2seq(2024, 12, 1, 0, 55, 'm'));
    v.seq = 12345;
    for (const char* t :
         {"190012312359", "210001010000", "202400011200", "202404311200", "202401000000"}) {
        EXPECT_EQ(pv_request_time(&v, t), -1) << t;
    }
    EXPECT_EQ(v.seq, 12345);
}

TEST(RequestTime, RoundsDownToFiveMinutesAndRefusesImpossibleDates) {
    INPUT_VAR v{};
    v.seq_now = time2seq(2024, 5, 6, 7, 44, 'm');
    ASSERT_EQ(pv_request_time(&v, "202401011237"), 0);
    EXPECT_EQ(v.seq, time2seq(2024, 1, 1, 12, 35, 'm'));
    ASSERT_EQ(pv_request_time(&v, "2024010112"), 0);  // no minute group: 0
    EXPECT_EQ(v.seq, time2seq(2024, 1, 1, 12, 0, 'm'));
    ASSERT_EQ(pv_request_time(&v, "202401"), 0);  // too short: the current time
    EXPECT_EQ(v.seq, time2seq(2024, 5, 6, 7, 40, 'm'));
    v.auto_man = 'a';
    ASSERT_EQ(pv_request_time(&v, "202401011237"), 0);
    EXPECT_EQ(v.seq, time2seq(2024, 5, 6, 7, 40, 'm'));
    v.auto_man = 0;
    v.seq = 12345;
    for (const char* t : {"202302291200", "202413011200", "202401322359", "202401012400",
                          "202401010060", "189912311200", "000001011200"}) {
        EXPECT_EQ(pv_request_time(&v, t), -1) << t;
    }
    EXPECT_EQ(v.seq, 12345);
    EXPECT_EQ(pv_request_time(&v, "202402291200"), 0);
}

class Search : public PvTest {
  protected:
    int serve(const std::string& qs) {
        setenv("QUERY_STRING", qs.c_str(), 1);
        int rc = user_input();
        unsetenv("QUERY_STRING");
        return rc;
    }
    std::string fileAt(int HH, int MI) { return pvtest::analysisPath(root_, 2024, 1, 1, HH, MI); }
};

// Small grids of varied bytes, so that the compressed file stays above 100 bytes.
pvtest::AnalysisGrids smallGrids() {
    pvtest::AnalysisGrids g = pvtest::patternGrids();
    g.nx = 64;
    g.ny = 64;
    g.type = [](int x, int y) { return static_cast<uint8_t>((x * 7919 + y * 104729) % 251); };
    return g;
}

TEST_F(Search, StepsBackPastMissingAndTinyFiles) {
    pvtest::AnalysisGrids g = smallGrids();
    pvtest::writeAnalysis(root_, 2024, 1, 1, 12, 25, g);
    pvtest::writeFile(fileAt(12, 30), std::string(100, 'x'));  // 100 bytes: not enough
    ASSERT_EQ(serve("obs=RNSN&size=600&tm=202401011237"), 0);
    EXPECT_EQ(var.seq, time2seq(2024, 1, 1, 12, 25, 'm'));
    EXPECT_EQ(std::string(var.fname), fileAt(12, 25));
    EXPECT_EQ(var.NX, 1152);
}

TEST_F(Search, GivesUpAfterTenTimesNamingTheLast) {
    pvtest::AnalysisGrids g = smallGrids();
    pvtest::writeAnalysis(root_, 2024, 1, 1, 11, 45, g);  // eleventh time back: not tried
    EXPECT_EQ(serve("obs=RNSN&size=600&tm=202401011237"), -1);
    EXPECT_EQ(var.seq, time2seq(2024, 1, 1, 11, 50, 'm'));
    EXPECT_EQ(std::string(var.fname), fileAt(11, 50));
}

TEST_F(Search, ImageSizeRunsFrom100To3000) {
    pvtest::writeAnalysis(root_, 2024, 1, 1, 12, 35, smallGrids());
    for (int size : {100, 3000}) {
        EXPECT_EQ(serve("obs=RNSN&tm=202401011237&size=" + std::to_string(size)), 0) << size;
        EXPECT_EQ(var.size, size);
    }
    for (int size : {99, 3001, -100}) {
        EXPECT_EQ(serve("obs=RNSN&tm=202401011237&size=" + std::to_string(size)), -1) << size;
        EXPECT_STREQ(var.fname, "") << "refused before any file is looked for";
    }
}

TEST_F(Search, RefusalsSayWhyInWordsWithoutAPath) {
    struct Case {
        const char* query;
        const char* reason;
    };
    const Case cases[] = {
        {"obs=RNSN&size=600&map=NOPE&tm=202401011237", "unknown map window NOPE"},
        {"obs=RNSN&size=99&tm=202401011237", "image size must be 100 to 3000 pixels (size)"},
        {"obs=NOPE&size=600", "bad value for 'obs'"},
        {"size=600", "no product named (obs)"},
        {"obs=RNSN&size=600&tm=202402301200",
         "not a real date and time: 202402301200 (tm is YYYYMMDDHHMM)"},
        {"obs=RNSN&size=600&tm=202401011237",
         "no data for 2024-01-01 12:35 or the 45 minutes before"},
        {"obs=RNSN&size=600&m%2Fap=x&cmp=%25s", "bad value for '?'"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(serve(c.query), -1) << c.query;
        EXPECT_STREQ(pv_refusal(), c.reason) << c.query;
        EXPECT_EQ(std::string(pv_refusal()).find(root_), std::string::npos);
    }
    pvtest::writeAnalysis(root_, 2024, 1, 1, 12, 35, smallGrids());
    EXPECT_EQ(serve("obs=RNSN&size=600&tm=202401011237"), 0);
    EXPECT_STREQ(pv_refusal(), "") << "a served request carries no reason of an earlier one";
}

TEST_F(Search, RefusesRequestsTheImageCannotServe) {
    EXPECT_EQ(serve("obs=RNSN&size=600&map=NOPE"), -1);  // not in the table
    EXPECT_EQ(serve("obs=RNSN&size=600&map=BAD"), -1);   // window without width
    EXPECT_EQ(serve("obs=RNSN"), -1);                    // no size
    EXPECT_EQ(serve("obs=RNSN&size=99999"), -1);
    EXPECT_EQ(serve("size=600"), -1);  // no product
    EXPECT_STREQ(var.fname, "");
    unsetenv("QUERY_STRING");
    EXPECT_EQ(user_input(), -1);
}

}  // namespace

namespace {

TEST(Query, RefusedRequestKeepsOnlyItsGoodPairs) {
    INPUT_VAR v;
    char tm[kTimeTextSize];
    pv_set_defaults(&v, tm);
    EXPECT_EQ(pv_parse_query("obs=NOPE&cmp=../x&qcd=Q1&size=640", &v, tm), kQueryRejected);
    EXPECT_STREQ(v.obs, "");
    EXPECT_STREQ(v.cmp, "");
    EXPECT_STREQ(v.qcd, "Q1");
    EXPECT_EQ(v.size, 640);
}

}  // namespace
