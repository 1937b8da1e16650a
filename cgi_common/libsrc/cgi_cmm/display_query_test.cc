// The query splitter every CGI program uses: what it takes, what it refuses and why.
#include "display_query.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

constexpr const char* kKeys[] = {"site", "tm"};

const char* refusalOf(int k) {
    return k == 0 ? "unknown site" : nullptr;
}

constexpr CgiQueryRules kRules = {40, 3, 8, 12, kKeys, 2, refusalOf};

struct Parsed {
    int rc;
    std::string reason;
    std::map<int, std::string> values;
};

Parsed parse(const char* query) {
    Parsed out;
    bool seen[2] = {};
    char reason[kCgiReasonSize];
    out.rc = cgiParseQuery(
        query, kRules,
        [&out](int k, std::string_view v) {
            out.values[k] = std::string(v);
            return v != "NOPE";
        },
        seen, reason);
    out.reason = reason;
    return out;
}

TEST(CgiQuery, TakesKnownKeysAndIgnoresPlainUnknownOnes) {
    const Parsed p = parse("site=KWK&&_=123&tm=202607151530");
    EXPECT_EQ(p.rc, 0) << p.reason;
    EXPECT_EQ(p.values.at(0), "KWK");
    EXPECT_EQ(p.values.at(1), "202607151530");
}

TEST(CgiQuery, RefusalsNameTheKeyNeverTheValue) {
    const std::map<std::string, std::string> cases = {
        {"", "empty query"},
        {"site=KWK&tm=1&a=b&c=d", "too many pairs in the query"},
        {std::string(41, 'a'), "query too long"},
        {"si-te=KWK", "malformed key in the query"},
        {"toolongkey=1", "malformed key in the query"},
        {"site=", "no value for 'site'"},
        {"site=KWK&site=PSN", "key given twice: 'site'"},
        {"tm=1234567890123", "value too long for 'tm'"},
        {"x=%27%3B", "malformed value for 'x'"},
        {"site=NOPE", "unknown site"},
        {"tm=NOPE", "bad value for 'tm'"},
    };
    for (const auto& [query, reason] : cases) {
        const Parsed p = parse(query.c_str());
        EXPECT_EQ(p.rc, -1) << query;
        EXPECT_EQ(p.reason, reason) << query;
    }
    char reason[kCgiReasonSize];
    bool seen[2] = {};
    EXPECT_EQ(cgiParseQuery(
                  nullptr, kRules, [](int, std::string_view) { return true; }, seen, reason),
              -1);
}

}  // namespace

namespace {

TEST(CgiQueryValues, NumbersDegreesSwitchesAndRealDates) {
    int n = 0;
    EXPECT_TRUE(cgiParseInt("-12", -20, 20, &n));
    EXPECT_EQ(n, -12);
    for (const char* bad : {"", "-", "1e3", "1234567", "21", " 1", "+1"}) {
        EXPECT_FALSE(cgiParseInt(bad, -20, 20, &n)) << bad;
    }
    double d = 0.0;
    EXPECT_TRUE(cgiParseDegrees("-126.123456", 180.0, &d));
    EXPECT_DOUBLE_EQ(d, -126.123456);
    for (const char* bad : {"180.5", "1.", ".5", "1234", "1.1234567", "--1", "NaN"}) {
        EXPECT_FALSE(cgiParseDegrees(bad, 180.0, &d)) << bad;
    }
    bool on = false;
    EXPECT_TRUE(cgiParseSwitch("1", &on) && on);
    EXPECT_FALSE(cgiParseSwitch("yes", &on));
    CgiTime t{};
    EXPECT_TRUE(cgiParseTime("202402291530", 1970, 2099, &t));
    EXPECT_EQ(t.year * 100000000L + t.month * 1000000L + t.day * 10000 + t.hour * 100 + t.minute,
              202402291530L);
    for (const char* bad : {"202302291530", "202413011200", "202401012400", "202401010060",
                            "196912312359", "21000101000", "2024010112001"}) {
        EXPECT_FALSE(cgiParseTime(bad, 1970, 2099, &t)) << bad;
    }
    constexpr const char* kNames[] = {"PPI", "CAPPI"};
    EXPECT_EQ(cgiLookupName(kNames, std::string_view("CAPPI")), kNames[1]);
    EXPECT_EQ(cgiLookupName(kNames, std::string_view("cappi")), nullptr);
}

}  // namespace
