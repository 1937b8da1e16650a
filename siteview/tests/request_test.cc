// The siteview query parser and the volume file search.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "site_request.h"
#include "site_volume_file.h"
#include "test_support.h"

namespace {

struct Parsed {
    int rc;
    SvRequest req;
    std::string reason;
};

Parsed parse(const std::string& qs) {
    Parsed p{};
    svDefaultRequest(&p.req);
    char reason[kSvReasonSize];
    p.rc = svParseQuery(qs.c_str(), &p.req, reason);
    p.reason = reason;
    return p;
}

constexpr const char* kBase = "site=KWK&tm=202612071230&product=";

TEST(SiteviewRequest, AcceptsEveryKeyWithinItsBounds) {
    Parsed p = parse(std::string(kBase) +
                     "PPI&field=VR&window=480&sweep=19&rings=0&map=0&stations=1&_=17");
    ASSERT_EQ(p.rc, 0) << p.reason;
    EXPECT_STREQ(p.req.site, "KWK");
    EXPECT_EQ(p.req.product, SvProduct::Ppi);
    EXPECT_STREQ(p.req.product_name, "PPI");
    EXPECT_STREQ(p.req.field, "VR");
    EXPECT_EQ(p.req.window_km, 480);
    EXPECT_EQ(p.req.sweep, 19);
    EXPECT_FALSE(p.req.rings);
    EXPECT_FALSE(p.req.map);
    EXPECT_TRUE(p.req.stations);
    EXPECT_EQ(p.req.year, 2026);
    EXPECT_EQ(p.req.month, 12);
    EXPECT_EQ(p.req.day, 7);
    EXPECT_EQ(p.req.hour, 12);
    EXPECT_EQ(p.req.minute, 30);

    p = parse(std::string(kBase) + "CAPPI&height=15000");
    ASSERT_EQ(p.rc, 0) << p.reason;
    EXPECT_EQ(p.req.height_m, 15000);
    EXPECT_STREQ(p.req.field, "DZ");  // the defaults
    EXPECT_EQ(p.req.window_km, 240);
    EXPECT_TRUE(p.req.rings);
    EXPECT_TRUE(p.req.map);
    EXPECT_FALSE(p.req.stations);

    p = parse(std::string(kBase) + "CROSS&lon1=-126.5&lat1=37&lon2=127.123456&lat2=90.0");
    ASSERT_EQ(p.rc, 0) << p.reason;
    EXPECT_DOUBLE_EQ(p.req.lon1, -126.5);
    EXPECT_DOUBLE_EQ(p.req.lat1, 37.0);
    EXPECT_NEAR(p.req.lon2, 127.123456, 1e-12);
    EXPECT_DOUBLE_EQ(p.req.lat2, 90.0);

    // Every product and site of the tables; empty pairs are skipped.
    for (const char* product : {"PPI", "CAPPI", "CMAX", "BASE", "ETOP", "VIL"}) {
        EXPECT_EQ(parse(std::string("&&") + kBase + product + "&").rc, 0) << product;
    }
    for (int i = 0; i < svSiteCount(); ++i) {
        Parsed s = parse(std::string("product=BASE&tm=202612071230&site=") + svSiteCode(i));
        EXPECT_EQ(s.rc, 0) << svSiteCode(i);
    }
    EXPECT_EQ(svSiteCode(svSiteCount()), nullptr);
}

TEST(SiteviewRequest, KeepsNothingTheClientSent) {
    const std::string qs = std::string(kBase) + "PPI&field=RH";
    Parsed p = parse(qs);
    ASSERT_EQ(p.rc, 0);
    // Names point into the program's own tables, not into the query.
    EXPECT_FALSE(p.req.site >= qs.data() && p.req.site < qs.data() + qs.size());
    EXPECT_FALSE(p.req.field >= qs.data() && p.req.field < qs.data() + qs.size());
    EXPECT_STREQ(svVolumeField("RN"), "DZ");
    EXPECT_STREQ(svVolumeField("VR"), "VR");
    EXPECT_TRUE(svIsReflectivity("RN"));
    EXPECT_FALSE(svIsReflectivity("KD"));
}

struct Refusal {
    std::string query;
    std::string reason;  // a part of the expected reason
};

TEST(SiteviewRequest, RefusesHostileAndImpossibleQueriesWithAReason) {
    const std::string base = kBase;
    const Refusal cases[] = {
        {"", "empty query"},
        {base + "PPI&_=" + std::string(600, 'a'), "too long"},
        {base + "PPI" + std::string(30, '&') +
             "a=1&b=2&c=3&d=4&e=5&f=6&g=7&h=8&i=9&j=10&k=11"
             "&l=12&m=13&n=14&o=15&p=16&q=17&r=18&s=19&t=20&u=21&v=22",
         "too many pairs"},
        {"site=../../etc&tm=202612071230&product=PPI", "unknown site"},
        {"site=KWK%2f..&tm=202612071230&product=PPI", "unknown site"},
        {"site=kwk&tm=202612071230&product=PPI", "unknown site"},
        {"site=XXX&tm=202612071230&product=PPI", "unknown site"},
        {base + "%s%n%x", "unknown product"},
        {base + "ppi", "unknown product"},
        {base + "RHI", "unknown product"},
        {base + "PPI&field=ZZ", "unknown field"},
        {base + "PPI&field=DZ%00", "unknown field"},
        {"site=KWK&tm=202602301230&product=PPI", "no such time"},
        {"site=KWK&tm=202613011230&product=PPI", "no such time"},
        {"site=KWK&tm=202612072430&product=PPI", "no such time"},
        {"site=KWK&tm=202612071260&product=PPI", "no such time"},
        {"site=KWK&tm=196912312359&product=PPI", "no such time"},
        {"site=KWK&tm=20261207123&product=PPI", "no such time"},
        {"site=KWK&tm=2026120712300&product=PPI", "no such time"},
        {"site=KWK&tm=-02612071230&product=PPI", "no such time"},
        {"site=KWK&tm=2025022912 0&product=PPI", "no such time"},
        {base + "PPI&window=300", "bad value for 'window'"},
        {base + "PPI&sweep=20", "bad value for 'sweep'"},
        {base + "PPI&sweep=-1", "bad value for 'sweep'"},
        {base + "PPI&sweep=1e3", "bad value for 'sweep'"},
        {base + "CAPPI&height=249", "bad value for 'height'"},
        {base + "CAPPI&height=99999999999", "bad value for 'height'"},
        {base + "PPI&rings=yes", "bad value for 'rings'"},
        {base + "CROSS&lon1=181&lat1=37&lon2=127&lat2=37", "bad value for 'lon1'"},
        {base + "CROSS&lon1=127&lat1=37.&lon2=127&lat2=37", "bad value for 'lat1'"},
        {base + "CROSS&lon1=127&lat1=.5&lon2=127&lat2=37", "bad value for 'lat1'"},
        {base + "CROSS&lon1=127&lat1=37&lon2=1.2.3&lat2=37", "bad value for 'lon2'"},
        {base + "CROSS&lon1=127&lat1=37&lon2=127&lat2=37.1234567", "bad value for 'lat2'"},
        {base + "CROSS&lon1=127&lat1=37&lon2=127", "CROSS needs"},
        {base + "PPI&lon1=127", "belong to CROSS"},
        {base + "PPI&height=1500", "CAPPI only"},
        {base + "CAPPI&sweep=2", "PPI only"},
        {base + "ETOP&field=VR", "reflectivity"},
        {base + "VIL&field=RN", "reflectivity"},
        {base + "PPI&site=PSN", "twice: 'site'"},
        {base + "PPI&sweep", "no value for 'sweep'"},
        {base + "PPI&sweep=", "no value for 'sweep'"},
        {base + "PPI&=3", "malformed key"},
        {base + "PPI&ke%79=3", "malformed key"},
        {base + "PPI&averyveryverylongkey=1", "malformed key"},
        {base + "PPI&cache=%27;drop", "malformed value for 'cache'"},
        {base + "PPI&field=" + std::string(30, 'D'), "value too long for 'field'"},
        {"tm=202612071230&product=PPI", "no site"},
        {"site=KWK&product=PPI", "no time"},
        {"site=KWK&tm=202612071230", "no product"},
    };
    for (const Refusal& c : cases) {
        Parsed p = parse(c.query);
        EXPECT_EQ(p.rc, -1) << c.query;
        EXPECT_NE(p.reason.find(c.reason), std::string::npos)
            << c.query << " gave \"" << p.reason << "\"";
        // Reasons are words of the program, never the value that was refused.
        for (const char* leak : {"../", "%", "etc", "drop"}) {
            EXPECT_EQ(p.reason.find(leak), std::string::npos) << c.query;
        }
        EXPECT_LT(p.reason.size(), kSvReasonSize);
    }
    // Within the length bound exactly, and one past it.
    std::string edge = base + "PPI&_=";
    edge += std::string(kSvMaxQueryLength - edge.size(), 'a');
    EXPECT_NE(parse(edge).reason.find("value too long"), std::string::npos);
    EXPECT_NE(parse(edge + "a").reason.find("query too long"), std::string::npos);
    char reason[kSvReasonSize];
    SvRequest req;
    svDefaultRequest(&req);
    EXPECT_EQ(svParseQuery(nullptr, &req, reason), -1);  // no QUERY_STRING at all
}

// A data tree under a temporary RDR_ROOT.
class VolumeSearch : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* old = std::getenv("RDR_ROOT");
        saved_ = old != nullptr ? old : "";
        setenv("RDR_ROOT", dir_.path().c_str(), 1);
    }
    void TearDown() override { setenv("RDR_ROOT", saved_.c_str(), 1); }

    // Path of a volume by the naming rule, with its directory made.
    std::string pathOf(const std::string& site, const std::string& tm, const char* ext) {
        const std::string rel = "/DATA/RDR/SITE/" + site + "/" + tm.substr(0, 6) + "/" +
                                tm.substr(6, 2) + "/RDR_" + site + "_" + tm + ext;
        const std::string path = dir_.path().string() + rel;
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        return path;
    }

    std::string put(const std::string& site, const std::string& tm, const char* ext) {
        const std::string path = pathOf(site, tm, ext);
        std::ofstream(path) << "x";
        return path;
    }

    SvRequest at(const std::string& tm) {
        SvRequest req;
        svDefaultRequest(&req);
        char reason[kSvReasonSize];
        EXPECT_EQ(svParseQuery(("site=KWK&product=PPI&tm=" + tm).c_str(), &req, reason), 0);
        return req;
    }

    rdrtest::TempDir dir_;
    std::string saved_;
};

TEST_F(VolumeSearch, FindsTheMinuteOrTheNewestOfTheTenBefore) {
    const std::string plain = put("KWK", "202701010000", ".uf");
    const std::string gz = put("KWK", "202612312355", ".uf.gz");
    char path[1024];
    SvVolumeTime t{};
    ASSERT_TRUE(svFindVolume(at("202701010000"), path, sizeof path, &t));
    EXPECT_EQ(path, plain);
    EXPECT_EQ(t.year, 2027);
    // Across the turn of the year, the gzip file five minutes before.
    put("KWK", "202612312350", ".uf");
    ASSERT_TRUE(svFindVolume(at("202612312359"), path, sizeof path, &t));
    EXPECT_EQ(path, gz);
    EXPECT_EQ(t.year, 2026);
    EXPECT_EQ(t.month, 12);
    EXPECT_EQ(t.day, 31);
    EXPECT_EQ(t.hour, 23);
    EXPECT_EQ(t.minute, 55);
    // Ten minutes back is the limit.
    ASSERT_TRUE(svFindVolume(at("202701010010"), path, sizeof path, &t));
    EXPECT_EQ(path, plain);
    EXPECT_FALSE(svFindVolume(at("202701010011"), path, sizeof path, &t));
    EXPECT_STREQ(path, "");
    // Plain before gzip of the same minute; another site's file is not taken.
    const std::string both = put("KWK", "202701020000", ".uf.gz");
    ASSERT_TRUE(svFindVolume(at("202701020000"), path, sizeof path, &t));
    EXPECT_EQ(path, both);
    const std::string plainToo = put("KWK", "202701020000", ".uf");
    ASSERT_TRUE(svFindVolume(at("202701020000"), path, sizeof path, &t));
    EXPECT_EQ(path, plainToo);
    put("PSN", "202701030000", ".uf");
    EXPECT_FALSE(svFindVolume(at("202701030000"), path, sizeof path, &t));
}

TEST_F(VolumeSearch, TakesOnlyRegularFiles) {
    // A directory and a FIFO under the names of a plain and a gzip volume: a FIFO would
    // block the reader.
    std::filesystem::create_directories(pathOf("KWK", "202701010000", ".uf"));
    ASSERT_EQ(mkfifo(pathOf("KWK", "202701010000", ".uf.gz").c_str(), 0600), 0);
    char path[1024];
    SvVolumeTime t{};
    EXPECT_FALSE(svFindVolume(at("202701010000"), path, sizeof path, &t));
    // A root too long for the buffer finds nothing rather than a cut path.
    char tiny[40];
    put("KWK", "202701050000", ".uf");
    EXPECT_FALSE(svFindVolume(at("202701050000"), tiny, sizeof tiny, &t));
}

}  // namespace
