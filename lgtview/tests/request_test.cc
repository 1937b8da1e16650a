#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "lgt_answer.h"
#include "lgt_request.h"

namespace {

struct Parsed {
    int rc;
    LvRequest req;
    std::string reason;
};

Parsed parse(const std::string& qs) {
    Parsed p{};
    lvDefaultRequest(&p.req);
    char reason[kLvReasonSize];
    p.rc = lvParseQuery(qs.c_str(), &p.req, reason);
    p.reason = reason;
    return p;
}

TEST(LgtviewQuery, AcceptsEveryKeyWithinItsBoundsAndFillsTheDefaults) {
    Parsed p = parse("product=LGTINTN&tm=201602292359&map=SE&src=VYQ&_=1234");
    ASSERT_EQ(p.rc, 0) << p.reason;
    EXPECT_EQ(p.req.product, LvProduct::Intensity);
    EXPECT_EQ(p.req.year, 2016);
    EXPECT_EQ(p.req.day, 29);
    EXPECT_STREQ(p.req.map, "SE");
    EXPECT_EQ(p.req.layout, LvLayout::Vyq);
    EXPECT_EQ(p.req.interval, 60);
    EXPECT_TRUE(p.reason.empty());

    p = parse("product=LGTTIME&tm=197001010000");
    ASSERT_EQ(p.rc, 0);
    EXPECT_EQ(p.req.interval, 10);
    EXPECT_STREQ(p.req.map, "SK");
    EXPECT_EQ(p.req.layout, LvLayout::Nx1);
    EXPECT_FALSE(p.req.legend);

    p = parse("product=LGTAREA&tm=209912312359&intv=31&legend=1&height=2000");
    ASSERT_EQ(p.rc, 0) << p.reason;
    EXPECT_TRUE(p.req.legend);
    EXPECT_EQ(p.req.height, 2000);
    EXPECT_EQ(parse("product=LGTVWORLD&tm=201307151230&intv=1440").rc, 0);
}

TEST(LgtviewQuery, RefusesHostileAndOutOfBoundsQueriesWithoutRepeatingThem) {
    const std::string longValue(600, 'a');
    const char* refused[] = {
        "",
        "product=LGTTIME",
        "tm=201307151230",
        "product=LGTFOO&tm=201307151230",
        "product=LGTTIME&tm=201302291230",
        "product=LGTTIME&tm=20130715123",
        "product=LGTTIME&tm=201307152400",
        "product=LGTTIME&tm=196912312359",
        "product=LGTTIME&tm=201307151230&intv=0",
        "product=LGTTIME&tm=201307151230&intv=1441",
        "product=LGTTIME&tm=201307151230&intv=-5",
        "product=LGTAREA&tm=201307151230&intv=32",
        "product=LGTTIME&tm=201307151230&map=../../etc",
        "product=LGTTIME&tm=201307151230&map=%2e%2e",
        "product=LGTTIME&tm=201307151230&src=nx1",
        "product=LGTTIME&tm=201307151230&height=500",
        "product=LGTTIME&tm=201307151230&legend=1&height=99",
        "product=LGTTIME&tm=201307151230&product=LGTINTN",
        "product=%25s%25n&tm=201307151230",
        "product=LGTTIME&tm=201307151230&x=%3Cscript%3E",
        "product=LGTTIME&tm=201307151230&=1",
        "product=LGTTIME&tm=201307151230&intv",
        "product=LGTTIME&tm=201307151230&a=1&b=1&c=1&d=1&e=1&f=1&g=1&h=1&i=1&j=1&k=1&l=1&m=1&n=1&o="
        "1",
    };
    for (const char* qs : refused) {
        const Parsed p = parse(qs);
        EXPECT_EQ(p.rc, -1) << qs;
        EXPECT_FALSE(p.reason.empty()) << qs;
        EXPECT_EQ(p.reason.find('%'), std::string::npos) << qs;
        EXPECT_EQ(p.reason.find(".."), std::string::npos) << qs;
        EXPECT_EQ(p.reason.find('<'), std::string::npos) << qs;
    }
    EXPECT_EQ(parse("product=LGTTIME&tm=201307151230&_=" + longValue).reason, "query too long");
}

// The windows hold their minutes with both ends, across a year's end.
TEST(LgtviewWindow, CoversTheRequestedMinutesEndIncluded) {
    Parsed p = parse("product=LGTTIME&tm=201401010005&intv=10");
    ASSERT_EQ(p.rc, 0);
    LvWindow w = lvWindowOf(p.req);
    EXPECT_STREQ(w.start, "201312312306");
    EXPECT_STREQ(w.end, "201401010005");
    EXPECT_EQ(w.classMinutes, 10);
    EXPECT_EQ(w.titleMinutes, 60);

    p = parse("product=LGTINTN&tm=201307151230&intv=1");
    w = lvWindowOf(p.req);
    EXPECT_STREQ(w.start, "201307151230");

    p = parse("product=LGTAREA&tm=201303010000&intv=2");
    w = lvWindowOf(p.req);
    EXPECT_STREQ(w.start, "201302270001");
    EXPECT_EQ(w.classMinutes, 480);
}

}  // namespace
