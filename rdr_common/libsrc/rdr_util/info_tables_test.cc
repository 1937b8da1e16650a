#include "info_tables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct FieldRow {
    const char* std;
    const char* hdf;
    const char* bufr;
    const char* nc;
    const char* grib;
};

// The moment vocabulary as the exchange formats spell it.
const std::vector<FieldRow> kMoments = {
    {"DZ", "TH", "TH", "DBZ", "DZ"},          {"VR", "VRADDH", "VRADDH", "VEL", "VR"},
    {"SW", "WRADH", "WRADH", "WIDTH", "SW"},  {"CZ", "DBZH", "DBZH", "DBZc", "CZ"},
    {"DR", "ZDR", "ZDR", "ZDR", "DR"},        {"PH", "PHIDP", "PHIDP", "PHIDP", "PH"},
    {"RH", "RHOHV", "RHOHV", "RHOHV", "RH"},  {"KD", "KDP", "KDP", "KDP", "KD"},
    {"RN", "RATE", "RATE", "RR", "RN"},       {"VIL", "VIL", "VIL", "VIL", "VIL"},
    {"ETOP", "HIGH", "HIGH", "ETOP", "ETOP"},
};

void expectRow(const FIELD_INFO_TBL& got, const FieldRow& want) {
    EXPECT_STREQ(got.m_szFieldName, want.std);
    EXPECT_STREQ(got.m_szHdfQuantity, want.hdf);
    EXPECT_STREQ(got.m_szBufrQuantity, want.bufr);
    EXPECT_STREQ(got.m_szNcMoment, want.nc);
    EXPECT_STREQ(got.m_szGribQuantity, want.grib);
}

TEST(FieldInfo, EveryFormatNameMapsToItsRow) {
    for (const FieldRow& m : kMoments) {
        FIELD_INFO_TBL row;
        ASSERT_EQ(fnGetStdFieldInfo(m.std, &row), 1) << m.std;
        expectRow(row, m);
        ASSERT_EQ(fnGetHdfFieldInfo(m.hdf, &row), 1);
        expectRow(row, m);
        ASSERT_EQ(fnGetBufrFieldInfo(m.bufr, &row), 1);
        expectRow(row, m);
        ASSERT_EQ(fnGetNcFieldInfo(m.nc, &row), 1);
        expectRow(row, m);
        ASSERT_EQ(fnGetGribFieldInfo(m.grib, &row), 1);
        expectRow(row, m);
    }
}

TEST(FieldInfo, UnknownQuantityPassesThroughUnderItsOwnName) {
    FIELD_INFO_TBL row;
    ASSERT_EQ(fnGetBufrFieldInfo("VRADH", &row), 1);
    expectRow(row, {"VRADH", "VRADH", "VRADH", "VRADH", "VRADH"});
    // Case matters: lower case is not the corrected reflectivity.
    ASSERT_EQ(fnGetNcFieldInfo("dbzc", &row), 1);
    expectRow(row, {"dbzc", "dbzc", "dbzc", "dbzc", "dbzc"});
    // Long names are cut to six characters in every column.
    ASSERT_EQ(fnGetHdfFieldInfo("ABCDEFGH", &row), 1);
    expectRow(row, {"ABCDEF", "ABCDEF", "ABCDEF", "ABCDEF", "ABCDEF"});
    ASSERT_EQ(fnGetGribFieldInfo("", &row), 1);  // the empty key never matches the end row
    expectRow(row, {"", "", "", "", ""});

    // The standard lookup has no fallback and leaves the buffer alone.
    std::memset(&row, 'x', sizeof(row));
    EXPECT_EQ(fnGetStdFieldInfo("TH", &row), 0);
    EXPECT_EQ(row.m_szFieldName[0], 'x');
    EXPECT_EQ(fnGetStdFieldInfo(nullptr, &row), 0);
    EXPECT_EQ(fnGetHdfFieldInfo("TH", nullptr), 0);
    EXPECT_EQ(fnGetHdfFieldInfo(nullptr, &row), 0);
}

TEST(ProductInfo, EachColumnFindsItsRow) {
    PRODUCT_INFO_TBL row;
    ASSERT_EQ(fnGetStdProductInfo("CAPPI", &row), 1);
    EXPECT_STREQ(row.m_szHdfProduct, "PCAPPI");
    EXPECT_STREQ(row.m_szBufrProduct, "PCAPPI");
    EXPECT_STREQ(row.m_szGribProduct, "CAPPI");
    ASSERT_EQ(fnGetHdfProductInfo("MAX", &row), 1);
    EXPECT_STREQ(row.m_szStdProduct, "CMAX");
    ASSERT_EQ(fnGetBufrProductInfo("PCAPPI", &row), 1);
    EXPECT_STREQ(row.m_szStdProduct, "CAPPI");
    EXPECT_EQ(fnGetGribProductInfo("MAX", &row), 0);
    ASSERT_EQ(fnGetGribProductInfo("CMAX", &row), 1);
    EXPECT_STREQ(row.m_szHdfProduct, "MAX");
    for (const char* name : {"PPI", "CAPPI", "BASE", "CMAX", "VIL", "ETOP", "COMP"}) {
        EXPECT_EQ(fnGetStdProductInfo(name, &row), 1) << name;
    }
    EXPECT_EQ(fnGetStdProductInfo("ppi", &row), 0);
    EXPECT_EQ(fnGetStdProductInfo("", &row), 0);
}

TEST(CompInfo, OnlyTheStandardColumnIsSearched) {
    COMP_INFO_TBL row;
    ASSERT_EQ(fnGetStdCompInfo("DIST_WEIGHT", &row), 1);
    EXPECT_STREQ(row.m_szHdfCompMethod, "DOMAIN");
    EXPECT_STREQ(row.m_szGribCompMethod, "DIST_WEIGHT");
    ASSERT_EQ(fnGetStdCompInfo("MAX", &row), 1);
    EXPECT_STREQ(row.m_szBufrCompMethod, "MAXIMUM");
    EXPECT_EQ(fnGetStdCompInfo("DOMAIN", &row), 0);
    EXPECT_EQ(fnGetStdCompInfo("MAXIMUM", &row), 0);
}

TEST(FieldMemInfo, PackingRowsAndFloatDefault) {
    struct {
        const char* name;
        int type;
        float scale, bad, out;
    } rows[] = {{"DZ", RDR_EN_MEM_CHAR, 1, -127, -128},
                {"SW", RDR_EN_MEM_CHAR, 10, -127, -128},
                {"RH", RDR_EN_MEM_CHAR, 100, -127, -128},
                {"DR", RDR_EN_MEM_SHORT, 100, -32767, -32768},
                {"PH", RDR_EN_MEM_SHORT, 1, -32767, -32768},
                {"RN", RDR_EN_MEM_FLOAT, 1, -9999, -9998},
                {"ETOP", RDR_EN_MEM_SHORT, 10, -32767, -32768}};
    for (const auto& r : rows) {
        FIELD_MEM_INFO_TBL got;
        ASSERT_EQ(fnGetFieldMemInfo(r.name, &got), 1);
        EXPECT_STREQ(got.m_szFieldName, r.name);
        EXPECT_EQ(got.m_iMemType, r.type) << r.name;
        EXPECT_FLOAT_EQ(got.m_fScale, r.scale) << r.name;
        EXPECT_FLOAT_EQ(got.m_fOffset, 0.0f);
        EXPECT_FLOAT_EQ(got.m_fBadValue, r.bad);
        EXPECT_FLOAT_EQ(got.m_fOutBound, r.out);
    }
    FIELD_MEM_INFO_TBL def;
    ASSERT_EQ(fnGetFieldMemInfo("ZZ", &def), 1);
    EXPECT_STREQ(def.m_szFieldName, "");
    EXPECT_EQ(def.m_iMemType, RDR_EN_MEM_FLOAT);
    EXPECT_FLOAT_EQ(def.m_fScale, 1.0f);
    EXPECT_FLOAT_EQ(def.m_fBadValue, -9999.0f);
    EXPECT_FLOAT_EQ(def.m_fOutBound, -9998.0f);
    EXPECT_EQ(fnGetFieldMemInfo(nullptr, &def), 0);
}

TEST(DisplayInfo, StandardAndHdfNames) {
    RDR_DISP_INFO_TBL row;
    ASSERT_EQ(fnGetColorFileInfo("TH", &row), 1);
    EXPECT_STREQ(row.m_szColorFIle, "vyq_rn_tarvo.col");
    EXPECT_STREQ(row.m_szDispFormat, "%.0f");
    EXPECT_EQ(row.m_iColorKind, RDR_EN_COLOR_UNIT);
    EXPECT_FLOAT_EQ(row.m_fMinValue, 0.0f);
    ASSERT_EQ(fnGetColorFileInfo("KDP", &row), 1);
    EXPECT_STREQ(row.m_szColorFIle, "vyq_kd_tarvo.col");
    EXPECT_FLOAT_EQ(row.m_fMinValue, -20.0f);
    ASSERT_EQ(fnGetColorFileInfo("VIL", &row), 1);
    EXPECT_EQ(row.m_iColorKind, RDR_EN_COLOR_RAIN);
    EXPECT_STREQ(row.m_szColorFIle, "vyq_vil_tarvo.col");
    ASSERT_EQ(fnGetColorFileInfo("RATE", &row), 1);
    EXPECT_EQ(row.m_iColorKind, RDR_EN_COLOR_RAIN);
    EXPECT_STREQ(row.m_szDispFormat, "%.1f");
    int found = 0;
    for (const char* name : {"DZ",    "VR",   "SW",   "CZ",  "DR",    "PH",    "RH",    "KD",
                             "RN",    "VIL",  "ETOP", "TH",  "TV",    "VRADH", "VRADV", "WRADH",
                             "WRADV", "DBZH", "DBZV", "ZDR", "PHIDP", "RHOHV", "KDP",   "RATE"}) {
        found += fnGetColorFileInfo(name, &row);
    }
    EXPECT_EQ(found, 24);
    EXPECT_EQ(fnGetColorFileInfo("VRADDH", &row), 0);
}

TEST(ImageInfo, Layouts) {
    RDR_IMG_INFO_TBL row;
    ASSERT_EQ(fnGetImgSizeInfo("COMP_KCJ", &row), 1);
    EXPECT_EQ(row.m_iImgXdim, 751);
    EXPECT_EQ(row.m_iImgYdim, 1101);
    EXPECT_EQ(row.m_iImgGridKm, 3);
    EXPECT_EQ(row.m_iCompOrgX, -162);
    EXPECT_EQ(row.m_iCompOrgY, 367);
    EXPECT_EQ(row.m_iMinDiffType, 1);
    ASSERT_EQ(fnGetImgSizeInfo("SITE_480", &row), 1);
    EXPECT_EQ(row.m_iImgGridKm, 0);
    EXPECT_EQ(row.m_iBottomHeight, 20);
    ASSERT_EQ(fnGetImgSizeInfo("COMP_480", &row), 1);
    EXPECT_EQ(row.m_iImgXdim, 526);
    EXPECT_EQ(row.m_iCompOrgX, -92);
    EXPECT_EQ(fnGetImgSizeInfo("SITE_960", &row), 0);
}

}  // namespace
