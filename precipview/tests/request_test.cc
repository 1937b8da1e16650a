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
